#include "app/browser_caches/folder_tree_disk.h"

#include <windows.h>

#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"

FolderTree::Listing DiskFolderTree::List(const std::u16string& folder) {
  Listing listing;
  WIN32_FIND_DATAW found{};
  FindHandle find(FindFirstFileExW((std::wstring(WideView(folder)) + L"\\*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return listing;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) continue;
    auto& names = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? listing.folders : listing.files;
    names.emplace_back(Utf16View(name));
  } while (FindNextFileW(find.Get(), &found));
  return listing;
}

bool DiskFolderTree::HasFile(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(WideChars(path.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
