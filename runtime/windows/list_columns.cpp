#include "runtime/windows/list_columns.h"

#include <string>

namespace {

constexpr std::int32_t kDefaultWidth = 80;
constexpr std::int32_t kWidestColumn = 4000;

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

std::int32_t WidthOf(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return kDefaultWidth;
  std::int32_t width = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return kDefaultWidth;
    width = width * 10 + (c - '0');
  }
  return width > kWidestColumn ? kWidestColumn : width;
}

}  // namespace

std::vector<ListColumn> ListColumnsParse(std::string_view text) {
  std::vector<ListColumn> columns;
  if (text.empty()) return columns;
  // A GBK trail byte is never '|' or ':' (both below 0x40), so splitting bytes is safe.
  for (std::string_view part : Split(text, '|')) {
    if (part.empty()) continue;
    const std::vector<std::string_view> fields = Split(part, ':');
    ListColumn column;
    column.name = Text(fields[0]);
    if (fields.size() >= 2) column.width = WidthOf(fields[1]);
    column.rightAligned = fields.size() >= 3 && (fields[2] == "r" || fields[2] == "R");
    columns.push_back(std::move(column));
  }
  return columns;
}

Text ListColumnsText(const std::vector<ListColumn>& columns) {
  std::string text;
  for (const ListColumn& column : columns) {
    if (!text.empty()) text += '|';
    text += std::string_view(column.name);
    text += ':' + std::to_string(column.width);
    if (column.rightAligned) text += ":r";
  }
  return Text(text);
}
