// Firefox cache2 entry files: bytes written by the browser, or by anything
// else that put a file in the cache folder.  First byte: options (bit 0
// reads from a `doomed` folder, bit 1 reads again after cutting the file,
// bits 2-7 pick where); the rest is the entry file.
#include <algorithm>

#include "app/browser_caches/firefox_cache2.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/test_cache_folders.h"

namespace {

const std::string kName = "0123456789ABCDEF0123456789ABCDEF01234567";

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

void ElementCheck(const CacheElement& element, std::span<const std::uint8_t> file) {
  const std::uint64_t fileSize = file.size();
  FUZZ_CHECK(element.store == CacheStore::FirefoxCache2);
  FUZZ_CHECK(element.id == kName);
  FUZZ_CHECK(element.pieces.size() <= 1);
  for (const BodyPiece& piece : element.pieces) {
    FUZZ_CHECK(piece.fileName == kName);
    FUZZ_CHECK(piece.fileOffset == 0 && piece.elementOffset == 0);
    FUZZ_CHECK(piece.length > 0 && piece.length <= fileSize);
  }
  if (!element.finished) {
    // A raw body: all of the file, nothing known about it.
    FUZZ_CHECK(element.key.empty() && element.webAddress.empty() && element.contentType.empty());
    FUZZ_CHECK(element.httpStatus == 0 && !element.fullLength);
    // ... less the eight 0xFF bytes an open entry ends with.
    const bool marker =
        fileSize >= 8 && std::all_of(file.end() - 8, file.end(), [](auto b) { return b == 0xFF; });
    const std::uint64_t body = marker ? fileSize - 8 : fileSize;
    FUZZ_CHECK(element.pieces.empty() == (body == 0));
    if (!element.pieces.empty()) FUZZ_CHECK(element.pieces[0].length == body);
    return;
  }
  // Metadata was there: hash, header, key and NUL, and a trailer behind the body.
  const std::uint64_t body = element.pieces.empty() ? 0 : element.pieces[0].length;
  FUZZ_CHECK(body + 4 + 28 + element.key.size() + 1 + 4 <= fileSize);
  FUZZ_CHECK(element.key.size() <= kFirefoxMaxKeySize);
  FUZZ_CHECK(EndsWith(element.key, element.webAddress));
  const auto address = FirefoxKeyAddress(element.key);
  FUZZ_CHECK(address && *address == element.webAddress);
  FUZZ_CHECK(element.contentType.find(';') == std::string::npos);
  for (char c : element.contentType + element.contentEncoding) FUZZ_CHECK(!(c >= 'A' && c <= 'Z'));
  FUZZ_CHECK(element.httpStatus == 0 || (element.httpStatus >= 100 && element.httpStatus <= 999));
}

}  // namespace

void FuzzFirefoxEntry(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t options = input.Byte();
  const auto file = input.Rest();
  MemoryCacheFolder folder((options & 1) != 0 ? "C:\\p\\cache2\\doomed" : "C:\\p\\cache2\\entries");
  folder.Put(kName, MemoryCacheFolder::Bytes(file.begin(), file.end()));

  const auto element = FirefoxEntryRead(folder, kName);
  if ((options & 1) != 0) {
    FUZZ_CHECK(!element);
    FUZZ_CHECK(FirefoxEntriesRead(folder).empty());
    return;
  }
  if (element) ElementCheck(*element, file);
  const auto all = FirefoxEntriesRead(folder);
  FUZZ_CHECK(all.size() == (element ? 1u : 0u));

  if ((options & 2) != 0 && !file.empty()) {
    // The browser truncates an entry it reuses: read what is left.
    const std::size_t cut = file.size() - 1 - (static_cast<std::size_t>(options >> 2) * 131) % file.size();
    folder.Put(kName,
               MemoryCacheFolder::Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)));
    if (const auto shorter = FirefoxEntryRead(folder, kName)) ElementCheck(*shorter, file.first(cut));
  }

  // The key parser alone, on the input as a key.
  const std::string_view key = AsChars(file);
  if (const auto address = FirefoxKeyAddress(key)) FUZZ_CHECK(EndsWith(key, *address));
}
