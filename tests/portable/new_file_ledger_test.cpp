// The session's memory of handed-on names: a recovery scan never hands a
// file on twice, records always count, and the memory stays bounded.
#include <gtest/gtest.h>

#include <string>

#include "app/watch/new_file_ledger.h"

namespace {

TEST(NewFileLedgerTest, RecoveryAndRecordsHandEachCreationOnOnce) {
  NewFileLedger ledger;
  // Reported first: the scan skips it, whatever the case of its name.
  EXPECT_TRUE(ledger.RecordArrived(u"Sub\\Movie.FLV", 100));
  EXPECT_FALSE(ledger.RecoveryFound(u"sub\\movie.flv", 110));
  // Found first: the record of the same creation is dropped once; a later
  // creation of the same name is new again.
  EXPECT_TRUE(ledger.RecoveryFound(u"late.mp4", 120));
  EXPECT_FALSE(ledger.RecordArrived(u"LATE.mp4", 125));
  EXPECT_TRUE(ledger.RecordArrived(u"late.mp4", 500));
  // Records are never held back by earlier records.
  EXPECT_TRUE(ledger.RecordArrived(u"Sub\\Movie.FLV", 600));
}

TEST(NewFileLedgerTest, PruneForgetsOnlyWhatNoScanCanReach) {
  NewFileLedger ledger;
  ledger.RecordArrived(u"old.flv", 100);
  ledger.RecordArrived(u"new.flv", 300);
  ledger.RecordArrived(u"old.flv", 350);  // remembered again: its newest time counts
  ledger.Prune(200);
  EXPECT_FALSE(ledger.RecoveryFound(u"old.flv", 400));
  EXPECT_FALSE(ledger.RecoveryFound(u"new.flv", 400));
  ledger.Prune(1000);
  EXPECT_EQ(ledger.Size(), 0u);
  EXPECT_TRUE(ledger.RecoveryFound(u"new.flv", 1100));
}

TEST(NewFileLedgerTest, StaysWithinItsBoundAndForgetsTheOldestFirst) {
  NewFileLedger ledger;
  const std::size_t extra = 10;
  for (std::size_t i = 0; i < NewFileLedger::kMaxNames + extra; ++i) {
    const std::string digits = std::to_string(i);
    const std::u16string name = u"f" + std::u16string(digits.begin(), digits.end());
    ledger.RecordArrived(name, i);
  }
  EXPECT_EQ(ledger.Size(), NewFileLedger::kMaxNames);
  EXPECT_TRUE(ledger.RecoveryFound(u"f0", 1));  // forgotten
  EXPECT_FALSE(ledger.RecoveryFound(u"f100009", 1));
}

}  // namespace
