// The names a watch session has handed on recently, so that a recovery scan
// after an overflow never hands on a file a second time.  Times are in the
// file system's unit (100 ns since 1601).  No Win32 here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <unordered_map>

#include "app/watch/change_records.h"

class NewFileLedger {
 public:
  // At most this many names are remembered; the oldest go first.
  static constexpr std::size_t kMaxNames = 100000;

  // A change record reported the name as added at `now`.  False when the
  // recovery scan has already handed this creation on.
  bool RecordArrived(std::u16string_view relativeName, std::uint64_t now);
  // A recovery scan found the name.  False when it was already handed on.
  bool RecoveryFound(std::u16string_view relativeName, std::uint64_t now);
  // Forgets names handed on before `before`: no later scan looks that far back.
  void Prune(std::uint64_t before);
  std::size_t Size() const { return names_.size(); }

 private:
  struct Entry {
    std::uint64_t time = 0;
    bool fromRecovery = false;
  };
  struct Aged {
    std::uint64_t time;
    Utf16Text key;
  };
  struct KeyHash {
    std::size_t operator()(const Utf16Text& key) const {
      return std::hash<std::u16string_view>()(std::u16string_view(key));
    }
  };

  void Remember(Utf16Text key, std::uint64_t now, bool fromRecovery);
  void ForgetOldest();

  std::unordered_map<Utf16Text, Entry, KeyHash, std::equal_to<Utf16Text>,
                     RuntimeAllocator<std::pair<const Utf16Text, Entry>>>
      names_;
  std::deque<Aged, RuntimeAllocator<Aged>> order_;  // by time of remembering
};

// The name as the file system compares it (ASCII letters folded).
Utf16Text LedgerKey(std::u16string_view relativeName);
