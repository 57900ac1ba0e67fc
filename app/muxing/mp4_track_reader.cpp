#include "app/muxing/mp4_track_reader.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "app/browser_caches/iso_boxes.h"
#include "app/muxing/box_bytes.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

// A box's payload within the bytes, when it lies wholly inside them.
struct Payload {
  std::size_t at = 0;
  std::size_t size = 0;
};

std::optional<Payload> PayloadOf(Bytes bytes, const IsoBox& box) {
  if (box.End() > bytes.size()) return std::nullopt;
  return Payload{static_cast<std::size_t>(box.offset) + box.headerSize,
                 static_cast<std::size_t>(box.size) - box.headerSize};
}

// Calls visit(child) for each child box of `parent` lying wholly inside it;
// false when a child is damaged or runs past its parent.
template <typename Visit>
bool ForEachChild(Bytes bytes, const IsoBox& parent, std::uint64_t skip, Visit visit) {
  std::uint64_t at = parent.offset + parent.headerSize + skip;
  while (at < parent.End()) {
    const std::optional<IsoBox> child = IsoBoxAt(bytes, at);
    if (!child || child->End() > parent.End() || child->End() > bytes.size()) return false;
    visit(*child);
    at = child->End();
  }
  return true;
}

std::optional<IsoBox> Child(Bytes bytes, const std::optional<IsoBox>& parent, std::string_view type) {
  if (!parent) return std::nullopt;
  const auto child = IsoChildFind(bytes, *parent, type);
  if (!child || child->End() > bytes.size()) return std::nullopt;
  return child;
}

// Reads fields in order from a payload; any read past its end sets bad.
class FieldReader {
 public:
  FieldReader(Bytes bytes, Payload payload)
      : bytes_(bytes), at_(payload.at), end_(payload.at + payload.size) {}
  std::uint64_t Uint(std::size_t count) {
    if (bad_ || end_ - at_ < count) {
      bad_ = true;
      return 0;
    }
    const std::uint64_t value = BigEndianAt(bytes_, at_, count);
    at_ += count;
    return value;
  }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Uint(4)); }
  void Skip(std::size_t count) {
    if (end_ - at_ < count)
      bad_ = true;
    else
      at_ += count;
  }
  bool Bad() const { return bad_; }

 private:
  Bytes bytes_;
  std::size_t at_;
  std::size_t end_;
  bool bad_ = false;
};

std::string_view HandlerOf(Bytes bytes, const std::optional<IsoBox>& mdia) {
  const auto hdlr = Child(bytes, mdia, "hdlr");
  if (!hdlr || hdlr->size < hdlr->headerSize + 12) return {};
  return {reinterpret_cast<const char*>(bytes.data()) + hdlr->offset + hdlr->headerSize + 8, 4};
}

// Codecs the MP4 output carries, by sample entry type.
constexpr std::array<std::string_view, 11> kMp4Codecs = {"avc1", "avc3", "hev1", "hvc1", "av01", "vp09",
                                                         "mp4a", "Opus", "ac-3", "ec-3", "fLaC"};

