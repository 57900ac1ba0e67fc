// The compressed bodies the decoding and stream tests read: made by Debian's
// gzip, brotli and zstd tools, kept in tests/portable/data/compressed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

inline std::vector<std::uint8_t> CompressedDataFile(const std::string& name) {
  const std::string path = std::string(EE_TEST_DATA_DIR) + "/compressed/" + name;
  std::vector<std::uint8_t> bytes;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    ADD_FAILURE() << "cannot open " << path;
    return bytes;
  }
  std::uint8_t block[4096];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;)
    bytes.insert(bytes.end(), block, block + got);
  return bytes;
}
