#include "tools/template_compiler/window_source.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string Where(const std::string& path, int line) { return path + ":" + std::to_string(line) + ": "; }

}  // namespace

std::optional<std::int64_t> SourceIntegerParse(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative ? value > 0x80000000ull : value > 0xFFFFFFFFull) return std::nullopt;
  return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
}

std::optional<std::string> SourceQuotedParse(std::string_view text) {
  if (text.size() < 2 || text.front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      if (i + 1 != text.size()) return std::nullopt;
      return out;
    }
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case '"':
        out += '"';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      default:
        return std::nullopt;
    }
  }
  return std::nullopt;
}

std::vector<std::string_view> SourceWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool SourceNameValid(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (unsigned char c : name) {
    bool ok =
        c >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!ok) return false;
  }
  return true;
}

std::optional<WindowSource> WindowSourceParse(std::string_view content, const std::string& path,
                                              std::string& error) {
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  WindowSource window;
  window.path = path;
  bool haveWindow = false;
  int lineNumber = 0;
  std::size_t position = 0;
  while (position <= content.size()) {
    std::size_t end = content.find('\n', position);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = Trim(content.substr(position, end - position));
    position = end + 1;
    ++lineNumber;
    if (line.empty() || line.front() == '#') continue;

    auto words = SourceWords(line);
    if (words[0] == "window" || words[0] == "unit") {
      auto id = words.size() >= 2 ? SourceIntegerParse(words[1]) : std::nullopt;
      if (!id || *id < 0 || words.size() > 3) {
        error = Where(path, lineNumber) + "expected '" + std::string(words[0]) + " <id> [name]'";
        return std::nullopt;
      }
      std::string name = words.size() == 3 ? std::string(words[2]) : std::string();
      if (!name.empty() && !SourceNameValid(name)) {
        error = Where(path, lineNumber) + "name '" + name + "' cannot be used as an identifier";
        return std::nullopt;
      }
      if (words[0] == "window") {
        if (haveWindow || name.empty()) {
          error =
              Where(path, lineNumber) + (haveWindow ? "only one window per file" : "the window needs a name");
          return std::nullopt;
        }
        haveWindow = true;
        window.id = static_cast<std::uint32_t>(*id);
        window.name = name;
      } else {
        if (!haveWindow) {
          error = Where(path, lineNumber) + "a unit before the window line";
          return std::nullopt;
        }
        window.units.push_back({static_cast<std::uint32_t>(*id), name, lineNumber, {}});
      }
      continue;
    }

    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || !haveWindow) {
      error = Where(path, lineNumber) +
              (haveWindow ? "expected 'key = value'" : "the file must start with 'window'");
      return std::nullopt;
    }
    SourceEntry entry{std::string(Trim(line.substr(0, equals))), std::string(Trim(line.substr(equals + 1))),
                      lineNumber};
    if (entry.key.empty()) {
      error = Where(path, lineNumber) + "missing key";
      return std::nullopt;
    }
    (window.units.empty() ? window.entries : window.units.back().entries).push_back(std::move(entry));
  }
  if (!haveWindow || window.units.empty()) {
    error = path + ": no window or no units";
    return std::nullopt;
  }
  return window;
}

std::optional<WindowSource> WindowSourceRead(const std::string& path, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::stringstream content;
  content << file.rdbuf();
  return WindowSourceParse(content.str(), path, error);
}
