#include <array>
#include <atomic>
#include <cstring>
#include <cstdio>

#include "runtime/core/allocator.h"
#include "runtime/core/runtime_error.h"

namespace {

constexpr std::size_t kMaxStaticRanges = 8;
std::array<StaticBlockRange, kMaxStaticRanges> gStaticRanges{};
std::atomic<std::size_t> gStaticRangeCount{0};

[[noreturn]] void AllocationFailed(std::size_t byteCount) {
  // The message counts in a 32-bit signed value, as the error text was made for.
  char text[96];
  std::snprintf(text, sizeof text, "分配 %d 字节内存失败!", static_cast<int>(byteCount));
  RuntimeErrorRaise(text);
}

}  // namespace

void StaticBlockRangeAdd(const void* start, const void* end) {
  const std::size_t index = gStaticRangeCount.load();
  if (index >= kMaxStaticRanges) return;
  gStaticRanges[index] = {static_cast<const unsigned char*>(start), static_cast<const unsigned char*>(end)};
  gStaticRangeCount.store(index + 1);
}

const StaticBlockRange* StaticBlockRangeOf(const void* block) {
  const auto* p = static_cast<const unsigned char*>(block);
  const std::size_t count = gStaticRangeCount.load();
  for (std::size_t i = 0; i < count; ++i) {
    if (p >= gStaticRanges[i].start && p < gStaticRanges[i].end) return &gStaticRanges[i];
  }
  return nullptr;
}

bool IsStaticBlock(const void* block) { return block != nullptr && StaticBlockRangeOf(block) != nullptr; }

void* RuntimeAlloc(std::size_t byteCount) {
  // A zero-byte request still yields a distinct, releasable block.
  void* block = PlatformHeapAlloc(byteCount == 0 ? 1 : byteCount);
  if (block == nullptr) AllocationFailed(byteCount);
  return block;
}

void RuntimeFree(void* block) {
  if (block == nullptr || IsStaticBlock(block)) return;
  PlatformHeapFree(block);
}

void* RuntimeRealloc(void* block, std::size_t byteCount) {
  if (block == nullptr) return RuntimeAlloc(byteCount);
  if (const StaticBlockRange* range = StaticBlockRangeOf(block)) {
    const auto* source = static_cast<const unsigned char*>(block);
    const std::size_t available = static_cast<std::size_t>(range->end - source);
    void* copy = RuntimeAlloc(byteCount);
    std::memcpy(copy, source, byteCount < available ? byteCount : available);
    return copy;
  }
  void* resized = PlatformHeapRealloc(block, byteCount == 0 ? 1 : byteCount);
  if (resized == nullptr) AllocationFailed(byteCount);
  return resized;
}
