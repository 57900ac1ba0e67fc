#include "app/windows/directory_chooser.h"

#include <windows.h>

#include "runtime/commands/file_commands.h"
#include "runtime/commands/input_box.h"
#include "runtime/commands/window_commands.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/folder_control_kinds.h"
#include "window_ids.h"

std::array<Text, 3> ChooserSettings;
bool ChooserConfirmed = false;
std::optional<Text> ChooserResult;

namespace {

constexpr WindowId kChooserWindow = kDirectoryChooser;
namespace units = DirectoryChooserUnits;

constexpr std::string_view kDefaultCaption = "目标目录选择";
constexpr std::string_view kDefaultPrompt = "请选择具体的目标目录";

}  // namespace

Text RunDirectoryChooser(std::string_view caption, std::string_view prompt,
                                        bool offerNewFolder) {
  ChooserSettings[0] = MakeText(caption.empty() ? kDefaultCaption : caption);
  ChooserSettings[1] = MakeText(prompt.empty() ? kDefaultPrompt : prompt);
  ChooserSettings[2] = MakeText(offerNewFolder ? "0" : "1");
  FolderControlKindsRegister();
  WindowLoad(kChooserWindow, std::nullopt, true);  // returns once the window is gone
  return ChooserResult.value_or(Text());
}

EventResult ChooserCreated(const EventArgs&) {
  PropertyWriteText(kChooserWindow, 0, kPropertyCaption, ChooserSettings[0]);
  PropertyWriteText(kChooserWindow, units::信息标题, kPropertyCaption, ChooserSettings[1]);
  // Shown as well as hidden: the visible flag of the stored unit outlives
  // the window, so a button hidden at one opening would stay hidden.
  PropertyWriteLogical(kChooserWindow, units::按钮3, kPropertyVisible, ChooserSettings[2] != "1");
  ChooserConfirmed = false;
  FolderChanged({});
  ControlSendMessage({kChooserWindow, units::目标目录}, EM_SETSEL, 0, -1);
  return EventResult::None();
}

EventResult DriveChanged(const EventArgs&) {
  Text root = PropertyReadText(kChooserWindow, units::驱动器框, kPropertyDriveLetter);
  root += ":\\";
  PropertyWriteText(kChooserWindow, units::目录框, kPropertyCurrentFolder, root);
  return FolderChanged({});
}

EventResult FolderChanged(const EventArgs&) {
  const Text folder = PropertyReadText(kChooserWindow, units::目录框, kPropertyCurrentFolder);
  PropertyWriteText(kChooserWindow, units::目标目录, kPropertyContent, folder);
  return EventResult::None();
}

EventResult ChooserConfirm(const EventArgs&) {
  ChooserConfirmed = true;
  WindowDestroy(kChooserWindow);  // the window goes once this handler has returned
  return EventResult::None();
}

EventResult ChooserCancel(const EventArgs&) {
  WindowDestroy(kChooserWindow);
  return EventResult::None();
}

EventResult ChooserDestroying(const EventArgs&) {
  if (!ChooserConfirmed) return EventResult::None();
  Text path = PropertyReadText(kChooserWindow, units::目标目录, kPropertyContent);
  if (path.empty()) {
    ChooserResult.reset();
  } else {
    ChooserResult = std::move(path);
  }
  return EventResult::None();
}

EventResult NewFolder(const EventArgs&) {
  Text name;
  // A cancelled dialog leaves the name empty; a typed name counts either way.
  InputBoxShow("请输入新建目录的名称：", "新建目录名称", "", &name, kInputAnyText);
  if (name.empty()) return EventResult::None();
  const Text folder = PropertyReadText(kChooserWindow, units::目录框, kPropertyCurrentFolder);
  Text path = folder;
  path += '\\';
  path += name;
  FolderCreate(path);  // a folder that cannot be made is simply not there
  PropertyWriteText(kChooserWindow, units::目录框, kPropertyCurrentFolder, folder);
  return EventResult::None();
}
