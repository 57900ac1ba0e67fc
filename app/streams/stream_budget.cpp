#include "app/streams/stream_budget.h"

bool StreamBudget::Spend(std::uint64_t bytes) {
  if (bytes > left_) {
    reached_ = true;
    return false;
  }
  left_ -= bytes;
  return true;
}

std::uint64_t SegmentRefCost(const SegmentRef& segment) {
  return sizeof(SegmentRef) + segment.address.OwnBytes();
}
