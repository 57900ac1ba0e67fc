// Start-up of the program against a minimal Win32 window started the same
// way in the same run: from the call that starts the process to the main
// window visible and to the process idle (WaitForInputIdle), alternated,
// median of the runs.  The program also reports its own steps (entry,
// runtime started, templates parsed, main window built, its creation handler
// done, shown) through EE_STARTUP_MARKS, on the same clock.
//
//   startup_bench ElementExtractor.exe startup_minimal_window.exe [runs [earlier ElementExtractor.exe]]
//
// Each program runs from a folder of its own; the program's setting.ini
// says the first run is over, so no welcome notice stands in the way.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

constexpr DWORD kShowTimeoutMs = 30000;
constexpr DWORD kEndTimeoutMs = 5000;
const char* const kSteps[] = {"entry", "runtime", "templates", "built", "created", "shown"};

double CounterMs(long long counter) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct WindowSearch {
  DWORD process = 0;
  HWND found = nullptr;
};

BOOL CALLBACK VisibleWindowOf(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND VisibleWindow(DWORD process) {
  WindowSearch search{process, nullptr};
  EnumWindows(VisibleWindowOf, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct Run {
  double visible = -1;
  double idle = -1;
  std::map<std::string, double> steps;  // the program's own marks, ms after the start call
};

// The first time of each mark in the file, relative to `startMs`.
std::map<std::string, double> MarksRead(const std::wstring& path, double startMs) {
  std::map<std::string, double> marks;
  std::ifstream file(std::string(path.begin(), path.end()));
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string name;
    long long counter = 0;
    if (!(fields >> name >> counter)) continue;
    marks.emplace(name, CounterMs(counter) - startMs);
  }
  return marks;
}

bool RunOnce(const std::wstring& exe, const std::wstring& folder, const std::wstring& marks, Run& run) {
  DeleteFileW(marks.c_str());
  SetEnvironmentVariableW(L"EE_STARTUP_MARKS", marks.c_str());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring commandLine = L"\"" + exe + L"\"";
  const double start = NowMs();
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                      &startup, &process)) {
    std::fprintf(stderr, "cannot start %ls (%lu)\n", exe.c_str(), GetLastError());
    return false;
  }
  HWND window = nullptr;
  while ((window = VisibleWindow(process.dwProcessId)) == nullptr && NowMs() - start < kShowTimeoutMs)
    Sleep(1);
  run.visible = NowMs() - start;
  WaitForInputIdle(process.hProcess, kShowTimeoutMs);
  run.idle = NowMs() - start;
  if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, kEndTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, kEndTimeoutMs);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  SetEnvironmentVariableW(L"EE_STARTUP_MARKS", nullptr);
  run.steps = MarksRead(marks, start);
  return window != nullptr;
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}


struct Contender {
  const char* label;
  std::wstring exe;
  std::wstring folder;
  std::vector<Run> runs;
};

double Column(const std::vector<Run>& all, double (*pick)(const Run&, const char*), const char* step = "") {
  std::vector<double> values;
  for (const Run& run : all) {
    const double value = pick(run, step);
    if (value >= 0) values.push_back(value);
  }
  return Median(values);
}

double StepOf(const Run& run, const char* step) {
  const auto found = run.steps.find(step);
  return found == run.steps.end() ? -1.0 : found->second;
}
double VisibleOf(const Run& run, const char*) { return run.visible; }
double IdleOf(const Run& run, const char*) { return run.idle; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench PROGRAM.exe MINIMAL.exe [runs [EARLIER_PROGRAM.exe]]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring scratch =
      std::wstring(temp) + L"ee_startup_bench_" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(scratch.c_str(), nullptr);
  // The minimal window, the program and, when given, an earlier build of it
  // (before and after a change, measured in the same run).
  std::vector<Contender> contenders;
  contenders.push_back({"minimal", L"", scratch + L"\\minimal", {}});
  contenders.push_back({"program", L"", scratch + L"\\program", {}});
  if (argc > 4) contenders.push_back({"earlier", L"", scratch + L"\\earlier", {}});
  const char* const sources[] = {argv[2], argv[1], argc > 4 ? argv[4] : nullptr};
  const std::string settings = "[Setting]\r\nFirst=1\r\n";
  for (std::size_t i = 0; i < contenders.size(); ++i) {
    Contender& contender = contenders[i];
    CreateDirectoryW(contender.folder.c_str(), nullptr);
    contender.exe = contender.folder + (i == 0 ? L"\\minimal_window.exe" : L"\\ElementExtractor.exe");
    if (!CopyFileW(Wide(sources[i]).c_str(), contender.exe.c_str(), FALSE)) {
      std::fprintf(stderr, "cannot copy %s into %ls\n", sources[i], scratch.c_str());
      RemoveTree(scratch);
      return 2;
    }
    BytesWrite(contender.folder + L"\\setting.ini", std::vector<std::uint8_t>(settings.begin(), settings.end()), 0,
               settings.size(), false);
  }
  const std::wstring marks = scratch + L"\\marks.txt";

  // One unmeasured start of each first: the first start of a run loads
  // what later ones find in the page cache.
  for (Contender& contender : contenders) {
    Run warm;
    RunOnce(contender.exe, contender.folder, marks, warm);
  }
  for (int i = 0; i < runs; ++i) {
    // Each round starts with the next one, so that none is always first.
    for (std::size_t k = 0; k < contenders.size(); ++k) {
      Contender& contender = contenders[(i + k) % contenders.size()];
      Run run;
      if (!RunOnce(contender.exe, contender.folder, marks, run)) {
        std::fprintf(stderr, "round %d: the %s window did not show\n", i + 1, contender.label);
        RemoveTree(scratch);
        return 1;
      }
      contender.runs.push_back(std::move(run));
    }
  }
  RemoveTree(scratch);

  std::printf("start-up, median of %d alternated runs (ms from the start call)\n", runs);
  std::printf("  %-10s", "step");
  for (std::size_t k = 1; k < contenders.size(); ++k) std::printf(" %10s", contenders[k].label);
  std::printf("\n");
  for (const char* step : kSteps) {
    std::printf("  %-10s", step);
    for (std::size_t k = 1; k < contenders.size(); ++k) std::printf(" %10.1f", Column(contenders[k].runs, StepOf, step));
    std::printf("\n");
  }
  const double minimalVisible = Column(contenders[0].runs, VisibleOf);
  const double minimalIdle = Column(contenders[0].runs, IdleOf);
  std::printf("  minimal window: visible %.1f, idle %.1f\n", minimalVisible, minimalIdle);
  for (std::size_t k = 1; k < contenders.size(); ++k) {
    const double visible = Column(contenders[k].runs, VisibleOf);
    const double idle = Column(contenders[k].runs, IdleOf);
    std::printf("  %-8s visible %.1f (%.2fx the minimal window), idle %.1f (%.2fx)\n", contenders[k].label, visible,
                visible / minimalVisible, idle, idle / minimalIdle);
  }
  return 0;
}
