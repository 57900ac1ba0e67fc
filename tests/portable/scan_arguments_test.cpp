// The scan's command line: every switch, their combinations, and each way an
// argument can be wrong, with the argument the message will name.
#include <gtest/gtest.h>

#include "app/command_line/scan_arguments.h"

namespace {

std::variant<ScanRequest, ArgumentError> Parse(std::vector<std::string> arguments) {
  return ScanArgumentsParse(arguments);
}

ScanRequest Request(std::vector<std::string> arguments) {
  auto parsed = Parse(std::move(arguments));
  EXPECT_TRUE(std::holds_alternative<ScanRequest>(parsed));
  return std::holds_alternative<ScanRequest>(parsed) ? std::get<ScanRequest>(parsed) : ScanRequest{};
}

ArgumentError Error(std::vector<std::string> arguments) {
  auto parsed = Parse(std::move(arguments));
  EXPECT_TRUE(std::holds_alternative<ArgumentError>(parsed));
  return std::holds_alternative<ArgumentError>(parsed) ? std::get<ArgumentError>(parsed)
                                                       : ArgumentError{ArgumentFault::NothingToDo, "parsed"};
}

void ExpectError(std::vector<std::string> arguments, ArgumentFault fault, const std::string& named) {
  const ArgumentError error = Error(std::move(arguments));
  EXPECT_EQ(error.fault, fault) << named;
  EXPECT_EQ(error.argument, named);
}

}  // namespace

TEST(ScanArguments, EverySwitchWithItsValue) {
  const ScanRequest request =
      Request({"/scomma", "a.csv", "/stab", "C:\\r\\b.txt", "/copyall", "D:\\保存", "/partial", "/separate",
               "/cachefolder", "x", "/cachefolder", "y z", "/type", "audio"});
  EXPECT_FALSE(request.usage);
  EXPECT_EQ(request.commaReport, "a.csv");
  EXPECT_EQ(request.tabReport, "C:\\r\\b.txt");
  EXPECT_EQ(request.copyFolder, "D:\\保存");
  EXPECT_TRUE(request.partial);
  EXPECT_TRUE(request.separate);
  EXPECT_EQ(request.cacheFolders, (std::vector<std::string>{"x", "y z"}));
  EXPECT_EQ(request.classFilter, ScanClassFilter::Audio);

  // Any order, either prefix, any case; one action is enough.
  const ScanRequest mixed = Request({"-TYPE", "Video", "/CopyAll", "out"});
  EXPECT_EQ(mixed.copyFolder, "out");
  EXPECT_FALSE(mixed.commaReport);
  EXPECT_FALSE(mixed.tabReport);
  EXPECT_FALSE(mixed.partial);
  EXPECT_FALSE(mixed.separate);
  EXPECT_TRUE(mixed.cacheFolders.empty());
  EXPECT_EQ(mixed.classFilter, ScanClassFilter::Video);
  EXPECT_EQ(Request({"/stab", "t"}).classFilter, ScanClassFilter::All);
  // A value that merely starts like a path of the other kind is a value.
  EXPECT_EQ(Request({"/scomma", "-report.csv"}).commaReport, "-report.csv");
}

TEST(ScanArguments, UsageWinsOverEverythingElse) {
  EXPECT_TRUE(Request({"/?"}).usage);
  EXPECT_TRUE(Request({"/scomma", "a", "-?"}).usage);
  EXPECT_TRUE(Request({"/bogus", "/?"}).usage);
}

TEST(ScanArguments, EachBadArgumentIsNamed) {
  ExpectError({"/scan"}, ArgumentFault::UnknownSwitch, "/scan");
  ExpectError({"report.csv"}, ArgumentFault::UnknownSwitch, "report.csv");
  ExpectError({"/scomma", "a", "extra"}, ArgumentFault::UnknownSwitch, "extra");
  ExpectError({"/"}, ArgumentFault::UnknownSwitch, "/");
  ExpectError({"/scomma"}, ArgumentFault::MissingValue, "/scomma");
  ExpectError({"/scomma", "/stab", "b"}, ArgumentFault::MissingValue, "/scomma");
  ExpectError({"/stab", ""}, ArgumentFault::MissingValue, "/stab");
  ExpectError({"/copyall", "out", "/cachefolder"}, ArgumentFault::MissingValue, "/cachefolder");
  ExpectError({"/scomma", "a", "/type"}, ArgumentFault::MissingValue, "/type");
  ExpectError({"/scomma", "a", "/type", "image"}, ArgumentFault::BadTypeValue, "image");
  ExpectError({"/scomma", "a", "/scomma", "b"}, ArgumentFault::RepeatedSwitch, "/scomma");
  ExpectError({"/stab", "a", "/STAB", "b"}, ArgumentFault::RepeatedSwitch, "/STAB");
  ExpectError({"/copyall", "a", "/copyall", "b"}, ArgumentFault::RepeatedSwitch, "/copyall");
  ExpectError({"/scomma", "a", "/type", "video", "/type", "audio"}, ArgumentFault::RepeatedSwitch, "/type");
  ExpectError({"/copyall", "a", "/partial", "/partial"}, ArgumentFault::RepeatedSwitch, "/partial");
  ExpectError({"/scomma", "a", "-Partial"}, ArgumentFault::PartialWithoutCopy, "-Partial");
  ExpectError({"/scomma", "a", "/Separate"}, ArgumentFault::PartialWithoutCopy, "/Separate");
  ExpectError({"/copyall", "a", "/separate", "-separate"}, ArgumentFault::RepeatedSwitch, "-separate");
  ExpectError({"/cachefolder", "c", "/type", "audio"}, ArgumentFault::NothingToDo, "/cachefolder");
  ExpectError({}, ArgumentFault::NothingToDo, "");
}
