#include "app/cache_watch/cache_file_names.h"

#include "app/browser_caches/firefox_cache2.h"

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

bool AllHex(std::string_view text) {
  for (char c : text) {
    if (!IsHexDigit(c)) return false;
  }
  return true;
}

}  // namespace

CacheFileKind CacheFileKindOf(std::string_view fileName) {
  if (fileName == "index") return CacheFileKind::Index;
  // The browser names its files in lower-case hex.
  if (fileName.size() == 18 && fileName[16] == '_' && (fileName[17] == '0' || fileName[17] == 's') &&
      AllHex(fileName.substr(0, 16)))
    return CacheFileKind::SimpleEntry;
  if (fileName.size() == 8 && fileName.substr(0, 2) == "f_" && AllHex(fileName.substr(2)))
    return CacheFileKind::BlockExternal;
  if (fileName.size() == 6 && fileName.substr(0, 5) == "data_" && fileName[5] >= '0' && fileName[5] <= '3')
    return CacheFileKind::BlockData;
  if (FirefoxEntryNameIs(fileName)) return CacheFileKind::FirefoxEntry;
  return CacheFileKind::None;
}
