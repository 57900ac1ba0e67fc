// The program under test, started from a fresh copy in a sandbox as a user
// would start it: its own program folder (it keeps setting.ini beside
// itself), a home folder of its own, a chosen environment.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tests/e2e/driver/message_box.h"
#include "tests/e2e/driver/process.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/driver/window.h"

namespace e2e {

// Where the built program is: the environment variable EE_PRODUCT_EXE (a
// Linux or Windows path).  Empty when not set.
std::wstring ProductExecutable();

// The settings file that marks the first run as done.
inline constexpr char kFirstRunDone[] = "[Setting]\r\nFirst=1\r\n";

struct ProgramSetup {
  std::wstring executable;                              // the built program
  std::wstring programFolder = L"program";              // in the sandbox
  std::optional<std::string> settings = kFirstRunDone;  // setting.ini beside it; nothing: no file
  std::wstring homeFolder = L"home";                    // in the sandbox; HOMEDRIVE + HOMEPATH name it
  std::wstring workingFolder;                           // in the sandbox; empty: the program folder
  std::wstring arguments;
  // Further changes to the environment (a missing value removes the variable).
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment;
};

class ProgramUnderTest {
 public:
  ProgramUnderTest() = default;
  ProgramUnderTest(const ProgramUnderTest&) = delete;
  ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

  // Lays out the sandbox and starts the program; Error() says why not.
  bool Start(const ProgramSetup& setup);
  // Starts it again from the same program folder (settings kept).
  bool Restart();
  const std::string& Error() const { return error_; }

  const Sandbox& Files() const { return sandbox_; }
  Process& Launched() { return process_; }
  DWORD Id() const { return process_.Id(); }
  std::wstring ProgramFolder() const { return sandbox_.Path(setup_.programFolder); }
  std::wstring HomeFolder() const { return sandbox_.Path(setup_.homeFolder); }
  std::wstring ExecutablePath() const;

  Window WaitWindow(std::string_view caption, Milliseconds timeout = kDefaultTimeout) const {
    return WaitTopLevel(process_.Id(), caption, timeout);
  }
  MessageBoxWindow WaitMessageBox(std::string_view caption, Milliseconds timeout = kDefaultTimeout) const {
    return e2e::WaitMessageBox(process_.Id(), caption, timeout);
  }
  std::optional<int> WaitForExit(Milliseconds timeout = kDefaultTimeout) const {
    return process_.WaitForExit(timeout);
  }

 private:
  bool Launch();

  Sandbox sandbox_;
  Process process_;
  ProgramSetup setup_;
  std::string error_;
};

}  // namespace e2e
