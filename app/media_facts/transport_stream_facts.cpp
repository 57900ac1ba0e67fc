#include "app/media_facts/transport_stream_facts.h"

#include <algorithm>
#include <vector>

#include "app/browser_caches/media_signature.h"
#include "app/media_facts/h264_picture_size.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// Bytes of the H.264 stream searched for its parameter sets.
constexpr std::size_t kH264HeadBytes = 64u << 10;

constexpr std::uint64_t kPtsWrap = std::uint64_t{1} << 33;

// The first offset where three packets in a row start.
std::optional<std::size_t> PacketStart(Bytes bytes) {
  for (std::size_t at = 0; at < kTransportPacketSize && at + 2 * kTransportPacketSize < bytes.size(); ++at) {
    if (bytes[at] == kTransportSyncByte && bytes[at + kTransportPacketSize] == kTransportSyncByte &&
        bytes[at + 2 * kTransportPacketSize] == kTransportSyncByte)
      return at;
  }
  return std::nullopt;
}

struct Packet {
  std::uint16_t pid = 0;
  bool unitStart = false;
  Bytes payload;
};

std::optional<Packet> PacketAt(Bytes bytes, std::size_t at) {
  if (bytes.size() < at + kTransportPacketSize || bytes[at] != kTransportSyncByte) return std::nullopt;
  const Bytes packet = bytes.subspan(at, kTransportPacketSize);
  Packet result;
  result.pid = static_cast<std::uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
  result.unitStart = (packet[1] & 0x40) != 0;
  const int control = (packet[3] >> 4) & 3;
  std::size_t payloadAt = 4;
  if (control == 2 || control == 0) return result;  // no payload
  if (control == 3) payloadAt += 1 + packet[4];
  if (payloadAt < packet.size()) result.payload = packet.subspan(payloadAt);
  return result;
}

// A PSI section's bytes after the pointer field, when the table is `tableId`.
Bytes SectionOf(const Packet& packet, std::uint8_t tableId) {
  if (!packet.unitStart || packet.payload.empty()) return {};
  const std::size_t at = 1 + packet.payload[0];
  if (at + 3 > packet.payload.size() || packet.payload[at] != tableId) return {};
  const std::size_t length = ((packet.payload[at + 1] & 0x0F) << 8) | packet.payload[at + 2];
  const std::size_t end = std::min(packet.payload.size(), at + 3 + length);
  return packet.payload.subspan(at, end - at);
}

std::optional<std::uint64_t> PesTime(Bytes payload) {
  if (payload.size() < 14 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return std::nullopt;
  const std::uint8_t streamId = payload[3];
  if (streamId < 0xC0 || streamId > 0xEF) return std::nullopt;  // audio and video streams only
  if ((payload[7] & 0x80) == 0) return std::nullopt;            // no PTS
  const Bytes t = payload.subspan(9, 5);
  return (std::uint64_t{t[0] & 0x0Eu} << 29) | (std::uint64_t{t[1]} << 22) |
         (std::uint64_t{t[2] & 0xFEu} << 14) | (std::uint64_t{t[3]} << 7) | (t[4] >> 1);
}

std::string StreamTypeName(std::uint8_t type) {
  switch (type) {
    case 0x01:
      return "MPEG-1";
    case 0x02:
      return "MPEG-2";
    case 0x10:
      return "MPEG-4";
    case 0x1B:
      return "H.264";
    case 0x24:
      return "H.265";
    case 0x03:
    case 0x04:
      return "MP3";
    case 0x0F:
    case 0x11:
      return "AAC";
    case 0x81:
      return "AC-3";
    case 0x87:
      return "E-AC-3";
    default:
      return {};
  }
}

bool VideoType(std::uint8_t type) {
  return type == 0x01 || type == 0x02 || type == 0x10 || type == 0x1B || type == 0x24;
}

struct PesTimes {
  std::optional<std::uint64_t> least, most;
  void Add(std::uint64_t time) {
    least = std::min(least.value_or(time), time);
    most = std::max(most.value_or(time), time);
  }
};

template <typename Visit>
void ForEachPacket(Bytes bytes, Visit visit) {
  const auto start = PacketStart(bytes);
  if (!start) return;
  for (std::size_t at = *start; at + kTransportPacketSize <= bytes.size(); at += kTransportPacketSize) {
    const auto packet = PacketAt(bytes, at);
    if (!packet) return;  // lost sync: the rest is not read
    visit(*packet);
  }
}

}  // namespace

