#include "app/muxing/mp4_muxer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "app/muxing/box_bytes.h"
#include "app/muxing/mp4_movie_header.h"
#include "app/muxing/mp4_track_reader.h"

namespace {

// A fragment ends at the first video sync sample after this long, or at the
// caps (which bound its sample tables whatever the input).
constexpr double kFragmentSeconds = 1.0;
constexpr double kFragmentMaxSeconds = 10.0;
constexpr std::size_t kFragmentMaxSamples = 4096;
constexpr std::size_t kCopyBuffer = 1u << 20;

struct TrackState {
  CacheFile* file = nullptr;
  Mp4Track track;
  MuxTrackPlan plan;
  double origin = 0;  // seconds to add to a decode time / timescale for the common clock
  std::optional<Mp4SampleCursor> cursor;
  std::optional<MediaSample> peeked;
  std::vector<MediaSample> fragment;
  std::vector<FragmentIndexEntry> index;

  double Seconds(std::int64_t decodeTime) const {
    return static_cast<double>(decodeTime) / track.timescale + origin;
  }
  bool Peek() {
    if (peeked) return true;
    MediaSample sample;
    if (!cursor->Next(sample)) return false;
    peeked = sample;
    return true;
  }
  MediaSample Take() {
    MediaSample sample = *peeked;
    peeked.reset();
    return sample;
  }
};

// The first pass: every sample's times, and the track's place on the
// common clock (seconds from the source's presentation zero).
bool PlanTrack(TrackState& state) {
  Mp4SampleCursor cursor(*state.file, state.track);
  MediaSample sample;
  while (cursor.Next(sample)) state.plan.timing.Add(sample);
  if (cursor.Failed()) return false;
  state.plan.source = &state.track;
  return true;
}

void PlaceTracks(std::array<TrackState, 2>& states) {
  std::array<double, 2> begins{};
  for (std::size_t i = 0; i < 2; ++i) {
    TrackState& state = states[i];
    const std::int64_t editStart = state.track.editMediaTime.value_or(0);
    state.plan.mediaStart = std::max(editStart, state.plan.timing.presentStart);
    const double emptyEdit = static_cast<double>(state.track.emptyEdit) / state.track.movieTimescale;
    state.origin = emptyEdit - static_cast<double>(editStart) / state.track.timescale;
    begins[i] = state.Seconds(state.plan.mediaStart);
  }
  const double start = std::min(begins[0], begins[1]);
  for (std::size_t i = 0; i < 2; ++i) {
    TrackState& state = states[i];
    state.origin -= start;
    state.plan.emptyEdit = static_cast<std::uint64_t>(std::llround((begins[i] - start) * kMuxMovieTimescale));
    const double presented =
        static_cast<double>(state.plan.timing.presentEnd - state.plan.mediaStart) / state.track.timescale;
    state.plan.presentedLength = static_cast<std::uint64_t>(std::llround(presented * kMuxMovieTimescale));
  }
}

bool FitsFragment(const std::vector<MediaSample>& fragment, const MediaSample& next) {
  return fragment.empty() || (fragment.size() < kFragmentMaxSamples &&
                              next.descriptionIndex == fragment.front().descriptionIndex);
}

// Video up to its next sync sample a second on (or the caps); sound up to
// where the video stopped on the common clock (a second at a time once the
// video has ended, or when there is none).
void FillFragment(TrackState& video, TrackState& audio) {
  double until = 0;
  bool videoLeft = false;
  if (video.Peek()) {
    const double begin = video.Seconds(video.peeked->decodeTime);
    while (video.Peek() && FitsFragment(video.fragment, *video.peeked)) {
      const double at = video.Seconds(video.peeked->decodeTime);
      if (!video.fragment.empty() &&
          ((video.peeked->sync && at - begin >= kFragmentSeconds) || at - begin >= kFragmentMaxSeconds))
        break;
      video.fragment.push_back(video.Take());
    }
    videoLeft = video.Peek();
    until = videoLeft ? video.Seconds(video.peeked->decodeTime) : 0;
  }
  if (!audio.Peek()) return;
  if (!videoLeft) until = std::max(until, audio.Seconds(audio.peeked->decodeTime) + kFragmentSeconds);
  while (audio.Peek() && FitsFragment(audio.fragment, *audio.peeked) &&
         (audio.fragment.empty() ? video.fragment.empty() || audio.Seconds(audio.peeked->decodeTime) < until
                                 : audio.Seconds(audio.peeked->decodeTime) < until))
    audio.fragment.push_back(audio.Take());
}

// One traf; the trun's data offset is left to be patched: its position is returned.
std::size_t TrackFragmentBox(BoxBuilder& box, std::uint32_t trackId,
                             const std::vector<MediaSample>& samples) {
  bool anyOffset = false;
  bool negative = false;
  for (const MediaSample& sample : samples) {
    anyOffset = anyOffset || sample.compositionOffset != 0;
    negative = negative || sample.compositionOffset < 0;
  }
  const std::size_t traf = box.Open("traf");
  const std::size_t tfhd = box.OpenFull("tfhd", 0, 0x020000 | 0x2);  // base is the moof; description index
  box.U32(trackId);
  box.U32(samples.front().descriptionIndex);
  box.Close(tfhd);
  const std::size_t tfdt = box.OpenFull("tfdt", 1, 0);
  box.U64(static_cast<std::uint64_t>(samples.front().decodeTime));
  box.Close(tfdt);
  const std::size_t trun =
      box.OpenFull("trun", negative ? 1 : 0, 0x1 | 0x100 | 0x200 | 0x400 | (anyOffset ? 0x800 : 0));
  box.U32(static_cast<std::uint32_t>(samples.size()));
  const std::size_t dataOffset = box.Size();
  box.U32(0);
  for (const MediaSample& sample : samples) {
    box.U32(sample.duration);
    box.U32(sample.size);
    box.U32(sample.flags);
    if (anyOffset) box.U32(static_cast<std::uint32_t>(sample.compositionOffset));
  }
  box.Close(trun);
  box.Close(traf);
  return dataOffset;
}

std::uint64_t DataBytes(const std::vector<MediaSample>& samples) {
  std::uint64_t bytes = 0;
  for (const MediaSample& sample : samples) bytes += sample.size;
  return bytes;
}

class Writer {
 public:
  explicit Writer(MuxOutput& output) : output_(output), buffer_(kCopyBuffer) {}
  bool Write(std::span<const std::uint8_t> bytes) {
    if (!output_.Write(bytes)) return false;
    written_ += bytes.size();
    return true;
  }
  // The samples' bytes, runs that lie back to back in the source read at once.
  MuxOutcome CopySamples(CacheFile& file, const std::vector<MediaSample>& samples) {
    std::size_t i = 0;
    while (i < samples.size()) {
      const std::uint64_t start = samples[i].offset;
      std::uint64_t end = start + samples[i].size;
      for (++i; i < samples.size() && samples[i].offset == end; ++i) end += samples[i].size;
      for (std::uint64_t at = start; at < end;) {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), end - at));
        if (file.ReadAt(at, buffer_.data(), count) != count) return MuxOutcome::ReadFailed;
        if (!Write({buffer_.data(), count})) return MuxOutcome::WriteFailed;
        at += count;
      }
    }
    return MuxOutcome::Done;
  }
  std::uint64_t Written() const { return written_; }

 private:
  MuxOutput& output_;
  std::vector<std::uint8_t> buffer_;
  std::uint64_t written_ = 0;
};

