// The thread library's critical sections.  A handle is valid exactly while
// its record is registered; unregistered handles (including 0) are ignored.
#pragma once

#include <cstdint>

using CriticalSectionHandle = std::uintptr_t;

CriticalSectionHandle CriticalSectionCreate();
void CriticalSectionEnter(CriticalSectionHandle handle);
void CriticalSectionLeave(CriticalSectionHandle handle);
// Program end: empties the registry, so later enters and leaves are ignored,
// and deletes every section that no thread holds or waits for.  A section
// still in use stays alive until the process ends right after.
void CriticalSectionsShutdown();

// Holds a section for the guard's lifetime: enters on construction, leaves
// on every way out of the scope.
class CriticalSectionHold {
 public:
  explicit CriticalSectionHold(CriticalSectionHandle handle) : handle_(handle) {
    CriticalSectionEnter(handle_);
  }
  CriticalSectionHold(const CriticalSectionHold&) = delete;
  CriticalSectionHold& operator=(const CriticalSectionHold&) = delete;
  ~CriticalSectionHold() { CriticalSectionLeave(handle_); }

 private:
  CriticalSectionHandle handle_;
};
