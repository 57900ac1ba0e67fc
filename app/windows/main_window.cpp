#include "app/windows/main_window.h"

#include <windows.h>

#include "app/program_state/cache_location.h"
#include "app/detection/detection.h"
#include "app/program_state/settings_file.h"
#include "app/program_state/shared_values.h"
#include "app/watch/watch.h"
#include "app/watch_control.h"
#include "app/windows/directory_chooser.h"
#include "app/windows/program_icon.h"
#include "runtime/commands/event_pump.h"
#include "runtime/commands/file_commands.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/window_commands.h"
#include "runtime/core/program.h"
#include "runtime/windows/engine.h"
#include "window_ids.h"

namespace units = MainWindowUnits;

namespace {

class CheckBoxSwitches final : public ClassSwitches {
 public:
  bool VideoChecked() override { return Checked(units::提取视频勾选框); }
  bool AudioChecked() override { return Checked(units::提取音频勾选框); }
  bool UserDefinedChecked() override { return Checked(units::用户自定义格式选择框); }

 private:
  static bool Checked(UnitId box) { return PropertyReadLogical(kMainWindow, box, kPropertyChecked); }
};

}  // namespace

ClassSwitches& MainWindowClassSwitches() {
  static CheckBoxSwitches switches;
  return switches;
}

EventResult MainWindowCreated(const EventArgs&) {
  if (FirstRunPending(FirstRunFlagRead())) {
    MessageBoxShow(
        "尊敬的用户，这是您第一次使用Velmir网页元素提取工具，本程序将先加载帮助窗口，请仔细阅读再开始使用！",
        MB_OK, "警示信息 - 欢迎使用");
    WindowLoad(kAboutWindow, std::nullopt, true);
  }

  const Text watched = DefaultWatchedFolder();
  WatchedFolder.Replace(watched);
  PropertyWriteText(kMainWindow, units::临时文件路径框, kPropertyContent, watched);

  const Text save = CurrentFolder();
  SaveFolder.Replace(save);
  PropertyWriteText(kMainWindow, units::当前目录, kPropertyCaption, Text("当前目录：") + save);

  TrayIconSet(kMainWindow, ProgramIconFile(), kTrayTip);
  BuiltInExtensionsFill();

  DetectionClassSwitchesSet(&MainWindowClassSwitches());
  WatchInterruptionNoticeAttach();
  return EventResult::None();
}

EventResult MainWindowClosing(const EventArgs&) {
  PropertyWriteLogical(kMainWindow, 0, kPropertyVisible, false);
  CloseWatchHandleAsync(WatchHandle);
  return EventResult::None();
}

EventResult MainWindowDestroying(const EventArgs&) {
  CloseWatchHandleAsync(WatchHandle);
  EventsProcess();
  return EventResult::None();
}

EventResult ExitButtonClicked(const EventArgs&) {
  CloseWatchHandleAsync(WatchHandle);
  EventsProcess();
  TrayIconSet(kMainWindow);
  ProgramEnd(0);
}

EventResult ToggleMainWindow(const EventArgs&) {
  const bool visible = PropertyReadLogical(kMainWindow, 0, kPropertyVisible);
  PropertyWriteLogical(kMainWindow, 0, kPropertyVisible, !visible);
  return EventResult::None();
}

EventResult TrayIconActivated(const EventArgs& args) {
  constexpr std::int32_t kLeftDoubleClick = 2;
  if (args.count >= 1 && args.values[0] == kLeftDoubleClick) ToggleMainWindow(args);
  return EventResult::None();
}

EventResult AboutButtonClicked(const EventArgs&) {
  WindowLoad(kAboutWindow);
  return EventResult::None();
}

EventResult ChooseSaveFolder(const EventArgs&) {
  const Text chosen = RunDirectoryChooser("", "", false);
  SaveFolder.Replace(chosen);
  PropertyWriteText(kMainWindow, units::当前目录, kPropertyCaption, chosen);
  return EventResult::None();
}

EventResult UpdateCustomFormatBox(const EventArgs&) {
  if (PropertyReadLogical(kMainWindow, units::用户自定义格式选择框, kPropertyChecked)) {
    PropertyWriteLogical(kMainWindow, units::用户自定义格式输入框, kPropertyDisabled, false);
    return EventResult::None();
  }
  PropertyWriteLogical(kMainWindow, units::用户自定义格式输入框, kPropertyDisabled, true);
  PropertyWriteText(kMainWindow, units::用户自定义格式输入框, kPropertyContent, " ");
  return EventResult::None();
}

EventResult ShowEasterEgg(const EventArgs&) {
  MessageBoxShow("这是一个彩蛋，呵呵~~~~", MB_OK, "呵呵");
  return EventResult::None();
}