MuxOutcome WriteFragment(Writer& writer, std::array<TrackState*, 2> tracks, std::uint32_t sequence) {
  BoxBuilder box;
  const std::uint64_t moofOffset = writer.Written();
  const std::size_t moof = box.Open("moof");
  const std::size_t mfhd = box.OpenFull("mfhd", 0, 0);
  box.U32(sequence);
  box.Close(mfhd);
  std::array<std::size_t, 2> dataOffsets{};
  std::uint8_t trafNumber = 0;
  for (std::size_t i = 0; i < 2; ++i) {
    TrackState& state = *tracks[i];
    if (state.fragment.empty()) continue;
    ++trafNumber;
    dataOffsets[i] = TrackFragmentBox(box, static_cast<std::uint32_t>(i + 1), state.fragment);
    if (state.fragment.front().sync)
      state.index.push_back({state.fragment.front().decodeTime, moofOffset, trafNumber});
  }
  box.Close(moof);

  const std::uint64_t data = DataBytes(tracks[0]->fragment) + DataBytes(tracks[1]->fragment);
  const bool large = data + 8 > UINT32_MAX;
  const std::uint64_t header = large ? 16 : 8;
  std::uint64_t at = box.Size() + header;
  for (std::size_t i = 0; i < 2; ++i) {
    if (tracks[i]->fragment.empty()) continue;
    box.PatchU32(dataOffsets[i], static_cast<std::uint32_t>(at));
    at += DataBytes(tracks[i]->fragment);
  }
  if (large) {
    box.U32(1);
    for (char c : std::string_view("mdat")) box.U8(static_cast<std::uint8_t>(c));
    box.U64(data + 16);
  } else {
    box.U32(static_cast<std::uint32_t>(data + 8));
    for (char c : std::string_view("mdat")) box.U8(static_cast<std::uint8_t>(c));
  }
  if (!writer.Write(box.Bytes())) return MuxOutcome::WriteFailed;
  for (TrackState* state : tracks) {
    const MuxOutcome copied = writer.CopySamples(*state->file, state->fragment);
    if (copied != MuxOutcome::Done) return copied;
    state->fragment.clear();
  }
  return MuxOutcome::Done;
}

}  // namespace

