// What Debian's ffprobe and ffmpeg say of a media file: its streams, their
// packets' sizes and checksums, and the decoder's errors.
#pragma once

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

struct ProbedStream {
  std::string type;  // "video", "audio"
  std::string codec;
  double start = 0;
  double duration = 0;
};

struct ProbedPacket {
  long long pts = 0;
  long long duration = 0;
  long long size = 0;
  std::string hash;
};

inline std::string CommandOutput(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  if (!pipe) return text;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, got);
  return text;
}

inline std::vector<ProbedStream> ProbeStreams(const std::string& path) {
  std::istringstream lines(
      CommandOutput("ffprobe -v error -show_entries stream=codec_type,codec_name,start_time,duration "
                    "-of csv=p=0 '" +
                    path + "'"));
  std::vector<ProbedStream> streams;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    ProbedStream stream;
    std::string start, duration;
    std::getline(fields, stream.codec, ',');
    std::getline(fields, stream.type, ',');
    std::getline(fields, start, ',');
    std::getline(fields, duration, ',');
    stream.start = start == "N/A" || start.empty() ? -1 : std::stod(start);
    stream.duration = duration == "N/A" || duration.empty() ? -1 : std::stod(duration);
    if (stream.type == "video" || stream.type == "audio") streams.push_back(stream);  // not side data lines
  }
  return streams;
}

// The packets of the first stream of that type ("v" or "a"), copied, not decoded.
inline std::vector<ProbedPacket> ProbePackets(const std::string& path, const char* type) {
  // Times as stored: not shifted to start at zero.
  std::istringstream lines(CommandOutput(std::string("ffmpeg -v error -nostdin -copyts -i '") + path +
                                         "' -map 0:" + type +
                                         ":0 -c copy -avoid_negative_ts disabled -f framemd5 - 2>&1"));
  std::vector<ProbedPacket> packets;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    // stream, dts, pts, duration, size, hash
    std::istringstream fields(line);
    std::string field[6];
    for (std::string& f : field) std::getline(fields, f, ',');
    ProbedPacket packet;
    packet.pts = std::stoll(field[2]);
    packet.duration = std::stoll(field[3]);
    packet.size = std::stoll(field[4]);
    packet.hash = field[5].substr(field[5].find_first_not_of(' '));
    packets.push_back(packet);
  }
  return packets;
}

// What the decoder says when it decodes every stream to the end: empty when all is well.
inline std::string DecodeErrors(const std::string& path) {
  return CommandOutput("ffmpeg -v error -nostdin -i '" + path + "' -f null - 2>&1");
}