MediaFacts TransportStreamFacts(std::span<const std::uint8_t> head, std::span<const std::uint8_t> tail) {
  std::optional<std::uint16_t> pmtPid;
  std::vector<std::pair<std::uint16_t, std::uint8_t>> streams;  // PID, stream type
  PesTimes first;
  // The H.264 stream's first bytes, where its sequence parameter set stands.
  std::optional<std::uint16_t> h264Pid;
  std::vector<std::uint8_t> h264;
  ForEachPacket(head, [&](const Packet& packet) {
    if (h264Pid && packet.pid == *h264Pid && h264.size() < kH264HeadBytes) {
      Bytes data = packet.payload;
      if (packet.unitStart)
        data = data.size() >= 9 && data.size() >= 9u + data[8] ? data.subspan(9u + data[8]) : Bytes();
      if (packet.unitStart || !h264.empty()) h264.insert(h264.end(), data.begin(), data.end());
    }
    if (packet.pid == 0 && !pmtPid) {
      const Bytes pat = SectionOf(packet, 0x00);
      // Programs from byte 8 to the CRC: number, then PID; number 0 is the network PID.
      for (std::size_t at = 8; pat.size() >= 4 && at + 4 <= pat.size() - 4; at += 4) {
        if (((pat[at] << 8) | pat[at + 1]) == 0) continue;
        pmtPid = static_cast<std::uint16_t>(((pat[at + 2] & 0x1F) << 8) | pat[at + 3]);
        break;
      }
    } else if (pmtPid && packet.pid == *pmtPid && streams.empty()) {
      const Bytes pmt = SectionOf(packet, 0x02);
      if (pmt.size() < 16) return;
      std::size_t at = 12 + (((pmt[10] & 0x0F) << 8) | pmt[11]);
      while (at + 5 <= pmt.size() - 4) {
        streams.emplace_back(static_cast<std::uint16_t>(((pmt[at + 1] & 0x1F) << 8) | pmt[at + 2]), pmt[at]);
        at += 5 + (((pmt[at + 3] & 0x0F) << 8) | pmt[at + 4]);
      }
      for (const auto& [pid, type] : streams) {
        if (type == 0x1B && !h264Pid) h264Pid = pid;
      }
    } else if (packet.unitStart) {
      if (const auto time = PesTime(packet.payload)) first.Add(*time);
    }
  });
  MediaFacts facts;
  CodecList codecs;
  for (const bool video : {true, false}) {
    for (const auto& [pid, type] : streams) {
      if (VideoType(type) == video) codecs.Add(StreamTypeName(type));
    }
  }
  facts.codecs = codecs.Text();
  if (const auto size = H264PictureSizeFind(h264)) {
    facts.width = size->width;
    facts.height = size->height;
  }
  PesTimes last;
  ForEachPacket(tail, [&](const Packet& packet) {
    if (packet.unitStart && packet.pid != 0 && (!pmtPid || packet.pid != *pmtPid)) {
      if (const auto time = PesTime(packet.payload)) last.Add(*time);
    }
  });
  if (first.least && last.most) {
    std::uint64_t end = *last.most;
    if (end < *first.least) end += kPtsWrap;  // the clock wrapped between them
    if (end > *first.least) facts.seconds = static_cast<double>(end - *first.least) / 90000.0;
  }
  return facts;
}

std::optional<MediaFacts> TransportStreamFactsRead(CacheFile& file) {
  const std::uint64_t size = file.Size();
  std::vector<std::uint8_t> head(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kMediaFactsScanBytes)));
  head.resize(file.ReadAt(0, head.data(), head.size()));
  if (head.size() < kTransportPacketSize || head[0] != kTransportSyncByte || !PacketStart(head))
    return std::nullopt;
  // The tail from a packet boundary counted from the start, as a whole file keeps them.
  std::uint64_t tailAt = size > kMediaFactsScanBytes ? size - kMediaFactsScanBytes : 0;
  tailAt -= tailAt % kTransportPacketSize;
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tailAt));
  tail.resize(file.ReadAt(tailAt, tail.data(), tail.size()));
  return TransportStreamFacts(head, tail);
}
