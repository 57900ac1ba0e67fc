#include "app/command_line/saved_name.h"

#include <cstdint>

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

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM1..9 and LPT1..9 (and COM or
// LPT with a superscript 1, 2 or 3): Windows takes these for devices
// whatever extension follows.
bool IsDeviceName(std::string_view stem) {
  std::string upper;
  for (const char c : stem.substr(0, stem.find('.'))) upper += AsciiUpper(c);
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (upper == device) return true;
  if (!upper.starts_with("COM") && !upper.starts_with("LPT")) return false;
  const std::string_view number = std::string_view(upper).substr(3);
  if (number.size() == 1) return number[0] >= '1' && number[0] <= '9';
  // U+00B9, U+00B2, U+00B3 in UTF-8.
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Unicode format characters (general category Cf): invisible, and some
// (U+202E) turn the name around on screen, so "clip\u202Egpj.exe" would
// show as a picture's name.
bool IsFormatCharacter(std::uint32_t code) {
  static constexpr std::uint32_t kRanges[][2] = {
      {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
      {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
      {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
      {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
      {0xE0020, 0xE007F}};
  for (const auto& range : kRanges)
    if (code >= range[0] && code <= range[1]) return true;
  return false;
}

// The valid UTF-8 text with every format character replaced by "_".
std::string FormatCharactersReplaced(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (IsFormatCharacter(Utf8Next(text, at))) {
      out += '_';
    } else {
      out.append(text.substr(start, at - start));
    }
  }
  return out;
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
  for (const char c : FormatCharactersReplaced(decoded)) stem += IsRefusedInNames(static_cast<unsigned char>(c)) ? '_' : c;
  std::size_t start = 0;
  while (start < stem.size() && (stem[start] == ' ' || stem[start] == '.')) ++start;
  stem.erase(0, start);
  stem = std::string(Utf8Prefix(stem, kSavedStemMaxCharacters));
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
