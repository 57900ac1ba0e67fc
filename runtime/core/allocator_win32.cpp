// The process heap, which serialises itself, so any thread may allocate.
#include <windows.h>

#include "runtime/core/allocator.h"

void* PlatformHeapAlloc(std::size_t byteCount) { return HeapAlloc(GetProcessHeap(), 0, byteCount); }
void PlatformHeapFree(void* block) { HeapFree(GetProcessHeap(), 0, block); }
void* PlatformHeapRealloc(void* block, std::size_t byteCount) {
  return HeapReAlloc(GetProcessHeap(), 0, block, byteCount);
}
