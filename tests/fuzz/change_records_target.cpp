// Change records as a directory read returns them: bytes written by the
// system (or, on a network share, by another machine).
#include "app/watch/change_records.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Stands in for the system's conversion: ASCII stays, other units become
// "?" or, for the CJK block, a two-byte GBK-like pair whose trail byte may
// be 0x5C or a capital letter.
Text FakeAnsi(const char16_t* name, std::int32_t count) {
  Text text;
  for (std::int32_t i = 0; i < count; ++i) {
    const char16_t unit = name[i];
    if (unit < 0x80) {
      text += static_cast<char>(unit);
    } else if (unit >= 0x4E00 && unit < 0xA000) {
      text += static_cast<char>(0x81 + (unit >> 8) % 0x7E);
      text += static_cast<char>(0x40 + unit % 0xBF);
    } else {
      text += '?';
    }
  }
  return text;
}

struct Folder {
  std::string_view ansi;
  std::u16string_view wide;
};
constexpr Folder kFolders[] = {
    {"C:\\", u"C:\\"}, {"C:", u"C:"},       {"D:\\Cache", u"D:\\Cache"},     {"D:\\Cache/", u"D:\\Cache/"},
    {"", u""},         {"cache", u"cache"}, {"D:\\\x81\x5C", u"D:\\\u4e57"},  // ends in a character whose
                                                                              // trail byte is "\"
};

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

void FuzzChangeRecords(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const Folder& folder = kFolders[input.Byte() % std::size(kFolders)];
  const auto records = input.Rest();
  // An exact copy on the heap, so that a read past the returned bytes is
  // caught by the address sanitizer.
  std::vector<std::uint8_t> block(records.begin(), records.end());
  const WatchedFolderTexts texts{folder.ansi, folder.wide};
  const auto names = ChangeBatchNewFiles(block.data(), block.size(), texts, &FakeAnsi);

  FUZZ_CHECK(names.size() <= block.size() / kChangeRecordHeaderSize);
  for (const NewFileName& name : names) {
    FUZZ_CHECK(!name.relativeName.empty());
    FUZZ_CHECK(std::string_view(name.fullPath).substr(0, folder.ansi.size()) == folder.ansi);
    FUZZ_CHECK(name.fullPath.size() > folder.ansi.size());
    FUZZ_CHECK(StartsWith(name.exactPath, folder.wide));
    const std::u16string_view exact(name.exactPath.data(), name.exactPath.size());
    const std::u16string_view relative(name.relativeName.data(), name.relativeName.size());
    FUZZ_CHECK(exact.substr(exact.size() - relative.size()) == relative);
    // The separator goes in exactly when the folder text needs one.
    const std::size_t gap = exact.size() - relative.size() - folder.wide.size();
    FUZZ_CHECK(gap == (TextEndsWithSeparator(folder.ansi) ? 0u : 1u));
    FUZZ_CHECK(std::string_view(name.fullPath).find('\0') == std::string_view::npos);
  }
  // The walk alone, with every action, stays inside the block too.
  std::size_t visited = 0;
  ChangeRecordsWalk(block.data(), block.size(), [&](const ChangeRecord& record) {
    ++visited;
    FUZZ_CHECK(record.name.size() * 2 <= block.size());
  });
  FUZZ_CHECK(names.size() <= visited);
}