void ReadTrak(Bytes bytes, const IsoBox& trak, Mp4Track& track) {
  const auto tkhd = Child(bytes, trak, "tkhd");
  const auto mdia = Child(bytes, trak, "mdia");
  const auto mdhd = Child(bytes, mdia, "mdhd");
  const auto stbl = Child(bytes, Child(bytes, mdia, "minf"), "stbl");
  const auto stsd = Child(bytes, stbl, "stsd");
  if (!tkhd || !mdhd || !stsd) {
    track.fault = TrackFault::NotReadable;
    return;
  }
  FieldReader tk(bytes, *PayloadOf(bytes, *tkhd));
  const auto tkVersion = tk.Uint(1);
  tk.Skip(3 + (tkVersion == 1 ? 16 : 8));
  track.trackId = tk.U32();
  tk.Skip(4 + (tkVersion == 1 ? 8 : 4) + 8 + 2 + 2 + 2 + 2 + 36);
  track.width = tk.U32();
  track.height = tk.U32();

  FieldReader md(bytes, *PayloadOf(bytes, *mdhd));
  const auto mdVersion = md.Uint(1);
  md.Skip(3 + (mdVersion == 1 ? 16 : 8));
  track.timescale = md.U32();
  track.mediaDuration = md.Uint(mdVersion == 1 ? 8 : 4);
  track.language = static_cast<std::uint16_t>(md.Uint(2));
  if (tk.Bad() || md.Bad()) {
    track.fault = TrackFault::NotReadable;
    return;
  }

  const Payload sd = *PayloadOf(bytes, *stsd);
  track.sampleDescriptions.assign(bytes.begin() + static_cast<std::ptrdiff_t>(stsd->offset),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(stsd->End()));
  // Full box header and entry count, then the first entry's size and type.
  if (sd.size < 16 || BigEndianAt(bytes, sd.at + 4, 4) == 0) {
    track.fault = TrackFault::NotReadable;
    return;
  }
  track.codec.assign(reinterpret_cast<const char*>(bytes.data()) + sd.at + 12, 4);

  // Samples in moov's own tables come before the fragments: the cursor
  // reads only fragments, so such a file would lose them.
  if (const auto stsz = Child(bytes, stbl, "stsz")) {
    FieldReader sz(bytes, *PayloadOf(bytes, *stsz));
    sz.Skip(8);
    if (sz.U32() != 0 || sz.Bad()) track.fault = TrackFault::NotFragmented;
  }

  if (const auto elst = Child(bytes, Child(bytes, trak, "edts"), "elst")) {
    FieldReader el(bytes, *PayloadOf(bytes, *elst));
    const auto version = el.Uint(1);
    el.Skip(3);
    const std::uint32_t count = el.U32();
    const std::size_t width = version == 1 ? 8 : 4;
    for (std::uint32_t i = 0; i < count && i < 2 && !el.Bad(); ++i) {
      const std::uint64_t duration = el.Uint(width);
      const std::uint64_t rawTime = el.Uint(width);
      el.Skip(4);  // rate
      const std::int64_t mediaTime =
          version == 1 ? static_cast<std::int64_t>(rawTime) : static_cast<std::int32_t>(rawTime);
      if (el.Bad()) break;
      if (mediaTime == -1) {
        if (i == 0) track.emptyEdit = duration;
        continue;
      }
      track.editMediaTime = mediaTime;
      break;
    }
  }
}

void ApplyTrex(Bytes bytes, const IsoBox& moov, Mp4Track& track) {
  const auto mvex = Child(bytes, moov, "mvex");
  if (!mvex) return;
  ForEachChild(bytes, *mvex, 0, [&](const IsoBox& box) {
    if (box.type != "trex") return;
    FieldReader tr(bytes, *PayloadOf(bytes, box));
    tr.Skip(4);
    const std::uint32_t id = tr.U32();
    const std::uint32_t index = tr.U32();
    const std::uint32_t duration = tr.U32();
    const std::uint32_t size = tr.U32();
    const std::uint32_t flags = tr.U32();
    if (tr.Bad() || id != track.trackId) return;
    track.defaultDescriptionIndex = index;
    track.defaultDuration = duration;
    track.defaultSize = size;
    track.defaultFlags = flags;
  });
}

}  // namespace

Mp4Track Mp4TrackFromMoov(std::span<const std::uint8_t> bytes) {
  Mp4Track track;
  const std::optional<IsoBox> moov = IsoBoxAt(bytes, 0);
  if (!moov || moov->type != "moov" || moov->End() > bytes.size()) {
    track.fault = TrackFault::NotReadable;
    return track;
  }
  if (const auto mvhd = Child(bytes, moov, "mvhd")) {
    FieldReader mv(bytes, *PayloadOf(bytes, *mvhd));
    const auto version = mv.Uint(1);
    mv.Skip(3 + (version == 1 ? 16 : 8));
    const std::uint32_t scale = mv.U32();
    if (!mv.Bad() && scale != 0) track.movieTimescale = scale;
  }
  bool found = false;
  ForEachChild(bytes, *moov, 0, [&](const IsoBox& trak) {
    if (trak.type != "trak") return;
    const std::string_view handler = HandlerOf(bytes, Child(bytes, trak, "mdia"));
    if (handler != "vide" && handler != "soun") return;
    ++track.mediaTracks;
    if (found) return;
    found = true;
    track.kind = handler == "vide" ? TrackKind::Video : TrackKind::Audio;
    ReadTrak(bytes, trak, track);
  });
  if (!found) {
    track.fault = TrackFault::NotReadable;
    return track;
  }
  if (track.fault != TrackFault::None) return track;
  if (!Child(bytes, moov, "mvex")) {
    track.fault = TrackFault::NotFragmented;
    return track;
  }
  ApplyTrex(bytes, *moov, track);
  if (const auto mehd = Child(bytes, Child(bytes, moov, "mvex"), "mehd")) {
    FieldReader me(bytes, *PayloadOf(bytes, *mehd));
    const auto version = me.Uint(1);
    me.Skip(3);
    const std::uint64_t duration = me.Uint(version == 1 ? 8 : 4);
    if (!me.Bad()) track.fragmentDuration = duration;
  }
  if (track.codec == "encv" || track.codec == "enca") {
    track.fault = TrackFault::Encrypted;
  } else if (std::find(kMp4Codecs.begin(), kMp4Codecs.end(), track.codec) == kMp4Codecs.end()) {
    track.fault = TrackFault::UnknownCodec;
  } else if (track.timescale == 0) {
    track.fault = TrackFault::BadTiming;
  }
  return track;
}

