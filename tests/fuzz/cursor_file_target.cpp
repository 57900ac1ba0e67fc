// Cursor-file data stored as a window's or control's mouse pointer, read
// from a template or written as a property value.
#include <algorithm>

#include "runtime/windows/cursor_file.h"
#include "tests/fuzz/fuzz_targets.h"

void FuzzCursorFile(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const std::optional<CursorImage> image = CursorFileFirstImage(bytes);
  if (!image) return;
  // The image lies inside the data, and the resource form is the hot spot
  // followed by exactly those bytes.
  FUZZ_CHECK(image->bytes.data() >= data);
  FUZZ_CHECK(image->bytes.data() + image->bytes.size() <= data + size);
  const std::vector<std::uint8_t> resource = CursorResourceBytes(*image);
  FUZZ_CHECK(resource.size() == 4 + image->bytes.size());
  FUZZ_CHECK((resource[0] | resource[1] << 8) == image->hotX);
  FUZZ_CHECK((resource[2] | resource[3] << 8) == image->hotY);
  FUZZ_CHECK(std::equal(image->bytes.begin(), image->bytes.end(), resource.begin() + 4));
}
