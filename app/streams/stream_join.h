// The plan for joining a stream's segments into one file: which are present,
// whether the stream is complete, and the pieces to write in order.  It does
// no I/O: the caller says which segments it holds and writes their bytes.
// A segment that names bytes of a resource the plan holds already (the same
// address again, or an overlapping byte range) is no segment of its own: it
// is not counted present, so such a stream is never complete and its plan
// never larger than the distinct bytes present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/streams/stream_types.h"

// The length of the segment's bytes the caller holds in full (its byte
// range, or the whole resource); nothing when it is missing or incomplete.
using SegmentLookup = std::function<std::optional<std::uint64_t>(const SegmentRef&)>;

struct JoinPiece {
  SegmentRef ref;
  std::uint64_t length = 0;
  bool init = false;
};

struct JoinPlan {
  std::size_t present = 0;  // media segments present
  std::size_t total = 0;    // media segments of the stream
  bool initPresent = true;  // the init segment, where the stream has one
  bool complete = false;    // every segment and the init present
  // The init segment, then the media segments from the first up to the
  // first missing one: all of them when complete, else what a "save what is
  // there" writes.  Empty when the init segment or the first segment is missing.
  std::vector<JoinPiece> pieces;
  std::uint64_t bytes = 0;  // the sum of the pieces' lengths
  // The init and every media segment present, each span of a resource once.
  std::uint64_t presentBytes = 0;
  bool repeated = false;  // some segment repeats or overlaps an earlier one
};

JoinPlan StreamJoinPlan(const SegmentedStream& stream, const SegmentLookup& lookup);
