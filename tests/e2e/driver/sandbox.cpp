#include "tests/e2e/driver/sandbox.h"

#include <windows.h>

#include <algorithm>
#include <atomic>

#include "runtime/core/handles.h"
#include "tests/e2e/driver/poll.h"

namespace e2e {

std::wstring WindowsPathFrom(std::wstring_view path) {
  std::wstring result(path);
  if (!result.empty() && result.front() == L'/') {
    std::replace(result.begin(), result.end(), L'/', L'\\');
    result.insert(0, L"Z:");
  }
  return result;
}

std::wstring PathFromEnvironment(const wchar_t* name) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
  if (length == 0 || length >= std::size(buffer)) return {};
  return WindowsPathFrom(std::wstring_view(buffer, length));
}

std::wstring FolderOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring_view::npos ? std::wstring() : std::wstring(path.substr(0, slash));
}

std::wstring FileNameOf(std::wstring_view path) {
  const size_t slash = path.find_last_of(L"\\/");
  return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> FileRead(const std::wstring& path) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  return bytes;
}

bool FileWrite(const std::wstring& path, std::string_view bytes) {
  FileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

std::vector<std::wstring> FolderList(const std::wstring& path) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
  if (!find) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find.Get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

static void RemoveTreeOnce(const std::wstring& path) {
  for (const std::wstring& name : FolderList(path)) {
    const std::wstring child = path + L"\\" + name;
    const DWORD attributes = GetFileAttributesW(child.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A link to a folder is removed as a link, never followed.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RemoveTreeOnce(child);
      RemoveDirectoryW(child.c_str());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveDirectoryW(child.c_str());
    } else {
      DeleteFileW(child.c_str());
    }
  }
  RemoveDirectoryW(path.c_str());
}

bool FolderRemoveTree(const std::wstring& path) {
  if (path.size() < 4) return false;  // never a drive root
  // A program that has only just ended may still hold a file for a moment.
  return WaitUntil(
      [&] {
        RemoveTreeOnce(path);
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
      },
      Milliseconds(3000), Milliseconds(50));
}

bool FolderCreateAll(const std::wstring& path) {
  if (path.empty()) return false;
  if (FolderExists(path)) return true;
  const std::wstring parent = FolderOf(path);
  if (!parent.empty() && parent.size() > 2 && !FolderExists(parent) && !FolderCreateAll(parent)) return false;
  return CreateDirectoryW(path.c_str(), nullptr) || FolderExists(path);
}

Sandbox::Sandbox() {
  std::wstring base = PathFromEnvironment(L"EE_E2E_TEMP");
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return;
    base.assign(temp, length);
  }
  while (!base.empty() && (base.back() == L'\\' || base.back() == L'/')) base.pop_back();
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = base + L"\\ee-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount());
    FolderCreateAll(base);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      root_ = candidate;
      return;
    }
  }
}

Sandbox::~Sandbox() {
  if (Valid()) FolderRemoveTree(root_);
}

std::wstring Sandbox::Path(std::wstring_view relative) const {
  if (relative.empty()) return root_;
  return root_ + L"\\" + std::wstring(relative);
}

bool Sandbox::MakeFolder(std::wstring_view relative) const { return FolderCreateAll(Path(relative)); }

bool Sandbox::WriteFile(std::wstring_view relative, std::string_view bytes) const {
  const std::wstring path = Path(relative);
  return FolderCreateAll(FolderOf(path)) && FileWrite(path, bytes);
}

std::optional<std::string> Sandbox::ReadFile(std::wstring_view relative) const {
  return FileRead(Path(relative));
}

bool Sandbox::Exists(std::wstring_view relative) const {
  return GetFileAttributesW(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Sandbox::CopyIn(const std::wstring& source, std::wstring_view relative) const {
  const std::wstring target = Path(relative);
  return FolderCreateAll(FolderOf(target)) && CopyFileW(source.c_str(), target.c_str(), FALSE);
}

}  // namespace e2e
