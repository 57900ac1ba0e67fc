// The media facts of files Debian's ffmpeg made, against ffprobe's view of
// the same files: the length within 0.1 s, the picture size exactly, and
// the codecs by name (each stream's, pictures first).
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/media_facts/media_facts_read.h"
#include "tests/media/media_probe.h"

namespace {

std::string MediaDir() {
  const char* dir = std::getenv("EE_FACTS_MEDIA");
  return dir ? dir : "";
}

struct Probed {
  double seconds = -1;
  std::string width, height;
  std::string codecs;
};

// ffprobe's codec names as the facts spell them.
std::string NameOf(const std::string& codec) {
  static const std::map<std::string, std::string> kNames = {
      {"h264", "H.264"}, {"hevc", "H.265"}, {"vp9", "VP9"},   {"vp8", "VP8"},      {"av1", "AV1"},
      {"aac", "AAC"},    {"mp3", "MP3"},    {"opus", "Opus"}, {"vorbis", "Vorbis"}};
  const auto known = kNames.find(codec);
  return known == kNames.end() ? "?" + codec : known->second;
}

// For bare ADTS frames ffprobe's own duration is a guess from the bitrate
// (it says so): the end of its last packet is what the frames hold.
double PacketsEnd(const std::string& path) {
  std::istringstream lines(CommandOutput(
      "ffprobe -v error -show_entries packet=pts_time,duration_time -of csv=p=0 '" + path + "'"));
  double end = -1;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    end = std::max(end, std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1)));
  }
  return end;
}

Probed Probe(const std::string& path) {
  Probed probed;
  const std::string duration =
      CommandOutput("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'");
  if (!duration.empty() && duration.substr(0, 3) != "N/A") probed.seconds = std::stod(duration);
  if (path.ends_with(".aac")) probed.seconds = PacketsEnd(path);
  // A transport stream's streams are listed again under its program: each index once.
  std::istringstream lines(CommandOutput(
      "ffprobe -v error -show_entries stream=index,codec_name,codec_type,width,height -of csv=p=0 '" + path +
      "'"));
  std::vector<std::string> video, audio;
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string index, name, type, width, height;
    std::getline(fields, index, ',');
    std::getline(fields, name, ',');
    std::getline(fields, type, ',');
    std::getline(fields, width, ',');
    std::getline(fields, height, ',');
    if (!seen.insert(index).second) continue;
    if (type == "video") {
      video.push_back(NameOf(name));
      if (probed.width.empty()) probed.width = width, probed.height = height;
    } else if (type == "audio") {
      audio.push_back(NameOf(name));
    }
  }
  for (const auto* names : {&video, &audio}) {
    for (const std::string& name : *names) probed.codecs += (probed.codecs.empty() ? "" : " / ") + name;
  }
  return probed;
}

MediaFacts FactsOf(const std::string& name) {
  auto folder = DiskCacheFolderOpen(MediaDir());
  if (!folder) return {};
  auto file = folder->Open(name);
  if (!file) return {};
  return MediaFactsRead(*file);
}

class MediaFactsFiles : public testing::TestWithParam<const char*> {};

TEST_P(MediaFactsFiles, AgreeWithFfprobe) {
  if (MediaDir().empty()) GTEST_SKIP() << "EE_FACTS_MEDIA not set (run through media_facts_test.sh)";
  const std::string name = GetParam();
  const Probed probed = Probe(MediaDir() + "/" + name);
  const MediaFacts facts = FactsOf(name);
  ASSERT_GT(probed.seconds, 0) << name;
  ASSERT_TRUE(facts.seconds.has_value()) << name;
  EXPECT_NEAR(*facts.seconds, probed.seconds, 0.1) << name;
  EXPECT_EQ(MediaFactsResolutionText(facts), probed.width.empty() ? "" : probed.width + "x" + probed.height)
      << name;
  EXPECT_EQ(facts.codecs, probed.codecs) << name;
}

INSTANTIATE_TEST_SUITE_P(Made, MediaFactsFiles,
                         testing::Values("moov_last.mp4", "moov_first.mp4", "fragmented.mp4", "sidx.mp4",
                                         "hevc.mp4", "sound.m4a", "vp9_opus.webm", "vorbis.webm",
                                         "h264_aac.mkv", "cbr.mp3", "cbr_info.mp3", "vbr.mp3", "mono_22k.mp3",
                                         "short.aac", "long.aac", "video.ts", "sound.ts"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (c == '.') c = '_';
                           }
                           return name;
                         });

}  // namespace
