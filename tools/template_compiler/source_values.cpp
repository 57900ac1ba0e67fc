#include "tools/template_compiler/source_values.h"

#include <fstream>
#include <sstream>

#include "tools/template_compiler/gbk_text.h"

namespace {

std::optional<std::string> FileTextRead(const std::string& sourcePath, const std::string& name) {
  std::size_t slash = sourcePath.find_last_of("/\\");
  std::string path = slash == std::string::npos ? name : sourcePath.substr(0, slash + 1) + name;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::stringstream content;
  content << file.rdbuf();
  std::string raw = content.str();
  if (raw.starts_with("\xEF\xBB\xBF")) raw.erase(0, 3);
  std::string text;
  for (char c : raw) {
    if (c == '\r') continue;
    if (c == '\n') text += '\r';
    text += c;
  }
  if (text.ends_with("\r\n")) text.resize(text.size() - 2);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ValueInteger(SourceContext& context, const SourceEntry& entry, std::int64_t& value) {
  auto parsed = SourceIntegerParse(entry.value);
  if (!parsed) return context.Fail(entry, "expected an integer");
  value = *parsed;
  return true;
}

bool ValueText(SourceContext& context, const SourceEntry& entry, Text& value) {
  std::optional<std::string> utf8;
  std::string_view raw = entry.value;
  if (raw.starts_with("file ")) {
    std::string_view rest = raw.substr(5);
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    auto name = SourceQuotedParse(rest);
    if (!name) return context.Fail(entry, "expected file \"name\"");
    utf8 = FileTextRead(context.path, *name);
    if (!utf8) return context.Fail(entry, "cannot read " + *name);
  } else {
    utf8 = SourceQuotedParse(raw);
    if (!utf8) return context.Fail(entry, "expected a quoted text");
  }
  auto gbk = GbkFromUtf8(*utf8);
  if (!gbk) return context.Fail(entry, "text is not UTF-8 or has characters outside GBK");
  value = MakeText(*gbk);
  return true;
}

bool ValueBytes(SourceContext& context, const SourceEntry& entry, ByteArray& value) {
  std::string_view raw = entry.value;
  auto digits = raw.starts_with("hex ") ? SourceQuotedParse(raw.substr(4)) : std::nullopt;
  if (!digits || digits->size() % 2 != 0) return context.Fail(entry, "expected hex \"...\"");
  value.clear();
  for (std::size_t i = 0; i < digits->size(); i += 2) {
    int high = HexDigit((*digits)[i]);
    int low = HexDigit((*digits)[i + 1]);
    if (high < 0 || low < 0) return context.Fail(entry, "expected hex digits");
    value.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}
