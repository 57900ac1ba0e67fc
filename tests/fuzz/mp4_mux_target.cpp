// MP4 tracks: the moov and moof readers never read past their boxes, a track
// they accept is one the muxer can describe, and the muxer writes nothing
// for a pair it refuses and an ftyp first for one it takes.
#include <algorithm>

#include "app/muxing/mp4_muxer.h"
#include "app/muxing/mp4_track_reader.h"
#include "tests/fuzz/mux_fuzz_input.h"

void FuzzMp4Mux(const std::uint8_t* data, std::size_t size) {
  FuzzTrackFiles files(data, size);
  for (CacheFile* file : {files.first.get(), files.second.get()}) {
    const Mp4Track track = Mp4TrackRead(*file);
    if (track.fault != TrackFault::None) continue;
    FUZZ_CHECK(track.timescale > 0 && track.codec.size() == 4 && !track.sampleDescriptions.empty());
    FUZZ_CHECK(track.kind == TrackKind::Video || track.kind == TrackKind::Audio);
    Mp4SampleCursor cursor(*file, track);
    MediaSample sample;
    for (int i = 0; i < 100000 && cursor.Next(sample); ++i)
      FUZZ_CHECK(sample.offset + sample.size <= file->Size());
  }
  CountingOutput output;
  const MuxResult result = Mp4MuxTracks(*files.first, *files.second, output);
  FUZZ_CHECK(result.bytes == output.Bytes());
  if (result.outcome == MuxOutcome::TrackRefused || result.outcome == MuxOutcome::NotAPair)
    FUZZ_CHECK(output.Bytes() == 0);
  if (result.outcome == MuxOutcome::Done) {
    const auto& first = output.First();
    FUZZ_CHECK(first.size() == 8 && std::equal(first.begin() + 4, first.end(), "ftyp"));
  }
}
