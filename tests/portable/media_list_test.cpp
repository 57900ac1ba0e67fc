// The cached-media window's rows: which are shown, in which order, and what
// the cells and the status line say.
#include <gtest/gtest.h>

#include <string_view>

#include "app/media_list/media_list.h"

namespace {

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

MediaListRow Row(std::string address, ReportClass mediaClass, std::uint64_t present,
                 std::optional<std::uint64_t> full, bool complete, int minute = 0) {
  MediaListRow row;
  row.report.webAddress = std::move(address);
  row.report.mediaClass = mediaClass;
  row.report.presentBytes = present;
  row.report.fullLength = full;
  row.report.complete = complete;
  row.report.extension = "mp4";
  row.report.mediaType = "video/mp4; codecs=\"avc1\"";
  if (minute > 0) row.report.lastWritten = ReportTime{2026, 12, 9, 22, minute, 5};
  return row;
}

std::vector<MediaListRow> Rows() {
  return {
      Row("http://a.test/Big.MP4", ReportClass::Video, 9000, 9000, true, 30),
      Row("http://b.test/song.mp3", ReportClass::Audio, 20, std::nullopt, false, 10),
      Row("http://c.test/clip.webm", ReportClass::Video, 100000, 100000, true, 20),
      Row("http://d.test/cut.mp4", ReportClass::Video, 100, 5000, false),
  };
}

std::vector<std::size_t> Arranged(const MediaListFilter& filter, MediaListSort sort = {}) {
  return MediaListArrange(Rows(), filter, sort);
}

using Numbers = std::vector<std::size_t>;

}  // namespace

TEST(MediaList, SizesAndTimesSortAsNumbersAndAClickAgainReverses) {
  // As texts "100000" would sort before "20" and "9000".
  EXPECT_EQ(Arranged({}, {kMediaColumnPresent, false}), (Numbers{1, 3, 0, 2}));
  EXPECT_EQ(Arranged({}, {kMediaColumnPresent, true}), (Numbers{2, 0, 3, 1}));
  // An unknown full length comes before every known one.
  EXPECT_EQ(Arranged({}, {kMediaColumnFull, false}), (Numbers{1, 3, 0, 2}));
  // Unknown times first; equal keys keep the scan's order both ways.
  EXPECT_EQ(Arranged({}, {kMediaColumnLastWritten, false}), (Numbers{3, 1, 2, 0}));
  EXPECT_EQ(Arranged({}, {kMediaColumnComplete, false}), (Numbers{1, 3, 0, 2}));
  EXPECT_EQ(Arranged({}, {kMediaColumnComplete, true}), (Numbers{0, 2, 1, 3}));
  EXPECT_EQ(Arranged({}, {kMediaColumnAddress, true}), (Numbers{3, 2, 1, 0}));
  EXPECT_EQ(Arranged({}), (Numbers{0, 1, 2, 3}));
}

TEST(MediaList, FormatsSortByTheirShownTextEqualOnesInScanOrder) {
  std::vector<MediaListRow> rows = Rows();
  rows[1].report.extension = "mp3";
  rows[1].report.mediaType = "audio/mpeg";
  rows[2].report.extension = "webm";
  rows[2].report.mediaType = "video/webm";
  // Rows 0 and 3 show the same "mp4 (video/mp4)".
  EXPECT_EQ(MediaListArrange(rows, {}, {kMediaColumnFormat, false}), (Numbers{1, 0, 3, 2}));
  EXPECT_EQ(MediaListArrange(rows, {}, {kMediaColumnFormat, true}), (Numbers{2, 0, 3, 1}));
  MediaListFilter audioOnly;
  audioOnly.video = false;
  EXPECT_EQ(MediaListArrange(rows, audioOnly, {kMediaColumnFormat, true}), (Numbers{1}));
}

