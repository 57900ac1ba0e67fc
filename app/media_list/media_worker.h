// One piece of work at a time on a worker thread, for a window that must
// stay responsive: the work tells the window thread about its progress by
// Wake(), which runs the owner's callback there (through a message-only
// window), never inside the worker.  The owner reads what the work handed
// over under its own lock.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

#include "runtime/core/handles.h"

class MediaWorker {
 public:
  // `woken` runs on the thread that made the worker, once per Wake() (or
  // fewer: wakes close together may come as one) and once when the work ends.
  explicit MediaWorker(std::function<void()> woken);
  // Asks the work to stop and waits for it.
  ~MediaWorker();
  MediaWorker(const MediaWorker&) = delete;
  MediaWorker& operator=(const MediaWorker&) = delete;

  // False while work runs (nothing started) or when no thread could be made.
  bool Start(std::function<void(MediaWorker& worker)> work);
  bool Busy() const { return busy_.load(); }
  // Read by the work between its steps.
  bool StopAsked() const { return stop_.load(); }
  // From the work: let the window thread look.
  void Wake();

 private:
  static LRESULT CALLBACK NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Join();

  std::function<void()> woken_;
  WindowHandle notice_;
  std::thread thread_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> wakePending_{false};
};
