// The extension classes: the built-in video and audio lists, the user's own
// list, and the suffix test that sorts a new file into one of them.
#pragma once

#include <string_view>

#include "runtime/core/snapshot_cell.h"
#include "runtime/core/text.h"

enum class ExtensionClass { None, Video, Audio, UserDefined };

struct Classification {
  ExtensionClass extensionClass = ExtensionClass::None;
  Text entry;  // the matching list entry, as stored in the list
};

// Which classes are selected, asked at the moment of classification (the
// main window's check boxes in the program).
class ClassSwitches {
 public:
  virtual ~ClassSwitches() = default;
  virtual bool VideoChecked() = 0;
  virtual bool AudioChecked() = 0;
  virtual bool UserDefinedChecked() = 0;
};

// Process-wide lists.  The window thread replaces them (start-up, each start
// of a watch); workers classify with a snapshot and never wait for a writer.
extern SnapshotCell<TextArray> VideoExtensions;
extern SnapshotCell<TextArray> AudioExtensions;
extern SnapshotCell<TextArray> CustomExtensions;

// The built-in lists (16 video entries with ".3gp" twice, 11 audio entries).
TextArray BuiltInVideoExtensions();
TextArray BuiltInAudioExtensions();
void BuiltInExtensionsFill();  // stores both built-in lists
// The user's list text split at ";" (empty pieces kept, trailing one dropped).
TextArray CustomExtensionsParse(std::string_view text);

// Classifies a full path whose file-name part is already lower-cased.
// Reads the switches lazily, in class order, as the lists are tried.
Classification ClassifyPath(std::string_view fullPath, ClassSwitches& switches);

// Classifies a media element found in a browser cache by what it is
// (mediaClass: Video or Audio) and its container's extension (lower-case,
// without the dot): its own class while that box is checked, else the
// user-defined class when the extension is one of the user's entries.  The
// entry is the extension as the copy gets it (".mp4" for the built-in
// classes, "mp4" for the user's, as DestinationNameOf expects).
Classification ClassifyMediaElement(ExtensionClass mediaClass, std::string_view extension,
                                    ClassSwitches& switches);
