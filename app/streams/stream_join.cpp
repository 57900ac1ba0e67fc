#include "app/streams/stream_join.h"

#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>

namespace {

// The byte spans of each resource the plan has taken so far: a segment that
// repeats one, or overlaps it, would write the same cached bytes again.
class TakenSpans {
 public:
  // True (and the span kept) when [offset, offset + length) of `address`
  // touches nothing taken before.
  bool Take(const SegmentAddress& address, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t end =
        length > std::numeric_limits<std::uint64_t>::max() - offset ? std::numeric_limits<std::uint64_t>::max()
                                                                    : offset + length;
    std::map<std::uint64_t, std::uint64_t>& spans = byAddress_[address.Text()];  // start -> end
    auto next = spans.lower_bound(offset);
    if (next != spans.end() && next->first < end) return false;
    if (next != spans.begin() && std::prev(next)->second > offset) return false;
    spans.emplace(offset, end);
    return true;
  }

 private:
  std::unordered_map<std::string, std::map<std::uint64_t, std::uint64_t>> byAddress_;
};

}  // namespace

JoinPlan StreamJoinPlan(const SegmentedStream& stream, const SegmentLookup& lookup) {
  JoinPlan plan;
  plan.total = stream.segments.size();
  TakenSpans taken;
  // The bytes a present segment stands for, once; false for a repeat.
  const auto distinct = [&](const SegmentRef& segment, std::uint64_t length) {
    const std::uint64_t offset = segment.range ? segment.range->offset : 0;
    if (taken.Take(segment.address, offset, length)) return true;
    plan.repeated = true;
    return false;
  };
  std::optional<std::uint64_t> initLength;
  if (stream.init) {
    initLength = lookup(*stream.init);
    plan.initPresent = initLength.has_value() && distinct(*stream.init, *initLength);
    if (!plan.initPresent) initLength.reset();
  }
  if (initLength) plan.presentBytes += *initLength;
  // Fragments without their init segment do not play: nothing to write.
  bool running = plan.initPresent && plan.total > 0;
  if (running && initLength) {
    plan.pieces.push_back({*stream.init, *initLength, true});
    plan.bytes += *initLength;
  }
  for (const SegmentRef& segment : stream.segments) {
    const std::optional<std::uint64_t> length = lookup(segment);
    // A repeat is no segment of its own: the run stops there as at a hole.
    if (!length || !distinct(segment, *length)) {
      running = false;
      continue;
    }
    ++plan.present;
    plan.presentBytes += *length;
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
