#include "runtime/commands/registry_commands.h"

#include <windows.h>

#include <vector>

#include "runtime/core/handles.h"

namespace {

HKEY RootKeyOf(std::int32_t rootNumber) {
  switch (rootNumber) {
    case 1:
      return HKEY_CLASSES_ROOT;
    case 2:
      return HKEY_CURRENT_CONFIG;
    case 4:
      return HKEY_LOCAL_MACHINE;
    case 5:
      return HKEY_USERS;
    default:
      return HKEY_CURRENT_USER;
  }
}

// Position of the last backslash that is a character of its own: the second
// byte of a double-byte character may have the backslash's code (0x5C).
std::size_t LastSeparatorOf(const Text& path) {
  std::size_t last = Text::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return last;
}

// The text up to its first zero byte.
Text TextUpToZero(const std::vector<char>& data) {
  std::size_t length = 0;
  while (length < data.size() && data[length] != '\0') ++length;
  return Text(data.data(), length);
}

std::optional<Text> EnvironmentReferencesExpand(const Text& text) {
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return std::nullopt;
  // Room for two bytes per reported unit: some systems count characters
  // rather than bytes here, which would cut double-byte results short.
  const DWORD room = needed * 2;
  std::vector<char> expanded(room + 1, '\0');
  const DWORD written = ExpandEnvironmentStringsA(text.c_str(), expanded.data(), room);
  if (written == 0 || written > room) return std::nullopt;
  return TextUpToZero(expanded);
}

std::optional<Text> RegistryTextQuery(HKEY root, const Text& keyPath, const Text& valueName) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return std::nullopt;
  const RegistryKey key(opened);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // One byte more than reported, zeroed: stored strings need not end in a zero.
  std::vector<char> data(static_cast<std::size_t>(size) + 1, '\0');
  if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  const Text text = TextUpToZero(data);
  if (type == REG_SZ) return text;
  return EnvironmentReferencesExpand(text);
}

}  // namespace

Text RegistryTextRead(std::int32_t rootNumber, std::string_view valuePath,
                      std::optional<std::string_view> defaultText) {
  const Text path = MakeText(valuePath.substr(0, valuePath.find('\0')));
  const std::size_t separator = LastSeparatorOf(path);
  const Text keyPath = separator == Text::npos ? Text() : path.substr(0, separator);
  const Text valueName = separator == Text::npos ? path : path.substr(separator + 1);
  if (std::optional<Text> text = RegistryTextQuery(RootKeyOf(rootNumber), keyPath, valueName)) return *text;
  return MakeText(defaultText.value_or(std::string_view()));
}
