// The "first free name" rule both kinds of copies follow (the watch's
// detection-time names, the scan's address names): a new copy never
// replaces an earlier one, it takes the next "(n)" while its name is taken.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

// Highest "(n)" tried before a copy counts as failed.
constexpr int kLastFreeNameNumber = 9999;

enum class FreeNameTry {
  Written,  // the copy is made under this number's name
  Taken,    // the name exists: the next number is tried
  Failed,   // anything else: no further number helps
};

// Calls `attempt` with the numbers from `first` (1: the name without "(n)")
// up to kLastFreeNameNumber while it says Taken; the number written under,
// or nothing.
std::optional<int> FreeNameTake(int first, const std::function<FreeNameTry(int number)>& attempt);

// The next number worth trying per name, so that n copies of one name cost
// about n tries instead of n * n / 2.  Keys are the caller's (a name
// without its number, compared as given).
class FreeNameNumbers {
 public:
  int First(const std::string& key) const;
  void Used(const std::string& key, int number) { next_[key] = number + 1; }

 private:
  std::unordered_map<std::string, int> next_;
};
