// Runs test steps on the window thread while a modal window's message loop
// is running: each step runs from a thread timer, one per tick, so posted
// input between steps goes through the loop as a user's input would.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

class ModalScript {
 public:
  using Step = std::function<void()>;

  ModalScript() = default;
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;
  ~ModalScript();

  ModalScript& Then(Step step);
  // Arms the timer; the steps run once the thread dispatches messages.  A
  // script whose steps have all run stops; callers close the window in the
  // last step (or the watchdog closes it after tickLimit ticks).
  void Start(UINT intervalMs = 40, int tickLimit = 200);
  // True when every step ran before the watchdog stepped in.
  bool Finished() const { return next_ == steps_.size() && !timedOut_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void Stop();

  std::vector<Step> steps_;
  std::size_t next_ = 0;
  int ticks_ = 0;
  int tickLimit_ = 0;
  bool timedOut_ = false;
  bool inStep_ = false;
  UINT_PTR timer_ = 0;
};
