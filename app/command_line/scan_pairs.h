// Which of a scanned folder's tracks are one presentation's picture and
// sound: a manifest's video and sound streams, or two whole elements that
// fit as the pairing rules say (app/muxing/track_pairing.h).  The copy
// joins each pair into one file; the report names each row's partner.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/scan_arguments.h"
#include "app/muxing/element_partner.h"
#include "app/streams/cache_streams.h"

// Per element and per stream: the index of the other track of its
// presentation among the same kind (elements pair with elements, streams
// with streams), or nothing.
struct ScanPartners {
  std::vector<std::optional<std::size_t>> media;
  std::vector<std::optional<std::size_t>> streams;

  // The partner of the folder's medium or stream `i`; nothing where none is
  // recorded (a folder made without pairing has none at all).
  std::optional<std::size_t> OfMedia(std::size_t i) const { return i < media.size() ? media[i] : std::nullopt; }
  std::optional<std::size_t> OfStream(std::size_t i) const {
    return i < streams.size() ? streams[i] : std::nullopt;
  }
};

ScanPartners ScanPartnersFind(CacheFolder& folder, std::span<const ScannedMedia> media,
                              std::span<const CacheStream> streams);

// Keeps the elements and streams of the wanted class, and with video wanted
// the sound of a kept video's presentation too (the joined file is a
// video); partner indexes follow the items they name, a partner dropped is
// forgotten.
void ScanTracksKeepWanted(std::vector<ScannedMedia>& media, std::vector<CacheStream>& streams,
                          ScanPartners& partners, ScanClassFilter filter);

// What the report's last column says of a row whose partner is `partner`:
// "视频：<address>" or "音频：<address>", with a DASH Representation's id in
// brackets (both streams of a manifest share its address).  UTF-8.
std::string ScanPartnerText(bool partnerIsVideo, std::string_view address, std::string_view representation);
