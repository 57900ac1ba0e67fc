// Change-record decoding on hand-built and malformed blocks, the path rule
// and the recycle-bin filter, with a stand-in for the code-page conversion.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/watch/change_records.h"

namespace {

// ASCII maps to itself, U+8868 to the double-byte "\xB1\xED", U+4E00 to a
// double-byte character whose trail byte is the letter 'A', anything else
// to '?' (the code page's default character).
Text FakeToAnsi(const char16_t* name, std::int32_t count) {
  Text text;
  for (std::int32_t i = 0; i < count; ++i) {
    const char16_t unit = name[i];
    if (unit < 0x80) {
      text += static_cast<char>(unit);
    } else if (unit == u'\u8868') {
      text += "\xB1\xED";
    } else if (unit == u'\u4E00') {
      text += "\x81\x41";
    } else {
      text += '?';
    }
  }
  return text;
}

struct BlockBuilder {
  std::vector<std::uint8_t> bytes;
  std::size_t lastRecord = 0;

  void Word(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  // Appends a well-formed record (4-byte aligned) and links the previous one to it.
  BlockBuilder& Add(std::uint32_t action, std::u16string_view name) {
    const std::size_t at = bytes.size();
    if (at != 0) Word(lastRecord, static_cast<std::uint32_t>(at - lastRecord));
    const std::size_t size = (kChangeRecordHeaderSize + name.size() * 2 + 3) & ~std::size_t{3};
    bytes.resize(at + size, 0);
    Word(at + 4, action);
    Word(at + 8, static_cast<std::uint32_t>(name.size() * 2));
    for (std::size_t i = 0; i < name.size(); ++i) {
      bytes[at + 12 + 2 * i] = static_cast<std::uint8_t>(name[i]);
      bytes[at + 13 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
    }
    lastRecord = at;
    return *this;
  }
};

struct Decoded {
  std::vector<std::string> fullPaths;
  std::vector<std::u16string> exactPaths;
};

Decoded Decode(const std::vector<std::uint8_t>& block, std::string_view folder = "D:\\Cache\\",
               std::u16string_view wideFolder = u"D:\\Cache\\") {
  // An exactly sized copy, so that any read past the end is caught by ASan.
  auto* copy = new std::uint8_t[block.size() == 0 ? 1 : block.size()];
  if (!block.empty()) std::memcpy(copy, block.data(), block.size());
  Decoded result;
  for (NewFileName& name : ChangeBatchNewFiles(copy, block.size(), {folder, wideFolder}, FakeToAnsi)) {
    result.fullPaths.emplace_back(name.fullPath);
    result.exactPaths.emplace_back(name.exactPath);
  }
  delete[] copy;
  return result;
}

TEST(ChangeRecordsTest, KeepsAddedFilesInRecordOrderWithLowerCasedNames) {
  BlockBuilder block;
  block.Add(1, u"Sub\\Movie.FLV").Add(3, u"Sub\\Movie.FLV").Add(2, u"gone.mp4").Add(4, u"old.tmp");
  block.Add(5, u"Renamed.MP4").Add(1, u"a.MP3").Add(0, u"").Add(1, u"Z\\B.wmv");
  const Decoded decoded = Decode(block.bytes);
  EXPECT_EQ(decoded.fullPaths, (std::vector<std::string>{"D:\\Cache\\sub\\movie.flv", "D:\\Cache\\a.mp3",
                                                         "D:\\Cache\\z\\b.wmv"}));
  // The exact path keeps the name as the system wrote it.
  EXPECT_EQ(decoded.exactPaths, (std::vector<std::u16string>{u"D:\\Cache\\Sub\\Movie.FLV",
                                                             u"D:\\Cache\\a.MP3", u"D:\\Cache\\Z\\B.wmv"}));
}

TEST(ChangeRecordsTest, FolderTextDecidesTheSeparatorAndKeepsItsCase) {
  BlockBuilder block;
  block.Add(1, u"Sub\\Movie.FLV");
  EXPECT_EQ(Decode(block.bytes, "D:\\Cache", u"D:\\Cache").fullPaths[0], "D:\\Cache\\sub\\movie.flv");
  EXPECT_EQ(Decode(block.bytes, "D:\\Cache", u"D:\\Cache").exactPaths[0], u"D:\\Cache\\Sub\\Movie.FLV");
  EXPECT_EQ(Decode(block.bytes, "D:/CACHE/", u"D:/CACHE/").fullPaths[0], "D:/CACHE/sub\\movie.flv");
  // The last byte 0x5C here is the trail byte of a double-byte character,
  // not a separator.
  EXPECT_EQ(Decode(block.bytes, "D:\\\x95\\", u"D:\\\u7A1E").fullPaths[0], "D:\\\x95\\\\sub\\movie.flv");
  EXPECT_EQ(Decode(block.bytes, "", u"").fullPaths[0], "\\sub\\movie.flv");
}

TEST(ChangeRecordsTest, LowerCasingSparesDoubleByteCharactersAndDefaultCharacters) {
  BlockBuilder block;
  block.Add(1, u"\u8868X\u4E00Y\uAC00.FLV");
  const Decoded decoded = Decode(block.bytes);
  ASSERT_EQ(decoded.fullPaths.size(), 1u);
  EXPECT_EQ(decoded.fullPaths[0], "D:\\Cache\\\xB1\xEDx\x81\x41y?.flv");
  EXPECT_EQ(decoded.exactPaths[0], u"D:\\Cache\\\u8868X\u4E00Y\uAC00.FLV");
}

TEST(ChangeRecordsTest, DropsTheRecycleBinsOfDriveCOnly) {
  BlockBuilder block;
  block.Add(1, u"$Recycle.Bin\\S-1-5\\$RABC.flv").Add(1, u"RECYCLER\\x.mp4").Add(1, u"Recycled\\y.mp4");
  block.Add(1, u"Users\\z.flv");
  EXPECT_EQ(Decode(block.bytes, "C:\\", u"C:\\").fullPaths,
            (std::vector<std::string>{"C:\\recycled\\y.mp4", "C:\\users\\z.flv"}));
  // The test is on the full path: the folder's case and a missing separator
  // do not let a recycle-bin file through.
  EXPECT_EQ(Decode(block.bytes, "c:", u"c:").fullPaths.size(), 2u);
  EXPECT_EQ(Decode(block.bytes, "D:\\", u"D:\\").fullPaths.size(), 4u);
}

TEST(ChangeRecordsTest, WalkStopsAtAnythingLeavingTheBlock) {
  BlockBuilder block;
  block.Add(1, u"first.flv").Add(1, u"second.flv").Add(1, u"third.flv");

  // The block ends inside the last record's name: the first two survive.
  std::vector<std::uint8_t> cut(block.bytes.begin(), block.bytes.end() - 6);
  EXPECT_EQ(Decode(cut).fullPaths.size(), 2u);

  // A NextEntryOffset past the end ends the walk after that record.
  BlockBuilder farNext = block;
  farNext.Word(0, 0xFFFFFFF0u);
  EXPECT_EQ(Decode(farNext.bytes).fullPaths, std::vector<std::string>{"D:\\Cache\\first.flv"});

  // A FileNameLength that would leave the block drops that record and ends the walk.
  BlockBuilder longName = block;
  longName.Word(8, 0x7FFFFFFEu);
  EXPECT_TRUE(Decode(longName.bytes).fullPaths.empty());

  // Fewer bytes than one header: nothing at all.
  EXPECT_TRUE(
      Decode(std::vector<std::uint8_t>(block.bytes.begin(), block.bytes.begin() + 11)).fullPaths.empty());
}

TEST(ChangeRecordsTest, OddLengthsUnalignedOffsetsAndZeroFilledBlocks) {
  BlockBuilder block;
  block.Add(1, u"abcd");
  block.Word(8, 7);  // 7 bytes: three code units
  EXPECT_EQ(Decode(block.bytes).fullPaths, std::vector<std::string>{"D:\\Cache\\abc"});

  // A record at an odd offset is still read within the block.
  std::vector<std::uint8_t> odd(12 + 3 + 12 + 4, 0);
  odd[0] = 15;
  odd[4] = 1;
  odd[8] = 2;
  odd[12] = 'q';
  odd[15 + 4] = 1;
  odd[15 + 8] = 4;
  odd[15 + 12] = 'X';
  odd[15 + 14] = 'y';
  EXPECT_EQ(Decode(odd).fullPaths, (std::vector<std::string>{"D:\\Cache\\q", "D:\\Cache\\xy"}));

  // A zero-filled block reads as one empty record of action 0.
  EXPECT_TRUE(Decode(std::vector<std::uint8_t>(4096, 0)).fullPaths.empty());
  EXPECT_TRUE(Decode({}).fullPaths.empty());

  // An added record without a name, or whose name starts with a zero, names no file.
  BlockBuilder empty;
  empty.Add(1, u"").Add(1, std::u16string_view(u"\0x.flv", 6));
  EXPECT_TRUE(Decode(empty.bytes).fullPaths.empty());
}

// Random and half-formed blocks: the walk must stay inside every block
// (ASan checks the reads) and every accepted path must be well-formed.
TEST(ChangeRecordsTest, FuzzedBlocksAreWalkedSafely) {
  std::mt19937 random(20261207);
  constexpr int kIterations = 20000;
  for (int iteration = 0; iteration < kIterations; ++iteration) {
    std::vector<std::uint8_t> block(random() % 300);
    for (auto& byte : block) byte = static_cast<std::uint8_t>(random());
    // Most blocks get plausible headers so the walk goes deeper.
    for (std::size_t at = 0; at + 12 <= block.size() && random() % 4 != 0; at += 4 + random() % 40) {
      const std::uint32_t words[] = {static_cast<std::uint32_t>(random() % 64), 1,
                                     static_cast<std::uint32_t>(random() % 80)};
      std::memcpy(block.data() + at, words, sizeof words);
    }
    std::size_t records = 0;
    ChangeRecordsWalk(block.data(), block.size(), [&](const ChangeRecord& record) {
      ++records;
      ASSERT_LE(record.name.size() * 2 + kChangeRecordHeaderSize, block.size());
    });
    ASSERT_LE(records, block.size());
    for (const std::string& path : Decode(block).fullPaths) {
      ASSERT_EQ(path.rfind("D:\\Cache\\", 0), 0u);
      ASSERT_GT(path.size(), 9u);
    }
  }
}

}  // namespace
