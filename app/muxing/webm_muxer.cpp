#include "app/muxing/webm_muxer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "app/muxing/ebml_builder.h"
#include "app/muxing/ebml_reader.h"
#include "app/muxing/webm_track_reader.h"

namespace {

constexpr std::uint64_t kOutputScale = 1000000;  // ticks of a millisecond, WebM's usual
constexpr std::int64_t kClusterMs = 1000;
constexpr std::int64_t kClusterMaxMs = 30000;  // block times are 16-bit offsets from the cluster's
constexpr std::size_t kClusterMaxFrames = 8192;
constexpr std::size_t kCopyBuffer = 1u << 20;

struct Source {
  CacheFile* file = nullptr;
  WebmTrack track;
  std::optional<WebmFrameCursor> cursor;
  std::optional<WebmFrame> peeked;
  std::int64_t endMs = 0;

  std::int64_t Ms(std::int64_t ticks) const {
    if (track.timestampScale == kOutputScale) return ticks;
    return std::llround(static_cast<double>(ticks) * static_cast<double>(track.timestampScale) /
                        kOutputScale);
  }
  bool Peek() {
    if (peeked) return true;
    WebmFrame frame;
    if (!cursor->Next(frame)) return false;
    peeked = frame;
    return true;
  }
  void Restart() {
    cursor.emplace(*file, track);
    peeked.reset();
  }
};

struct Placed {
  WebmFrame frame;
  std::size_t track = 0;  // 0 video, 1 sound
  std::int64_t ms = 0;
};

struct CuePoint {
  std::int64_t ms = 0;
  std::uint64_t clusterPosition = 0;  // from the Segment's data
};

// Where the layout goes: counted only, or written with the frames' bytes.
class Sink {
 public:
  explicit Sink(MuxOutput* output) : output_(output) {
    if (output_) buffer_.resize(kCopyBuffer);
  }
  bool Emit(std::span<const std::uint8_t> bytes) {
    if (output_ && !output_->Write(bytes)) return Fail(MuxOutcome::WriteFailed);
    position_ += bytes.size();
    return true;
  }
  bool Copy(CacheFile& file, std::uint64_t offset, std::uint64_t size) {
    if (!output_) {
      position_ += size;
      return true;
    }
    for (std::uint64_t done = 0; done < size;) {
      const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size - done));
      if (file.ReadAt(offset + done, buffer_.data(), count) != count) return Fail(MuxOutcome::ReadFailed);
      if (!Emit({buffer_.data(), count})) return false;
      done += count;
    }
    return true;
  }
  std::uint64_t Position() const { return position_; }
  MuxOutcome Outcome() const { return outcome_; }

 private:
  bool Fail(MuxOutcome outcome) {
    outcome_ = outcome;
    return false;
  }
  MuxOutput* output_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t position_ = 0;
  MuxOutcome outcome_ = MuxOutcome::Done;
};

std::int64_t FrameEndMs(const Source& source, const WebmFrame& frame, std::int64_t gapMs) {
  const std::int64_t at = source.Ms(frame.timestamp);
  if (frame.blockDuration) return at + source.Ms(static_cast<std::int64_t>(*frame.blockDuration));
  if (source.track.defaultDuration)
    return at + static_cast<std::int64_t>(source.track.defaultDuration / 1000000);
  return at + gapMs;
}

// The first pass: the track has frames, and where it ends.
bool ScanTrack(Source& source) {
  WebmFrameCursor cursor(*source.file, source.track);
  WebmFrame frame;
  std::optional<WebmFrame> last;
  std::int64_t gap = 0;
  std::uint64_t frames = 0;
  while (cursor.Next(frame)) {
    if (last) gap = source.Ms(frame.timestamp) - source.Ms(last->timestamp);
    last = frame;
    ++frames;
  }
  if (cursor.Failed() || frames == 0) return false;
  source.endMs = FrameEndMs(source, *last, std::max<std::int64_t>(gap, 0));
  return true;
}

