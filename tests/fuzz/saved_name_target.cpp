// Copy names made from web addresses the caches stored: whatever the
// address, the name is UTF-8, holds nothing Windows refuses in a file name,
// is no device name, does not end in a space or dot, and keeps its bound.
#include "app/command_line/saved_name.h"
#include "app/command_line/scan_report.h"
#include "runtime/core/text_encoding.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

bool RefusedInNames(unsigned char c) {
  return c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' ||
         c == '|' || c == '?' || c == '*';
}

std::size_t Characters(std::string_view text) {
  std::size_t count = 0;
  for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

}  // namespace

void FuzzSavedName(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::size_t extensionLength = input.Byte() % 8;
  const std::string_view extension = AsChars(input.Bytes(extensionLength));
  const std::string_view address = AsChars(input.Rest());
  const std::optional<SavedName> name = SavedNameFromAddress(address, extension);
  if (!name) return;
  FUZZ_CHECK(!name->stem.empty());
  FUZZ_CHECK(Utf8Repaired(name->stem) == name->stem);
  FUZZ_CHECK(Characters(name->stem) <= kSavedStemMaxCharacters + 1);  // + the "_" before a device name
  FUZZ_CHECK(name->stem.back() != ' ' && name->stem.back() != '.');
  FUZZ_CHECK(name->stem.front() != ' ');
  for (const char c : name->stem) FUZZ_CHECK(!RefusedInNames(static_cast<unsigned char>(c)));
  for (const char c : name->extension)
    FUZZ_CHECK(!RefusedInNames(static_cast<unsigned char>(c)) && c != '.' && c != ' ');
  const std::string text = SavedNameText(*name, 1 + input.Byte());
  FUZZ_CHECK(text.starts_with(name->stem));
  // A device name stays a device name with any extension: none may be left.
  std::string device;
  for (const char c : name->stem.substr(0, name->stem.find('.')))
    device += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  while (!device.empty() && device.back() == ' ') device.pop_back();
  FUZZ_CHECK(device != "CON" && device != "PRN" && device != "AUX" && device != "NUL");
  FUZZ_CHECK(!(device.size() == 4 && (device.starts_with("COM") || device.starts_with("LPT")) &&
               device[3] >= '1' && device[3] <= '9'));
}
