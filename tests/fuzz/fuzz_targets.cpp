#include "tests/fuzz/fuzz_targets.h"

#include <cstdio>
#include <cstdlib>

void FuzzValueBytes(const std::uint8_t* data, std::size_t size);
void FuzzTextSplit(const std::uint8_t* data, std::size_t size);
void FuzzTemplateBlock(const std::uint8_t* data, std::size_t size);
void FuzzChangeRecords(const std::uint8_t* data, std::size_t size);
void FuzzFilePaths(const std::uint8_t* data, std::size_t size);
void FuzzCursorFile(const std::uint8_t* data, std::size_t size);
void FuzzBlockFiles(const std::uint8_t* data, std::size_t size);
void FuzzSimpleCache(const std::uint8_t* data, std::size_t size);
void FuzzHttpHeaders(const std::uint8_t* data, std::size_t size);
void FuzzMediaSignature(const std::uint8_t* data, std::size_t size);
void FuzzFirefoxEntry(const std::uint8_t* data, std::size_t size);
void FuzzSavedName(const std::uint8_t* data, std::size_t size);
void FuzzReportWriter(const std::uint8_t* data, std::size_t size);
void FuzzJoinPlan(const std::uint8_t* data, std::size_t size);
void FuzzHlsPlaylist(const std::uint8_t* data, std::size_t size);
void FuzzDashManifest(const std::uint8_t* data, std::size_t size);
void FuzzWebAddress(const std::uint8_t* data, std::size_t size);
void FuzzSegmentContent(const std::uint8_t* data, std::size_t size);
void FuzzCacheStreams(const std::uint8_t* data, std::size_t size);
void FuzzMp4Mux(const std::uint8_t* data, std::size_t size);
void FuzzWebmMux(const std::uint8_t* data, std::size_t size);
void FuzzTrackHeadline(const std::uint8_t* data, std::size_t size);
void FuzzContentDecoding(const std::uint8_t* data, std::size_t size);
void FuzzCacheCandidates(const std::uint8_t* data, std::size_t size);
void FuzzStreamTracker(const std::uint8_t* data, std::size_t size);
void FuzzMp4Facts(const std::uint8_t* data, std::size_t size);
void FuzzMatroskaFacts(const std::uint8_t* data, std::size_t size);
void FuzzMpegAudioFacts(const std::uint8_t* data, std::size_t size);
void FuzzTransportStreamFacts(const std::uint8_t* data, std::size_t size);

namespace {

constexpr FuzzTarget kTargets[] = {
    {"value_bytes", &FuzzValueBytes},
    {"text_split", &FuzzTextSplit},
    {"template_block", &FuzzTemplateBlock},
    {"change_records", &FuzzChangeRecords},
    {"file_paths", &FuzzFilePaths},
    {"cursor_file", &FuzzCursorFile},
    {"block_files", &FuzzBlockFiles},
    {"simple_cache", &FuzzSimpleCache},
    {"http_headers", &FuzzHttpHeaders},
    {"media_signature", &FuzzMediaSignature},
    {"firefox_entry", &FuzzFirefoxEntry},
    {"saved_name", &FuzzSavedName},
    {"report_writer", &FuzzReportWriter},
    {"join_plan", &FuzzJoinPlan},
    {"hls_playlist", &FuzzHlsPlaylist},
    {"dash_manifest", &FuzzDashManifest},
    {"web_address", &FuzzWebAddress},
    {"segment_content", &FuzzSegmentContent},
    {"cache_streams", &FuzzCacheStreams},
    {"mp4_mux", &FuzzMp4Mux},
    {"webm_mux", &FuzzWebmMux},
    {"track_headline", &FuzzTrackHeadline},
    {"content_decoding", &FuzzContentDecoding},
    {"cache_candidates", &FuzzCacheCandidates},
    {"stream_tracker", &FuzzStreamTracker},
    {"mp4_facts", &FuzzMp4Facts},
    {"matroska_facts", &FuzzMatroskaFacts},
    {"mpeg_audio_facts", &FuzzMpegAudioFacts},
    {"transport_stream_facts", &FuzzTransportStreamFacts},
};

}  // namespace

std::span<const FuzzTarget> FuzzTargets() { return kTargets; }

const FuzzTarget* FuzzTargetFind(std::string_view name) {
  for (const FuzzTarget& target : kTargets) {
    if (target.name == name) return &target;
  }
  return nullptr;
}

void FuzzRuleBroken(const char* rule, const char* file, int line) {
  std::fprintf(stderr, "fuzz rule broken at %s:%d: %s\n", file, line, rule);
  std::fflush(stderr);
  std::abort();
}
