// The rows of the cached-media window: what a scan found, one row per
// element or stream as the report knows them, shown through a filter and in
// a sort order.  The list control shows rows by number; these functions
// decide which row stands at which number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line/scan_report.h"

struct MediaListRow {
  ReportRow report;
  std::size_t folder = 0;  // the scan folder it came from
  bool stream = false;     // a stream of that folder, else one of its media elements
  std::size_t index = 0;   // in that folder's streams or media
};

// The columns in the order the window shows them.
enum MediaListColumn : int {
  kMediaColumnAddress,
  kMediaColumnClass,
  kMediaColumnFormat,
  kMediaColumnPresent,
  kMediaColumnFull,
  kMediaColumnComplete,
  kMediaColumnDuration,
  kMediaColumnResolution,
  kMediaColumnCodecs,
  kMediaColumnBrowser,
  kMediaColumnFolder,
  kMediaColumnLastWritten,
  kMediaColumnCount,
};

struct MediaListFilter {
  std::string addressContains;  // UTF-8; ASCII letters match without regard to case
  bool video = true;
  bool audio = true;
  bool onlyComplete = false;
};

struct MediaListSort {
  int column = -1;  // -1: the scan's order
  bool descending = false;
};

bool MediaListRowShown(const MediaListRow& row, const MediaListFilter& filter);

// The numbers of the rows shown, in the order shown.  Sizes and durations
// sort as numbers (an unknown one before every known one), picture sizes by
// their pixel count, times by time;
// rows that compare equal keep the scan's order in either direction.
std::vector<std::size_t> MediaListArrange(const std::vector<MediaListRow>& rows,
                                          const MediaListFilter& filter, const MediaListSort& sort);

// A cell's text, UTF-8.
std::string MediaListCell(const MediaListRow& row, int column);

// "1,234,567": whole bytes, grouped by thousands.
std::string MediaListBytesText(std::uint64_t bytes);

struct MediaListTotals {
  std::size_t count = 0;
  std::uint64_t bytes = 0;  // bytes present
};
MediaListTotals MediaListTotal(const std::vector<MediaListRow>& rows,
                               const std::vector<std::size_t>& numbers);

// The status line: "列出 3 项，共 1,234 字节；已选 1 项，1,000 字节" (UTF-8).
std::string MediaListStatus(const MediaListTotals& shown, const MediaListTotals& selected);
