// Decoding of the change records that a directory read returns
// (FILE_NOTIFY_INFORMATION), and the rule that turns a new file's name into
// the full path handed to the detection step.  No Win32 here: the UTF-16 to
// ANSI conversion is passed in, so the decoder also runs (and is fuzzed)
// natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/core/text.h"

using Utf16Text = std::basic_string<char16_t, std::char_traits<char16_t>, RuntimeAllocator<char16_t>>;

// Converts count UTF-16 code units (an aligned copy of the name) to a text
// in the ANSI code page.
using AnsiNameConverter = Text (*)(const char16_t* name, std::int32_t count);

constexpr std::uint32_t kFileActionAdded = 1;
// Bytes of a record before its name: NextEntryOffset, Action, FileNameLength.
constexpr std::size_t kChangeRecordHeaderSize = 12;

struct ChangeRecord {
  std::uint32_t action = 0;
  Utf16Text name;  // exactly as the system wrote it, relative to the folder
};

// Calls visit(const ChangeRecord&) for each record lying wholly inside
// block[0, byteCount), in order.  A record whose header or name would leave
// the block, or a NextEntryOffset that leads outside it, ends the walk.
template <class Visit>
void ChangeRecordsWalk(const std::uint8_t* block, std::size_t byteCount, Visit&& visit);

// The watched folder as the path builder needs it: the box text and the
// same text in UTF-16 (for the exact path).
struct WatchedFolderTexts {
  std::string_view ansi;
  std::u16string_view wide;
};

struct NewFileName {
  Text fullPath;           // folder text + lower-cased ANSI name
  Utf16Text exactPath;     // wide folder + exact UTF-16 name
  Utf16Text relativeName;  // the exact name below the folder
};

// True when the text's last character (double-byte aware) is "\" or "/".
bool TextEndsWithSeparator(std::string_view text);

// Builds the full and exact paths of a new file below the folder; false
// when the path lies in the recycle bin of drive C.
bool NewFileNameBuild(const WatchedFolderTexts& folder, std::u16string_view name, AnsiNameConverter toAnsi,
                      NewFileName& result);

// Every added file of a batch, in record order, with its paths.
std::vector<NewFileName, RuntimeAllocator<NewFileName>> ChangeBatchNewFiles(const std::uint8_t* block,
                                                                            std::size_t byteCount,
                                                                            const WatchedFolderTexts& folder,
                                                                            AnsiNameConverter toAnsi);

// ---------------------------------------------------------------------------

namespace change_records_detail {
inline std::uint32_t ReadWord(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}
}  // namespace change_records_detail

template <class Visit>
void ChangeRecordsWalk(const std::uint8_t* block, std::size_t byteCount, Visit&& visit) {
  using change_records_detail::ReadWord;
  if (block == nullptr) return;
  std::size_t offset = 0;
  ChangeRecord record;
  // Offsets only grow and stay below byteCount, so the walk always ends.
  while (byteCount >= kChangeRecordHeaderSize && offset <= byteCount - kChangeRecordHeaderSize) {
    const std::uint8_t* at = block + offset;
    const std::uint32_t next = ReadWord(at);
    const std::uint32_t nameBytes = ReadWord(at + 8);
    if (nameBytes > byteCount - offset - kChangeRecordHeaderSize) return;
    record.action = ReadWord(at + 4);
    // Copied unit by unit: a malformed offset may leave the name unaligned.
    const std::size_t units = nameBytes / 2;
    record.name.resize(units);
    const std::uint8_t* name = at + kChangeRecordHeaderSize;
    for (std::size_t i = 0; i < units; ++i) {
      record.name[i] = static_cast<char16_t>(name[2 * i] | name[2 * i + 1] << 8);
    }
    visit(static_cast<const ChangeRecord&>(record));
    if (next == 0 || next > byteCount - offset) return;
    offset += next;
  }
}