MuxResult Mp4MuxTracks(CacheFile& first, CacheFile& second, MuxOutput& output) {
  MuxResult result;
  std::array<TrackState, 2> states;
  states[0].file = &first;
  states[1].file = &second;
  for (int i = 0; i < 2; ++i) {
    states[i].track = Mp4TrackRead(*states[i].file);
    if (states[i].track.fault == TrackFault::None && !PlanTrack(states[i]))
      states[i].track.fault = TrackFault::NotReadable;
    if (states[i].track.fault == TrackFault::None && !states[i].plan.timing.Usable())
      states[i].track.fault = TrackFault::BadTiming;
    if (states[i].track.fault != TrackFault::None) {
      result.outcome = MuxOutcome::TrackRefused;
      result.fault = states[i].track.fault;
      result.track = i;
      return result;
    }
  }
  if ((states[0].track.kind == TrackKind::Video) == (states[1].track.kind == TrackKind::Video)) {
    result.outcome = MuxOutcome::NotAPair;
    return result;
  }
  // Video first, as players expect; the outcome still names the input.
  const bool swapped = states[0].track.kind != TrackKind::Video && states[1].track.kind == TrackKind::Video;
  TrackState& video = swapped ? states[1] : states[0];
  TrackState& audio = swapped ? states[0] : states[1];
  PlaceTracks(states);

  Writer writer(output);
  if (!writer.Write(Mp4FileTypeBox()) || !writer.Write(Mp4MovieBox({video.plan, audio.plan}))) {
    result.outcome = MuxOutcome::WriteFailed;
    return result;
  }
  for (TrackState* state : {&video, &audio}) state->cursor.emplace(*state->file, state->track);
  for (std::uint32_t sequence = 1;; ++sequence) {
    FillFragment(video, audio);
    if (video.fragment.empty() && audio.fragment.empty()) break;
    result.outcome = WriteFragment(writer, {&video, &audio}, sequence);
    if (result.outcome != MuxOutcome::Done) {
      result.bytes = writer.Written();
      return result;
    }
  }
  // A source changed between the two passes.
  for (int i = 0; i < 2; ++i) {
    if (states[i].cursor->Failed()) {
      result.outcome = MuxOutcome::ReadFailed;
      result.track = i;
      result.bytes = writer.Written();
      return result;
    }
  }
  if (!writer.Write(Mp4FragmentIndexBox({video.index, audio.index})))
    result.outcome = MuxOutcome::WriteFailed;
  result.bytes = writer.Written();
  return result;
}
