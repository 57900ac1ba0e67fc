#include "modal_script.h"

namespace {

ModalScript* activeScript = nullptr;  // one script at a time, window thread only

BOOL CALLBACK CloseRequestPost(HWND window, LPARAM) {
  PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

ModalScript::~ModalScript() { Stop(); }

ModalScript& ModalScript::Then(Step step) {
  steps_.push_back(std::move(step));
  return *this;
}

void ModalScript::Start(UINT intervalMs, int tickLimit) {
  Stop();
  activeScript = this;
  tickLimit_ = tickLimit;
  timer_ = SetTimer(nullptr, 0, intervalMs, Tick);
}

void ModalScript::Stop() {
  if (timer_ != 0) KillTimer(nullptr, timer_);
  timer_ = 0;
  if (activeScript == this) activeScript = nullptr;
}

void CALLBACK ModalScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
  ModalScript* script = activeScript;
  if (script == nullptr || script->inStep_) return;  // a step's own nested loop ticks too
  if (++script->ticks_ > script->tickLimit_) {
    // Give up: close every window of the thread so the modal loop returns.
    script->timedOut_ = true;
    script->Stop();
    EnumThreadWindows(GetCurrentThreadId(), CloseRequestPost, 0);
    return;
  }
  if (script->next_ >= script->steps_.size()) {
    script->Stop();
    return;
  }
  // Steps may run nested loops (a handler's dialog): take the step first.
  Step step = script->steps_[script->next_++];
  script->inStep_ = true;
  step();
  script->inStep_ = false;
}
