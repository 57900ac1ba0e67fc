#include "runtime/core/text_encoding.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

// The code point of the UTF-8 sequence at text[at] and its length in
// bytes; length 0 when no valid sequence starts there.
struct Decoded {
  char32_t code = 0;
  std::size_t length = 0;
};

Decoded Utf8Decode(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, lowest = 0x10000;
  } else {
    return {};
  }
  if (at + length > text.size()) return {};
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {};
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  if (code < lowest || code > 0x10FFFF || IsSurrogate(code)) return {};
  return {code, length};
}

}  // namespace

std::string AsciiLowered(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = AsciiLower(c);
  return lowered;
}

bool AsciiEqualFold(std::string_view left, std::string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(),
                    [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

bool AsciiEndsWithFold(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && AsciiEqualFold(text.substr(text.size() - ending.size()), ending);
}

bool AsciiLessFold(std::string_view left, std::string_view right) {
  return std::lexicographical_compare(left.begin(), left.end(), right.begin(), right.end(),
                                      [](char a, char b) { return AsciiLower(a) < AsciiLower(b); });
}

std::u16string AsciiLowered(std::u16string_view text) {
  std::u16string lowered(text);
  for (char16_t& c : lowered) c = AsciiLower(c);
  return lowered;
}

bool AsciiEqualFold(std::u16string_view left, std::u16string_view right) {
  return left.size() == right.size() &&
         std::equal(left.begin(), left.end(), right.begin(),
                    [](char16_t a, char16_t b) { return AsciiLower(a) == AsciiLower(b); });
}

bool AsciiEndsWithFold(std::u16string_view text, std::u16string_view ending) {
  return text.size() >= ending.size() && AsciiEqualFold(text.substr(text.size() - ending.size()), ending);
}

std::string AnsiLowered(std::string_view text) {
  std::string lowered(text);
  for (std::size_t i = 0; i < lowered.size(); ++i) {
    if (AnsiStartsDoubleByte(lowered[i])) {
      ++i;  // the second byte belongs to the character, even when it looks like a capital
      continue;
    }
    lowered[i] = AsciiLower(lowered[i]);
  }
  return lowered;
}

bool AnsiEqualFold(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (AnsiStartsDoubleByte(left[i])) {
      const std::size_t width = std::min<std::size_t>(2, left.size() - i);
      if (left.substr(i, width) != right.substr(i, width)) return false;
      i += width - 1;
      continue;
    }
    if (AsciiLower(left[i]) != AsciiLower(right[i])) return false;
  }
  return true;
}

void Utf8Append(std::string& out, char32_t code) {
  if (code > 0x10FFFF || IsSurrogate(code)) code = kReplacement;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

char32_t Utf8Next(std::string_view text, std::size_t& at) {
  const Decoded decoded = Utf8Decode(text, at);
  if (decoded.length == 0) {
    ++at;
    return kReplacement;
  }
  at += decoded.length;
  return decoded.code;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t characters) {
  std::size_t at = 0;
  for (std::size_t counted = 0; at < text.size() && counted < characters; ++counted) Utf8Next(text, at);
  return text.substr(0, at);
}

std::string Utf8Repaired(std::string_view text) {
  std::string repaired;
  repaired.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const Decoded decoded = Utf8Decode(text, at);
    if (decoded.length == 0) {
      Utf8Append(repaired, kReplacement);
      ++at;
    } else {
      repaired.append(text.substr(at, decoded.length));
      at += decoded.length;
    }
  }
  return repaired;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    Decoded decoded = Utf8Decode(text, at);
    if (decoded.length == 0) decoded = {kReplacement, 1};
    at += decoded.length;
    if (decoded.code < 0x10000) {
      units.push_back(static_cast<char16_t>(decoded.code));
    } else {
      const char32_t above = decoded.code - 0x10000;
      units.push_back(static_cast<char16_t>(0xD800 + (above >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + (above & 0x3FF)));
    }
  }
  return units;
}

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t unit = text[at];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    if (high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
      Utf8Append(out, 0x10000 + ((unit - 0xD800) << 10) + (text[at + 1] - 0xDC00));
      ++at;
      continue;
    }
    Utf8Append(out, IsSurrogate(unit) ? kReplacement : unit);
  }
  return out;
}

Utf16Path Utf16Path::Child(std::u16string_view name) const {
  std::u16string joined = units_;
  if (!joined.empty() && joined.back() != u'\\' && joined.back() != u'/') joined += u'\\';
  joined += name;
  return Utf16Path(std::move(joined));
}
