// Fuzz input as the files of one cache folder: records of a name byte (an
// index into the target's names), a 32-bit length and that many bytes (fewer
// at the end of the input).  tests/fuzz/seeds/*/ hold real caches packed so.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_folder_memory.h"
#include "tests/fuzz/fuzz_targets.h"

inline void FolderUnpack(FuzzInput& input, std::span<const std::string_view> names,
                         MemoryCacheFolder& folder) {
  for (int files = 0; files < 64; ++files) {
    const auto head = input.Bytes(5);
    if (head.size() < 5) break;
    const std::string_view name = names[head[0] % names.size()];
    const std::uint32_t length = LoadU32(head, 1);
    const auto bytes = input.Bytes(length);
    folder.Put(std::string(name), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }
}

// What must hold for any element a reader yields from an unchanging folder:
// pieces sorted, apart and inside their files, and the body readable from 0
// exactly as far as the pieces say.
inline void ElementCheck(MemoryCacheFolder& folder, const CacheElement& element) {
  std::uint64_t end = 0;
  for (const BodyPiece& piece : element.pieces) {
    FUZZ_CHECK(piece.length != 0);
    FUZZ_CHECK(piece.elementOffset >= end);
    end = piece.elementOffset + piece.length;
    const auto* bytes = folder.Bytes(piece.fileName);
    FUZZ_CHECK(bytes != nullptr);
    FUZZ_CHECK(piece.fileOffset + piece.length <= bytes->size());
  }
  const std::uint64_t contiguous = ContiguousLength(element);
  FUZZ_CHECK(contiguous <= PresentLength(element));
  FUZZ_CHECK(!IsComplete(element) || element.finished);
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(contiguous, 1u << 21));
  std::vector<std::uint8_t> body(want);
  CacheBodyReader reader(folder, element);
  FUZZ_CHECK(reader.Read(0, body.data(), body.size()) == want);
  const MediaSignature signature = CacheElementSignature(folder, element);
  FUZZ_CHECK(signature.nature != MediaNature::NotMedia || signature.extension.empty());
}
