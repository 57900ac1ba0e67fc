#include "tests/e2e/driver/linux_side.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "runtime/core/handles.h"

namespace e2e {
namespace {

const std::wstring kProc = L"Z:\\proc\\";

// The whole of a /proc file (they report a size of 0, so read to the end).
std::string ProcRead(const std::wstring& path) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr));
  if (!file) return {};
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  return bytes;
}

// Names in a /proc folder that are numbers (processes, threads).
std::vector<std::wstring> NumberedEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  FindHandle guard(find);
  do {
    const std::wstring name = entry.cFileName;
    if (!name.empty() && std::all_of(name.begin(), name.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
      names.push_back(name);
  } while (FindNextFileW(find, &entry));
  return names;
}

std::string Utf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string bytes(static_cast<std::size_t>(length - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The first word of a process's command line.
std::string FirstArgument(const std::wstring& pid) {
  const std::string line = ProcRead(kProc + pid + L"\\cmdline");
  return line.substr(0, line.find('\0'));
}

template <class Match>
std::vector<unsigned long> ProcessesWhere(Match&& match) {
  std::vector<unsigned long> pids;
  for (const std::wstring& pid : NumberedEntries(kProc)) {
    if (match(pid)) pids.push_back(std::wcstoul(pid.c_str(), nullptr, 10));
  }
  return pids;
}

}  // namespace

std::vector<unsigned long> UnixProcessesOf(const std::wstring& executable) {
  const std::string wanted = Lower(Utf8(executable));
  if (wanted.empty()) return {};
  return ProcessesWhere([&](const std::wstring& pid) { return Lower(FirstArgument(pid)) == wanted; });
}

std::string ThreadStates(unsigned long unixPid) {
  const std::wstring tasks = kProc + std::to_wstring(unixPid) + L"\\task\\";
  std::string states;
  for (const std::wstring& thread : NumberedEntries(tasks)) {
    // "pid (name) S ...": the state follows the name's closing bracket.
    const std::string stat = ProcRead(tasks + thread + L"\\stat");
    const std::string::size_type close = stat.rfind(')');
    if (close != std::string::npos && close + 2 < stat.size()) states += stat[close + 2];
  }
  return states;
}

bool WaitAllAsleep(const std::vector<unsigned long>& unixPids, Milliseconds quiet, Milliseconds timeout) {
  if (unixPids.empty()) return false;
  const auto anyRunning = [&] {
    for (unsigned long pid : unixPids) {
      if (ThreadStates(pid).find('R') != std::string::npos) return true;
    }
    return false;
  };
  ULONGLONG asleepSince = GetTickCount64();
  return WaitUntil(
      [&] {
        const ULONGLONG now = GetTickCount64();
        if (anyRunning()) asleepSince = now;
        return now - asleepSince >= quiet.count();
      },
      timeout, Milliseconds(20));
}

}  // namespace e2e
