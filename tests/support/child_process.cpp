#include "tests/support/child_process.h"

#include <fstream>
#include <map>
#include <sstream>

#include "runtime/core/text_encoding_wide.h"

namespace {

constexpr std::string_view kChildOption = "--ee-child=";

std::map<std::string, ChildRoutine>& Routines() {
  static std::map<std::string, ChildRoutine> routines;
  return routines;
}

struct DialogSearch {
  DWORD processId;
  std::string_view caption;
  HWND found = nullptr;
};

BOOL CALLBACK DialogSearchVisit(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<DialogSearch*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search.processId || !IsWindowVisible(window)) return TRUE;
  wchar_t text[512] = {};
  GetClassNameW(window, text, 512);
  if (std::wstring_view(text) != L"#32770") return TRUE;
  GetWindowTextW(window, text, 512);
  if (AnsiFromWide(text) != search.caption) return TRUE;
  search.found = window;
  return FALSE;
}

}  // namespace

ChildRoutineRegistration::ChildRoutineRegistration(const char* name, ChildRoutine routine) {
  Routines()[name] = routine;
}

std::optional<int> ChildRoutineRunFromCommandLine(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string_view option = argv[1];
  if (option.substr(0, kChildOption.size()) != kChildOption) return std::nullopt;
  const auto found = Routines().find(std::string(option.substr(kChildOption.size())));
  if (found == Routines().end()) return 99;
  return found->second(argc > 2 ? argv[2] : "");
}

ChildProcess::ChildProcess(std::string_view routine, std::string_view argument) {
  wchar_t self[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::wstring commandLine =
      L"\"" + std::wstring(self) + L"\" " + WideFromAnsi(kChildOption) + WideFromAnsi(routine);
  if (!argument.empty()) commandLine += L" \"" + WideFromAnsi(argument) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  processId_ = info.dwProcessId;
  mainThreadId_ = info.dwThreadId;
}

ChildProcess::~ChildProcess() {
  if (process_ == nullptr) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 250);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

std::optional<int> ChildProcess::Wait(DWORD timeoutMs) {
  if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<int>(code);
}

HWND ChildProcess::DialogWait(std::string_view caption, DWORD timeoutMs) const {
  const DWORD start = GetTickCount();
  for (;;) {
    DialogSearch search{processId_, caption};
    EnumWindows(DialogSearchVisit, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || GetTickCount() - start >= timeoutMs) return search.found;
    Sleep(20);
  }
}

std::string TemporaryFilePath(std::string_view stem) {
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  std::ostringstream path;
  path << folder << stem << '-' << GetCurrentProcessId() << '-' << GetTickCount() << ".txt";
  DeleteFileA(path.str().c_str());
  return path.str();
}

std::optional<std::string> FileContent(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}
