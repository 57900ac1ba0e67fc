// Stand-in until the chooser window's handlers land: the program's folder
// is "chosen" without showing the window.
#include "app/windows/directory_chooser.h"

#include "runtime/commands/file_commands.h"

Text RunDirectoryChooser(std::string_view, std::string_view, bool) { return CurrentFolder(); }

EventResult ChooserCreated(const EventArgs&) { return EventResult::None(); }
EventResult ChooserDestroying(const EventArgs&) { return EventResult::None(); }
EventResult DriveChanged(const EventArgs&) { return EventResult::None(); }
EventResult FolderChanged(const EventArgs&) { return EventResult::None(); }
EventResult ChooserConfirm(const EventArgs&) { return EventResult::None(); }
EventResult ChooserCancel(const EventArgs&) { return EventResult::None(); }
EventResult NewFolder(const EventArgs&) { return EventResult::None(); }
