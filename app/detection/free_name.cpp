#include "app/detection/free_name.h"

std::optional<int> FreeNameTake(int first, const std::function<FreeNameTry(int number)>& attempt) {
  for (int number = first < 1 ? 1 : first; number <= kLastFreeNameNumber; ++number) {
    switch (attempt(number)) {
      case FreeNameTry::Written:
        return number;
      case FreeNameTry::Taken:
        continue;
      case FreeNameTry::Failed:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

int FreeNameNumbers::First(const std::string& key) const {
  const auto found = next_.find(key);
  return found == next_.end() ? 1 : found->second;
}
