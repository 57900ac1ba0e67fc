#include "app/command_line/cache_scan.h"

#include "app/browser_caches/cache_folder_kept.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/firefox_cache2.h"
#include "app/browser_caches/media_signature.h"
#include "app/extensions/extension_catalogue.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/mp4_track_reader.h"
#include "runtime/core/text_encoding.h"

namespace {

// Files kept open after their reader let go: an entry has at most two, a
// block-file cache's reader holds its own files for the whole read.
constexpr std::size_t kKeptFiles = 4;

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// A fragmented MP4 that no stream holds: a whole file (init, then its
// fragments or a sidx, as a site fetches one track by byte ranges) starts
// like an init segment; it is media when samples follow its moov.  An init
// segment alone has none.
std::optional<ScannedMedia> WholeFragmentedFile(CacheFolder& folder, const CacheElement& element) {
  CacheElementFile file(folder, element);
  const Mp4Track track = Mp4TrackRead(file);
  if (track.fault == TrackFault::NotReadable || track.kind == TrackKind::Unknown) return std::nullopt;
  if (track.fragmentsStart >= file.Size()) return std::nullopt;
  Mp4SampleCursor cursor(file, track);
  MediaSample sample;
  if (!cursor.Next(sample)) return std::nullopt;
  ScannedMedia found;
  const bool sound = track.kind == TrackKind::Audio && track.mediaTracks == 1;
  found.mediaClass = sound ? ReportClass::Audio : ReportClass::Video;
  found.extension = sound ? "m4a" : "mp4";
  return found;
}

}  // namespace

bool StoredTypeRulesOutMedia(std::string_view contentType) {
  for (const std::string_view kind : {"text/", "image/", "font/"})
    if (StartsWith(contentType, kind)) return true;
  for (const std::string_view type :
       {"application/javascript", "application/x-javascript", "application/json", "application/xml",
        "application/wasm", "application/xhtml+xml"})
    if (contentType == type) return true;
  return false;
}

CacheFolderKind CacheFolderKindOf(CacheFolder& folder) {
  if (ChromiumStoreOf(folder)) return CacheFolderKind::Chromium;
  if (FirefoxEntriesFolderIs(folder.Path())) return CacheFolderKind::Firefox;
  return CacheFolderKind::None;
}

ScannedCacheFolder CacheFolderScan(CacheFolder& folder, const ScannedMediaSeen& seen) {
  // Each element's body is looked at as soon as the reader has read it, while
  // the file the reader opened is still open: one open per entry file.  A
  // block-file cache's shared files stay open for the whole read anyway.
  KeptOpenCacheFolder kept(folder, kKeptFiles);
  std::vector<CacheElement> elements;
  std::vector<MediaSignature> signatures;
  const CacheElementSink take = [&](CacheElement&& element) {
    MediaSignature signature;
    // An element without a body byte says nothing yet; most of a cache is
    // pages, scripts and pictures: their bodies are not opened.
    if (!element.pieces.empty() && !StoredTypeRulesOutMedia(element.contentType))
      signature = CacheElementSignature(kept, element);
    if (seen && (signature.nature == MediaNature::Video || signature.nature == MediaNature::Audio)) {
      ScannedMedia media;
      media.element = element;
      media.mediaClass = signature.nature == MediaNature::Video ? ReportClass::Video : ReportClass::Audio;
      media.extension = std::string(signature.extension);
      seen(media);
    }
    elements.push_back(std::move(element));
    signatures.push_back(signature);
  };
  switch (CacheFolderKindOf(kept)) {
    case CacheFolderKind::Chromium:
      ChromiumCacheVisit(kept, take);
      break;
    case CacheFolderKind::Firefox:
      FirefoxEntriesVisit(kept, take);
      break;
    case CacheFolderKind::None:
      return {};
  }
  ScannedCacheFolder scanned;
  CacheStreams streams = CacheStreamsFind(kept, elements, signatures);
  scanned.streams = std::move(streams.streams);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const MediaSignature& signature = signatures[i];
    // A segment that a stream holds is saved within it.
    if (streams.partOfStream[i]) continue;
    ScannedMedia found;
    if (signature.nature == MediaNature::Segment && signature.extension == kStreamInitExtension) {
      std::optional<ScannedMedia> whole = WholeFragmentedFile(kept, elements[i]);
      if (!whole) continue;
      found = std::move(*whole);
    } else if (signature.nature == MediaNature::Video || signature.nature == MediaNature::Audio) {
      found.mediaClass = signature.nature == MediaNature::Video ? ReportClass::Video : ReportClass::Audio;
      found.extension = std::string(signature.extension);
    } else {
      continue;
    }
    found.element = std::move(elements[i]);
    scanned.media.push_back(std::move(found));
  }
  return scanned;
}

std::vector<ScannedMedia> CacheMediaElements(CacheFolder& folder) { return CacheFolderScan(folder).media; }

std::optional<ScannedMedia> MediaFileClassOf(std::string_view fileName) {
  const struct {
    TextArray list;
    ReportClass mediaClass;
  } lists[] = {{BuiltInVideoExtensions(), ReportClass::Video},
               {BuiltInAudioExtensions(), ReportClass::Audio}};
  for (const auto& list : lists) {
    for (const Text& entry : list.list) {
      // A name that is only the extension (".mp4") has no stem to speak of.
      if (fileName.size() <= entry.size() || !AsciiEndsWithFold(fileName, entry)) continue;
      ScannedMedia media;
      media.mediaClass = list.mediaClass;
      media.extension = std::string(std::string_view(entry).substr(1));
      return media;
    }
  }
  return std::nullopt;
}

std::vector<ScannedMedia> FolderMediaFiles(CacheFolder& folder) {
  std::vector<ScannedMedia> media;
  for (const CacheFileInfo& file : folder.List()) {
    // The old cache's own index (Content.IE5\index.dat): not media, though ".dat" is listed.
    if (AsciiEqualFold(file.name, "index.dat")) continue;
    std::optional<ScannedMedia> found = MediaFileClassOf(file.name);
    if (!found) continue;
    CacheElement& element = found->element;
    element.id = file.name;
    element.finished = true;
    element.fullLength = file.size;
    element.lastWritten = file.lastWritten;
    if (file.size > 0) element.pieces.push_back(BodyPiece{file.name, 0, 0, file.size});
    media.push_back(std::move(*found));
  }
  return media;
}

bool ClassWanted(ReportClass mediaClass, ScanClassFilter filter) {
  switch (filter) {
    case ScanClassFilter::Video:
      return mediaClass == ReportClass::Video;
    case ScanClassFilter::Audio:
      return mediaClass == ReportClass::Audio;
    case ScanClassFilter::All:
      break;
  }
  return true;
}

ReportClass StreamClassOf(const CacheStream& stream) {
  return stream.kind == StreamKind::Audio ? ReportClass::Audio : ReportClass::Video;
}
