#include "runtime/windows/dir_path.h"

namespace {

constexpr char kSeparator = '\\';

// Bytes of the character starting at text[index]: a byte of 0x80 or above
// leads a two-byte character unless the text ends right after it.
std::size_t CharacterLength(std::string_view text, std::size_t index) {
  const auto lead = static_cast<unsigned char>(text[index]);
  return (lead >= 0x80 && index + 1 < text.size()) ? 2 : 1;
}

}  // namespace

TextArray DirPathSplit(std::string_view path) {
  TextArray names;
  std::size_t start = 0;
  std::size_t index = 0;
  while (index < path.size()) {
    if (path[index] == kSeparator) {
      if (index > start) names.push_back(MakeText(path.substr(start, index - start)));
      start = ++index;
      continue;
    }
    index += CharacterLength(path, index);
  }
  if (path.size() > start) names.push_back(MakeText(path.substr(start)));
  return names;
}

bool DirPathEndsWithSeparator(std::string_view path) {
  bool last = false;
  for (std::size_t index = 0; index < path.size(); index += CharacterLength(path, index)) {
    last = path[index] == kSeparator;
  }
  return last;
}

Text DirPathSearchPattern(std::string_view folder) {
  Text pattern = MakeText(folder);
  if (!DirPathEndsWithSeparator(folder)) pattern += kSeparator;
  pattern += "*.*";
  return pattern;
}

Text DirPathJoin(std::span<const Text> names) {
  Text path;
  for (const Text& name : names) {
    if (!path.empty()) path += kSeparator;
    path += name;
  }
  return path;
}
