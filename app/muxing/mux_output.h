// Where the muxer writes: bytes appended in order, never read back, so a
// file, a pipe or memory all serve.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class MuxOutput {
 public:
  virtual ~MuxOutput() = default;
  // False when the bytes could not all be written (disk full, closed pipe).
  virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
};

// Output kept in memory: for tests and for small pieces.
class MuxMemoryOutput : public MuxOutput {
 public:
  bool Write(std::span<const std::uint8_t> bytes) override {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return true;
  }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};
