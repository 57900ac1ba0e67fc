// WebM tracks: the EBML walk never reads past its elements, every frame it
// yields lies in the file, and the muxer writes nothing for a pair it
// refuses and an EBML header first for one it takes.
#include "app/muxing/ebml_reader.h"
#include "app/muxing/webm_muxer.h"
#include "app/muxing/webm_track_reader.h"
#include "tests/fuzz/mux_fuzz_input.h"

void FuzzWebmMux(const std::uint8_t* data, std::size_t size) {
  FuzzTrackFiles files(data, size);
  for (CacheFile* file : {files.first.get(), files.second.get()}) {
    const WebmTrack track = WebmTrackRead(*file);
    if (track.fault != TrackFault::None) continue;
    FUZZ_CHECK(track.trackNumber > 0 && track.timestampScale > 0 && track.clustersStart < file->Size());
    WebmFrameCursor cursor(*file, track);
    WebmFrame frame;
    for (int i = 0; i < 100000 && cursor.Next(frame); ++i) {
      FUZZ_CHECK(frame.dataOffset + frame.dataSize <= file->Size());
      if (frame.group) FUZZ_CHECK(frame.afterOffset + frame.afterSize <= file->Size());
    }
  }
  CountingOutput output;
  const WebmMuxResult result = WebmMuxTracks(*files.first, *files.second, output);
  FUZZ_CHECK(result.bytes == output.Bytes());
  if (result.outcome == MuxOutcome::TrackRefused || result.outcome == MuxOutcome::NotAPair)
    FUZZ_CHECK(output.Bytes() == 0);
  if (result.outcome == MuxOutcome::Done) {
    const auto& first = output.First();
    FUZZ_CHECK(first.size() >= 4 && first[0] == 0x1A && first[1] == 0x45 && first[2] == 0xDF &&
               first[3] == 0xA3);
  }
}
