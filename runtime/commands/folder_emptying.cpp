#include "runtime/commands/folder_emptying.h"

#include <windows.h>

#include <shlobj.h>

#include "runtime/core/handles.h"
#include "runtime/core/text.h"

namespace {

// Whether the last character (not the second byte of a double-byte one) is a backslash.
bool EndsWithSeparator(const Text& path) {
  bool lastIsSeparator = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    lastIsSeparator = path[i] == '\\';
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) ++i;
  }
  return lastIsSeparator;
}

Text WithSeparator(Text path) {
  if (!EndsWithSeparator(path)) path += '\\';
  return path;
}

// The full path with one trailing backslash, for comparing folders.
Text FolderKey(std::string_view folder) {
  const Text given = MakeText(folder.substr(0, folder.find('\0')));
  char full[MAX_PATH * 2];
  const DWORD length = GetFullPathNameA(given.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return WithSeparator(given);
  return WithSeparator(Text(full, length));
}

bool IsDriveRoot(const Text& key) {
  if (key.size() == 3 && key[1] == ':') return true;  // "C:\"
  // "\\server\share\": two separators after the leading pair, the last one at the end.
  if (key.size() > 2 && key[0] == '\\' && key[1] == '\\') {
    const std::size_t shareStart = key.find('\\', 2);
    return shareStart != Text::npos && key.find('\\', shareStart + 1) == key.size() - 1;
  }
  return false;
}

Text ProfileFolderKey() {
  char profile[MAX_PATH] = {};
  if (SHGetSpecialFolderPathA(nullptr, profile, CSIDL_PROFILE, FALSE) && profile[0] != '\0') {
    return FolderKey(profile);
  }
  const DWORD length = GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
  if (length == 0 || length >= sizeof profile) return Text();
  return FolderKey(profile);
}

// Where the folder really is when it is itself a link; empty when unknown.
Text FolderTargetKey(std::string_view folder) {
  const Text given = MakeText(folder.substr(0, folder.find('\0')));
  const FileHandle handle(CreateFileA(given.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle) return Text();
  char target[MAX_PATH * 2];
  const DWORD length = GetFinalPathNameByHandleA(handle.Get(), target, sizeof target, VOLUME_NAME_DOS);
  if (length == 0 || length >= sizeof target) return Text();
  std::string_view path(target, length);
  if (path.substr(0, 8) == "\\\\?\\UNC\\") return FolderKey("\\" + std::string(path.substr(7)));
  if (path.substr(0, 4) == "\\\\?\\") path.remove_prefix(4);
  return FolderKey(path);
}

// Whether key names the same folder as, or a folder above, inner.
bool HoldsOrIs(const Text& key, const Text& inner) {
  if (key.size() > inner.size()) return false;
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, key.data(), static_cast<int>(key.size()),
                        inner.data(), static_cast<int>(key.size())) == CSTR_EQUAL;
}

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool IsFolder(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
bool IsLink(const WIN32_FIND_DATAA& entry) {
  return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Calls visit(fullPath, entry) for each entry other than "." and ".."; false
// when the folder cannot be searched.
template <class Visit>
bool FolderEntriesVisit(const Text& folder, Visit visit) {
  const Text prefix = WithSeparator(folder);
  const Text pattern = prefix + "*.*";
  WIN32_FIND_DATAA entry;
  const FindHandle find(FindFirstFileA(pattern.c_str(), &entry));
  if (!find) return false;
  do {
    if (!IsDotEntry(entry.cFileName)) visit(prefix + entry.cFileName, entry);
  } while (FindNextFileA(find.Get(), &entry));
  return true;
}

void FilesDeleteBelow(const Text& folder) {
  FolderEntriesVisit(folder, [](const Text& path, const WIN32_FIND_DATAA& entry) {
    if (!IsFolder(entry)) {
      DeleteFileA(path.c_str());  // a file link goes, its target stays
    } else if (!IsLink(entry)) {
      FilesDeleteBelow(path);
    }
  });
}

bool ContentsDeleteBelow(const Text& folder) {
  return FolderEntriesVisit(folder, [](const Text& path, const WIN32_FIND_DATAA& entry) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!IsFolder(entry)) {
      DeleteFileA(path.c_str());
      return;
    }
    // A folder link is removed as a link; what it points at is never entered.
    if (!IsLink(entry)) ContentsDeleteBelow(path);
    RemoveDirectoryA(path.c_str());
  });
}

}  // namespace

bool FolderEmptyingAllowed(std::string_view folder) {
  const Text profile = ProfileFolderKey();
  for (const Text& key : {FolderKey(folder), FolderTargetKey(folder)}) {
    if (key.empty()) continue;
    if (key.size() <= 1 || IsDriveRoot(key)) return false;
    if (!profile.empty() && HoldsOrIs(key, profile)) return false;
  }
  return true;
}

void FolderFilesDelete(std::string_view folder) {
  if (!FolderEmptyingAllowed(folder)) return;
  FilesDeleteBelow(MakeText(folder.substr(0, folder.find('\0'))));
}

bool FolderContentsDelete(std::string_view folder) {
  if (!FolderEmptyingAllowed(folder)) return false;
  return ContentsDeleteBelow(MakeText(folder.substr(0, folder.find('\0'))));
}