namespace {

// The header of the top-level box at `at`: type and size, size 0 meaning "to the end".
// A box that runs past the file's end is a file cut short: the muxer takes
// none of it.
std::optional<IsoBox> WholeBoxAt(CacheFile& file, std::uint64_t at, std::uint64_t fileSize) {
  std::optional<IsoBox> box = Mp4TopBoxAt(file, at, fileSize);
  if (box && box->End() > fileSize) return std::nullopt;
  return box;
}

}  // namespace

std::optional<IsoBox> Mp4TopBoxAt(CacheFile& file, std::uint64_t at, std::uint64_t fileSize) {
  std::array<std::uint8_t, 16> header{};
  if (at >= fileSize || fileSize - at < 8) return std::nullopt;
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(16, fileSize - at));
  if (file.ReadAt(at, header.data(), want) != want) return std::nullopt;
  std::optional<IsoBox> box = IsoBoxAt(Bytes(header.data(), want), 0);
  if (!box) return std::nullopt;
  if (BigEndianAt(header, 0, 4) == 0) box->size = fileSize - at;
  box->offset = at;
  return box;
}

std::optional<std::vector<std::uint8_t>> Mp4BoxRead(CacheFile& file, const IsoBox& box, std::uint64_t cap) {
  if (box.size > cap) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(box.size));
  if (file.ReadAt(box.offset, bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  return bytes;
}

Mp4Track Mp4TrackRead(CacheFile& file) {
  const std::uint64_t size = file.Size();
  std::uint64_t at = 0;
  while (const auto box = WholeBoxAt(file, at, size)) {
    if (box->type == "moov") {
      const auto moov = Mp4BoxRead(file, *box, kMp4MaxMoovBytes);
      if (!moov) break;
      Mp4Track track = Mp4TrackFromMoov(*moov);
      track.fragmentsStart = box->End();
      return track;
    }
    if (box->type == "moof" || box->type == "mdat") break;  // fragments before any moov
    at = box->End();
  }
  Mp4Track track;
  track.fault = TrackFault::NotReadable;
  return track;
}

bool Mp4FragmentSamples(std::span<const std::uint8_t> bytes, std::uint64_t moofOffset, const Mp4Track& track,
                        std::int64_t& nextDecodeTime, std::vector<MediaSample>& samples) {
  const std::optional<IsoBox> moof = IsoBoxAt(bytes, 0);
  if (!moof || moof->type != "moof" || moof->End() > bytes.size()) return false;
  bool good = true;
  const bool walked = ForEachChild(bytes, *moof, 0, [&](const IsoBox& traf) {
    if (!good || traf.type != "traf") return;
    const auto tfhd = Child(bytes, traf, "tfhd");
    if (!tfhd) {
      good = false;
      return;
    }
    FieldReader th(bytes, *PayloadOf(bytes, *tfhd));
    const std::uint32_t tfFlags = th.U32() & 0xffffff;
    if (th.U32() != track.trackId) return;  // another track's
    std::uint64_t base = moofOffset;
    if (tfFlags & 0x1) base = th.Uint(8);
    const std::uint32_t descriptionIndex = (tfFlags & 0x2) ? th.U32() : track.defaultDescriptionIndex;
    const std::uint32_t defaultDuration = (tfFlags & 0x8) ? th.U32() : track.defaultDuration;
    const std::uint32_t defaultSize = (tfFlags & 0x10) ? th.U32() : track.defaultSize;
    const std::uint32_t defaultFlags = (tfFlags & 0x20) ? th.U32() : track.defaultFlags;
    if (th.Bad()) {
      good = false;
      return;
    }
    if (const auto tfdt = Child(bytes, traf, "tfdt")) {
      FieldReader td(bytes, *PayloadOf(bytes, *tfdt));
      const auto version = td.Uint(1);
      td.Skip(3);
      const std::uint64_t time = td.Uint(version == 1 ? 8 : 4);
      if (td.Bad() || time > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)) {
        good = false;
        return;
      }
      nextDecodeTime = static_cast<std::int64_t>(time);
    }
    std::uint64_t dataAt = base;
    const bool whole = ForEachChild(bytes, traf, 0, [&](const IsoBox& trun) {
      if (!good || trun.type != "trun") return;
      FieldReader tr(bytes, *PayloadOf(bytes, trun));
      const auto version = tr.Uint(1);
      const auto flags = static_cast<std::uint32_t>(tr.Uint(3));
      const std::uint32_t count = tr.U32();
      if (flags & 0x1) {
        const auto offset = static_cast<std::int32_t>(tr.U32());
        dataAt = static_cast<std::uint64_t>(static_cast<std::int64_t>(base) + offset);
      }
      const bool hasFirstFlags = (flags & 0x4) != 0;
      const std::uint32_t firstFlags = hasFirstFlags ? tr.U32() : 0;
      if (tr.Bad() || count > kMp4MaxFragmentSamples || samples.size() + count > kMp4MaxFragmentSamples) {
        good = false;
        return;
      }
      for (std::uint32_t i = 0; i < count; ++i) {
        MediaSample sample;
        sample.duration = (flags & 0x100) ? tr.U32() : defaultDuration;
        sample.size = (flags & 0x200) ? tr.U32() : defaultSize;
        sample.flags = (flags & 0x400) ? tr.U32() : (i == 0 && hasFirstFlags ? firstFlags : defaultFlags);
        if (flags & 0x800) {
          const std::uint32_t raw = tr.U32();
          sample.compositionOffset = version == 0 ? static_cast<std::int64_t>(raw)
                                                  : static_cast<std::int64_t>(static_cast<std::int32_t>(raw));
        }
        if (tr.Bad()) {
          good = false;
          return;
        }
        sample.decodeTime = nextDecodeTime;
        sample.offset = dataAt;
        sample.descriptionIndex = descriptionIndex;
        // Not "non-sync", and for video not depending on other samples.
        sample.sync = (sample.flags & 0x10000) == 0 &&
                      (track.kind != TrackKind::Video || ((sample.flags >> 24) & 0x3) != 1);
        if (dataAt > UINT64_MAX - sample.size ||
            nextDecodeTime > std::numeric_limits<std::int64_t>::max() / 2) {
          good = false;
          return;
        }
        dataAt += sample.size;
        nextDecodeTime += sample.duration;
        samples.push_back(sample);
      }
    });
    if (!whole) good = false;
  });
  return good && walked;
}

