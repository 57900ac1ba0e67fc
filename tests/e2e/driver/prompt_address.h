// What a save prompt names between its two fixed texts: the element's web
// address, followed by what its cached headers tell of it (length, picture
// size, codecs) in brackets when they tell anything.  Texts are GBK.
#pragma once

#include <string>

namespace e2e {

// The address alone: a last bracketed group after it is the element's facts.
inline std::string PromptAddressOf(const std::string& named) {
  const std::string open = "（", close = "）";
  if (named.size() < close.size() || named.compare(named.size() - close.size(), close.size(), close) != 0)
    return named;
  const std::size_t at = named.rfind(open);
  return at == std::string::npos || at == 0 ? named : named.substr(0, at);
}

}  // namespace e2e
