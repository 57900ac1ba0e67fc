#include "app/watch/new_file_ledger.h"

#include "runtime/core/text_encoding.h"

Utf16Text LedgerKey(std::u16string_view relativeName) {
  Utf16Text key(relativeName.data(), relativeName.size());
  for (char16_t& unit : key) unit = unit == u'/' ? u'\\' : AsciiLower(unit);
  return key;
}

bool NewFileLedger::RecordArrived(std::u16string_view relativeName, std::uint64_t now) {
  Utf16Text key = LedgerKey(relativeName);
  auto found = names_.find(key);
  if (found != names_.end() && found->second.fromRecovery) {
    // The scan got there first; this record is that same creation.  Later
    // records of the name are new creations again.
    found->second.fromRecovery = false;
    return false;
  }
  Remember(std::move(key), now, false);
  return true;
}

bool NewFileLedger::RecoveryFound(std::u16string_view relativeName, std::uint64_t now) {
  Utf16Text key = LedgerKey(relativeName);
  if (names_.count(key) != 0) return false;
  Remember(std::move(key), now, true);
  return true;
}

void NewFileLedger::Remember(Utf16Text key, std::uint64_t now, bool fromRecovery) {
  // Stale entries of re-remembered names count against the bound too.
  while ((names_.size() >= kMaxNames || order_.size() >= 2 * kMaxNames) && !order_.empty()) ForgetOldest();
  order_.push_back(Aged{now, key});
  names_[std::move(key)] = Entry{now, fromRecovery};
}

void NewFileLedger::ForgetOldest() {
  const Aged& oldest = order_.front();
  auto found = names_.find(oldest.key);
  // The name may have been remembered again since; only its newest entry counts.
  if (found != names_.end() && found->second.time == oldest.time) names_.erase(found);
  order_.pop_front();
}

void NewFileLedger::Prune(std::uint64_t before) {
  while (!order_.empty() && order_.front().time < before) ForgetOldest();
}
