#include "app/muxing/presentation_mux.h"

#include "app/muxing/mp4_muxer.h"
#include "app/muxing/mp4_track_reader.h"
#include "app/muxing/webm_muxer.h"
#include "app/muxing/webm_track_reader.h"

namespace {

enum class Family { None, Mp4, Webm };

// An MP4 with a moov is an MP4 track even where its codec is refused later.
Family FamilyOf(CacheFile& file, bool& webmCodec) {
  if (Mp4TrackRead(file).fault != TrackFault::NotReadable) return Family::Mp4;
  const WebmTrack webm = WebmTrackRead(file);
  if (webm.fault == TrackFault::NotReadable) return Family::None;
  webmCodec = webm.webmCodec;
  return Family::Webm;
}

}  // namespace

std::string_view PresentationMuxedExtension(CacheFile& first, CacheFile& second) {
  bool firstWebm = false;
  bool secondWebm = false;
  const Family a = FamilyOf(first, firstWebm);
  const Family b = FamilyOf(second, secondWebm);
  if (a != b || a == Family::None) return {};
  if (a == Family::Mp4) return "mp4";
  return firstWebm && secondWebm ? "webm" : "mkv";
}

PresentationMuxResult PresentationMuxWrite(CacheFile& first, CacheFile& second, MuxOutput& output) {
  PresentationMuxResult result;
  bool firstWebm = false;
  bool secondWebm = false;
  const Family a = FamilyOf(first, firstWebm);
  const Family b = FamilyOf(second, secondWebm);
  if (a == Family::None || b == Family::None) {
    result.outcome = MuxOutcome::TrackRefused;
    result.fault = TrackFault::NotReadable;
    result.track = a == Family::None ? 0 : 1;
    return result;
  }
  if (a != b) {
    result.outcome = MuxOutcome::ContainersDiffer;
    return result;
  }
  if (a == Family::Mp4) {
    static_cast<MuxResult&>(result) = Mp4MuxTracks(first, second, output);
    if (result.outcome == MuxOutcome::Done) result.extension = "mp4";
    return result;
  }
  const WebmMuxResult webm = WebmMuxTracks(first, second, output);
  static_cast<MuxResult&>(result) = webm;
  if (result.outcome == MuxOutcome::Done) result.extension = webm.matroska ? "mkv" : "webm";
  return result;
}
