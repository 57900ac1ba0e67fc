#include "app/muxing/ebml_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// The length of a vint from its first byte: 1 to 8, 0 when invalid.
std::size_t VintLength(std::uint8_t first) {
  for (std::size_t length = 1; length <= 8; ++length) {
    if (first & (0x80 >> (length - 1))) return length;
  }
  return 0;
}

}  // namespace

std::optional<std::uint64_t> EbmlVint(std::span<const std::uint8_t> bytes, std::size_t& length) {
  if (bytes.empty()) return std::nullopt;
  length = VintLength(bytes[0]);
  if (length == 0 || length > bytes.size()) return std::nullopt;
  std::uint64_t value = bytes[0] & (0xFF >> length);
  for (std::size_t i = 1; i < length; ++i) value = (value << 8) | bytes[i];
  return value;
}

namespace {

// The element whose header starts `rest` (at `at`), its data bounded by `end`.
std::optional<EbmlElement> ElementHeader(std::span<const std::uint8_t> rest, std::uint64_t at,
                                         std::uint64_t end) {
  if (rest.empty()) return std::nullopt;
  const std::size_t idLength = VintLength(rest[0]);
  if (idLength == 0 || idLength > 4 || idLength >= rest.size()) return std::nullopt;
  EbmlElement element;
  element.offset = at;
  for (std::size_t i = 0; i < idLength; ++i) element.id = (element.id << 8) | rest[i];
  std::size_t sizeLength = 0;
  const auto size = EbmlVint(rest.subspan(idLength), sizeLength);
  if (!size) return std::nullopt;
  element.dataOffset = at + idLength + sizeLength;
  if (element.dataOffset > end) return std::nullopt;
  // All ones: the size is unknown.
  const std::uint64_t unknown = (std::uint64_t{1} << (7 * sizeLength)) - 1;
  if (*size != unknown) {
    if (*size > end - element.dataOffset) return std::nullopt;
    element.size = *size;
  }
  return element;
}

}  // namespace

std::optional<EbmlElement> EbmlElementIn(std::span<const std::uint8_t> bytes, std::uint64_t at,
                                         std::uint64_t end) {
  end = std::min<std::uint64_t>(end, bytes.size());
  if (at >= end) return std::nullopt;
  return ElementHeader(bytes.subspan(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at)), at,
                       end);
}

std::optional<EbmlElement> EbmlElementAt(CacheFile& file, std::uint64_t at, std::uint64_t end) {
  if (at >= end) return std::nullopt;
  std::array<std::uint8_t, 12> header{};
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(header.size(), end - at));
  const std::size_t got = file.ReadAt(at, header.data(), want);
  return ElementHeader(std::span(header.data(), got), at, end);
}

std::optional<std::uint64_t> EbmlUint(std::span<const std::uint8_t> data) {
  if (data.size() > 8) return std::nullopt;
  std::uint64_t value = 0;
  for (std::uint8_t byte : data) value = (value << 8) | byte;
  return value;
}

std::optional<double> EbmlFloat(std::span<const std::uint8_t> data) {
  if (data.size() == 4) {
    const auto bits = static_cast<std::uint32_t>(*EbmlUint(data));
    return static_cast<double>(std::bit_cast<float>(bits));
  }
  if (data.size() == 8) return std::bit_cast<double>(*EbmlUint(data));
  if (data.empty()) return 0.0;
  return std::nullopt;
}

std::string EbmlString(std::span<const std::uint8_t> data) {
  std::string text(reinterpret_cast<const char*>(data.data()), data.size());
  text.erase(std::find(text.begin(), text.end(), '\0'), text.end());  // zero padding
  return text;
}
