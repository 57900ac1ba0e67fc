#include <windows.h>

#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"

void RuntimeErrorRaise(std::string_view text, std::int32_t code) {
  const Text message = RuntimeErrorMessage(text, code);
  MessageBoxA(nullptr, message.c_str(), "错误", MB_ICONERROR);
  // The application's clean-up does not run after an error.
  OnExitRoutineForget();
  ProgramEnd(-1);
}
