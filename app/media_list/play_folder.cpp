#include "app/media_list/play_folder.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "runtime/core/handles.h"

namespace {

constexpr wchar_t kRootName[] = L"ElementExtractor-play";

std::wstring TemporaryFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, path);
  if (length == 0 || length > MAX_PATH) return {};
  std::wstring folder(path, length);
  while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

// Deletes the files of a folder (one level: the copies are plain files),
// then the folder; what is held open stays.
void FolderClear(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  std::vector<std::wstring> names;
  {
    FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return;
    do {
      if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0) continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
      names.push_back(found.cFileName);
    } while (FindNextFileW(find.Get(), &found));
  }
  for (const std::wstring& name : names) {
    const std::wstring path = folder + L"\\" + name;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring PlayFolderRoot(const std::wstring& temporaryFolder) {
  return temporaryFolder.empty() ? std::wstring() : temporaryFolder + L"\\" + kRootName;
}

bool PlayFolderOwnerAlive(const std::wstring& name) {
  if (name.empty() || name.size() > 10 || name.find_first_not_of(L"0123456789") != std::wstring::npos)
    return false;
  const DWORD id = static_cast<DWORD>(std::wcstoul(name.c_str(), nullptr, 10));
  if (id == GetCurrentProcessId()) return true;
  KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
  return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

PlayFolder::PlayFolder() : root_(PlayFolderRoot(TemporaryFolder())) {
  if (root_.empty()) return;
  own_ = root_ + L"\\" + std::to_wstring(GetCurrentProcessId());
  WIN32_FIND_DATAW found{};
  std::vector<std::wstring> stale;
  {
    FindHandle find(FindFirstFileW((root_ + L"\\*").c_str(), &found));
    if (!find) return;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      // Our own folder too: an earlier window of this run may have left a copy a player held.
      if (name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
      if (root_ + L"\\" + name == own_ || !PlayFolderOwnerAlive(name)) stale.push_back(name);
    } while (FindNextFileW(find.Get(), &found));
  }
  for (const std::wstring& name : stale) FolderClear(root_ + L"\\" + name);
}

PlayFolder::~PlayFolder() { Empty(); }

std::wstring PlayFolder::Path() {
  if (own_.empty()) return {};
  CreateDirectoryW(root_.c_str(), nullptr);
  CreateDirectoryW(own_.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(own_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {};
  return own_;
}

void PlayFolder::Empty() {
  if (own_.empty()) return;
  FolderClear(own_);
  RemoveDirectoryW(root_.c_str());  // only when no other run keeps a folder there
}
