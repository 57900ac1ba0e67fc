// Timing, scratch folders, file writing and figures shared by the benchmarks.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Milliseconds from the performance counter.
inline double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / frequency;
}

// The benchmarks' names and paths are ASCII.
inline std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A scratch folder and everything under it.
inline void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\" + name);
      } else {
        DeleteFileW((path + L"\\" + name).c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(path.c_str());
}

// Writes bytes [from, to) to the file, new or appended to, shared as browsers
// share their cache files; true when all of them were written.
inline bool BytesWrite(const std::wstring& path, const std::vector<std::uint8_t>& bytes, std::size_t from,
                       std::size_t to, bool append) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  if (append) SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  bool ok = true;
  if (to > from) {
    ok = WriteFile(file, bytes.data() + from, static_cast<DWORD>(to - from), &written, nullptr) &&
         written == to - from;
  }
  CloseHandle(file);
  return ok;
}

// The value at `share` (0..1) of the sorted values, nearest rank; 0 when none.
inline double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * (values.size() - 1) + 0.5)];
}
