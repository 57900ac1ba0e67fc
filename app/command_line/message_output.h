// Where the command line's messages go: the standard output and error
// handles the program was started with when it has them (a pipe or a file,
// as when a script calls it), else the console of the program that started
// it, else a message box.  A window program has no console of its own.
#pragma once

#include <string>
#include <string_view>

#include "runtime/core/handles.h"

enum class MessageStream { Output, Error };

class MessageOutput {
 public:
  MessageOutput();
  MessageOutput(const MessageOutput&) = delete;
  MessageOutput& operator=(const MessageOutput&) = delete;
  ~MessageOutput();

  void Write(MessageStream stream, std::wstring_view text);

 private:
  bool console_ = false;  // attached to the parent's console
  FileHandle consoleOutput_;
};

// A text of command_line_texts.h with its "%s" replaced by `argument` and
// its "%d"s by `numbers` in order.
std::wstring MessageText(const char* text, std::wstring_view argument = {},
                         std::initializer_list<int> numbers = {});
