#include "runtime/commands/web_address.h"

#include <windows.h>

#include <shellapi.h>

#include "runtime/core/text.h"

namespace {

constexpr std::string_view kDefaultAddress = "https://www.example.com/";

}  // namespace

void WebAddressOpen(std::optional<std::string_view> address) {
  const std::string_view given = address.value_or(kDefaultAddress);
  const Text target = MakeText(given.substr(0, given.find('\0')));
  HWND owner = FindWindowExA(nullptr, nullptr, nullptr, "Microsoft Internet Explorer");
  ShellExecuteA(owner, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
