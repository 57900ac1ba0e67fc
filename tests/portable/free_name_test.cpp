// The first free name both kinds of copies take: numbers tried while taken,
// a failure that no number mends, the last number, and the next number
// remembered per name so that many copies of one name stay cheap.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "app/detection/free_name.h"

namespace {

// A folder of names: "taken" holds the numbers in use per name.
struct Names {
  std::map<std::string, std::set<int>> taken;
  int tries = 0;

  std::optional<int> Save(FreeNameNumbers& numbers, const std::string& name) {
    const std::optional<int> number = FreeNameTake(numbers.First(name), [&](int candidate) {
      ++tries;
      return taken[name].insert(candidate).second ? FreeNameTry::Written : FreeNameTry::Taken;
    });
    if (number) numbers.Used(name, *number);
    return number;
  }
};

TEST(FreeName, TakesTheFirstFreeNumberAndStopsAtAFailure) {
  int tries = 0;
  EXPECT_EQ(FreeNameTake(1, [&](int number) {
              ++tries;
              return number < 4 ? FreeNameTry::Taken : FreeNameTry::Written;
            }),
            4);
  EXPECT_EQ(tries, 4);
  tries = 0;
  EXPECT_FALSE(FreeNameTake(1, [&](int) {
                 ++tries;
                 return FreeNameTry::Failed;
               }).has_value());
  EXPECT_EQ(tries, 1);  // no further number helps
  EXPECT_FALSE(FreeNameTake(1, [](int) { return FreeNameTry::Taken; }).has_value());
  EXPECT_EQ(FreeNameTake(kLastFreeNameNumber, [](int) { return FreeNameTry::Written; }), kLastFreeNameNumber);
  EXPECT_EQ(FreeNameTake(0, [](int number) { return number == 1 ? FreeNameTry::Written : FreeNameTry::Failed; }),
            1);
}

TEST(FreeName, ManyCopiesOfOneNameCostAboutOneTryEach) {
  Names folder;
  FreeNameNumbers numbers;
  for (int i = 1; i <= 2000; ++i) ASSERT_EQ(folder.Save(numbers, "clip.mp4"), i);
  EXPECT_EQ(folder.tries, 2000);  // without the memory: 2,001,000
  // Names are remembered apart; a name made meanwhile by someone else is still skipped.
  EXPECT_EQ(folder.Save(numbers, "other.mp4"), 1);
  folder.taken["clip.mp4"].insert(2001);
  EXPECT_EQ(folder.Save(numbers, "clip.mp4"), 2002);
}

}  // namespace
