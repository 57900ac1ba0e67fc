// A queue drained by one thread that is started when work arrives and ends
// after the queue has stayed empty for a while (starting a thread per
// trickling batch would cost more than the batch).
#pragma once

#include <windows.h>

#include <deque>

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
      Hold hold(lock_);
      items_.push_back(std::move(item));
      if (draining_) {
        wake = true;
      } else {
        thread = WatchThreadStart(body_, nullptr);
        draining_ = thread != nullptr;  // without a thread the next push tries again
      }
    }
    if (wake) WakeConditionVariable(&arrived_);
    if (thread != nullptr) DeclaredCloseHandle(thread);
  }
  // The next item, or false when none came for a while (the caller then ends).
  bool Pop(Item& item) {
    Hold hold(lock_);
    const DWORD start = GetTickCount();
    while (items_.empty()) {
      const DWORD waited = GetTickCount() - start;
      if (waited >= kLingerMs || !SleepConditionVariableSRW(&arrived_, &lock_, kLingerMs - waited, 0)) {
        if (!items_.empty()) break;
        draining_ = false;
        return false;
      }
    }
    item = std::move(items_.front());
    items_.pop_front();
    return true;
  }
  std::size_t Size() {
    Hold hold(lock_);
    return items_.size();
  }

 private:
  // The queues are process-wide statics whose drain thread may still wait
  // for work while the process ends; an SRW lock and condition variable have
  // nothing to destroy, where a std::mutex destroyed under a waiter crashes
  // the exit.  Held only through this holder.
  class Hold {
   public:
    explicit Hold(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~Hold() { ReleaseSRWLockExclusive(&lock_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    SRWLOCK& lock_;
  };

  static constexpr DWORD kLingerMs = 1000;
  LPTHREAD_START_ROUTINE body_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE arrived_ = CONDITION_VARIABLE_INIT;
  std::deque<Item, RuntimeAllocator<Item>> items_;
  bool draining_ = false;
};
