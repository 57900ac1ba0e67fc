// Native stand-in for the process heap (portable builds and sanitizers).
#include <cstdlib>

#include "runtime/core/allocator.h"

void* PlatformHeapAlloc(std::size_t byteCount) { return std::malloc(byteCount); }
void PlatformHeapFree(void* block) { std::free(block); }
void* PlatformHeapRealloc(void* block, std::size_t byteCount) { return std::realloc(block, byteCount); }
