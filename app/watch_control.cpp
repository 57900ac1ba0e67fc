#include "app/watch_control.h"

#include <windows.h>

#include "app/extensions/extension_catalogue.h"
#include "app/program_state/shared_values.h"
#include "app/program_state/watch_rules.h"
#include "app/session_sinks.h"
#include "app/watch/watch.h"
#include "runtime/commands/browser_data_clear.h"
#include "runtime/commands/event_pump.h"
#include "runtime/commands/message_box.h"
#include "runtime/windows/engine.h"
#include "window_ids.h"

namespace units = MainWindowUnits;

std::uintptr_t WatchHandle = 0;

namespace {

constexpr UINT kWatchEndedMessage = WM_APP + 1;

bool Checked(UnitId box) { return PropertyReadLogical(kMainWindow, box, kPropertyChecked); }
void Enable(UnitId unit, bool enabled) {
  PropertyWriteLogical(kMainWindow, unit, kPropertyDisabled, !enabled);
}

// The idle state: everything that defines a watch can be edited again.
void ControlsIdle() {
  Enable(units::开始按钮, true);
  Enable(units::停止按钮, false);
  Enable(units::提取音频勾选框, true);
  Enable(units::提取视频勾选框, true);
  Enable(units::用户自定义格式选择框, true);
  Enable(units::用户自定义格式输入框, Checked(units::用户自定义格式选择框));
  Enable(units::临时文件路径框, true);
}

void ControlsWatching() {
  Enable(units::开始按钮, false);
  Enable(units::停止按钮, true);
  Enable(units::提取音频勾选框, false);
  Enable(units::提取视频勾选框, false);
  Enable(units::用户自定义格式选择框, false);
  Enable(units::用户自定义格式输入框, false);
  Enable(units::临时文件路径框, false);
}

// The watcher's notice arrives on this window thread through a message-only
// window; a stale notice (the session was stopped or replaced) is ignored.
LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kWatchEndedMessage) return DefWindowProcA(window, message, wParam, lParam);
  const auto ended = static_cast<std::uintptr_t>(wParam);
  if (ended == 0 || ended != WatchHandle || !WatchEndedByItself(ended)) return 0;
  CloseWatchHandleAsync(WatchHandle);
  ControlsIdle();
  MessageBoxShow("缓存监视已意外停止，监视目录可能已被删除或无法访问，请检查后重新开始！", MB_ICONWARNING,
                 "警示信息 - 监视中断");
  return 0;
}

}  // namespace

void WatchInterruptionNoticeAttach() {
  static HWND noticeWindow = nullptr;
  if (noticeWindow != nullptr) return;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = NoticeWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "EEWatchNotices";
  RegisterClassA(&windowClass);
  noticeWindow = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
  WatchEndedNotifySet(noticeWindow, kWatchEndedMessage);
}

bool CheckSaveFolder() {
  if (!SaveFolderConflicts(*SaveFolder.Snapshot(), *WatchedFolder.Snapshot())) return false;
  MessageBoxShow("元素保存目录不可以为临时文件的子目录，请重新选择！", MB_ICONINFORMATION,
                 "警示信息 - 保存目录冲突");
  return true;
}

EventResult StartWatch(const EventArgs&) {
  // Stops reading at the first checked box.
  const bool anyClass = Checked(units::提取音频勾选框) || Checked(units::提取视频勾选框) ||
                        Checked(units::用户自定义格式选择框);
  if (!anyClass) {
    MessageBoxShow("你至少该选择提取一项元素才可以开始监视！", MB_ICONINFORMATION,
                   "警示信息 - 未选择提取内容");
    return EventResult::None();
  }

  WatchedFolder.Replace(PropertyReadText(kMainWindow, units::临时文件路径框, kPropertyContent));
  if (CheckSaveFolder()) return EventResult::None();

  CloseWatchHandleAsync(WatchHandle);
  CustomExtensions.Replace(
      CustomExtensionsParse(PropertyReadText(kMainWindow, units::用户自定义格式输入框, kPropertyContent)));
  EventsProcess();

  WatchHandle =
      OpenWatchFolder(PropertyReadText(kMainWindow, units::临时文件路径框, kPropertyContent), SessionSinks());
  if (WatchHandle == 0) {
    MessageBoxShow("启动缓存监视失败！请重新启动计算机或更换账户后再试！", MB_ICONERROR, "警示信息");
    ControlsIdle();
  } else {
    ControlsWatching();
  }

  BrowserDataClear(kClearBrowserCache);
  return EventResult::None();
}

EventResult StopWatch(const EventArgs&) {
  Enable(units::停止按钮, false);
  CloseWatchHandleAsync(WatchHandle);
  ControlsIdle();
  EventsProcess();
  return EventResult::None();
}
