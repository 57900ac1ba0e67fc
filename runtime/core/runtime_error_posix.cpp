// Native stand-in: the message goes to stderr and the process ends with -1.
#include <cstdio>
#include <cstdlib>

#include "runtime/core/runtime_error.h"

void RuntimeErrorRaise(std::string_view text, std::int32_t code) {
  const Text message = RuntimeErrorMessage(text, code);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fflush(stderr);
  std::_Exit(-1);
}
