// The muxer targets take two files from one input: a little-endian length,
// the first file's bytes, then the second's.  Output is counted, not kept,
// and capped: repeated sample references can make far more bytes than the
// input holds, which is the output's size, not a fault.
#pragma once

#include <memory>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/muxing/mux_output.h"
#include "tests/fuzz/fuzz_targets.h"

struct FuzzTrackFiles {
  MemoryCacheFolder folder;
  std::unique_ptr<CacheFile> first;
  std::unique_ptr<CacheFile> second;

  FuzzTrackFiles(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint32_t firstSize = input.Word();
    const auto a = input.Bytes(firstSize);
    const auto b = input.Rest();
    folder.Put("a", {a.begin(), a.end()});
    folder.Put("b", {b.begin(), b.end()});
    first = folder.Open("a");
    second = folder.Open("b");
  }
};

class CountingOutput : public MuxOutput {
 public:
  static constexpr std::uint64_t kCap = 64u << 20;
  bool Write(std::span<const std::uint8_t> bytes) override {
    if (bytes_ + bytes.size() > kCap) return false;
    if (bytes_ == 0 && !bytes.empty())
      first_.assign(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 8));
    bytes_ += bytes.size();
    return true;
  }
  std::uint64_t Bytes() const { return bytes_; }
  const std::vector<std::uint8_t>& First() const { return first_; }

 private:
  std::uint64_t bytes_ = 0;
  std::vector<std::uint8_t> first_;
};
