// Saving the scan's media into a folder: complete elements and streams
// (joined into one file), and with "partial" the contiguous beginning of
// incomplete ones (a stream's run of segments from its first).  Encrypted
// streams are counted, never saved.  Every copy gets a new name; no file is
// ever replaced.  A name too long for the folder falls back to the time
// name; a copy larger than the folder's free space is not begun.  A
// presentation's picture and sound (both complete) are joined into one file
// named after the video's address, unless the tracks are wanted separately;
// a pair the muxer refuses is saved as two files, and the user told why.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/command_line/scan_reading.h"

struct CopyCounts {
  int saved = 0;
  int skippedIncomplete = 0;
  int skippedEncrypted = 0;  // streams
  int failed = 0;
  int joined = 0;  // of the saved: presentations in one file
};

struct CopyChoices {
  bool partial = false;   // "/partial"
  bool separate = false;  // "/separate": a presentation's tracks as two files
};

struct CopyReports {
  std::function<void(const std::wstring& path)> failure;
  std::function<void(const std::wstring& name)> noRoom;
  // A presentation saved as two files after all: its video's address and
  // why (GBK).
  std::function<void(const std::wstring& address, const std::string& why)> notJoined;
};

CopyCounts ScanCopiesSave(const std::vector<ScanFolder>& folders, const std::wstring& saveFolder,
                          const CopyChoices& choices, const CopyReports& reports);

// One element or stream of the scanned folders.
struct CopyChoice {
  std::size_t folder = 0;
  bool stream = false;
  std::size_t index = 0;  // in the folder's streams or media
};

// Saves the chosen elements and streams as /copyall /separate does without
// /partial, in the order given; a choice that names nothing is passed over.
CopyCounts ScanCopiesSaveSelected(const std::vector<ScanFolder>& folders, const std::vector<CopyChoice>& chosen,
                                  const std::wstring& saveFolder, const CopyReports& reports);

// A copy of one element or stream made to be played.
enum class PlayCopyOutcome {
  Written,    // `path` names the copy
  Nothing,    // the choice names no element
  Empty,      // nothing of it is cached from its beginning
  Encrypted,  // an encrypted stream: its joined bytes would not play
  NoRoom,     // the folder's volume has no room for it
  Failed,     // `path` names the copy that could not be written (nothing is left there)
};
struct PlayCopy {
  PlayCopyOutcome outcome = PlayCopyOutcome::Nothing;
  std::wstring path;
};

// Copies the chosen element or stream into `intoFolder` as the save does
// (a stream joined; a presentation's picture muxed with its sound), but
// with what is cached when it is incomplete: playing its beginning is
// still worth it.  The name comes from the address, never over a file.
PlayCopy ScanCopiesPlayCopy(const std::vector<ScanFolder>& folders, const CopyChoice& choice,
                            const std::wstring& intoFolder);
