#include "app/media_list/media_list.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <tuple>

#include "runtime/core/text_encoding.h"

namespace {

// Fixed texts as UTF-8 bytes whatever the compiler's execution character set
// (the window converts every cell to GBK when it draws it).
std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

std::string FormatText(const ReportRow& row) {
  std::string text = row.extension;
  if (!row.mediaType.empty()) {
    text += " (";
    text += ReportMediaTypeCleaned(row.mediaType);
    text += ')';
  }
  if (row.stream) {
    text += ' ';
    text += row.stream->kind == ReportStreamKind::Hls    ? std::string("HLS")
            : row.stream->kind == ReportStreamKind::Dash ? std::string("DASH")
                                                         : Utf8(u8"分段");
    text += ' ';
    text += std::to_string(row.stream->presentSegments);
    text += '/';
    text += std::to_string(row.stream->totalSegments);
    text += Utf8(u8" 段");
    if (row.stream->encrypted) text += Utf8(u8" 加密");
  }
  return text;
}

// -1, 0, 1 as left is before, equal to or after right in ascending order.
template <class T>
int Compare(const T& left, const T& right) {
  if (left < right) return -1;
  if (right < left) return 1;
  return 0;
}

std::tuple<int, int, int, int, int, int> TimeKey(const std::optional<ReportTime>& time) {
  if (!time) return {-1, 0, 0, 0, 0, 0};
  return {time->year, time->month, time->day, time->hour, time->minute, time->second};
}

std::optional<std::uint64_t> PixelCount(const MediaFacts& facts) {
  if (!facts.width || !facts.height) return std::nullopt;
  return std::uint64_t{*facts.width} * *facts.height;
}

int CompareBy(const ReportRow& left, const ReportRow& right, int column) {
  switch (column) {
    case kMediaColumnAddress:
      return Compare(left.webAddress, right.webAddress);
    case kMediaColumnClass:
      return Compare(static_cast<int>(left.mediaClass), static_cast<int>(right.mediaClass));
    case kMediaColumnPresent:
      return Compare(left.presentBytes, right.presentBytes);
    case kMediaColumnFull:
      return Compare(left.fullLength, right.fullLength);  // nullopt first
    case kMediaColumnComplete:
      return Compare(left.complete, right.complete);
    case kMediaColumnDuration:
      return Compare(left.facts.seconds, right.facts.seconds);  // nullopt first
    case kMediaColumnResolution:
      return Compare(PixelCount(left.facts), PixelCount(right.facts));
    case kMediaColumnCodecs:
      return Compare(left.facts.codecs, right.facts.codecs);
    case kMediaColumnBrowser:
      return Compare(left.browser, right.browser);
    case kMediaColumnFolder:
      return Compare(left.cacheFolder, right.cacheFolder);
    case kMediaColumnLastWritten:
      return Compare(TimeKey(left.lastWritten), TimeKey(right.lastWritten));
    default:
      return 0;
  }
}

}  // namespace

bool MediaListRowShown(const MediaListRow& row, const MediaListFilter& filter) {
  const bool video = row.report.mediaClass == ReportClass::Video;
  if (video ? !filter.video : !filter.audio) return false;
  if (filter.onlyComplete && !row.report.complete) return false;
  if (filter.addressContains.empty()) return true;
  return AsciiLowered(row.report.webAddress).find(AsciiLowered(filter.addressContains)) != std::string::npos;
}

std::vector<std::size_t> MediaListArrange(const std::vector<MediaListRow>& rows,
                                          const MediaListFilter& filter, const MediaListSort& sort) {
  std::vector<std::size_t> numbers;
  numbers.reserve(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (MediaListRowShown(rows[i], filter)) numbers.push_back(i);
  }
  if (sort.column < 0 || sort.column >= kMediaColumnCount) return numbers;
  if (sort.column == kMediaColumnFormat) {
    // The format's text is made, not kept: made once a row, not twice a comparison.
    std::vector<std::string> texts(rows.size());
    for (std::size_t i : numbers) texts[i] = FormatText(rows[i].report);
    std::stable_sort(numbers.begin(), numbers.end(), [&](std::size_t left, std::size_t right) {
      return sort.descending ? texts[right] < texts[left] : texts[left] < texts[right];
    });
    return numbers;
  }
  std::stable_sort(numbers.begin(), numbers.end(), [&](std::size_t left, std::size_t right) {
    const int order = CompareBy(rows[left].report, rows[right].report, sort.column);
    return sort.descending ? order > 0 : order < 0;
  });
  return numbers;
}

std::string MediaListBytesText(std::uint64_t bytes) {
  const std::string digits = std::to_string(bytes);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

std::string MediaListCell(const MediaListRow& row, int column) {
  const ReportRow& report = row.report;
  switch (column) {
    case kMediaColumnAddress:
      return report.webAddress;
    case kMediaColumnClass:
      return Utf8(report.mediaClass == ReportClass::Video ? u8"视频" : u8"音频");
    case kMediaColumnFormat:
      return FormatText(report);
    case kMediaColumnPresent:
      return MediaListBytesText(report.presentBytes);
    case kMediaColumnFull:
      return report.fullLength ? MediaListBytesText(*report.fullLength) : std::string();
    case kMediaColumnComplete:
      return Utf8(report.complete ? u8"是" : u8"否");
    case kMediaColumnDuration:
      return MediaFactsClockText(report.facts);
    case kMediaColumnResolution:
      return MediaFactsResolutionText(report.facts);
    case kMediaColumnCodecs:
      return report.facts.codecs;
    case kMediaColumnBrowser:
      return report.browser;
    case kMediaColumnFolder:
      return report.cacheFolder;
    case kMediaColumnLastWritten:
      return report.lastWritten ? ReportTimeText(*report.lastWritten) : std::string();
    default:
      return {};
  }
}

MediaListTotals MediaListTotal(const std::vector<MediaListRow>& rows,
                               const std::vector<std::size_t>& numbers) {
  MediaListTotals totals;
  for (std::size_t number : numbers) {
    if (number >= rows.size()) continue;
    ++totals.count;
    totals.bytes += rows[number].report.presentBytes;
  }
  return totals;
}

std::string MediaListStatus(const MediaListTotals& shown, const MediaListTotals& selected) {
  std::string status = Utf8(u8"列出 ");
  status += std::to_string(shown.count);
  status += Utf8(u8" 项，共 ");
  status += MediaListBytesText(shown.bytes);
  status += Utf8(u8" 字节；已选 ");
  status += std::to_string(selected.count);
  status += Utf8(u8" 项，");
  status += MediaListBytesText(selected.bytes);
  status += Utf8(u8" 字节");
  return status;
}
