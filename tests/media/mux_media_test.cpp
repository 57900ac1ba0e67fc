// The muxer on tracks made by Debian's ffmpeg (tests/media/make_tracks.sh):
// each muxed file must hold one video and one sound stream, each as long as
// its source, starting where it started against the other, every packet's
// bytes the source's, and decode to the end without an error.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/cache_folder_memory.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/scan_pairs.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/presentation_mux.h"
#include "app/muxing/mp4_muxer.h"
#include "app/muxing/webm_muxer.h"
#include "tests/media/media_probe.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

std::string TracksDir() {
  const char* dir = std::getenv("EE_MUX_TRACKS");
  return dir ? dir : "";
}
std::string OutDir() {
  const char* dir = std::getenv("EE_MUX_OUT");
  return dir ? dir : "/tmp";
}

class FileOutput : public MuxOutput {
 public:
  explicit FileOutput(const std::string& path) : file_(std::fopen(path.c_str(), "wb"), std::fclose) {}
  bool Write(std::span<const std::uint8_t> bytes) override {
    return file_ && std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) == bytes.size();
  }

 private:
  std::unique_ptr<FILE, int (*)(FILE*)> file_;
};

// The track file in the tracks folder (or below it: "dash/…").
std::unique_ptr<CacheFile> OpenTrack(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  const std::string dir = TracksDir() + (slash == std::string::npos ? "" : "/" + name.substr(0, slash));
  auto folder = DiskCacheFolderOpen(dir);
  return folder->Open(slash == std::string::npos ? name : name.substr(slash + 1));
}

// Concatenates an init segment and a run of its media segments, as the
// stream join does.
std::string JoinSegments(const std::string& representation, int first, int last) {
  const std::string joined = "dash/joined-" + representation + "-" + std::to_string(first) + ".mp4";
  std::ofstream out(TracksDir() + "/" + joined, std::ios::binary);
  auto append = [&](const std::string& name) {
    std::ifstream in(TracksDir() + "/dash/" + name, std::ios::binary);
    out << in.rdbuf();
  };
  append("init-" + representation + ".m4s");
  for (int i = first; i <= last; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "chunk-%s-%05d.m4s", representation.c_str(), i);
    append(name);
  }
  return joined;
}

const ProbedStream* StreamOf(const std::vector<ProbedStream>& streams, const std::string& type) {
  for (const ProbedStream& stream : streams) {
    if (stream.type == type) return &stream;
  }
  return nullptr;
}

struct Muxed {
  std::string path;
  MuxResult result;
};

Muxed MuxPair(const std::string& video, const std::string& audio, const std::string& outName) {
  Muxed muxed;
  muxed.path = OutDir() + "/" + outName;
  auto first = OpenTrack(video);
  auto second = OpenTrack(audio);
  EXPECT_TRUE(first && second) << video << " " << audio;
  if (!first || !second) return muxed;
  FileOutput output(muxed.path);
  muxed.result = Mp4MuxTracks(*first, *second, output);
  return muxed;
}

