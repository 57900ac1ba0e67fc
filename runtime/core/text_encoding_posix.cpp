// The native build's stand-in for the ANSI code page: GBK (code page 936)
// through the C library's converter, failing soft as Windows does: a byte
// that starts no character becomes U+FFFD, a character GBK cannot spell "?".
#include <iconv.h>

#include <bit>
#include <cerrno>

#include "runtime/core/text_encoding.h"

namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the units' own order");

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (Valid()) iconv_close(handle_);
  }
  bool Valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; returns false at the first input it cannot
  // take, with `in`/`inLeft` there.
  bool Run(char*& in, std::size_t& inLeft, std::string& out) {
    char buffer[256];
    while (inLeft > 0) {
      char* next = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t result = iconv(handle_, &in, &inLeft, &next, &room);
      out.append(buffer, static_cast<std::size_t>(next - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t handle_;
};

}  // namespace

std::u16string Utf16FromAnsi(std::string_view text) {
  Converter converter("UTF-16LE", "CP936");
  if (!converter.Valid()) return {};
  std::string bytes(text);
  char* in = bytes.data();
  std::size_t left = bytes.size();
  std::string out;
  while (!converter.Run(in, left, out)) {
    out.append("\xFD\xFF", 2);  // U+FFFD for the byte that starts no character
    ++in, --left;
  }
  std::u16string units(out.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(out[2 * i]) |
                                     static_cast<unsigned char>(out[2 * i + 1]) << 8);
  return units;
}

std::string AnsiFromUtf16(std::u16string_view text) {
  Converter converter("CP936", "UTF-16LE");
  if (!converter.Valid()) return {};
  std::string bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  char* in = bytes.data();
  std::size_t left = bytes.size();
  std::string out;
  while (!converter.Run(in, left, out)) {
    out.push_back('?');  // the code page's default character
    const std::size_t skip = left < 2 ? left : 2;
    in += skip, left -= skip;
  }
  return out;
}
