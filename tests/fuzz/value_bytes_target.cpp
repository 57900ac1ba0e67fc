// Typed reads out of byte arrays that came from files or other programs.
#include <cstring>
#include <variant>

#include "runtime/commands/value_commands.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr std::int32_t kTypeText = 10;
// Which alternative of Value each type code gives.
constexpr std::size_t kAlternative[] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

// The text a read at offset must give: the bytes up to the first zero byte.
std::string_view ExpectedText(const ByteArray& bytes, std::size_t offset) {
  if (offset >= bytes.size()) return {};
  std::string_view rest(reinterpret_cast<const char*>(bytes.data()) + offset, bytes.size() - offset);
  return rest.substr(0, rest.find('\0'));
}

void CheckRead(const ByteArray& bytes, std::int32_t type, std::int64_t position, const Value& value) {
  FUZZ_CHECK(value.index() == kAlternative[type]);
  if (type == kTypeText) {
    const std::string_view expected = position >= 1 ? ExpectedText(bytes, position - 1) : std::string_view();
    FUZZ_CHECK(std::get<Text>(value) == expected);
  }
  if (type == 3 && position >= 1 && static_cast<std::uint64_t>(position) + 3 <= bytes.size()) {
    std::int32_t direct;
    std::memcpy(&direct, bytes.data() + position - 1, sizeof direct);  // little-endian host
    FUZZ_CHECK(std::get<std::int32_t>(value) == direct);
  }
}

}  // namespace

void FuzzValueBytes(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::int32_t type = 1 + input.Byte() % 10;
  const auto start = static_cast<std::int32_t>(input.Word());
  const auto rest = input.Rest();
  const ByteArray bytes(rest.begin(), rest.end());

  CheckRead(bytes, type, 1, ValueFromBytes(bytes, type));
  CheckRead(bytes, type, start, ValueFromBytes(bytes, type, start));

  // Reading on with the position variable: it only moves forward, stays
  // inside the array, and ends at -1.
  std::int32_t position = start;
  for (int step = 0; step < 4096 && position >= 1; ++step) {
    const std::int32_t before = position;
    const Value value = ValueFromBytes(bytes, type, &position);
    CheckRead(bytes, type, before, value);
    FUZZ_CHECK(position == -1 || (position > before && static_cast<std::size_t>(position) <= bytes.size()));
  }
  std::int32_t* none = nullptr;
  CheckRead(bytes, type, 1, ValueFromBytes(bytes, type, none));
}