std::vector<std::uint8_t> HeadBytes(const std::array<Source, 2>& sources, bool matroska, double durationMs,
                                    std::uint64_t segmentSize, std::uint64_t cuesPosition,
                                    std::uint64_t& segmentDataStart) {
  EbmlBuilder info;
  const std::size_t infoAt = info.Open(ebml::kInfo);
  info.Uint(ebml::kTimestampScale, kOutputScale);
  info.Float(ebml::kDuration, durationMs);
  info.String(0x4D80, "ElementExtractor");  // MuxingApp
  info.String(0x5741, "ElementExtractor");  // WritingApp
  info.Close(infoAt);

  EbmlBuilder tracks;
  const std::size_t tracksAt = tracks.Open(ebml::kTracks);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::size_t entry = tracks.Open(ebml::kTrackEntry);
    tracks.Uint(ebml::kTrackNumber, i + 1);
    tracks.Uint(ebml::kTrackUid, i + 1);
    tracks.Raw(sources[i].track.entryChildren);
    tracks.Close(entry);
  }
  tracks.Close(tracksAt);

  // Every position has 8 bytes, so the SeekHead's size does not depend on them.
  auto seekHead = [&](std::uint64_t seekHeadSize) {
    EbmlBuilder seek;
    const std::size_t headAt = seek.Open(ebml::kSeekHead);
    const std::pair<std::uint32_t, std::uint64_t> entries[] = {{ebml::kInfo, seekHeadSize},
                                                               {ebml::kTracks, seekHeadSize + info.Size()},
                                                               {ebml::kCues, cuesPosition}};
    for (const auto& [id, position] : entries) {
      const std::size_t entry = seek.Open(ebml::kSeek);
      EbmlBuilder idBytes;
      idBytes.Id(id);
      seek.Id(ebml::kSeekId);
      seek.Size(idBytes.Size());
      seek.Raw(idBytes.Bytes());
      seek.Uint8Bytes(ebml::kSeekPosition, position);
      seek.Close(entry);
    }
    seek.Close(headAt);
    return seek;
  };
  const EbmlBuilder seek = seekHead(seekHead(0).Size());

  EbmlBuilder head;
  const std::size_t header = head.Open(ebml::kHeader);
  head.Uint(0x4286, 1);  // EBMLVersion
  head.Uint(0x42F7, 1);  // EBMLReadVersion
  head.Uint(0x42F2, 4);  // EBMLMaxIDLength
  head.Uint(0x42F3, 8);  // EBMLMaxSizeLength
  head.String(ebml::kDocType, matroska ? "matroska" : "webm");
  head.Uint(0x4287, 4);  // DocTypeVersion
  head.Uint(0x4285, 2);  // DocTypeReadVersion
  head.Close(header);
  head.Id(ebml::kSegment);
  head.Size(segmentSize);
  segmentDataStart = head.Size();
  head.Raw(seek.Bytes());
  head.Raw(info.Bytes());
  head.Raw(tracks.Bytes());
  return head.Bytes();
}

// The next frame of either track in time order (video first on a tie).
std::optional<Placed> NextFrame(std::array<Source, 2>& sources) {
  std::optional<std::size_t> pick;
  for (std::size_t i = 0; i < 2; ++i) {
    if (!sources[i].Peek()) continue;
    if (!pick ||
        sources[i].Ms(sources[i].peeked->timestamp) < sources[*pick].Ms(sources[*pick].peeked->timestamp))
      pick = i;
  }
  if (!pick) return std::nullopt;
  Placed placed{*sources[*pick].peeked, *pick, sources[*pick].Ms(sources[*pick].peeked->timestamp)};
  return placed;
}

std::uint64_t BlockBytes(const WebmFrame& frame) {
  const std::uint64_t block = 9 + 3 + frame.dataSize;  // header (ID, 8-byte size), track, time, data
  return frame.group ? 9 + frame.beforeSize + block + frame.afterSize : block;
}

bool EmitBlock(Sink& sink, Source& source, const Placed& placed, std::int64_t clusterMs) {
  const WebmFrame& frame = placed.frame;
  EbmlBuilder head;
  if (frame.group) {
    head.Id(ebml::kBlockGroup);
    head.Size(BlockBytes(frame) - 9);
    if (!sink.Emit(head.Bytes()) || !sink.Copy(*source.file, frame.beforeOffset, frame.beforeSize))
      return false;
    head.Clear();
  }
  head.Id(frame.group ? ebml::kBlock : ebml::kSimpleBlock);
  head.Size(3 + frame.dataSize);
  head.Byte(static_cast<std::uint8_t>(0x80 | (placed.track + 1)));
  const auto relative = static_cast<std::uint16_t>(static_cast<std::int16_t>(placed.ms - clusterMs));
  head.Byte(static_cast<std::uint8_t>(relative >> 8));
  head.Byte(static_cast<std::uint8_t>(relative));
  if (!sink.Emit(head.Bytes()) || !sink.Copy(*source.file, frame.dataOffset, frame.dataSize)) return false;
  return !frame.group || sink.Copy(*source.file, frame.afterOffset, frame.afterSize);
}

