#include "app/browser_caches/firefox_cache2.h"

#include <algorithm>
#include <memory>

#include "runtime/core/text_encoding.h"

namespace {

// Metadata header: version, fetch count, last fetched, last modified,
// frecency, expiration, key size, flags (version 1 had no flags).
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kHeaderSizeVersion1 = 28;
constexpr std::size_t kKeySizeField = 24;
// Version 4 ends the file with [version][offset]; versions 1 to 3 with the
// offset alone.  The offset word's top bit marks an encrypted entry.
constexpr std::uint32_t kNewestVersion = 4;
constexpr std::uint32_t kOffsetFlags = 0x80000000u;
// The file's last bytes read at once (each read costs much the same under
// Wine, whatever its size).
constexpr std::uint64_t kTailRead = 8192;

std::uint32_t Be32(const std::uint8_t* bytes) {
  return (static_cast<std::uint32_t>(bytes[0]) << 24) | (static_cast<std::uint32_t>(bytes[1]) << 16) |
         (static_cast<std::uint32_t>(bytes[2]) << 8) | static_cast<std::uint32_t>(bytes[3]);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Decimal digits only, at most 18 of them (no overflow, far beyond any body).
std::optional<std::uint64_t> DecimalParse(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// Reads exactly `count` bytes; false when the file ended or failed first.
bool ReadExactly(CacheFile& file, std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
  while (count > 0) {
    const std::size_t got = file.ReadAt(offset, buffer, count);
    if (got == 0 || got > count) return false;
    offset += got;
    buffer += got;
    count -= got;
  }
  return true;
}

// What the stored response head says.
struct ResponseHead {
  int status = 0;
  std::string contentType;
  std::string contentEncoding;
  std::optional<std::uint64_t> contentLength;
  std::optional<std::uint64_t> rangeTotal;
};

// A private parse of the CRLF-joined head Firefox stores ("HTTP/1.1 206 ...",
// then "Name: value" lines); the shared header parser can take its place.
ResponseHead FirefoxResponseHeadParse(std::string_view head) {
  ResponseHead parsed;
  bool firstLine = true;
  while (!head.empty()) {
    const std::size_t end = head.find('\n');
    std::string_view line = head.substr(0, end);
    head.remove_prefix(end == std::string_view::npos ? head.size() : end + 1);
    line = Trim(line);
    if (firstLine) {
      firstLine = false;
      // "HTTP/1.1 200 OK": the status is the three digits after the blank.
      const std::size_t blank = line.find(' ');
      if (line.substr(0, 5) == "HTTP/" && blank != std::string_view::npos) {
        const auto status = DecimalParse(line.substr(blank + 1, 3));
        if (status && *status >= 100 && *status <= 999) parsed.status = static_cast<int>(*status);
      }
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (AsciiEqualFold(name, "Content-Type") && parsed.contentType.empty()) {
      parsed.contentType = AsciiLowered(Trim(value.substr(0, value.find(';'))));
    } else if (AsciiEqualFold(name, "Content-Encoding") && parsed.contentEncoding.empty()) {
      parsed.contentEncoding = AsciiLowered(value);
      if (parsed.contentEncoding == "identity") parsed.contentEncoding.clear();
    } else if (AsciiEqualFold(name, "Content-Length") && !parsed.contentLength) {
      parsed.contentLength = DecimalParse(value);
    } else if (AsciiEqualFold(name, "Content-Range") && !parsed.rangeTotal) {
      // "bytes 0-1023/4096"; "*" when the total is unknown.
      const std::size_t slash = value.rfind('/');
      if (AsciiEqualFold(value.substr(0, 6), "bytes ") && slash != std::string_view::npos)
        parsed.rangeTotal = DecimalParse(Trim(value.substr(slash + 1)));
    }
  }
  return parsed;
}

// The value of the first element named `name` (compared without case, as
// the browser does).  The elements were checked to be name\0value\0 pairs.
std::optional<std::string_view> ElementFind(std::string_view elements, std::string_view name) {
  while (!elements.empty()) {
    const std::size_t nameEnd = elements.find('\0');
    if (nameEnd == std::string_view::npos) return std::nullopt;
    const std::size_t valueEnd = elements.find('\0', nameEnd + 1);
    if (valueEnd == std::string_view::npos) return std::nullopt;
    if (AsciiEqualFold(elements.substr(0, nameEnd), name))
      return elements.substr(nameEnd + 1, valueEnd - nameEnd - 1);
    elements.remove_prefix(valueEnd + 1);
  }
  return std::nullopt;
}

// "1;<offset>,<type>": alternative data (compiled scripts) stored after the
// body; the body then ends at <offset>.
std::optional<std::uint64_t> AltDataOffset(std::string_view value) {
  if (value.substr(0, 2) != "1;") return std::nullopt;
  value.remove_prefix(2);
  return DecimalParse(value.substr(0, value.find(',')));
}

struct Metadata {
  std::string key;
  std::string address;
  std::string elements;
};

enum class MetadataState {
  Absent,  // the trailer does not point at a header: a raw body
  Broken,  // a header is there but the rest does not hold together
  Valid,
};

// The metadata block runs from the body's end to the trailer.  `modern`
// tells which trailer was found, and so which header versions fit it.
MetadataState MetadataParse(std::span<const std::uint8_t> block, std::uint64_t bodyLength, bool modern,
                            Metadata& out) {
  const std::uint64_t hashCount = (bodyLength + kFirefoxChunkSize - 1) / kFirefoxChunkSize;
  const std::uint64_t header = 4 + 2 * hashCount;
  if (header + kHeaderSizeVersion1 > block.size()) return MetadataState::Absent;
  const std::uint32_t version = Be32(block.data() + header);
  const bool versionFits = modern ? version == kNewestVersion : (version >= 1 && version < kNewestVersion);
  if (!versionFits) return MetadataState::Absent;

  const std::uint64_t keyOffset = header + (version == 1 ? kHeaderSizeVersion1 : kHeaderSize);
  if (keyOffset > block.size()) return MetadataState::Broken;
  const std::uint32_t keySize = Be32(block.data() + header + kKeySizeField);
  if (keySize > kFirefoxMaxKeySize || keyOffset + keySize + 1 > block.size()) return MetadataState::Broken;
  const std::string_view bytes(reinterpret_cast<const char*>(block.data()), block.size());
  const std::string_view key = bytes.substr(keyOffset, keySize);
  if (bytes[keyOffset + keySize] != '\0' || key.find('\0') != std::string_view::npos)
    return MetadataState::Broken;
  if (FirefoxCacheHash(block.subspan(4)) != Be32(block.data())) return MetadataState::Broken;

  const std::string_view elements = bytes.substr(keyOffset + keySize + 1);
  if (elements.size() > kFirefoxMaxElementsSize) return MetadataState::Broken;
  if (!elements.empty() &&
      (elements.back() != '\0' || std::count(elements.begin(), elements.end(), '\0') % 2 != 0))
    return MetadataState::Broken;
  auto address = FirefoxKeyAddress(key);
  if (!address) return MetadataState::Broken;

  out.key = std::string(key);
  out.address = std::move(*address);
  out.elements = std::string(elements);
  return MetadataState::Valid;
}

// Looks for the metadata behind the body from the trailer in the file's last
// 8 bytes (fewer in a tiny file); `bodyLength` is set to what is body.  The
// file's last few KiB are read at once: they hold the trailer and, but for
// long response heads, the whole metadata.
MetadataState MetadataRead(CacheFile& file, std::uint64_t size, std::uint64_t& bodyLength, Metadata& out) {
  const std::uint64_t tailStart = size - std::min<std::uint64_t>(size, kTailRead);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(size - tailStart));
  if (tail.size() < 4 || !ReadExactly(file, tailStart, tail.data(), tail.size()))
    return MetadataState::Absent;
  std::uint8_t trailer[8] = {};
  const std::size_t trailerRead = std::min<std::size_t>(tail.size(), 8);
  std::copy(tail.end() - static_cast<std::ptrdiff_t>(trailerRead), tail.end(), trailer + 8 - trailerRead);
  const std::uint32_t offsetWord = Be32(trailer + 4);
  const std::uint32_t versionWord = trailerRead == 8 ? Be32(trailer) : 0;
  // While the entry is open, version 4 keeps eight 0xFF bytes behind the
  // body written so far (checked with firefox-esr 153): not body bytes.
  if (trailerRead == 8 && versionWord == 0xFFFFFFFFu && offsetWord == 0xFFFFFFFFu) {
    bodyLength = size - 8;
    return MetadataState::Absent;
  }

  // The modern trailer first; a legacy one cannot end in a version word, as
  // its elements (or key) end with a NUL byte.
  for (const bool modern : {true, false}) {
    if (modern && (versionWord != kNewestVersion || (offsetWord & kOffsetFlags) != 0)) continue;
    const std::uint64_t trailerSize = modern ? 8 : 4;
    const std::uint64_t offset = offsetWord;
    if (offset + trailerSize > size) continue;
    const std::uint64_t blockSize = size - trailerSize - offset;
    const std::uint64_t hashBytes = 2 * ((offset + kFirefoxChunkSize - 1) / kFirefoxChunkSize);
    const std::uint64_t largest =
        4 + hashBytes + kHeaderSize + kFirefoxMaxKeySize + 1 + kFirefoxMaxElementsSize;
    if (blockSize > largest || blockSize < 4 + hashBytes + kHeaderSizeVersion1) continue;

    std::vector<std::uint8_t> block;
    if (offset >= tailStart) {
      const auto from = tail.begin() + static_cast<std::ptrdiff_t>(offset - tailStart);
      block.assign(from, from + static_cast<std::ptrdiff_t>(blockSize));
    } else {
      block.resize(static_cast<std::size_t>(blockSize));
      if (!ReadExactly(file, offset, block.data(), block.size())) return MetadataState::Broken;
    }
    const MetadataState state = MetadataParse(block, offset, modern, out);
    if (state == MetadataState::Absent) continue;
    bodyLength = offset;
    return state;
  }
  return MetadataState::Absent;
}

bool HexDigitIs(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// A tag's value runs to the next single comma (",," stands for a comma).
// Returns where that comma is, or npos when the key ends first.
std::size_t TagValueEnd(std::string_view key, std::size_t at) {
  while (at < key.size()) {
    if (key[at] != ',') {
      ++at;
    } else if (at + 1 < key.size() && key[at + 1] == ',') {
      at += 2;
    } else {
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool FirefoxEntryNameIs(std::string_view fileName) {
  return fileName.size() == 40 && std::all_of(fileName.begin(), fileName.end(), HexDigitIs);
}

bool FirefoxEntriesFolderIs(std::string_view folderPath) {
  auto separator = [](char c) { return c == '/' || c == '\\'; };
  while (!folderPath.empty() && separator(folderPath.back())) folderPath.remove_suffix(1);
  auto lastPart = [&](std::string_view& path) {
    std::size_t start = path.size();
    while (start > 0 && !separator(path[start - 1])) --start;
    const std::string_view part = path.substr(start);
    path = path.substr(0, start);
    while (!path.empty() && separator(path.back())) path.remove_suffix(1);
    return part;
  };
  const std::string_view leaf = lastPart(folderPath);
  const std::string_view parent = lastPart(folderPath);
  return AsciiEqualFold(leaf, "entries") && AsciiEqualFold(parent, "cache2");
}

std::optional<std::string> FirefoxKeyAddress(std::string_view key) {
  // Tags come in ASCII order, each ended by a comma; ':' comes last and
  // everything after it is the address, stored as it is.
  std::size_t at = 0;
  char lastTag = 0;
  while (at < key.size()) {
    const char tag = key[at++];
    if (static_cast<unsigned char>(tag) < 0x20 || static_cast<unsigned char>(tag) > 0x7F) return std::nullopt;
    if (tag == ':') return std::string(key.substr(at));
    if (tag <= lastTag) return std::nullopt;
    lastTag = tag;
    switch (tag) {
      case 'a':  // anonymous
      case 'b':  // old in-browser flag
      case 'p':  // private browsing
        break;
      case 'i': {  // old application id: a number
        const std::size_t start = at;
        while (at < key.size() && key[at] >= '0' && key[at] <= '9') ++at;
        if (at == start || at - start > 10) return std::nullopt;
        break;
      }
      default:  // 'O' origin attributes, '~' id enhancement, others: a value
        at = TagValueEnd(key, at);
        if (at == std::string_view::npos) return std::nullopt;
        break;
    }
    if (at >= key.size() || key[at] != ',') return std::nullopt;
    ++at;
  }
  return std::string();  // tags only: parses, but names no address
}

std::uint32_t FirefoxCacheHash(std::span<const std::uint8_t> bytes) {
  // x -= y; x -= z; then z shifted right (positive) or left (negative) mixed in.
  auto step = [](std::uint32_t& x, std::uint32_t y, std::uint32_t z, int shift) {
    x -= y;
    x -= z;
    x ^= shift > 0 ? z >> shift : z << -shift;
  };
  auto mix = [&](std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
    step(a, b, c, 13), step(b, c, a, -8), step(c, a, b, 13);
    step(a, b, c, 12), step(b, c, a, -16), step(c, a, b, 5);
    step(a, b, c, 3), step(b, c, a, -10), step(c, a, b, 15);
  };
  auto le32 = [](const std::uint8_t* p, std::size_t count) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < count; ++i) word |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return word;
  };
  std::uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = 0;
  const std::uint8_t* k = bytes.data();
  std::size_t left = bytes.size();
  for (; left >= 12; left -= 12, k += 12) {
    a += le32(k, 4);
    b += le32(k + 4, 4);
    c += le32(k + 8, 4);
    mix(a, b, c);
  }
  // The last 11 bytes or fewer; the low byte of c holds the length.
  c += static_cast<std::uint32_t>(bytes.size());
  a += le32(k, std::min<std::size_t>(left, 4));
  if (left > 4) b += le32(k + 4, std::min<std::size_t>(left - 4, 4));
  if (left > 8) c += le32(k + 8, left - 8) << 8;
  mix(a, b, c);
  return c;
}

std::optional<CacheElement> FirefoxEntryRead(CacheFolder& folder, std::string_view fileName,
                                             std::uint64_t lastWritten) {
  if (!FirefoxEntriesFolderIs(folder.Path()) || !FirefoxEntryNameIs(fileName)) return std::nullopt;
  const std::unique_ptr<CacheFile> file = folder.Open(fileName);
  if (!file) return std::nullopt;
  const std::uint64_t size = file->Size();

  CacheElement element;
  element.store = CacheStore::FirefoxCache2;
  element.id = std::string(fileName);
  element.lastWritten = lastWritten;
  std::uint64_t bodyLength = size;
  Metadata metadata;
  switch (MetadataRead(*file, size, bodyLength, metadata)) {
    case MetadataState::Broken:
      return std::nullopt;
    case MetadataState::Absent:
      break;  // the raw body, still being written
    case MetadataState::Valid: {
      element.finished = true;
      element.key = std::move(metadata.key);
      element.webAddress = std::move(metadata.address);
      if (const auto head = ElementFind(metadata.elements, "response-head")) {
        ResponseHead parsed = FirefoxResponseHeadParse(*head);
        element.httpStatus = parsed.status;
        element.contentType = std::move(parsed.contentType);
        element.contentEncoding = std::move(parsed.contentEncoding);
        if (parsed.rangeTotal) {
          element.fullLength = parsed.rangeTotal;
        } else if (parsed.status != 206) {
          element.fullLength = parsed.contentLength;
        }
      }
      if (const auto altData = ElementFind(metadata.elements, "alt-data")) {
        const auto altOffset = AltDataOffset(*altData);
        if (altOffset && *altOffset <= bodyLength) bodyLength = *altOffset;
      }
      break;
    }
  }
  if (bodyLength > 0) element.pieces.push_back({element.id, 0, 0, bodyLength});
  return element;
}

void FirefoxEntriesVisit(CacheFolder& folder, const CacheElementSink& sink) {
  if (!FirefoxEntriesFolderIs(folder.Path())) return;
  std::vector<CacheFileInfo> files = folder.List();
  std::sort(files.begin(), files.end(),
            [](const CacheFileInfo& a, const CacheFileInfo& b) { return a.name < b.name; });
  for (const CacheFileInfo& info : files) {
    if (!FirefoxEntryNameIs(info.name)) continue;
    if (auto element = FirefoxEntryRead(folder, info.name, info.lastWritten)) sink(std::move(*element));
  }
}

std::vector<CacheElement> FirefoxEntriesRead(CacheFolder& folder) {
  std::vector<CacheElement> elements;
  FirefoxEntriesVisit(folder, [&](CacheElement&& element) { elements.push_back(std::move(element)); });
  return elements;
}
