#include "app/command_line/message_output.h"

#include <windows.h>

#include <string>

#include "app/command_line/command_line_texts.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

// The handle when the program was started with one (inherited pipe, file
// or console); null when a window program got none.
HANDLE StartedWith(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  SetLastError(NO_ERROR);
  if (GetFileType(handle) == FILE_TYPE_UNKNOWN && GetLastError() != NO_ERROR) return nullptr;
  return handle;
}

bool ConsoleWrite(HANDLE handle, std::wstring_view text) {
  DWORD mode = 0;
  if (!GetConsoleMode(handle, &mode)) return false;
  DWORD written = 0;
  return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
}

bool HandleWrite(HANDLE handle, std::wstring_view text) {
  if (ConsoleWrite(handle, text)) return true;
  // A pipe or a file gets the code page's bytes, as the console shows them.
  const std::string bytes = AnsiFromWide(text);
  DWORD written = 0;
  return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

std::wstring MessageText(const char* text, std::wstring_view argument, std::initializer_list<int> numbers) {
  const std::wstring pattern = WideFromAnsi(text);
  std::wstring message;
  const int* number = numbers.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] == L's') {
      message += argument;
      ++i;
    } else if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] == L'd' &&
               number != numbers.end()) {
      message += std::to_wstring(*number++);
      ++i;
    } else {
      message += pattern[i];
    }
  }
  return message;
}

MessageOutput::MessageOutput() {
  if (StartedWith(STD_OUTPUT_HANDLE) != nullptr || StartedWith(STD_ERROR_HANDLE) != nullptr) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  console_ = true;
  consoleOutput_.Reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

MessageOutput::~MessageOutput() {
  consoleOutput_.Reset();
  if (console_) FreeConsole();
}

void MessageOutput::Write(MessageStream stream, std::wstring_view text) {
  // A caller that gave only one of the two handles gets every message there.
  HANDLE handle = StartedWith(stream == MessageStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr)
    handle = StartedWith(stream == MessageStream::Output ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle != nullptr && HandleWrite(handle, text)) return;
  if (consoleOutput_ && ConsoleWrite(consoleOutput_.Get(), text)) return;
  const std::wstring caption = WideFromAnsi(kCommandLineCaption);
  MessageBoxW(nullptr, std::wstring(text).c_str(), caption.c_str(),
              MB_OK | (stream == MessageStream::Error ? MB_ICONERROR : MB_ICONINFORMATION));
}
