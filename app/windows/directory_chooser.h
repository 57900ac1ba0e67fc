// The directory chooser: the program's own modal folder picker.
#pragma once

#include <string_view>

#include "runtime/core/text.h"
#include "runtime/windows/event_handler.h"

// Shows the chooser modally and returns the folder confirmed with its OK
// button, or after a cancel the folder confirmed at an earlier use (empty
// when none was).
Text RunDirectoryChooser(std::string_view caption, std::string_view prompt, bool offerNewFolder);

EventResult ChooserCreated(const EventArgs& args);
EventResult ChooserDestroying(const EventArgs& args);
EventResult DriveChanged(const EventArgs& args);
EventResult FolderChanged(const EventArgs& args);
EventResult ChooserConfirm(const EventArgs& args);
EventResult ChooserCancel(const EventArgs& args);
EventResult NewFolder(const EventArgs& args);
