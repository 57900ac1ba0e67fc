// A value that one thread replaces while others read it.  Readers take an
// immutable snapshot; the lock is held only to copy a pointer, never while
// anyone works with the value, so no reader ever waits on a writer's work.
#pragma once

#include <memory>
#include <mutex>
#include <utility>

template <class T>
class SnapshotCell {
 public:
  SnapshotCell() : value_(std::make_shared<const T>()) {}

  std::shared_ptr<const T> Snapshot() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return value_;
  }
  // The current value by copy, for callers that want a plain value.
  T Get() const { return *Snapshot(); }

  void Replace(T value) {
    auto next = std::make_shared<const T>(std::move(value));
    std::lock_guard<std::mutex> guard(mutex_);
    value_.swap(next);
    // The old value is released outside the lock (when next goes).
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const T> value_;
};