// Every check the issue asks of a muxed file against its two sources.
void ExpectFaithful(const std::string& video, const std::string& audio, const std::string& outName) {
  const Muxed muxed = MuxPair(video, audio, outName);
  ASSERT_EQ(muxed.result.outcome, MuxOutcome::Done);

  const auto streams = ProbeStreams(muxed.path);
  ASSERT_EQ(streams.size(), 2u);
  const ProbedStream* outVideo = StreamOf(streams, "video");
  const ProbedStream* outAudio = StreamOf(streams, "audio");
  ASSERT_TRUE(outVideo && outAudio);
  const auto sourceVideo = ProbeStreams(TracksDir() + "/" + video);
  const auto sourceAudio = ProbeStreams(TracksDir() + "/" + audio);
  ASSERT_EQ(sourceVideo.size(), 1u);
  ASSERT_EQ(sourceAudio.size(), 1u);
  EXPECT_EQ(outVideo->codec, sourceVideo[0].codec);
  EXPECT_EQ(outAudio->codec, sourceAudio[0].codec);
  EXPECT_NEAR(outVideo->duration, sourceVideo[0].duration, 0.1);
  EXPECT_NEAR(outAudio->duration, sourceAudio[0].duration, 0.1);
  // In sync: the sound starts as far from the picture as in the sources.
  // The wait before the later track is in milliseconds.
  EXPECT_NEAR(outAudio->start - outVideo->start, sourceAudio[0].start - sourceVideo[0].start, 0.0015);

  for (const auto& [source, type] : {std::pair{video, "v"}, std::pair{audio, "a"}}) {
    const auto before = ProbePackets(TracksDir() + "/" + source, type);
    const auto after = ProbePackets(muxed.path, type);
    ASSERT_EQ(after.size(), before.size()) << source;
    ASSERT_FALSE(before.empty());
    for (std::size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(after[i].size, before[i].size) << source << " packet " << i;
      ASSERT_EQ(after[i].hash, before[i].hash) << source << " packet " << i;
    }
  }
  EXPECT_EQ(DecodeErrors(muxed.path), "");
}

// A WebM or Matroska pair: every packet's bytes, time and duration the
// source's (both keep milliseconds), and a clean decode.
void ExpectFaithfulWebm(const std::string& video, const std::string& audio, const std::string& outName,
                        bool matroska) {
  const std::string path = OutDir() + "/" + outName;
  auto first = OpenTrack(video);
  auto second = OpenTrack(audio);
  ASSERT_TRUE(first && second);
  WebmMuxResult result;
  {
    FileOutput output(path);
    result = WebmMuxTracks(*first, *second, output);
  }
  ASSERT_EQ(result.outcome, MuxOutcome::Done);
  EXPECT_EQ(result.matroska, matroska);
  const auto streams = ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  ASSERT_TRUE(StreamOf(streams, "video") && StreamOf(streams, "audio"));
  EXPECT_EQ(StreamOf(streams, "video")->codec, ProbeStreams(TracksDir() + "/" + video).at(0).codec);
  EXPECT_EQ(StreamOf(streams, "audio")->codec, ProbeStreams(TracksDir() + "/" + audio).at(0).codec);
  for (const auto& [source, type] : {std::pair{video, "v"}, std::pair{audio, "a"}}) {
    const auto before = ProbePackets(TracksDir() + "/" + source, type);
    const auto after = ProbePackets(path, type);
    ASSERT_EQ(after.size(), before.size()) << source;
    ASSERT_FALSE(before.empty());
    for (std::size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(after[i].hash, before[i].hash) << source << " packet " << i;
      ASSERT_EQ(after[i].pts, before[i].pts) << source << " packet " << i;
      ASSERT_EQ(after[i].duration, before[i].duration) << source << " packet " << i;
    }
  }
  EXPECT_EQ(DecodeErrors(path), "");
}

class MuxMedia : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TracksDir().empty()) GTEST_SKIP() << "EE_MUX_TRACKS not set (run through mux_media_test.sh)";
  }
};

TEST_F(MuxMedia, BFramesAndAacKeepEveryPacketAndTheirStarts) {
  ExpectFaithful("h264_bframes.mp4", "aac_48k.mp4", "bframes.mp4");
}

TEST_F(MuxMedia, DifferentTimescalesAndALongerSound) {
  ExpectFaithful("h264_90k.mp4", "aac_44k_6s.mp4", "timescales.mp4");
  // Either order of inputs gives the same file.
  const Muxed swapped = MuxPair("aac_44k_6s.mp4", "h264_90k.mp4", "timescales_swapped.mp4");
  ASSERT_EQ(swapped.result.outcome, MuxOutcome::Done);
  EXPECT_EQ(CommandOutput("cmp '" + OutDir() + "/timescales.mp4' '" + swapped.path + "' && echo same"),
            "same\n");
}

TEST_F(MuxMedia, WholeFilesWithSidxOfEveryCodec) {
  ExpectFaithful("hevc_sidx.mp4", "opus_sidx.mp4", "hevc_opus.mp4");
  ExpectFaithful("av1_sidx.mp4", "eac3.mp4", "av1_eac3.mp4");
}

