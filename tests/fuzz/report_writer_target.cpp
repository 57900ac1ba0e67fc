// The scan's report from texts a server chose (addresses, media types,
// folder names): every field of every line, unquoted as a spreadsheet reads
// it, is no formula (no "=", "+", "-", "@", tab or CR first), the media type
// keeps token characters only, and each line has the header's 19 fields.
#include <string>
#include <vector>

#include "app/command_line/scan_report.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// The records of the report, RFC 4180 as a spreadsheet reads it.
std::vector<std::vector<std::string>> Records(std::string_view text, char separator) {
  std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        records.back().back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        records.back().back() += c;
      }
    } else if (c == '"' && records.back().back().empty()) {
      quoted = true;
    } else if (c == separator) {
      records.back().emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      records.emplace_back(1);
      ++i;
    } else {
      records.back().back() += c;
    }
  }
  FUZZ_CHECK(!quoted);
  records.pop_back();  // after the last CRLF
  return records;
}

bool Token(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

void FuzzReportWriter(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t flags = input.Byte();
  std::string texts[4];
  for (std::string& text : texts) text = std::string(AsChars(input.Bytes(input.Byte())));
  ReportRow row;
  row.webAddress = texts[0];
  row.mediaType = texts[1];
  row.extension = texts[2];
  row.browser = texts[3];
  // Codec names come from the media's own bytes.
  row.facts.codecs = texts[2];
  if (flags & 16) {
    row.facts.seconds = static_cast<double>(input.Word()) / 7.0;
    row.facts.width = input.Word();
    row.facts.height = input.Word();
  }
  row.cacheFolder = std::string(AsChars(input.Rest()));
  if (flags & 1) row.stream = ReportStream{ReportStreamKind::Hls, 1, 2, (flags & 2) != 0, (flags & 4) != 0};
  const char separator = (flags & 8) ? '\t' : ',';
  const std::string text = ReportText({row, row}, static_cast<ReportSeparator>(separator));
  FUZZ_CHECK(text.starts_with("\xEF\xBB\xBF"));
  const auto records = Records(std::string_view(text).substr(3), separator);
  FUZZ_CHECK(records.size() == 3);
  FUZZ_CHECK(records.front().size() == 19);
  for (const auto& record : records) {
    FUZZ_CHECK(record.size() == records.front().size());
    for (const std::string& field : record)
      FUZZ_CHECK(field.empty() || std::string_view("=+-@\t\r").find(field.front()) == std::string_view::npos);
  }
  const std::string& type = records[1][1];
  FUZZ_CHECK(type.empty() || type.find('/') != std::string::npos);
  for (const char c : type) FUZZ_CHECK(c == '/' || Token(c));
}
