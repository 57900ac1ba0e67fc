// The thread library's critical sections.
//
// Each section lives in a zero-filled heap block that also carries the link
// to the next record; the handle is the block's address.  The registry lists
// the live records newest first.  A slim reader/writer lock guards the list,
// so sections may be created from several threads at once, and a handle is
// only ever dereferenced after it was found in the list.
//
// Program end must not let a worker touch a deleted section, yet it does not
// wait for workers.  Every record therefore counts the enters that are not yet
// matched by a leave (a thread waiting in EnterCriticalSection counts too).
// Shutdown empties the registry, so any later enter or leave is ignored, and
// deletes only the sections nobody holds or waits for; a section still in use
// is left alive with its memory, and the process ends right after.
#include "runtime/core/critical_sections.h"

#include <windows.h>

#include <cstring>

#include "runtime/core/allocator.h"

namespace {

struct CriticalSectionRecord {
  CRITICAL_SECTION section;
  CriticalSectionRecord* next;
  volatile LONG users;  // enters not yet matched by a leave, waiting ones included
};

SRWLOCK registryLock = SRWLOCK_INIT;
CriticalSectionRecord* registryHead = nullptr;

class RegistryReadGuard {
 public:
  RegistryReadGuard() { AcquireSRWLockShared(&registryLock); }
  RegistryReadGuard(const RegistryReadGuard&) = delete;
  RegistryReadGuard& operator=(const RegistryReadGuard&) = delete;
  ~RegistryReadGuard() { ReleaseSRWLockShared(&registryLock); }
};

class RegistryWriteGuard {
 public:
  RegistryWriteGuard() { AcquireSRWLockExclusive(&registryLock); }
  RegistryWriteGuard(const RegistryWriteGuard&) = delete;
  RegistryWriteGuard& operator=(const RegistryWriteGuard&) = delete;
  ~RegistryWriteGuard() { ReleaseSRWLockExclusive(&registryLock); }
};

// The membership test: compares addresses only, so a foreign handle is never
// read through.  Call with the registry lock held.
CriticalSectionRecord* RegisteredRecord(CriticalSectionHandle handle) {
  if (handle == 0) return nullptr;
  for (CriticalSectionRecord* record = registryHead; record != nullptr; record = record->next) {
    if (reinterpret_cast<CriticalSectionHandle>(record) == handle) return record;
  }
  return nullptr;
}

}  // namespace

CriticalSectionHandle CriticalSectionCreate() {
  // The allocator ends the program when memory runs out, so a handle is
  // never 0 here.
  auto* record = static_cast<CriticalSectionRecord*>(RuntimeAlloc(sizeof(CriticalSectionRecord)));
  std::memset(record, 0, sizeof *record);
  InitializeCriticalSection(&record->section);
  RegistryWriteGuard guard;
  record->next = registryHead;
  registryHead = record;
  return reinterpret_cast<CriticalSectionHandle>(record);
}

void CriticalSectionEnter(CriticalSectionHandle handle) {
  CriticalSectionRecord* record = nullptr;
  {
    RegistryReadGuard guard;
    record = RegisteredRecord(handle);
    if (record == nullptr) return;
    // Counted before the registry lock goes, so shutdown sees this waiter.
    InterlockedIncrement(&record->users);
  }
  // Blocking happens outside the registry lock: creation and shutdown never
  // wait for a section's owner.
  EnterCriticalSection(&record->section);
}

void CriticalSectionLeave(CriticalSectionHandle handle) {
  RegistryReadGuard guard;
  CriticalSectionRecord* record = RegisteredRecord(handle);
  if (record == nullptr) return;
  LeaveCriticalSection(&record->section);
  InterlockedDecrement(&record->users);
}

void CriticalSectionsShutdown() {
  RegistryWriteGuard guard;
  CriticalSectionRecord* record = registryHead;
  registryHead = nullptr;
  while (record != nullptr) {
    CriticalSectionRecord* next = record->next;
    if (record->users == 0) {
      DeleteCriticalSection(&record->section);
      RuntimeFree(record);
    }
    record = next;
  }
}
