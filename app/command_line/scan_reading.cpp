#include "app/command_line/report_rows.h"
#include "app/command_line/scan_reading.h"

#include <windows.h>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/command_line/listed_cache_folder.h"
#include "app/media_facts/cache_media_facts.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

// Old cache folders nest a few levels (Content.IE5\XXXXXXXX); deeper is not a cache.
constexpr int kMediaFileDepth = 8;

std::unique_ptr<CacheFolder> FolderOpen(const std::wstring& path) {
  const Utf16Path exact(std::u16string(Utf16View(path)));
  std::unique_ptr<CacheFolder> folder = DiskCacheFolderOpen(exact.Units(), exact.Ansi());
  if (!folder) return nullptr;
  return std::make_unique<ListedCacheFolder>(std::move(folder));
}

// What is kept, then the facts of what is kept only.
void KeepWanted(ScanFolder& folder, ScanClassFilter filter) {
  folder.partners.media.resize(folder.media.size());
  folder.partners.streams.resize(folder.streams.size());
  ScanTracksKeepWanted(folder.media, folder.streams, folder.partners, filter);
  for (ScannedMedia& media : folder.media) media.facts = MediaFactsOfElement(*folder.folder, media.element);
  folder.streamFacts.clear();
  for (const CacheStream& stream : folder.streams)
    folder.streamFacts.push_back(MediaFactsOfStream(*folder.folder, stream));
}

void MediaFilesRead(const std::wstring& path, const std::string& browser, ScanClassFilter filter, int depth,
                    std::vector<ScanFolder>& folders) {
  ScanFolder folder{FolderOpen(path), path, browser, {}, {}, {}, {}};
  if (!folder.folder) return;
  folder.media = FolderMediaFiles(*folder.folder);
  KeepWanted(folder, filter);
  if (!folder.media.empty()) folders.push_back(std::move(folder));
  if (depth >= kMediaFileDepth) return;
  for (const std::wstring& name : SubfolderNames(path))
    MediaFilesRead(path + L"\\" + name, browser, filter, depth + 1, folders);
}

}  // namespace

std::vector<ScanFolder> ScanPlacesRead(
    const std::vector<ScanPlace>& places, ScanClassFilter filter,
    const std::function<void(const ScanPlace& place, const ScannedMedia& media)>& seen) {
  std::vector<ScanFolder> folders;
  for (const ScanPlace& place : places) {
    if (place.kind == ScanPlaceKind::MediaFiles) {
      MediaFilesRead(place.path, place.browser, filter, 0, folders);
      continue;
    }
    ScanFolder folder{FolderOpen(place.path), place.path, place.browser, {}, {}, {}, {}};
    if (!folder.folder) continue;
    ScannedMediaSeen seenHere;
    if (seen) seenHere = [&](const ScannedMedia& media) { seen(place, media); };
    ScannedCacheFolder scanned = CacheFolderScan(*folder.folder, seenHere);
    folder.media = std::move(scanned.media);
    folder.streams = std::move(scanned.streams);
    folder.partners = ScanPartnersFind(*folder.folder, folder.media, folder.streams);
    KeepWanted(folder, filter);
    if (!folder.media.empty() || !folder.streams.empty()) folders.push_back(std::move(folder));
  }
  return folders;
}

std::optional<ReportTime> LocalTimeOf(std::uint64_t fileTime) {
  if (fileTime == 0) return std::nullopt;
  FILETIME utc{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  FILETIME local{};
  SYSTEMTIME parts{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) return std::nullopt;
  return ReportTime{parts.wYear, parts.wMonth, parts.wDay, parts.wHour, parts.wMinute, parts.wSecond};
}

std::vector<ReportRow> ScanReportRows(const std::vector<ScanFolder>& folders) {
  std::vector<ReportRow> rows;
  for (const ScanFolder& folder : folders) {
    const std::string path = Utf8FromWide(folder.path);
    for (std::size_t i = 0; i < folder.media.size(); ++i) {
      const ScannedMedia& media = folder.media[i];
      rows.push_back(ReportRowOf(media, folder.browser, path, LocalTimeOf(media.element.lastWritten)));
      if (const std::optional<std::size_t> partner = folder.partners.OfMedia(i)) {
        const ScannedMedia& other = folder.media[*partner];
        rows.back().partner =
            ScanPartnerText(other.mediaClass == ReportClass::Video, other.element.webAddress, {});
      }
    }
    for (std::size_t i = 0; i < folder.streams.size(); ++i) {
      const CacheStream& stream = folder.streams[i];
      rows.push_back(ReportRowOfStream(stream, folder.browser, path, LocalTimeOf(stream.lastWritten)));
      if (i < folder.streamFacts.size()) rows.back().facts = folder.streamFacts[i];
      if (const std::optional<std::size_t> partner = folder.partners.OfStream(i)) {
        const CacheStream& other = folder.streams[*partner];
        rows.back().partner =
            ScanPartnerText(StreamClassOf(other) == ReportClass::Video, other.address, other.representation);
      }
    }
  }
  return rows;
}
