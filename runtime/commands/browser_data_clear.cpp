#include "runtime/commands/browser_data_clear.h"

#include <windows.h>

#include <shlobj.h>
#include <shellapi.h>
#include <wininet.h>

#include <vector>

#include "runtime/commands/folder_emptying.h"
#include "runtime/core/late_library.h"

namespace {

constexpr DWORD kCookieEntryBit = 0x100000;  // COOKIE_CACHE_ENTRY

// WinINet, loaded for the clearing only: the program starts without it.
struct UrlCacheFunctions {
  LateLibrary library{"wininet.dll"};
  decltype(&FindFirstUrlCacheEntryA) findFirst =
      library.Find<decltype(&FindFirstUrlCacheEntryA)>("FindFirstUrlCacheEntryA");
  decltype(&FindNextUrlCacheEntryA) findNext =
      library.Find<decltype(&FindNextUrlCacheEntryA)>("FindNextUrlCacheEntryA");
  decltype(&FindCloseUrlCache) findClose = library.Find<decltype(&FindCloseUrlCache)>("FindCloseUrlCache");
  decltype(&DeleteUrlCacheEntryA) deleteEntry =
      library.Find<decltype(&DeleteUrlCacheEntryA)>("DeleteUrlCacheEntryA");

  bool Usable() const { return findFirst && findNext && findClose && deleteEntry; }
};

// Ends a URL cache enumeration.
struct UrlCacheFind {
  const UrlCacheFunctions& functions;
  HANDLE handle = nullptr;
  explicit UrlCacheFind(const UrlCacheFunctions& loaded) : functions(loaded) {}
  UrlCacheFind(const UrlCacheFind&) = delete;
  UrlCacheFind& operator=(const UrlCacheFind&) = delete;
  ~UrlCacheFind() {
    if (handle != nullptr) functions.findClose(handle);
  }
};

INTERNET_CACHE_ENTRY_INFOA* EntryOf(std::vector<unsigned char>& buffer) {
  return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
}

// Each entry comes in two calls: one to learn its size, one into a buffer of
// that size.  The previous entry's buffer is replaced by the next.
bool UrlCacheFirstEntry(UrlCacheFind& find, std::vector<unsigned char>& buffer) {
  DWORD size = 0;
  if (find.functions.findFirst(nullptr, nullptr, &size) != nullptr)
    return false;  // cannot happen without a buffer
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
  buffer.assign(size, 0);
  find.handle = find.functions.findFirst(nullptr, EntryOf(buffer), &size);
  return find.handle != nullptr;
}

bool UrlCacheNextEntry(const UrlCacheFind& find, std::vector<unsigned char>& buffer) {
  DWORD size = 0;
  if (find.functions.findNext(find.handle, nullptr, &size)) return false;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
  buffer.assign(size, 0);
  return find.functions.findNext(find.handle, EntryOf(buffer), &size) != FALSE;
}

// Deletes the entries with (cookies) or without the cookie bit; true when the
// cache had an entry to start from.
bool UrlCacheEntriesDelete(bool cookies) {
  const UrlCacheFunctions functions;
  if (!functions.Usable()) return false;
  UrlCacheFind find(functions);
  std::vector<unsigned char> buffer;
  if (!UrlCacheFirstEntry(find, buffer)) return false;
  do {
    const INTERNET_CACHE_ENTRY_INFOA* entry = EntryOf(buffer);
    const bool isCookie = (entry->CacheEntryType & kCookieEntryBit) != 0;
    if (isCookie == cookies && entry->lpszSourceUrlName != nullptr)
      functions.deleteEntry(entry->lpszSourceUrlName);
  } while (UrlCacheNextEntry(find, buffer));
  return true;
}

void SpecialFolderFilesDelete(int folderId) {
  char folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, folder, folderId, FALSE)) return;
  FolderFilesDelete(folder);
}

bool BrowserCacheClear(bool cookies) {
  const bool walked = UrlCacheEntriesDelete(cookies);
  SpecialFolderFilesDelete(cookies ? CSIDL_COOKIES : CSIDL_INTERNET_CACHE);
  return walked;
}

bool TempFolderClear() {
  char folder[MAX_PATH] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH) return false;
  return FolderContentsDelete(folder);
}

}  // namespace

bool BrowserDataClear(std::optional<std::int32_t> kind) {
  switch (kind.value_or(kClearTempFolder)) {
    case kClearBrowserCache:
      return BrowserCacheClear(false);
    case kClearRecycleBin:
      return SUCCEEDED(
          SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND));
    case kClearCookies:
      return BrowserCacheClear(true);
    default:
      return TempFolderClear();
  }
}
