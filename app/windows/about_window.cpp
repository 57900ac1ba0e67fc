#include "app/windows/about_window.h"

#include <windows.h>

#include "app/program_state/settings_file.h"
#include "app/program_state/watch_rules.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/value_commands.h"
#include "runtime/commands/web_address.h"
#include "runtime/commands/window_commands.h"
#include "window_ids.h"

std::int64_t AboutShownAt = 0;

EventResult AboutWindowCreated(const EventArgs&) {
  AboutShownAt = SystemTicks();
  return EventResult::None();
}

EventResult AcknowledgeFirstRun(const EventArgs&) {
  if (!FirstRunPending(FirstRunFlagRead())) {
    WindowDestroy(kAboutWindow);
    return EventResult::None();
  }
  // Written before the time check: the reading time is enforced once only.
  FirstRunAcknowledgedWrite();
  if (ReadingTimeSufficient(AboutShownAt, SystemTicks())) {
    WindowDestroy(kAboutWindow);
    return EventResult::None();
  }
  MessageBoxShow(
      "尊敬的用户，这是您第一次使用本软件，请仔细阅读版权声明和帮助文件，这将有助您正确使用本软件，"
      "您的阅读时间至少应为15秒，谢谢！",
      MB_ICONINFORMATION, "警示信息 - 阅读时间太短");
  return EventResult::None();
}

EventResult VisitHomePage(const EventArgs&) {
  WebAddressOpen(kHomePageAddress);
  return EventResult::None();
}
