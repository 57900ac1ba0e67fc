// Hand-built caches (tests/support/chromium_cache_builders.h) written to a
// real folder, whole or a step at a time, as a browser would leave them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"

// Removes `folder` and everything under it, read-only files too.
inline void DiskTreeRemove(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DiskTreeRemove(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

inline bool DiskBytesWrite(const std::wstring& path, const std::vector<std::uint8_t>& bytes,
                           bool append = false) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (append) SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  const bool ok =
      bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size());
  CloseHandle(file);
  return ok;
}

// Writes every file of the memory folder into `folder` (replacing them).
inline bool DiskCacheWrite(const std::wstring& folder, MemoryCacheFolder& memory) {
  bool ok = true;
  for (const CacheFileInfo& info : memory.List()) {
    const std::vector<std::uint8_t>* bytes = memory.Bytes(info.name);
    if (bytes == nullptr) continue;
    ok = DiskBytesWrite(folder + L"\\" + std::wstring(info.name.begin(), info.name.end()), *bytes) && ok;
  }
  return ok;
}

inline std::vector<std::uint8_t> DiskBytesRead(const std::wstring& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  bytes.resize(GetFileSize(file, nullptr));
  DWORD read = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}
