// A queue drained by one thread that is started when work arrives and ends
// after the queue has stayed empty for a while (starting a thread per
// trickling batch would cost more than the batch).
#pragma once

#include <windows.h>

// <condition_variable> brings the durations; <chrono> itself does not
// build with a GBK execution character set (its "\u00b5s").
#include <condition_variable>
#include <deque>
#include <mutex>

#include "app/watch/watch_threads.h"
#include "runtime/core/allocator.h"
#include "runtime/core/declared_calls.h"

template <class Item>
class DrainedQueue {
 public:
  // `body` drains the queue: it calls Pop until Pop returns false.
  explicit DrainedQueue(LPTHREAD_START_ROUTINE body) : body_(body) {}

  void Push(Item item) {
    bool wake = false;
    HANDLE thread = nullptr;
    {
      std::lock_guard<std::mutex> hold(lock_);
      items_.push_back(std::move(item));
      if (draining_) {
        wake = true;
      } else {
        thread = WatchThreadStart(body_, nullptr);
        draining_ = thread != nullptr;  // without a thread the next push tries again
      }
    }
    if (wake) arrived_.notify_one();
    if (thread != nullptr) DeclaredCloseHandle(thread);
  }
  // The next item, or false when none came for a while (the caller then ends).
  bool Pop(Item& item) {
    std::unique_lock<std::mutex> hold(lock_);
    if (!arrived_.wait_for(hold, std::chrono::milliseconds(kLingerMs), [this] { return !items_.empty(); })) {
      draining_ = false;
      return false;
    }
    item = std::move(items_.front());
    items_.pop_front();
    return true;
  }
  std::size_t Size() {
    std::lock_guard<std::mutex> hold(lock_);
    return items_.size();
  }

 private:
  static constexpr DWORD kLingerMs = 1000;
  LPTHREAD_START_ROUTINE body_;
  std::mutex lock_;
  std::condition_variable arrived_;
  std::deque<Item, RuntimeAllocator<Item>> items_;
  bool draining_ = false;
};
