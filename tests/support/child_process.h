// Child processes for tests whose code ends the process (run-time errors,
// ProgramEnd): the test starts its own executable again, which runs one
// registered child routine instead of the tests and exits.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

// A child routine gets the argument the test passed and returns the exit code
// (most end the process themselves before returning).
using ChildRoutine = int (*)(const std::string& argument);

struct ChildRoutineRegistration {
  ChildRoutineRegistration(const char* name, ChildRoutine routine);
};

// Defines and registers a child routine: EE_CHILD_ROUTINE(Name) { ... }
#define EE_CHILD_ROUTINE(name)                                           \
  static int name(const std::string& argument);                          \
  static const ChildRoutineRegistration name##Registration(#name, name); \
  static int name([[maybe_unused]] const std::string& argument)

// For the test main: when the command line names a child routine, runs it and
// gives its exit code.
std::optional<int> ChildRoutineRunFromCommandLine(int argc, char** argv);

// A running copy of this executable; terminated on destruction if it is still
// running, so a failing test leaves nothing behind.
class ChildProcess {
 public:
  ChildProcess(std::string_view routine, std::string_view argument = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  bool Started() const { return process_ != nullptr; }
  DWORD ProcessId() const { return processId_; }
  DWORD MainThreadId() const { return mainThreadId_; }
  // The exit code, or nothing when the child still runs after timeoutMs.
  std::optional<int> Wait(DWORD timeoutMs);
  // Waits for a visible dialog box (#32770) of this child with the given
  // caption (ANSI code page); nullptr on timeout.
  HWND DialogWait(std::string_view caption, DWORD timeoutMs) const;

 private:
  HANDLE process_ = nullptr;
  DWORD processId_ = 0;
  DWORD mainThreadId_ = 0;
};

// A fresh file path in the temporary folder for a child to write to (the
// file does not exist yet), and the content of such a file.
std::string TemporaryFilePath(std::string_view stem);
std::optional<std::string> FileContent(const std::string& path);
