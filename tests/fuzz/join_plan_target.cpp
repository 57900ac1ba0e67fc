// The copy planner over segment lists a playlist could name: whatever the
// addresses and byte ranges, the plan never holds one span of a resource
// twice, so its size never exceeds the distinct bytes present; the counts
// stay within the stream and a complete plan repeats nothing.
#include <iterator>
#include <map>
#include <string>

#include "app/streams/stream_join.h"
#include "tests/fuzz/fuzz_targets.h"

void FuzzJoinPlan(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  // Resources of the cache: a few addresses, each of a length from the input.
  std::uint64_t lengths[4];
  for (std::uint64_t& length : lengths) length = input.Word() % 5000;
  const auto address = [](std::uint8_t which) { return "https://v.test/r" + std::to_string(which % 4) + ".ts"; };
  SegmentedStream stream;
  const auto segment = [&]() {
    const std::uint8_t kind = input.Byte();
    SegmentRef ref{address(kind >> 2), std::nullopt};
    if (kind & 1) ref.range = ByteRange{input.Word() % 6000, (kind & 2) ? std::optional<std::uint64_t>(input.Word() % 3000) : std::nullopt};
    return ref;
  };
  if (input.Byte() & 1) stream.init = segment();
  for (int i = 0; i < 2000; ++i) {
    const std::uint8_t more = input.Byte();
    if (more == 0) break;
    stream.segments.push_back(segment());
  }
  // Present: a range lying inside its resource; the whole resource when it has bytes.
  const SegmentLookup lookup = [&](const SegmentRef& ref) -> std::optional<std::uint64_t> {
    const std::uint64_t length = lengths[ref.address.Text()[16] - '0'];
    if (!ref.range) return length > 0 ? std::optional(length) : std::nullopt;
    if (ref.range->offset >= length) return std::nullopt;
    const std::uint64_t wanted = ref.range->length.value_or(length - ref.range->offset);
    if (wanted == 0 || wanted > length - ref.range->offset) return std::nullopt;
    return wanted;
  };
  const JoinPlan plan = StreamJoinPlan(stream, lookup);
  std::uint64_t cached = 0;
  for (const std::uint64_t length : lengths) cached += length;
  FUZZ_CHECK(plan.bytes <= plan.presentBytes);
  FUZZ_CHECK(plan.presentBytes <= cached);
  FUZZ_CHECK(plan.present <= plan.total && plan.total == stream.segments.size());
  FUZZ_CHECK(!(plan.complete && plan.repeated));
  // No two pieces share a byte of one resource.
  std::map<std::string, std::map<std::uint64_t, std::uint64_t>> spans;
  std::uint64_t sum = 0;
  for (const JoinPiece& piece : plan.pieces) {
    sum += piece.length;
    const std::uint64_t start = piece.ref.range ? piece.ref.range->offset : 0;
    auto& taken = spans[piece.ref.address.Text()];
    const auto next = taken.lower_bound(start);
    FUZZ_CHECK(next == taken.end() || next->first >= start + piece.length);
    FUZZ_CHECK(next == taken.begin() || std::prev(next)->second <= start);
    taken.emplace(start, start + piece.length);
  }
  FUZZ_CHECK(sum == plan.bytes);
}