TEST_F(MuxMedia, OneSampleTracks) { ExpectFaithful("one_frame.mp4", "one_audio.mp4", "one.mp4"); }

TEST_F(MuxMedia, TenThousandFragments) { ExpectFaithful("h264_long.mp4", "aac_10000.mp4", "long.mp4"); }

TEST_F(MuxMedia, InitAndSegmentsJoinedPerTrack) {
  ExpectFaithful(JoinSegments("0", 1, 4), JoinSegments("1", 1, 5), "dash.mp4");
}

TEST_F(MuxMedia, SoundStartingASecondLaterStaysInSync) {
  // The sound's run starts at its second segment: about 1 s after the picture.
  const std::string sound = JoinSegments("1", 2, 5);
  ASSERT_NEAR(ProbeStreams(TracksDir() + "/" + sound).at(0).start, 1.0, 0.05);
  ExpectFaithful(JoinSegments("0", 1, 4), sound, "dash_late.mp4");
}

TEST_F(MuxMedia, WebmPairsStayWebm) {
  ExpectFaithfulWebm("vp9.webm", "opus.webm", "vp9_opus.webm", false);
  ExpectFaithfulWebm("vp8.webm", "vorbis.webm", "vp8_vorbis.webm", false);
  // Either order of inputs gives the same file.
  auto sound = OpenTrack("vorbis.webm");
  auto picture = OpenTrack("vp8.webm");
  MuxMemoryOutput swapped;
  ASSERT_EQ(WebmMuxTracks(*sound, *picture, swapped).outcome, MuxOutcome::Done);
  std::ifstream muxed(OutDir() + "/vp8_vorbis.webm", std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(muxed), {}};
  EXPECT_EQ(swapped.Bytes(), bytes);
}

TEST_F(MuxMedia, CodecsWebmDoesNotCarryGoToMatroska) {
  ExpectFaithfulWebm("h264.mkv", "opus.webm", "h264_opus.mkv", true);
}

TEST_F(MuxMedia, RefusesWhatWouldPlayWrongAndWritesNothing) {
  const Muxed twoSounds = MuxPair("aac_48k.mp4", "opus_sidx.mp4", "two_sounds.mp4");
  EXPECT_EQ(twoSounds.result.outcome, MuxOutcome::NotAPair);
  EXPECT_EQ(twoSounds.result.bytes, 0u);
  // A WebM is not an MP4 track.
  const Muxed webm = MuxPair("vp9.webm", "aac_48k.mp4", "refused.mp4");
  EXPECT_EQ(webm.result.outcome, MuxOutcome::TrackRefused);
  EXPECT_EQ(webm.result.track, 0);
  EXPECT_EQ(webm.result.fault, TrackFault::NotReadable);
  EXPECT_EQ(webm.result.bytes, 0u);
  // An MP4 is not a WebM track either.
  auto mp4 = OpenTrack("aac_48k.mp4");
  auto vp9 = OpenTrack("vp9.webm");
  MuxMemoryOutput output;
  const WebmMuxResult mixed = WebmMuxTracks(*vp9, *mp4, output);
  EXPECT_EQ(mixed.outcome, MuxOutcome::TrackRefused);
  EXPECT_EQ(mixed.track, 1);
  EXPECT_TRUE(output.Bytes().empty());
}

// The scan's pairing on real tracks in a Chromium cache: a picture and a
// sound of one page pair, and the pair muxes from the cache as it is.
ByteVector TrackBytes(const std::string& name) {
  std::ifstream in(TracksDir() + "/" + name, std::ios::binary);
  return ByteVector{std::istreambuf_iterator<char>(in), {}};
}

