// Opening a web address in the user's default handler for it.
#pragma once

#include <optional>
#include <string_view>

// ShellExecuteA "open" with SW_SHOWNORMAL, owned by a top-level window titled
// "Microsoft Internet Explorer" when one exists.  Without an address a
// built-in default page is opened.  Failures are silent.
void WebAddressOpen(std::optional<std::string_view> address = std::nullopt);
