#include "app/command_line/scan_report.h"

#include <cstdio>

#include "runtime/core/text_encoding.h"

namespace {

// The report's fixed texts, spelled as UTF-8 bytes whatever the compiler's
// execution character set (the program's own texts are GBK).
constexpr std::u8string_view kHeader[] = {
    u8"网址",   u8"媒体类型", u8"扩展名",       u8"类别", u8"完整长度", u8"已有字节", u8"完整",
    u8"浏览器", u8"缓存目录", u8"最后写入时间", u8"流",   u8"已有分段", u8"分段总数", u8"加密", u8"截断",
    u8"合成",   u8"时长（秒）", u8"分辨率", u8"编码"};

std::string NumberText(std::uint64_t value) { return std::to_string(value); }

std::string YesNo(bool value) { return Utf8Bytes(value ? u8"是" : u8"否"); }

std::string StreamKindText(ReportStreamKind kind) {
  switch (kind) {
    case ReportStreamKind::Hls:
      return "HLS";
    case ReportStreamKind::Dash:
      return "DASH";
    case ReportStreamKind::Segments:
      break;
  }
  return Utf8Bytes(u8"分段");
}

}  // namespace

std::string ReportFieldQuoted(std::string_view field, ReportSeparator separator) {
  const char special[] = {static_cast<char>(separator), '"', '\r', '\n'};
  if (field.find_first_of(std::string_view(special, sizeof special)) == std::string_view::npos)
    return std::string(field);
  std::string quoted = "\"";
  for (const char c : field) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string ReportFieldDefused(std::string_view field) {
  if (field.empty() || std::string_view("=+-@\t\r").find(field.front()) == std::string_view::npos)
    return std::string(field);
  return "'" + std::string(field);
}

std::string ReportMediaTypeCleaned(std::string_view contentType) {
  const auto token = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
  };
  contentType = contentType.substr(0, contentType.find(';'));
  const std::size_t slash = contentType.find('/');
  if (slash == std::string_view::npos) return {};
  std::string type, subtype;
  for (const char c : contentType.substr(0, slash))
    if (token(c)) type += c;
  for (const char c : contentType.substr(slash + 1))
    if (token(c)) subtype += c;
  if (type.empty() || subtype.empty()) return {};
  return type + "/" + subtype;
}

std::string ReportTimeText(const ReportTime& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

std::string ReportText(const std::vector<ReportRow>& rows, ReportSeparator separator) {
  std::string text = "\xEF\xBB\xBF";
  const auto line = [&](const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) text += static_cast<char>(separator);
      text += ReportFieldQuoted(ReportFieldDefused(Utf8Repaired(fields[i])), separator);
    }
    text += "\r\n";
  };
  std::vector<std::string> header;
  for (const std::u8string_view name : kHeader) header.push_back(Utf8Bytes(name));
  line(header);
  for (const ReportRow& row : rows) {
    std::vector<std::string> fields = {row.webAddress,
                                       ReportMediaTypeCleaned(row.mediaType),
                                       row.extension,
                                       Utf8Bytes(row.mediaClass == ReportClass::Video ? u8"视频" : u8"音频"),
                                       row.fullLength ? NumberText(*row.fullLength) : std::string(),
                                       NumberText(row.presentBytes),
                                       YesNo(row.complete),
                                       row.browser,
                                       row.cacheFolder,
                                       row.lastWritten ? ReportTimeText(*row.lastWritten) : std::string()};
    if (row.stream) {
      fields.insert(fields.end(), {StreamKindText(row.stream->kind), NumberText(row.stream->presentSegments),
                                   NumberText(row.stream->totalSegments), YesNo(row.stream->encrypted),
                                   YesNo(row.stream->cutShort)});
    } else {
      fields.resize(fields.size() + 5);
    }
    fields.insert(fields.end(), {row.partner, MediaFactsSecondsText(row.facts),
                                 MediaFactsResolutionText(row.facts), row.facts.codecs});
    line(fields);
  }
  return text;
}
