// The directory chooser: the program's own modal folder picker (drive
// list, folder tree, editable path box).  Its handlers run on the window
// thread; the values below belong to that thread.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "runtime/core/text.h"
#include "runtime/windows/event_handler.h"

// [0] the window caption, [1] the prompt above the path box, [2] "1" when
// the new-folder button is hidden, "0" when it is offered.
extern std::array<Text, 3> ChooserSettings;
// True once "确定" has been pressed since the window opened.
extern bool ChooserConfirmed;
// The path box text of the last confirmed use of the run; never cleared.
extern std::optional<Text> ChooserResult;

// Opens the chooser modally and returns the last confirmed folder of the
// run (empty when no use was ever confirmed).  An empty caption or prompt
// takes the chooser's own ("目标目录选择", "请选择具体的目标目录").
Text RunDirectoryChooser(std::string_view caption, std::string_view prompt, bool offerNewFolder);

// Event handlers of the chooser window.
EventResult ChooserCreated(const EventArgs& args);
EventResult ChooserDestroying(const EventArgs& args);
EventResult NewFolder(const EventArgs& args);
EventResult ChooserCancel(const EventArgs& args);
EventResult ChooserConfirm(const EventArgs& args);
EventResult DriveChanged(const EventArgs& args);
EventResult FolderChanged(const EventArgs& args);
