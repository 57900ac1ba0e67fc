#include "app/streams/stream_join.h"

JoinPlan StreamJoinPlan(const SegmentedStream& stream, const SegmentLookup& lookup) {
  JoinPlan plan;
  plan.total = stream.segments.size();
  std::optional<std::uint64_t> initLength;
  if (stream.init) {
    initLength = lookup(*stream.init);
    plan.initPresent = initLength.has_value();
  }
  // Fragments without their init segment do not play: nothing to write.
  bool running = plan.initPresent && plan.total > 0;
  if (running && initLength) {
    plan.pieces.push_back({*stream.init, *initLength, true});
    plan.bytes += *initLength;
  }
  for (const SegmentRef& segment : stream.segments) {
    const std::optional<std::uint64_t> length = lookup(segment);
    if (!length) {
      running = false;
      continue;
    }
    ++plan.present;
    if (!running) continue;
    plan.pieces.push_back({segment, *length, false});
    plan.bytes += *length;
  }
  // An init segment alone is no stream.
  if (plan.pieces.size() == 1 && plan.pieces.front().init) {
    plan.pieces.clear();
    plan.bytes = 0;
  }
  plan.complete = plan.initPresent && plan.total > 0 && plan.present == plan.total;
  return plan;
}
