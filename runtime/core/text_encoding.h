// Case folding and code-page conversion, in one place.  The program's own
// texts are in the ANSI code page (GBK: a byte of 0x80 or above starts a
// two-byte character whose second byte may look like ASCII, even "\" or a
// capital); the file system and the console speak UTF-16; reports, cache
// keys and web addresses are UTF-8.  Invalid input never fails a
// conversion: each byte or unit that is not part of a valid character
// becomes U+FFFD, so a damaged name still shows and what follows survives.
#pragma once

#include <string>
#include <string_view>

// ASCII letters only; every other byte is kept.  Right for ASCII and UTF-8
// texts (no byte of a UTF-8 sequence is ASCII); for ANSI texts use the
// Ansi... forms, which skip the second byte of a two-byte character.
constexpr char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
std::string AsciiLowered(std::string_view text);
bool AsciiEqualFold(std::string_view left, std::string_view right);
bool AsciiEndsWithFold(std::string_view text, std::string_view ending);
bool AsciiLessFold(std::string_view left, std::string_view right);
// The same on UTF-16 texts (file names as the file system spells them).
constexpr char16_t AsciiLower(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
std::u16string AsciiLowered(std::u16string_view text);
bool AsciiEqualFold(std::u16string_view left, std::u16string_view right);
bool AsciiEndsWithFold(std::u16string_view text, std::u16string_view ending);

// True when the byte starts a two-byte character of an ANSI text.
constexpr bool AnsiStartsDoubleByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }
// ASCII letters lowered, two-byte characters left as they are (a lead byte
// at the very end is kept).
std::string AnsiLowered(std::string_view text);
// Equal but for the case of ASCII letters; two-byte characters must match
// byte for byte.
bool AnsiEqualFold(std::string_view left, std::string_view right);

// UTF-8 and UTF-16, either way.  Lone surrogates and bytes that start no
// valid sequence (overlong, surrogate code, beyond U+10FFFF, cut short)
// come out as U+FFFD, one per byte or unit.
std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);
// The text with each byte that is not part of a valid UTF-8 sequence
// replaced by U+FFFD; valid text comes back unchanged.
std::string Utf8Repaired(std::string_view text);
// Appends one code point; a surrogate code or one beyond U+10FFFF is U+FFFD.
void Utf8Append(std::string& out, char32_t code);
// The code point that starts at text[at], moving `at` past it; a byte that
// starts no valid sequence is U+FFFD and moves `at` by one.  `at` must be
// inside the text.
char32_t Utf8Next(std::string_view text, std::size_t& at);
// At most `characters` characters from the start of a UTF-8 text, never
// cutting one in two.
std::string_view Utf8Prefix(std::string_view text, std::size_t characters);
// A u8"" literal as the bytes of a std::string, whatever the compiler's
// execution character set (GBK for the program's own texts).
inline std::string Utf8Bytes(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// The ANSI code page (936 where the program is made to run) and UTF-16.
// A character the code page cannot spell comes out as its default
// character ("?"), so a name made of such characters no longer names the
// file: keep the UTF-16 spelling (Utf16Path) to open it.
std::u16string Utf16FromAnsi(std::string_view text);
std::string AnsiFromUtf16(std::u16string_view text);

// A file system path in UTF-16, as the file system spells it: the one
// spelling that opens every file.  The ANSI and UTF-8 texts made from it
// are for showing and reporting.
class Utf16Path {
 public:
  Utf16Path() = default;
  explicit Utf16Path(std::u16string units) : units_(std::move(units)) {}
  static Utf16Path FromAnsi(std::string_view text) { return Utf16Path(Utf16FromAnsi(text)); }
  static Utf16Path FromUtf8(std::string_view text) { return Utf16Path(Utf16FromUtf8(text)); }

  const std::u16string& Units() const { return units_; }
  bool Empty() const { return units_.empty(); }
  std::string Ansi() const { return AnsiFromUtf16(units_); }
  std::string Utf8() const { return Utf8FromUtf16(units_); }
  // The path of `name` inside this folder: one "\" between them.
  Utf16Path Child(std::u16string_view name) const;

  friend bool operator==(const Utf16Path&, const Utf16Path&) = default;

 private:
  std::u16string units_;
};
