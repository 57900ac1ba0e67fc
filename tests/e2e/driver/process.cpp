#include "tests/e2e/driver/process.h"

#include <algorithm>
#include <map>

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {

namespace {

struct NoCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_LESS_THAN;
  }
};

std::string LastErrorText(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

}  // namespace

std::wstring EnvironmentBlock(
    const std::vector<std::pair<std::wstring, std::optional<std::wstring>>>& changes) {
  std::map<std::wstring, std::wstring, NoCaseLess> variables;
  std::vector<std::wstring> driveEntries;  // "=C:=C:\x" entries keep their place and case
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text = entry;
      const size_t equals = text.find(L'=', 1);
      if (equals == std::wstring::npos) continue;
      if (text.front() == L'=') {
        driveEntries.push_back(text);
        continue;
      }
      variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables.erase(name);
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  std::wstring block;
  for (const std::wstring& entry : driveEntries) block += entry + L'\0';
  for (const auto& [name, value] : variables) block += name + L'=' + value + L'\0';
  block += L'\0';
  return block;
}

Process::~Process() { Kill(); }

bool Process::Start(const LaunchOptions& options) {
  Kill();
  error_.clear();
  if (!FileExists(options.executable)) {
    error_ = "no program at " + GbkFromWide(options.executable);
    return false;
  }
  std::wstring commandLine = L"\"" + options.executable + L"\"";
  if (!options.arguments.empty()) commandLine += L" " + options.arguments;
  const std::wstring folder =
      options.workingFolder.empty() ? FolderOf(options.executable) : options.workingFolder;
  std::wstring environment = EnvironmentBlock(options.environment);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION info{};
  // Suspended until it sits in the job, so not even its first child escapes.
  if (!CreateProcessW(options.executable.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment.data(), folder.c_str(),
                      &startup, &info)) {
    error_ = LastErrorText("CreateProcessW");
    return false;
  }
  process_.Reset(info.hProcess);
  KernelHandle thread(info.hThread);
  id_ = info.dwProcessId;
  threadId_ = info.dwThreadId;

  // The job ends the program even when the test process itself dies.
  job_.Reset(CreateJobObjectW(nullptr, nullptr));
  if (job_) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    AssignProcessToJobObject(job_.Get(), process_.Get());
  }
  ResumeThread(thread.Get());
  // Wait until the program is ready for input before the test drives it;
  // a program without a window yet simply lets this time out early.
  WaitForInputIdle(process_.Get(), 5000);
  return true;
}

bool Process::Running() const { return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }

std::optional<int> Process::WaitForExit(Milliseconds timeout) const {
  if (!process_) return std::nullopt;
  if (WaitForSingleObject(process_.Get(), static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  if (!GetExitCodeProcess(process_.Get(), &code)) return std::nullopt;
  return static_cast<int>(code);
}

void Process::Kill() {
  if (!process_) return;
  if (Running()) {
    TerminateProcess(process_.Get(), 0xDEAD);
    WaitForSingleObject(process_.Get(), 10000);
  }
  process_.Reset();
  job_.Reset();
  id_ = 0;
  threadId_ = 0;
}

}  // namespace e2e