Mp4SampleCursor::Mp4SampleCursor(CacheFile& file, const Mp4Track& track)
    : file_(file), track_(track), size_(file.Size()), next_(track.fragmentsStart) {}

bool Mp4SampleCursor::LoadNextFragment() {
  fragment_.clear();
  index_ = 0;
  while (fragment_.empty()) {
    if (next_ >= size_) return false;
    const auto box = WholeBoxAt(file_, next_, size_);
    if (!box) {
      failed_ = true;  // a box cut short or damaged inside the file
      return false;
    }
    next_ = box->End();
    if (box->type != "moof") continue;
    const auto moof = Mp4BoxRead(file_, *box, kMp4MaxMoofBytes);
    if (!moof || !Mp4FragmentSamples(*moof, box->offset, track_, nextDecodeTime_, fragment_)) {
      failed_ = true;
      return false;
    }
    for (const MediaSample& sample : fragment_) {
      if (sample.offset + sample.size > size_) {
        failed_ = true;  // data beyond the file: cut short
        return false;
      }
    }
  }
  return true;
}

bool Mp4SampleCursor::Next(MediaSample& sample) {
  if (failed_) return false;
  if (index_ >= fragment_.size() && !LoadNextFragment()) return false;
  sample = fragment_[index_++];
  return true;
}
