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
    AcquireSRWLockExclusive(&lock_);
    items_.push_back(std::move(item));
    if (draining_) {
      ReleaseSRWLockExclusive(&lock_);
      WakeConditionVariable(&arrived_);
      return;
    }
    HANDLE thread = WatchThreadStart(body_, nullptr);
    draining_ = thread != nullptr;  // without a thread the next push tries again
    ReleaseSRWLockExclusive(&lock_);
    if (thread != nullptr) DeclaredCloseHandle(thread);
  }
  // The next item, or false when none came for a while (the caller then ends).
  bool Pop(Item& item) {
    AcquireSRWLockExclusive(&lock_);
    const DWORD start = GetTickCount();
    while (items_.empty()) {
      const DWORD waited = GetTickCount() - start;
      if (waited >= kLingerMs || !SleepConditionVariableSRW(&arrived_, &lock_, kLingerMs - waited, 0)) {
        if (!items_.empty()) break;
        draining_ = false;
        ReleaseSRWLockExclusive(&lock_);
        return false;
      }
    }
    item = std::move(items_.front());
    items_.pop_front();
    ReleaseSRWLockExclusive(&lock_);
    return true;
  }
  std::size_t Size() {
    AcquireSRWLockShared(&lock_);
    const std::size_t size = items_.size();
    ReleaseSRWLockShared(&lock_);
    return size;
  }

 private:
  static constexpr DWORD kLingerMs = 1000;
  LPTHREAD_START_ROUTINE body_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  CONDITION_VARIABLE arrived_ = CONDITION_VARIABLE_INIT;
  std::deque<Item, RuntimeAllocator<Item>> items_;
  bool draining_ = false;
};
