// The report's rows made from what the scan found: one per media element,
// one per stream.  The scan itself knows nothing of the report's columns.
#pragma once

#include <optional>
#include <string_view>

#include "app/command_line/cache_scan.h"
#include "app/command_line/scan_report.h"
#include "app/streams/cache_streams.h"

// The row of the report for an element; `folder` and `browser` in UTF-8.
ReportRow ReportRowOf(const ScannedMedia& media, std::string_view browser, std::string_view folder,
                      std::optional<ReportTime> lastWritten);

// The row of the report for a stream: the playlist's address (a group's
// first segment), the joined file's type and extension, the bytes present,
// and the segments.
ReportRow ReportRowOfStream(const CacheStream& stream, std::string_view browser, std::string_view folder,
                            std::optional<ReportTime> lastWritten);
