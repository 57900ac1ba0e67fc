#include "app/muxing/mp4_movie_header.h"

#include <algorithm>

#include "app/muxing/box_bytes.h"

namespace {

void Matrix(BoxBuilder& box) {
  const std::uint32_t unity[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
  for (std::uint32_t v : unity) box.U32(v);
}

std::uint64_t MovieLength(const MuxTrackPlan& track) { return track.emptyEdit + track.presentedLength; }

void TrackBox(BoxBuilder& box, const MuxTrackPlan& track, std::uint32_t id) {
  const bool video = track.source->kind == TrackKind::Video;
  const std::size_t trak = box.Open("trak");

  const std::size_t tkhd = box.OpenFull("tkhd", 1, 0x3);  // enabled, in movie
  box.Zeros(16);                                          // creation and modification times
  box.U32(id);
  box.Zeros(4);
  box.U64(MovieLength(track));
  box.Zeros(8);
  box.U16(0);                   // layer
  box.U16(video ? 0 : 1);       // alternate group
  box.U16(video ? 0 : 0x0100);  // volume
  box.Zeros(2);
  Matrix(box);
  box.U32(video ? track.source->width : 0);
  box.U32(video ? track.source->height : 0);
  box.Close(tkhd);

  const std::size_t edts = box.Open("edts");
  const std::size_t elst = box.OpenFull("elst", 1, 0);
  box.U32(track.emptyEdit > 0 ? 2 : 1);
  if (track.emptyEdit > 0) {
    box.U64(track.emptyEdit);
    box.U64(static_cast<std::uint64_t>(-1));
    box.U32(0x00010000);
  }
  box.U64(track.presentedLength);
  box.U64(static_cast<std::uint64_t>(track.mediaStart));
  box.U32(0x00010000);
  box.Close(elst);
  box.Close(edts);

  const std::size_t mdia = box.Open("mdia");
  const std::size_t mdhd = box.OpenFull("mdhd", 1, 0);
  box.Zeros(16);
  box.U32(track.source->timescale);
  box.U64(static_cast<std::uint64_t>(track.timing.decodeEnd - track.timing.firstDecode));
  box.U16(track.source->language);
  box.U16(0);
  box.Close(mdhd);

  const std::size_t hdlr = box.OpenFull("hdlr", 0, 0);
  box.U32(0);
  for (char c : std::string_view(video ? "vide" : "soun")) box.U8(static_cast<std::uint8_t>(c));
  box.Zeros(12);
  for (char c : std::string_view(video ? "VideoHandler" : "SoundHandler"))
    box.U8(static_cast<std::uint8_t>(c));
  box.U8(0);
  box.Close(hdlr);

  const std::size_t minf = box.Open("minf");
  if (video) {
    const std::size_t vmhd = box.OpenFull("vmhd", 0, 1);
    box.Zeros(8);
    box.Close(vmhd);
  } else {
    const std::size_t smhd = box.OpenFull("smhd", 0, 0);
    box.Zeros(4);
    box.Close(smhd);
  }
  const std::size_t dinf = box.Open("dinf");
  const std::size_t dref = box.OpenFull("dref", 0, 0);
  box.U32(1);
  box.Close(box.OpenFull("url ", 0, 1));  // the media is in this file
  box.Close(dref);
  box.Close(dinf);

  const std::size_t stbl = box.Open("stbl");
  box.Append(track.source->sampleDescriptions);
  // The samples are all in fragments: the tables here are empty.
  for (const char* type : {"stts", "stsc", "stco"}) {
    const std::size_t empty = box.OpenFull(type, 0, 0);
    box.U32(0);
    box.Close(empty);
  }
  const std::size_t stsz = box.OpenFull("stsz", 0, 0);
  box.U32(0);
  box.U32(0);
  box.Close(stsz);
  box.Close(stbl);
  box.Close(minf);
  box.Close(mdia);
  box.Close(trak);
}

}  // namespace

std::vector<std::uint8_t> Mp4FileTypeBox() {
  BoxBuilder box;
  const std::size_t ftyp = box.Open("ftyp");
  for (const char* brand : {"isom", "\0\0\x02\0", "isom", "iso6", "mp41"}) {
    for (int i = 0; i < 4; ++i) box.U8(static_cast<std::uint8_t>(brand[i]));
  }
  box.Close(ftyp);
  return box.Bytes();
}

std::vector<std::uint8_t> Mp4MovieBox(const std::vector<MuxTrackPlan>& tracks) {
  std::uint64_t length = 0;
  for (const MuxTrackPlan& track : tracks) length = std::max(length, MovieLength(track));

  BoxBuilder box;
  const std::size_t moov = box.Open("moov");
  const std::size_t mvhd = box.OpenFull("mvhd", 1, 0);
  box.Zeros(16);
  box.U32(kMuxMovieTimescale);
  box.U64(length);
  box.U32(0x00010000);  // rate 1.0
  box.U16(0x0100);      // volume 1.0
  box.Zeros(10);
  Matrix(box);
  box.Zeros(24);
  box.U32(static_cast<std::uint32_t>(tracks.size() + 1));  // next track id
  box.Close(mvhd);

  for (std::size_t i = 0; i < tracks.size(); ++i) TrackBox(box, tracks[i], static_cast<std::uint32_t>(i + 1));

  const std::size_t mvex = box.Open("mvex");
  const std::size_t mehd = box.OpenFull("mehd", 1, 0);
  box.U64(length);
  box.Close(mehd);
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const std::size_t trex = box.OpenFull("trex", 0, 0);
    box.U32(static_cast<std::uint32_t>(i + 1));
    box.U32(1);
    box.Zeros(12);
    box.Close(trex);
  }
  box.Close(mvex);
  box.Close(moov);
  return box.Bytes();
}

std::vector<std::uint8_t> Mp4FragmentIndexBox(const std::vector<std::vector<FragmentIndexEntry>>& entries) {
  BoxBuilder box;
  const std::size_t mfra = box.Open("mfra");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t tfra = box.OpenFull("tfra", 1, 0);
    box.U32(static_cast<std::uint32_t>(i + 1));
    box.U32(0);  // one-byte traf, trun and sample numbers
    box.U32(static_cast<std::uint32_t>(entries[i].size()));
    for (const FragmentIndexEntry& entry : entries[i]) {
      box.U64(static_cast<std::uint64_t>(entry.decodeTime));
      box.U64(entry.moofOffset);
      box.U8(entry.trafNumber);
      box.U8(1);
      box.U8(1);
    }
    box.Close(tfra);
  }
  const std::size_t mfro = box.OpenFull("mfro", 0, 0);
  box.U32(static_cast<std::uint32_t>(box.Size() - mfra + 4));  // the whole mfra, mfro included
  box.Close(mfro);
  box.Close(mfra);
  return box.Bytes();
}
