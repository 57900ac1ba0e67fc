// Starting a program as a person's shell would, with a chosen environment,
// and making sure it never outlives the test that started it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/handles.h"
#include "tests/e2e/driver/poll.h"

namespace e2e {

struct LaunchOptions {
  std::wstring executable;  // Windows path
  std::wstring arguments;   // appended to the quoted executable path
  // Empty: the executable's own folder, as Explorer starts a program.
  std::wstring workingFolder;
  // Changes to the driver's own environment; a missing value removes the
  // variable.  Names compare without regard to case, as Windows does.
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment;
};

class Process {
 public:
  Process() = default;
  Process(Process&&) = default;
  Process& operator=(Process&&) = default;
  // Ends the program if it still runs: no test leaves a process behind.
  ~Process();

  // Starts the program; on failure Error() says why.
  bool Start(const LaunchOptions& options);
  const std::string& Error() const { return error_; }

  bool Started() const { return static_cast<bool>(process_); }
  DWORD Id() const { return id_; }
  DWORD MainThreadId() const { return threadId_; }
  HANDLE Handle() const { return process_.Get(); }
  bool Running() const;

  // Waits for the program to end by itself; its exit code (a signed value,
  // so an exit with -1 reads as -1), or nothing when it still runs.
  std::optional<int> WaitForExit(Milliseconds timeout = kDefaultTimeout) const;
  // Ends the program now and waits for it to be gone.
  void Kill();

 private:
  KernelHandle process_;
  KernelHandle job_;
  DWORD id_ = 0;
  DWORD threadId_ = 0;
  std::string error_;
};

// The driver's environment with the given changes, as a CreateProcessW block.
std::wstring EnvironmentBlock(
    const std::vector<std::pair<std::wstring, std::optional<std::wstring>>>& changes);

}  // namespace e2e
