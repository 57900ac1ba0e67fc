// UTF-8 to the program's code page (936, GBK) for the template compiler.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// nullopt when the text is not valid UTF-8 or holds a character GBK lacks.
std::optional<std::string> GbkFromUtf8(std::string_view utf8);
