// Typed reads out of raw bytes, byte copies of memory and the bitwise OR.
#include <cstring>

#include "runtime/commands/value_commands.h"
#include "runtime/core/runtime_error.h"

namespace {

constexpr std::int32_t kTypeByte = 1;
constexpr std::int32_t kTypeText = 10;

// Bytes each fixed-size type consumes, by type code.
constexpr std::size_t kTypeSizes[] = {0, 1, 2, 4, 8, 4, 8, 4, 8, 4};

struct ReadResult {
  Value value;
  std::size_t consumed = 0;
};

// Little-endian read of `size` bytes at `offset`; bytes past the end count as zero.
std::uint64_t LittleEndianRead(const ByteArray& bytes, std::size_t offset, std::size_t size) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (offset + i >= bytes.size()) break;
    word |= static_cast<std::uint64_t>(bytes[offset + i]) << (8 * i);
  }
  return word;
}

template <class To, class From>
To BitsAs(From from) {
  static_assert(sizeof(To) == sizeof(From));
  To to;
  std::memcpy(&to, &from, sizeof to);
  return to;
}

Value FixedValue(std::int32_t typeCode, std::uint64_t word) {
  switch (typeCode) {
    case 1:
      return static_cast<std::uint8_t>(word);
    case 2:
      return BitsAs<std::int16_t>(static_cast<std::uint16_t>(word));
    case 3:
      return BitsAs<std::int32_t>(static_cast<std::uint32_t>(word));
    case 4:
      return BitsAs<std::int64_t>(word);
    case 5:
      return BitsAs<float>(static_cast<std::uint32_t>(word));
    case 6:
      return BitsAs<double>(word);
    case 7:
      return Logical{BitsAs<std::int32_t>(static_cast<std::uint32_t>(word))};
    case 8:
      return DateTime{DateTimeClamp(BitsAs<double>(word))};
    default:
      return SubroutineAddress{static_cast<std::uint32_t>(word)};
  }
}

// The value that a read yielding nothing gives for each type.
Value EmptyValue(std::int32_t typeCode) {
  if (typeCode == kTypeText) return Text();
  return FixedValue(typeCode, 0);
}

// offset: 0-based start, or bytes.size() and beyond for a read past the end.
ReadResult ValueRead(const ByteArray& bytes, std::int32_t typeCode, std::size_t offset) {
  if (typeCode != kTypeText) {
    const std::size_t size = kTypeSizes[typeCode];
    return {FixedValue(typeCode, LittleEndianRead(bytes, offset, size)), size};
  }
  if (offset >= bytes.size()) return {Text(), 0};
  const auto* start = reinterpret_cast<const char*>(bytes.data()) + offset;
  const std::size_t available = bytes.size() - offset;
  const void* zero = std::memchr(start, 0, available);
  if (zero == nullptr) return {Text(start, available), available};
  const auto length = static_cast<std::size_t>(static_cast<const char*>(zero) - start);
  return {Text(start, length), length + 1};
}

void TypeCodeCheck(std::int32_t typeCode) {
  if (typeCode < kTypeByte || typeCode > kTypeText) RuntimeErrorRaise("“欲取出数据的类型”参数值无效");
}

}  // namespace

ByteArray BytesFromAddress(const void* address, std::int32_t count) {
  if (address == nullptr || count <= 0) return ByteArray();
  const auto* start = static_cast<const std::uint8_t*>(address);
  return ByteArray(start, start + count);
}

Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode) {
  return ValueFromBytes(bytes, typeCode, 1);
}

Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode, std::int32_t startPosition) {
  TypeCodeCheck(typeCode);
  if (startPosition < 1) return EmptyValue(typeCode);
  return ValueRead(bytes, typeCode, static_cast<std::size_t>(startPosition) - 1).value;
}

Value ValueFromBytes(const ByteArray& bytes, std::int32_t typeCode, std::int32_t* position) {
  TypeCodeCheck(typeCode);
  if (position == nullptr) return ValueFromBytes(bytes, typeCode, 1);
  // A position below 1 (such as the -1 left by a read past the end) reads
  // nothing and stays as it is.
  if (*position < 1) return EmptyValue(typeCode);
  const auto offset = static_cast<std::size_t>(*position) - 1;
  ReadResult read = ValueRead(bytes, typeCode, offset);
  const std::size_t next = offset + read.consumed;
  *position = next >= bytes.size() ? -1 : static_cast<std::int32_t>(next + 1);
  return std::move(read.value);
}

std::int32_t BitOr(std::initializer_list<std::int32_t> values) {
  std::uint32_t bits = 0;
  for (const std::int32_t value : values) bits |= static_cast<std::uint32_t>(value);
  return static_cast<std::int32_t>(bits);
}
