#include "tests/support/open_descriptors.h"

#include <windows.h>

#include "runtime/core/handles.h"

std::optional<int> OpenDescriptorCount() {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(L"Z:\\proc\\self\\fd\\*", &entry);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  int count = 0;
  {
    FindHandle guard(find);
    do {
      if (entry.cFileName[0] != L'.') ++count;
    } while (FindNextFileW(find, &entry));
  }
  // The listing itself was open while it was read.
  return count - 1;
}
