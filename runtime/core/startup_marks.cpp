#include "runtime/core/startup_marks.h"

#include <windows.h>

#include <cstdio>

#include "runtime/core/handles.h"

void StartupMark(const char* name) {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  char path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("EE_STARTUP_MARKS", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FileHandle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  char line[96];
  const int size =
      std::snprintf(line, sizeof line, "%.40s %lld\n", name, static_cast<long long>(now.QuadPart));
  if (size <= 0) return;
  DWORD written = 0;
  WriteFile(file.Get(), line, static_cast<DWORD>(size), &written, nullptr);
}
