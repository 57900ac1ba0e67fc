// The any-value form of MessageBoxShow, apart from the text form so that a
// program showing only texts does not pull in the value formatting.
#include <type_traits>

#include "runtime/commands/message_box.h"

namespace {

// Numbers, logicals and dates as ToText writes them, cut to the 99 bytes
// the formatting buffer holds; kinds without a text form show nothing.
Text MessageBoxContentText(const Value& content) {
  constexpr std::size_t kFormatBufferBytes = 100;
  return std::visit(
      [](const auto& value) -> Text {
        using Kind = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Kind, Text>) {
          return value;
        } else if constexpr (std::is_same_v<Kind, SubroutineAddress>) {
          return Text();
        } else {
          Text text = ToText(value);
          if (text.size() >= kFormatBufferBytes) text.resize(kFormatBufferBytes - 1);
          return text;
        }
      },
      content);
}

}  // namespace

std::int32_t MessageBoxShow(const Value& content, std::int32_t style,
                            std::optional<std::string_view> caption) {
  const Text text = MessageBoxContentText(content);
  return MessageBoxShow(std::string_view(text), style, caption);
}
