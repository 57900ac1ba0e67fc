#include "app/command_line/cache_scan.h"

#include "app/browser_caches/cache_folder_kept.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/firefox_cache2.h"
#include "app/browser_caches/media_signature.h"
#include "app/detection/extension_catalogue.h"

namespace {

// Files kept open after their reader let go: an entry has at most two, a
// block-file cache's reader holds its own files for the whole read.
constexpr std::size_t kKeptFiles = 4;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  if (ending.size() > text.size()) return false;
  const std::string_view tail = text.substr(text.size() - ending.size());
  for (std::size_t i = 0; i < ending.size(); ++i)
    if (AsciiLower(tail[i]) != AsciiLower(ending[i])) return false;
  return true;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view other) {
  return text.size() == other.size() && EndsWithIgnoringCase(text, other);
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
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

ScannedCacheFolder CacheFolderScan(CacheFolder& folder) {
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
    if (signature.nature != MediaNature::Video && signature.nature != MediaNature::Audio) continue;
    // A segment that a stream holds is saved within it.
    if (streams.partOfStream[i]) continue;
    ScannedMedia found;
    found.mediaClass = signature.nature == MediaNature::Video ? ReportClass::Video : ReportClass::Audio;
    found.extension = std::string(signature.extension);
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
      if (fileName.size() <= entry.size() || !EndsWithIgnoringCase(fileName, entry)) continue;
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
    if (EqualsIgnoringCase(file.name, "index.dat")) continue;
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

ReportRow ReportRowOf(const ScannedMedia& media, std::string_view browser, std::string_view folder,
                      std::optional<ReportTime> lastWritten) {
  ReportRow row;
  row.webAddress = media.element.webAddress;
  row.mediaType = media.element.contentType;
  row.extension = media.extension;
  row.mediaClass = media.mediaClass;
  row.fullLength = media.element.fullLength;
  row.presentBytes = PresentLength(media.element);
  row.complete = IsComplete(media.element);
  row.browser = std::string(browser);
  row.cacheFolder = std::string(folder);
  row.lastWritten = lastWritten;
  return row;
}

ReportRow ReportRowOfStream(const CacheStream& stream, std::string_view browser, std::string_view folder,
                            std::optional<ReportTime> lastWritten) {
  ReportRow row;
  row.webAddress = stream.address;
  row.mediaType = stream.mediaType;
  row.extension = stream.extension;
  row.mediaClass = StreamClassOf(stream);
  // The joined file's length is known once every segment is there.
  if (stream.plan.complete) row.fullLength = stream.presentBytes;
  row.presentBytes = stream.presentBytes;
  row.complete = stream.plan.complete;
  row.browser = std::string(browser);
  row.cacheFolder = std::string(folder);
  row.lastWritten = lastWritten;
  ReportStream segments;
  switch (stream.origin) {
    case CacheStreamOrigin::Hls:
      segments.kind = ReportStreamKind::Hls;
      break;
    case CacheStreamOrigin::Dash:
      segments.kind = ReportStreamKind::Dash;
      break;
    case CacheStreamOrigin::SegmentGroup:
      segments.kind = ReportStreamKind::Segments;
      break;
  }
  segments.presentSegments = stream.plan.present;
  segments.totalSegments = stream.plan.total;
  segments.encrypted = stream.protectedContent;
  segments.cutShort = stream.cutShort;
  row.stream = segments;
  return row;
}