// The clusters: a cluster starts at a video keyframe a second on, or when
// the video has ended a second on, or at the caps.
bool EmitClusters(Sink& sink, std::array<Source, 2>& sources, std::uint64_t segmentDataStart,
                  std::vector<CuePoint>& cues) {
  for (Source& source : sources) source.Restart();
  std::vector<Placed> cluster;
  cues.clear();
  while (auto first = NextFrame(sources)) {
    cluster.clear();
    const std::int64_t start = first->ms;
    for (auto next = first; next; next = NextFrame(sources)) {
      const std::int64_t since = next->ms - start;
      const bool videoLeft = sources[0].peeked.has_value();
      if (!cluster.empty() &&
          (cluster.size() >= kClusterMaxFrames || since >= kClusterMaxMs || since < 0 ||
           (since >= kClusterMs && ((next->track == 0 && next->frame.keyframe) || !videoLeft))))
        break;
      cluster.push_back(*next);
      sources[next->track].peeked.reset();
    }
    EbmlBuilder head;
    head.Uint(ebml::kClusterTimestamp, static_cast<std::uint64_t>(std::max<std::int64_t>(start, 0)));
    std::uint64_t body = head.Size();
    for (const Placed& placed : cluster) body += BlockBytes(placed.frame);
    EbmlBuilder clusterHead;
    clusterHead.Id(ebml::kCluster);
    clusterHead.Size(body);
    clusterHead.Raw(head.Bytes());
    const std::uint64_t position = sink.Position() - segmentDataStart;
    if (cluster.front().track == 0 && cluster.front().frame.keyframe) cues.push_back({start, position});
    if (!sink.Emit(clusterHead.Bytes())) return false;
    for (const Placed& placed : cluster) {
      if (!EmitBlock(sink, sources[placed.track], placed, std::max<std::int64_t>(start, 0))) return false;
    }
  }
  return !sources[0].cursor->Failed() && !sources[1].cursor->Failed();
}

std::vector<std::uint8_t> CuesBytes(const std::vector<CuePoint>& cues) {
  EbmlBuilder builder;
  const std::size_t at = builder.Open(ebml::kCues);
  for (const CuePoint& cue : cues) {
    const std::size_t point = builder.Open(ebml::kCuePoint);
    builder.Uint(ebml::kCueTime, static_cast<std::uint64_t>(std::max<std::int64_t>(cue.ms, 0)));
    const std::size_t positions = builder.Open(ebml::kCueTrackPositions);
    builder.Uint(ebml::kCueTrack, 1);
    builder.Uint(ebml::kCueClusterPosition, cue.clusterPosition);
    builder.Close(positions);
    builder.Close(point);
  }
  builder.Close(at);
  return builder.Bytes();
}

}  // namespace

WebmMuxResult WebmMuxTracks(CacheFile& first, CacheFile& second, MuxOutput& output) {
  WebmMuxResult result;
  std::array<Source, 2> inputs;
  inputs[0].file = &first;
  inputs[1].file = &second;
  for (int i = 0; i < 2; ++i) {
    inputs[i].track = WebmTrackRead(*inputs[i].file);
    if (inputs[i].track.fault == TrackFault::None && !ScanTrack(inputs[i]))
      inputs[i].track.fault = TrackFault::BadTiming;
    if (inputs[i].track.fault != TrackFault::None) {
      result.outcome = MuxOutcome::TrackRefused;
      result.fault = inputs[i].track.fault;
      result.track = i;
      return result;
    }
  }
  if ((inputs[0].track.kind == TrackKind::Video) == (inputs[1].track.kind == TrackKind::Video)) {
    result.outcome = MuxOutcome::NotAPair;
    return result;
  }
  // Video is track 1.
  std::array<Source, 2>& sources = inputs;
  if (sources[0].track.kind != TrackKind::Video) {
    std::swap(sources[0].file, sources[1].file);
    std::swap(sources[0].track, sources[1].track);
    std::swap(sources[0].endMs, sources[1].endMs);
  }
  result.matroska = !sources[0].track.webmCodec || !sources[1].track.webmCodec;
  // The sources' own durations where both say; else where their last frames end.
  double durationMs = 0;
  const bool stated = sources[0].track.duration > 0 && sources[1].track.duration > 0;
  for (const Source& source : sources) {
    const double length = stated ? source.track.duration * source.track.timestampScale / kOutputScale
                                 : static_cast<double>(source.endMs);
    durationMs = std::max(durationMs, length);
  }

  // Counting pass: the Segment's size and where the Cues go.
  std::uint64_t segmentDataStart = 0;
  const std::size_t headSize = HeadBytes(sources, result.matroska, durationMs, 0, 0, segmentDataStart).size();
  Sink counter(nullptr);
  counter.Emit(std::vector<std::uint8_t>(headSize));
  std::vector<CuePoint> cues;
  if (!EmitClusters(counter, sources, segmentDataStart, cues)) {
    result.outcome = MuxOutcome::ReadFailed;
    return result;
  }
  const std::uint64_t cuesPosition = counter.Position() - segmentDataStart;
  const std::uint64_t segmentSize = cuesPosition + CuesBytes(cues).size();

  Sink sink(&output);
  std::vector<CuePoint> written;
  const bool done = sink.Emit(HeadBytes(sources, result.matroska, durationMs, segmentSize, cuesPosition,
                                        segmentDataStart)) &&
                    EmitClusters(sink, sources, segmentDataStart, written) && sink.Emit(CuesBytes(written));
  result.bytes = sink.Position();
  if (!done) result.outcome = sink.Outcome() == MuxOutcome::Done ? MuxOutcome::ReadFailed : sink.Outcome();
  return result;
}
