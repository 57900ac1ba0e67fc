// Names of saved copies and the test for the tool's own copies, as pure text
// operations on ANSI (GBK) paths.
#pragma once

#include <string_view>

#include "app/extensions/extension_catalogue.h"
#include "runtime/core/text.h"

// What the saved copy is called apart from its folder: the detection time
// text, and the matched entry as the copy's extension (a user entry gets a
// "." before it, since user entries are typed without one).
struct DestinationName {
  Text detectionTime;
  Text extension;
};
DestinationName DestinationNameOf(std::string_view detectionTime, const Classification& classification);

// saveFolder "\" time extension, the parts simply joined; from number 2 on
// "(number)" stands before the extension so that no earlier copy is replaced.
Text DestinationPath(std::string_view saveFolder, const DestinationName& name, int number = 1);

// The folder part of a path: everything before its last "\", which is found
// without mistaking the second byte of a double-byte character for one.
// Empty when the path holds no separator.
std::string_view FolderPartOf(std::string_view path);

// True when both texts name the same folder: ASCII letters compared without
// regard to case, double-byte characters byte for byte, trailing "\" ignored.
bool FolderTextsEqual(std::string_view left, std::string_view right);
