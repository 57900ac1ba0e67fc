#include "app/watch/change_records.h"

#include "runtime/commands/text_commands.h"

namespace {

constexpr std::string_view kRecycleBinPrefixes[] = {"c:\\$recycle", "c:\\recycler"};
constexpr std::int32_t kRecycleBinPrefixLength = 11;

bool IsRecycleBinPath(std::string_view fullPath) {
  const Text head = TextToLower(TextLeft(fullPath, kRecycleBinPrefixLength));
  for (std::string_view prefix : kRecycleBinPrefixes) {
    if (std::string_view(head) == prefix) return true;
  }
  return false;
}

}  // namespace

bool TextEndsWithSeparator(std::string_view text) {
  // A trail byte of a double-byte character can be 0x5C, so find where the
  // last character starts rather than looking at the last byte.
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < text.size(); ++i) {
    last = i;
    if (static_cast<unsigned char>(text[i]) >= 0x80 && i + 1 < text.size()) ++i;
  }
  if (last == std::string_view::npos || last + 1 != text.size()) return false;
  return text[last] == '\\' || text[last] == '/';
}

bool NewFileNameBuild(const WatchedFolderTexts& folder, std::u16string_view name, AnsiNameConverter toAnsi,
                      NewFileName& result) {
  if (name.empty()) return false;  // an added file always has a name
  const bool addSeparator = !TextEndsWithSeparator(folder.ansi);
  // A text ends at its first zero byte: a name that starts with one names nothing.
  const Text lowerName = TextToLower(toAnsi(name.data(), static_cast<std::int32_t>(name.size())));
  if (lowerName.empty()) return false;

  result.fullPath.assign(folder.ansi.data(), folder.ansi.size());
  if (addSeparator) result.fullPath += '\\';
  result.fullPath += lowerName;
  if (IsRecycleBinPath(result.fullPath)) return false;

  result.exactPath.assign(folder.wide.data(), folder.wide.size());
  if (addSeparator) result.exactPath += u'\\';
  result.exactPath.append(name.data(), name.size());
  result.relativeName.assign(name.data(), name.size());
  return true;
}

std::vector<NewFileName, RuntimeAllocator<NewFileName>> ChangeBatchNewFiles(const std::uint8_t* block,
                                                                            std::size_t byteCount,
                                                                            const WatchedFolderTexts& folder,
                                                                            AnsiNameConverter toAnsi) {
  std::vector<NewFileName, RuntimeAllocator<NewFileName>> names;
  ChangeRecordsWalk(block, byteCount, [&](const ChangeRecord& record) {
    // Removed, modified and renamed files are not new files: a file is
    // found once, when it is created, and a rename never counts.
    if (record.action != kFileActionAdded) return;
    NewFileName name;
    if (NewFileNameBuild(folder, record.name, toAnsi, name)) names.push_back(std::move(name));
  });
  return names;
}
