// The detection step: one new file classified, prompted for under the
// detection lock, copied into the save folder and reported.
#pragma once

#include <string_view>

#include "app/extensions/extension_catalogue.h"

// fullPath: the watched folder text followed by the name, the name part
// lower-cased (ANSI); used for classification and in the prompt.
// exactPath: the file's exact path in UTF-16 when the caller has it (names
// the code page cannot represent); the copy is made from it when given.
// Runs on the watcher's hand-off thread (see DetectionSink); returns when
// the prompt and copy are finished.
void HandleNewFile(std::string_view fullPath, std::wstring_view exactPath = {});
// The same with explicit class switches; the overload above passes the
// main window's.
void HandleNewFile(std::string_view fullPath, std::wstring_view exactPath, ClassSwitches& switches);

// The switches that the default overload asks: the main window's check
// boxes, set once the main window exists.  While none are set, no class is
// selected and every file is ignored.
void DetectionClassSwitchesSet(ClassSwitches* switches);
// The switches set above; null before.
ClassSwitches* DetectionSwitches();
