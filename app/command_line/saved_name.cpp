#include "app/command_line/saved_name.h"

#include "app/command_line/scan_report.h"
#include "runtime/core/text_encoding.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The address's path without scheme, host, query and fragment.
std::string_view AddressPath(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::size_t scheme = address.find("://");
  if (scheme == std::string_view::npos) return {};
  const std::size_t path = address.find('/', scheme + 3);
  if (path == std::string_view::npos) return {};
  return address.substr(path);
}

bool IsRefusedInNames(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
         c == '|' || c == '?' || c == '*';
}

// CON, PRN, AUX, NUL, COM1..9, LPT1..9: Windows takes these for devices
// whatever extension follows.
bool IsDeviceName(std::string_view stem) {
  std::string upper;
  for (const char c : stem.substr(0, stem.find('.'))) upper += AsciiUpper(c);
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
         upper[3] <= '9';
}

// At most `characters` UTF-8 characters of a valid UTF-8 text.
std::string_view FirstCharacters(std::string_view text, std::size_t characters) {
  std::size_t at = 0;
  for (std::size_t counted = 0; at < text.size() && counted < characters; ++counted) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return text.substr(0, at);
}

void TrimEnd(std::string& text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
}

}  // namespace

std::optional<SavedName> SavedNameFromAddress(std::string_view webAddress, std::string_view extension) {
  const std::string_view path = AddressPath(webAddress);
  const std::string_view segment = path.substr(path.rfind('/') + 1);
  std::string decoded = PercentDecoded(segment);
  if (Utf8Repaired(decoded) != decoded) return std::nullopt;
  // A "/" or "\" that was escaped does not start a folder here.
  const std::size_t dot = decoded.rfind('.');
  if (dot != std::string::npos && dot > 0) decoded.resize(dot);

  std::string stem;
  for (const char c : decoded) stem += IsRefusedInNames(static_cast<unsigned char>(c)) ? '_' : c;
  std::size_t start = 0;
  while (start < stem.size() && (stem[start] == ' ' || stem[start] == '.')) ++start;
  stem.erase(0, start);
  stem = std::string(FirstCharacters(stem, kSavedStemMaxCharacters));
  TrimEnd(stem);
  if (stem.empty()) return std::nullopt;
  if (IsDeviceName(stem)) stem.insert(0, "_");

  SavedName name{std::move(stem), {}};
  for (const char c : extension)
    if (!IsRefusedInNames(static_cast<unsigned char>(c)) && c != ' ' && c != '.') name.extension += c;
  return name;
}

std::string SavedNameText(const SavedName& name, int number) {
  std::string text = name.stem;
  if (number > 1) text += "(" + std::to_string(number) + ")";
  if (!name.extension.empty()) text += "." + name.extension;
  return text;
}
