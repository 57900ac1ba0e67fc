// The thread library's critical sections.  A handle is valid exactly while
// its record is registered; unregistered handles (including 0) are ignored.
#pragma once

#include <cstdint>

using CriticalSectionHandle = std::uintptr_t;

CriticalSectionHandle CriticalSectionCreate();
void CriticalSectionEnter(CriticalSectionHandle handle);
void CriticalSectionLeave(CriticalSectionHandle handle);
// Program end: deletes every registered section and empties the registry.
void CriticalSectionsShutdown();