void PutTrack(MemoryCacheFolder& folder, const std::string& file, const std::string& site, const std::string& url,
              const std::string& track, std::uint64_t cachedAt) {
  const ByteVector body = TrackBytes(track);
  const ByteVector pickle = ResponsePickle(HeaderBlock(
      {"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: " + std::to_string(body.size())}));
  folder.Put(file, SimpleMainFile("1/0/_dk_" + site + " " + site + " " + url, body, &pickle), cachedAt);
}

std::vector<std::pair<std::string, std::string>> PairedAddresses(MemoryCacheFolder& folder) {
  const ScannedCacheFolder scanned = CacheFolderScan(folder);
  const ScanPartners partners = ScanPartnersFind(folder, scanned.media, scanned.streams);
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i < scanned.media.size(); ++i) {
    if (partners.media[i] && scanned.media[i].mediaClass == ReportClass::Video)
      pairs.emplace_back(scanned.media[i].element.webAddress, scanned.media[*partners.media[i]].element.webAddress);
  }
  return pairs;
}

TEST_F(MuxMedia, ScanPairsAPageOfOnePictureAndOneSoundAndMuxesThemFromTheCache) {
  constexpr std::uint64_t kAt = 133'000'000'000'000'000ull;
  constexpr std::uint64_t kSecond = 10'000'000;
  MemoryCacheFolder folder;
  folder.Put("index", SimpleIndex());
  PutTrack(folder, "0000000000000001_0", "https://video.test", "https://cdn.test/v.m4s", "h264_bframes.mp4", kAt);
  PutTrack(folder, "0000000000000002_0", "https://video.test", "https://cdn.test/a.m4s", "aac_48k.mp4",
           kAt + 3 * kSecond);
  // The same sound on another page, and a sound of another length on this one: neither fits.
  PutTrack(folder, "0000000000000003_0", "https://other.test", "https://cdn.test/a2.m4s", "aac_48k.mp4", kAt);
  PutTrack(folder, "0000000000000004_0", "https://video.test", "https://cdn.test/a6.m4s", "aac_44k_6s.mp4", kAt);
  // The same cache on disk, for the Windows program's /copyall (EE_MUX_OUT/pair_cache).
  const std::string onDisk = OutDir() + "/pair_cache";
  std::filesystem::create_directories(onDisk);
  for (const CacheFileInfo& file : folder.List()) {
    std::ofstream out(onDisk + "/" + file.name, std::ios::binary);
    const std::vector<std::uint8_t>& bytes = *folder.Bytes(file.name);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const auto pairs = PairedAddresses(folder);
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].first, "https://cdn.test/v.m4s");
  EXPECT_EQ(pairs[0].second, "https://cdn.test/a.m4s");

  // Whole fragmented files begin as an init segment does; no stream holds them, so they are media.
  const ScannedCacheFolder scanned = CacheFolderScan(folder);
  EXPECT_EQ(scanned.media.size(), 4u);
  const ScannedMedia* video = nullptr;
  const ScannedMedia* audio = nullptr;
  for (const ScannedMedia& media : scanned.media) {
    if (media.element.webAddress == "https://cdn.test/v.m4s") video = &media;
    if (media.element.webAddress == "https://cdn.test/a.m4s") audio = &media;
  }
  ASSERT_TRUE(video && audio);
  CacheElementFile videoFile(folder, video->element);
  CacheElementFile audioFile(folder, audio->element);
  const std::string path = OutDir() + "/from_cache.mp4";
  PresentationMuxResult result;
  {
    FileOutput output(path);
    result = PresentationMuxWrite(videoFile, audioFile, output);
  }
  ASSERT_EQ(result.outcome, MuxOutcome::Done);
  EXPECT_EQ(result.extension, "mp4");
  const auto streams = ProbeStreams(path);
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_TRUE(StreamOf(streams, "video") && StreamOf(streams, "audio"));
  EXPECT_EQ(DecodeErrors(path), "");

  // A second sound of the same length on the page: a guess, so nothing pairs.
  PutTrack(folder, "0000000000000005_0", "https://video.test", "https://cdn.test/a3.m4s", "aac_48k.mp4", kAt);
  EXPECT_TRUE(PairedAddresses(folder).empty());
}

}  // namespace
