#include "runtime/commands/message_box.h"

#include <windows.h>

namespace {

constexpr std::string_view kDefaultCaption = "信息：";

// Button return codes IDOK..IDNO become 0..6, Try Again and Continue 10 and
// 11; anything else (a failure too) reads as OK.
std::int32_t MessageBoxResultOf(int button) {
  if (button == IDTRYAGAIN) return kMessageBoxTryAgain;
  if (button == IDCONTINUE) return kMessageBoxContinue;
  if (button < IDOK || button > IDNO) return kMessageBoxOk;
  return button - IDOK;
}

}  // namespace

std::int32_t MessageBoxShow(std::string_view content, std::int32_t style,
                            std::optional<std::string_view> caption) {
  const Text text = MakeText(content);
  const Text title = MakeText(caption.value_or(kDefaultCaption));
  // Task-modal without an owner: a prompt shown from a worker thread leaves
  // the window thread's windows usable.  OR rather than add, so a caller that
  // already asked for task-modal does not get a Help button (0x4000) instead.
  UINT flags = static_cast<UINT>(style);
  if ((flags & MB_SYSTEMMODAL) == 0) flags |= MB_TASKMODAL;
  return MessageBoxResultOf(MessageBoxA(nullptr, text.c_str(), title.c_str(), flags));
}
