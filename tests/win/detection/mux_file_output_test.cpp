// The muxed file's writer: writes collected and all arriving, the file
// appearing under its name only at the end, never over another file, and
// nothing left behind when the mux is abandoned.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/muxing/mux_file_output.h"
#include "detection_scratch.h"
#include "tests/win/cache_disk_writer.h"

namespace {

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 11));
  return bytes;
}

TEST(MuxFileOutput, CollectsWritesAndAppearsUnderItsNameOnlyAtTheEnd) {
  DetectionScratch scratch;
  const std::wstring folder = WideOf(scratch.Save());
  std::vector<std::uint8_t> expected;
  {
    MuxFileOutput output(folder);
    ASSERT_TRUE(output.Opened());
    // Small pieces around the collection's size, and one larger than it.
    for (const std::size_t size : {std::size_t{8}, kMuxWriteCollect - 3, std::size_t{5000}, 3 * kMuxWriteCollect + 1,
                                   std::size_t{1}}) {
      const std::vector<std::uint8_t> piece = Bytes(size, static_cast<std::uint8_t>(size));
      ASSERT_TRUE(output.Write(piece));
      expected.insert(expected.end(), piece.begin(), piece.end());
    }
    // Only the temporary file so far.
    const std::vector<std::string> during = scratch.SavedNames();
    ASSERT_EQ(during.size(), 1u);
    std::string lower = during[0];
    CharLowerA(lower.data());
    EXPECT_TRUE(lower.ends_with(".tmp")) << during[0];

    // A name that is taken stays as it was; the next one takes the file.
    FileWrite(folder + L"\\joined.mp4", "earlier");
    SetLastError(0);
    EXPECT_FALSE(output.MoveTo(folder + L"\\joined.mp4"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(output.MoveTo(folder + L"\\joined(2).mp4"));
  }
  EXPECT_EQ(scratch.SavedNames(), (std::vector<std::string>{"joined(2).mp4", "joined.mp4"}));
  EXPECT_EQ(FileContents(scratch.Save() + "\\joined.mp4"), "earlier");
  EXPECT_EQ(DiskBytesRead(folder + L"\\joined(2).mp4"), expected);
}

TEST(MuxFileOutput, AnAbandonedMuxLeavesNothing) {
  DetectionScratch scratch;
  {
    MuxFileOutput output(WideOf(scratch.Save()));
    ASSERT_TRUE(output.Opened());
    ASSERT_TRUE(output.Write(Bytes(2 * kMuxWriteCollect, 3)));
    EXPECT_EQ(scratch.SavedNames().size(), 1u);
  }
  EXPECT_TRUE(scratch.SavedNames().empty());
  // A folder that is not there: not opened, every write refused.
  MuxFileOutput nowhere(WideOf(scratch.Save()) + L"\\missing");
  EXPECT_FALSE(nowhere.Opened());
  EXPECT_FALSE(nowhere.Write(Bytes(10, 1)));
  EXPECT_FALSE(nowhere.MoveTo(WideOf(scratch.Save()) + L"\\x.mp4"));
}

}  // namespace
