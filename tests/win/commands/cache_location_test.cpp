#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/program_state/cache_location.h"
#include "runtime/core/program.h"
#include "tests/win/commands/scratch_folder.h"

namespace {

constexpr char kReportVariable[] = "EE_WATCHED_FOLDER_REPORT";

std::string VariableRead(const char* name) {
  char value[32768] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length < sizeof value ? std::string(value, length) : std::string();
}

bool IsHomeVariable(std::string_view entry) {
  const std::string name(entry.substr(0, entry.find('=', 1)));
  return lstrcmpiA(name.c_str(), "HOMEDRIVE") == 0 || lstrcmpiA(name.c_str(), "HOMEPATH") == 0;
}

// Starts this test program as a child whose environment is ours without the
// home variables, plus `home`; returns what the child's DefaultWatchedFolder gave.
std::string ChildWatchedFolder(const std::vector<std::string>& home, const std::string& reportFile) {
  std::string block;
  char* current = GetEnvironmentStringsA();
  for (const char* entry = current; *entry != '\0'; entry += std::strlen(entry) + 1) {
    if (!IsHomeVariable(entry)) block.append(entry).push_back('\0');
  }
  FreeEnvironmentStringsA(current);
  for (const auto& entry : home) block.append(entry).push_back('\0');
  block.append(kReportVariable).append("=").append(reportFile).push_back('\0');
  block.push_back('\0');

  std::string commandLine = "\"" + std::string(ProgramFolder()) + "\\" + std::string(ProgramFileName()) +
                            "\" --gtest_filter=DefaultWatchedFolderChild.*";
  // The child's own test report would only clutter ours.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = nul;
  startup.hStdError = nul;
  PROCESS_INFORMATION process{};
  DeleteFileA(reportFile.c_str());
  const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, block.data(),
                                      nullptr, &startup, &process);
  CloseHandle(nul);
  if (!started) return "<child not started>";
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return ScratchExists(reportFile) ? ScratchFileRead(reportFile) : "<no report>";
}

TEST(DefaultWatchedFolder, IsHomeDriveThenHomePathThenABackslash) {
  EXPECT_EQ(std::string(DefaultWatchedFolder()), VariableRead("HOMEDRIVE") + VariableRead("HOMEPATH") + "\\");
}

TEST(DefaultWatchedFolder, ComesFromTheStartEnvironmentUnchanged) {
  ScratchFolder scratch("watched");
  const std::string report = scratch.Path("report.txt");
  EXPECT_EQ(ChildWatchedFolder({"homedrive=C:", "HomePath=\\Users\\me"}, report), "C:\\Users\\me\\");
  EXPECT_EQ(ChildWatchedFolder({"HOMEDRIVE=D:", "HOMEPATH=\\"}, report), "D:\\\\") << "nothing is normalised";
  EXPECT_EQ(ChildWatchedFolder({"HOMEPATH=\\用户\\我"}, report), "\\用户\\我\\");
  EXPECT_EQ(ChildWatchedFolder({"HOMEDRIVE=%SystemDrive%", "HOMEPATH=\\x"}, report), "%SystemDrive%\\x\\")
      << "references are not expanded";
  EXPECT_EQ(ChildWatchedFolder({}, report), "\\");
}

// The child's half of the test above; it does nothing in an ordinary run.
TEST(DefaultWatchedFolderChild, Report) {
  const std::string reportFile = VariableRead(kReportVariable);
  if (reportFile.empty()) GTEST_SKIP() << "runs only as the child of ComesFromTheStartEnvironmentUnchanged";
  ScratchFileWrite(reportFile, std::string(DefaultWatchedFolder()));
}

}  // namespace