TEST(MediaList, DurationsSortAsNumbersAndPictureSizesByPixels) {
  std::vector<MediaListRow> rows = Rows();
  // As texts "1:05:00" would sort before "9:59" and "10:00".
  rows[0].report.facts.seconds = 599.4;
  rows[1].report.facts.seconds = 3900;
  rows[2].report.facts.seconds = 600;
  // 1280x720 has more pixels than 1920x400, though "1920x..." sorts later as text.
  rows[0].report.facts.width = 1920, rows[0].report.facts.height = 400;
  rows[2].report.facts.width = 1280, rows[2].report.facts.height = 720;
  rows[3].report.facts.width = 640, rows[3].report.facts.height = 360;
  EXPECT_EQ(MediaListArrange(rows, {}, {kMediaColumnDuration, false}), (Numbers{3, 0, 2, 1}));
  EXPECT_EQ(MediaListArrange(rows, {}, {kMediaColumnDuration, true}), (Numbers{1, 2, 0, 3}));
  EXPECT_EQ(MediaListArrange(rows, {}, {kMediaColumnResolution, false}), (Numbers{1, 3, 0, 2}));
  EXPECT_EQ(MediaListCell(rows[0], kMediaColumnDuration), "9:59");
  EXPECT_EQ(MediaListCell(rows[1], kMediaColumnDuration), "1:05:00");
  EXPECT_EQ(MediaListCell(rows[3], kMediaColumnDuration), "");
  EXPECT_EQ(MediaListCell(rows[2], kMediaColumnResolution), "1280x720");
  EXPECT_EQ(MediaListCell(rows[1], kMediaColumnResolution), "");
}

TEST(MediaList, FilterByAddressClassAndCompleteness) {
  MediaListFilter filter;
  filter.addressContains = "MP";  // ASCII letters without regard to case
  EXPECT_EQ(Arranged(filter), (Numbers{0, 1, 3}));
  filter.onlyComplete = true;
  EXPECT_EQ(Arranged(filter), (Numbers{0}));
  filter = {};
  filter.video = false;
  EXPECT_EQ(Arranged(filter), (Numbers{1}));
  filter = {};
  filter.audio = false;
  EXPECT_EQ(Arranged(filter, {kMediaColumnPresent, true}), (Numbers{2, 0, 3}));
  filter.addressContains = "nowhere";
  EXPECT_TRUE(Arranged(filter).empty());
}

TEST(MediaList, CellsAndTheStatusLine) {
  const auto rows = Rows();
  EXPECT_EQ(MediaListCell(rows[2], kMediaColumnPresent), "100,000");
  EXPECT_EQ(MediaListCell(rows[1], kMediaColumnFull), "");
  EXPECT_EQ(MediaListCell(rows[1], kMediaColumnClass), U8(u8"音频"));
  EXPECT_EQ(MediaListCell(rows[1], kMediaColumnComplete), U8(u8"否"));
  EXPECT_EQ(MediaListCell(rows[0], kMediaColumnFormat), "mp4 (video/mp4)");
  EXPECT_EQ(MediaListCell(rows[0], kMediaColumnLastWritten), "2026-12-09 22:30:05");
  EXPECT_EQ(MediaListCell(rows[3], kMediaColumnLastWritten), "");
  MediaListRow stream = rows[0];
  stream.report.stream = ReportStream{ReportStreamKind::Hls, 12, 20, true, false};
  EXPECT_EQ(MediaListCell(stream, kMediaColumnFormat), "mp4 (video/mp4) HLS 12/20" + U8(u8" 段 加密"));
  EXPECT_EQ(MediaListBytesText(0), "0");
  EXPECT_EQ(MediaListBytesText(1234567890123), "1,234,567,890,123");

  const MediaListTotals shown = MediaListTotal(rows, {0, 1, 2, 3});
  const MediaListTotals selected = MediaListTotal(rows, {2, 0, 99});  // a stale number counts nothing
  EXPECT_EQ(shown.bytes, 109120u);
  EXPECT_EQ(selected.count, 2u);
  EXPECT_EQ(MediaListStatus(shown, selected), U8(u8"列出 4 项，共 109,120 字节；已选 2 项，109,000 字节"));
}
