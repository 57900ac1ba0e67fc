// Splitting of texts that come from outside: the user's extension list, ini
// values, file contents.
#include <algorithm>
#include <optional>

#include "runtime/commands/text_commands.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

std::string_view Terminated(std::string_view text) { return text.substr(0, text.find('\0')); }

Text Joined(const TextArray& pieces, std::string_view separator) {
  Text joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined.append(separator);
    joined.append(pieces[i]);
  }
  return joined;
}

}  // namespace

void FuzzTextSplit(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t mode = input.Byte();
  const std::size_t delimiterLength = input.Byte() % 5;
  const auto rawLimit = static_cast<std::int32_t>(input.Word());
  const std::string_view delimiterBytes = AsChars(input.Bytes(delimiterLength));
  const std::string_view text = AsChars(input.Rest());

  const std::optional<std::string_view> delimiter =
      mode & 1 ? std::optional<std::string_view>(delimiterBytes) : std::nullopt;
  // Small limits are the interesting ones; some runs keep the raw word.
  const std::optional<std::int32_t> limit =
      mode & 2 ? std::optional<std::int32_t>(mode & 4 ? rawLimit : rawLimit % 8) : std::nullopt;

  const TextArray pieces = TextSplit(text, delimiter, limit);

  const std::string_view whole = Terminated(text);
  const std::string_view separator = delimiter ? Terminated(*delimiter) : std::string_view(",");
  for (const Text& piece : pieces) FUZZ_CHECK(piece.find('\0') == Text::npos);
  if (whole.empty()) FUZZ_CHECK(pieces.empty());
  if (limit) FUZZ_CHECK(pieces.size() <= static_cast<std::size_t>(std::max<std::int32_t>(*limit, 0)));
  if (separator.empty()) {
    FUZZ_CHECK(pieces.size() <= 1);
    if (pieces.size() == 1) FUZZ_CHECK(pieces[0] == whole);
    return;
  }

  // Nothing is invented or reordered: the pieces joined again are the text,
  // or a prefix of it when a limit cut the split short; only a final
  // delimiter leaves no (empty) piece behind.
  const Text joined = Joined(pieces, separator);
  FUZZ_CHECK(whole.substr(0, joined.size()) == joined);
  if (!limit) {
    FUZZ_CHECK(joined.size() == whole.size() ||
               (joined.size() + separator.size() == whole.size() && whole.ends_with(separator)));
  }
}
