#include "runtime/commands/ini_commands.h"

#include <windows.h>

namespace {

constexpr DWORD kIniValueBytes = 10240;

// A text ends at its first zero byte.
std::string_view TextPart(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

Text IniRead(std::string_view file, std::string_view section, std::string_view key,
             std::optional<std::string_view> defaultText) {
  if (TextPart(file).empty() || TextPart(section).empty() || TextPart(key).empty()) return Text();
  const Text fileName = MakeText(file);
  const Text sectionName = MakeText(section);
  const Text keyName = MakeText(key);
  const Text fallback = MakeText(defaultText.value_or(std::string_view()));
  char buffer[kIniValueBytes];
  buffer[0] = '\0';
  const DWORD length = GetPrivateProfileStringA(sectionName.c_str(), keyName.c_str(),
                                                fallback.empty() ? nullptr : fallback.c_str(), buffer,
                                                kIniValueBytes, fileName.c_str());
  return Text(buffer, length < kIniValueBytes ? length : kIniValueBytes - 1);
}

bool IniWrite(std::string_view file, std::string_view section, std::optional<std::string_view> key,
              std::optional<std::string_view> value) {
  const Text fileName = MakeText(file);
  const Text sectionName = MakeText(section);
  const Text keyName = MakeText(key.value_or(std::string_view()));
  const Text valueText = MakeText(value.value_or(std::string_view()));
  return WritePrivateProfileStringA(sectionName.c_str(), key ? keyName.c_str() : nullptr,
                                    value ? valueText.c_str() : nullptr, fileName.c_str()) != FALSE;
}
