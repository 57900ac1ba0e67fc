// Reading the scan's places: each folder opened with the sharing the
// browser needs (it keeps its cache files open and may delete them), its
// media elements and streams found, and the report's rows made from them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/browser_caches/cache_files.h"
#include "app/command_line/cache_scan.h"
#include "app/command_line/scan_pairs.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_report.h"

struct ScanFolder {
  std::unique_ptr<CacheFolder> folder;
  std::wstring path;
  std::string browser;  // UTF-8
  std::vector<ScannedMedia> media;
  std::vector<CacheStream> streams;  // browser caches only
  ScanPartners partners;             // the other track of each one's presentation
  std::vector<MediaFacts> streamFacts;  // per stream (an element's are in its ScannedMedia)
};

// The places in order; a media-file place gives one entry per folder that
// holds media (its subfolders included).  Only elements and streams of the
// wanted class (and the sound of a wanted video's presentation).
// `seen` is told of a browser cache's media elements as they are read (see
// CacheFolderScan), with the place they are in.
std::vector<ScanFolder> ScanPlacesRead(
    const std::vector<ScanPlace>& places, ScanClassFilter filter,
    const std::function<void(const ScanPlace& place, const ScannedMedia& media)>& seen = {});

std::vector<ReportRow> ScanReportRows(const std::vector<ScanFolder>& folders);

// A write time (100 ns units since 1601, UTC) in local time; nothing for 0.
std::optional<ReportTime> LocalTimeOf(std::uint64_t fileTime);
