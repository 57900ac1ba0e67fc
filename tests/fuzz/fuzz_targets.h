// Fuzz targets: one entry point per parser of bytes that come from outside
// the program.  Each takes arbitrary bytes, runs the parser and checks what
// must hold for any input; a broken rule aborts with a message (the
// sanitizers catch the rest).  The same entry points serve libFuzzer and the
// deterministic replay that runs with the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

using FuzzEntry = void (*)(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
  std::string_view name;  // also the folder of its seeds
  FuzzEntry entry;
};

std::span<const FuzzTarget> FuzzTargets();
const FuzzTarget* FuzzTargetFind(std::string_view name);

// Aborts with the target's rule when a condition does not hold.
[[noreturn]] void FuzzRuleBroken(const char* rule, const char* file, int line);
#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : FuzzRuleBroken(#condition, __FILE__, __LINE__))

// A little-endian reader over the fuzz input that never reads past it:
// targets use it to take their parameters from the first bytes.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return offset_ < size_ ? data_[offset_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return word;
  }
  // Up to count bytes (fewer at the end of the input).
  std::span<const std::uint8_t> Bytes(std::size_t count) {
    const std::size_t taken = count < size_ - offset_ ? count : size_ - offset_;
    std::span<const std::uint8_t> part(data_ + offset_, taken);
    offset_ += taken;
    return part;
  }
  std::span<const std::uint8_t> Rest() { return Bytes(size_ - offset_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

inline std::string_view AsChars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}
