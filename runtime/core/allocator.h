// The runtime's one allocator.  Every text, array and record that the
// runtime or the application creates comes from here; allocation never
// returns nothing (a failure is a run-time error that ends the program).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

// Returns a block of at least byteCount bytes (contents undefined).
void* RuntimeAlloc(std::size_t byteCount);
// Releases a block.  Null and blocks of built-in constant data are ignored.
void RuntimeFree(void* block);
// Resizes a block.  Null behaves as RuntimeAlloc; a block of built-in
// constant data is copied into a new block and left intact.
void* RuntimeRealloc(void* block, std::size_t byteCount);

// Address ranges [start, end) of constant data built into the program.
struct StaticBlockRange {
  const unsigned char* start;
  const unsigned char* end;
};
bool IsStaticBlock(const void* block);
// The range that holds block, or nullptr.
const StaticBlockRange* StaticBlockRangeOf(const void* block);
// Adds a range (the runtime adds the executable's read-only data at start).
// At most a handful of ranges are kept.
void StaticBlockRangeAdd(const void* start, const void* end);

// Platform layer: the raw heap, without any error handling.
void* PlatformHeapAlloc(std::size_t byteCount);
void PlatformHeapFree(void* block);
void* PlatformHeapRealloc(void* block, std::size_t byteCount);

// Standard allocator over the runtime allocator, for containers.
template <class T>
struct RuntimeAllocator {
  using value_type = T;
  RuntimeAllocator() noexcept = default;
  template <class U>
  RuntimeAllocator(const RuntimeAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) {
      return static_cast<T*>(RuntimeAlloc(std::numeric_limits<std::size_t>::max()));
    }
    return static_cast<T*>(RuntimeAlloc(count * sizeof(T)));
  }
  void deallocate(T* block, std::size_t) noexcept { RuntimeFree(block); }

  template <class U>
  bool operator==(const RuntimeAllocator<U>&) const noexcept {
    return true;
  }
};
