#include "app/command_line/scan_arguments.h"

#include <string_view>
#include "runtime/core/text_encoding.h"

namespace {

enum class Switch { None, Usage, Comma, Tab, CopyAll, Partial, Separate, CacheFolder, Type };

Switch SwitchOf(std::string_view argument) {
  if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return Switch::None;
  const std::string_view name = argument.substr(1);
  struct Named {
    std::string_view name;
    Switch value;
  };
  constexpr Named kSwitches[] = {{"?", Switch::Usage},         {"scomma", Switch::Comma},
                                 {"stab", Switch::Tab},        {"copyall", Switch::CopyAll},
                                 {"partial", Switch::Partial}, {"cachefolder", Switch::CacheFolder},
                                 {"type", Switch::Type},       {"separate", Switch::Separate}};
  for (const Named& known : kSwitches)
    if (AsciiEqualFold(name, known.name)) return known.value;
  return Switch::None;
}

bool TakesValue(Switch kind) {
  return kind == Switch::Comma || kind == Switch::Tab || kind == Switch::CopyAll ||
         kind == Switch::CacheFolder || kind == Switch::Type;
}

// Sets a value that may be given once.
bool SetOnce(std::optional<std::string>& slot, const std::string& value) {
  if (slot) return false;
  slot = value;
  return true;
}

}  // namespace

std::variant<ScanRequest, ArgumentError> ScanArgumentsParse(std::span<const std::string> arguments) {
  for (const std::string& argument : arguments) {
    if (SwitchOf(argument) == Switch::Usage) {
      ScanRequest usage;
      usage.usage = true;
      return usage;
    }
  }

  ScanRequest request;
  bool typeGiven = false;
  std::optional<std::string> partialSwitch;
  std::optional<std::string> separateSwitch;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const Switch kind = SwitchOf(argument);
    if (kind == Switch::None) return ArgumentError{ArgumentFault::UnknownSwitch, argument};
    if (kind == Switch::Partial) {
      if (partialSwitch) return ArgumentError{ArgumentFault::RepeatedSwitch, argument};
      partialSwitch = argument;
      request.partial = true;
      continue;
    }
    if (kind == Switch::Separate) {
      if (separateSwitch) return ArgumentError{ArgumentFault::RepeatedSwitch, argument};
      separateSwitch = argument;
      request.separate = true;
      continue;
    }
    if (!TakesValue(kind)) continue;
    // A switch as the value means the value was left out ("/scomma /stab x").
    if (i + 1 >= arguments.size() || arguments[i + 1].empty() || SwitchOf(arguments[i + 1]) != Switch::None)
      return ArgumentError{ArgumentFault::MissingValue, argument};
    const std::string& value = arguments[++i];
    bool once = true;
    switch (kind) {
      case Switch::Comma:
        once = SetOnce(request.commaReport, value);
        break;
      case Switch::Tab:
        once = SetOnce(request.tabReport, value);
        break;
      case Switch::CopyAll:
        once = SetOnce(request.copyFolder, value);
        break;
      case Switch::CacheFolder:
        request.cacheFolders.push_back(value);
        break;
      case Switch::Type:
        if (typeGiven) return ArgumentError{ArgumentFault::RepeatedSwitch, argument};
        typeGiven = true;
        if (AsciiEqualFold(value, "video")) {
          request.classFilter = ScanClassFilter::Video;
        } else if (AsciiEqualFold(value, "audio")) {
          request.classFilter = ScanClassFilter::Audio;
        } else {
          return ArgumentError{ArgumentFault::BadTypeValue, value};
        }
        break;
      default:
        break;
    }
    if (!once) return ArgumentError{ArgumentFault::RepeatedSwitch, argument};
  }
  if (partialSwitch && !request.copyFolder)
    return ArgumentError{ArgumentFault::PartialWithoutCopy, *partialSwitch};
  if (separateSwitch && !request.copyFolder)
    return ArgumentError{ArgumentFault::PartialWithoutCopy, *separateSwitch};
  if (!request.commaReport && !request.tabReport && !request.copyFolder)
    return ArgumentError{ArgumentFault::NothingToDo, arguments.empty() ? std::string() : arguments.front()};
  return request;
}
