// Soak run of the real program, driven from outside as a person would: the
// save folder picked in the chooser, video and audio chosen, start, then for
// a long time a steady stream of new files with bursts into new folders, and
// every prompt and result answered with OK.  Prints at intervals what was
// created, prompted and saved, and the program's threads, handles and
// private memory; at the end stops, exits, and checks that the save folder
// holds every created file's contents exactly once.
//   soak_program.exe [minutes=30] [files_per_second=3] [burst_every_s=60] [burst_files=40]
//   [report_every_s=60]
// Exits 1 when a file was lost, a copy is wrong, or the program misbehaved.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "bench/process_threads.h"
#include "tests/e2e/session/main_window_parts.h"

using namespace e2e;

namespace {

double NowSeconds() { return static_cast<double>(GetTickCount64()) / 1000.0; }

std::atomic<long> created{0};
std::atomic<bool> writing{true};
long prompts = 0, successes = 0, failures = 0;

std::string ContentsOf(long number) { return "soak file " + std::to_string(number) + "\n"; }

void Write(const Sandbox& files, double perSecond, int burstEverySeconds, int burstFiles) {
  const double started = NowSeconds();
  int bursts = 0;
  long number = 0;
  double next = NowSeconds();
  while (writing.load()) {
    if (burstEverySeconds > 0 && NowSeconds() - started >= (bursts + 1.0) * burstEverySeconds) {
      // A burst lands in a folder made just now, as a browser makes them.
      ++bursts;
      const std::wstring folder = L"home\\Cache\\burst" + std::to_wstring(bursts);
      for (int i = 0; i < burstFiles; ++i, ++number) {
        if (files.WriteFile(folder + L"\\b" + std::to_wstring(number) + L".flv", ContentsOf(number)))
          ++created;
      }
    }
    const std::wstring folder = L"home\\Cache\\steady" + std::to_wstring(number % 7);
    if (files.WriteFile(folder + L"\\s" + std::to_wstring(number) + L".mp3", ContentsOf(number))) ++created;
    ++number;
    next += 1.0 / perSecond;
    const double wait = next - NowSeconds();
    if (wait > 0) Sleep(static_cast<DWORD>(wait * 1000));
  }
}

void Report(double seconds, ProgramUnderTest& program) {
  DWORD handles = 0;
  GetProcessHandleCount(program.Launched().Handle(), &handles);
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(program.Launched().Handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                       sizeof memory);
  std::printf(
      "%7.0f s  created %6ld  prompts %6ld  saved %6ld  failed %3ld  waiting %5ld  threads %3zu  "
      "handles %5lu  private %7.1f MB\n",
      seconds, created.load(), prompts, successes, failures, created.load() - prompts,
      ThreadsOf(program.Id()), handles, static_cast<double>(memory.PrivateUsage) / (1024.0 * 1024.0));
  std::fflush(stdout);
}

// Answers the box showing now, if any, and counts it by its caption.
bool AnswerOne(ProgramUnderTest& program, Milliseconds wait) {
  MessageBoxWindow box = WaitAnyMessageBox(program.Id(), wait);
  if (!box) return false;
  const std::string caption = box.Caption();
  if (caption.find("侦测") != std::string::npos) {
    ++prompts;
  } else if (caption.find("成功") != std::string::npos) {
    ++successes;
  } else {
    ++failures;
    std::printf("soak: unexpected box \"%s\": %s\n", caption.c_str(), box.Message().c_str());
  }
  box.Answer(IDOK);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  auto argument = [&](int index, double fallback) {
    return argc > index ? std::atof(argv[index]) : fallback;
  };
  const double minutes = argument(1, 30);
  const double perSecond = argument(2, 3);
  const int burstEvery = static_cast<int>(argument(3, 60));
  const int burstFiles = static_cast<int>(argument(4, 40));
  const double reportEvery = argument(5, 60);

  ProgramUnderTest program;
  ProgramSetup setup;
  setup.executable = ProductExecutable();
  for (int i = 0; i < 7; ++i) program.Files().MakeFolder(L"home\\Cache\\steady" + std::to_wstring(i));
  program.Files().MakeFolder(L"save");
  if (!program.Start(setup)) {
    std::printf("soak: %s\n", program.Error().c_str());
    return 2;
  }
  Window main = program.WaitWindow(kMainCaption);
  MainWindowParts parts(main);
  const std::string saveFolder = GbkFromWide(program.Files().Path(L"save"));
  bool ready = main && parts.Button("浏览...").Click();
  Window chooser = ready ? program.WaitWindow(kChooserCaption) : Window();
  ready = chooser && chooser.Child(kChooserPathBoxId).SetText(saveFolder) &&
          chooser.ChildByClassText("Button", "确定").Click() && parts.SaveLabel().WaitText(saveFolder) &&
          parts.Video().SetChecked(true) && parts.Audio().SetChecked(true) && parts.Start().Click() &&
          parts.Stop().WaitEnabled(true);
  if (!ready) {
    std::printf("soak: the program did not reach a running watch\n");
    return 2;
  }
  std::printf("soak: %.1f min, %.1f files/s, a burst of %d every %d s; program %lu, watching %s\\\n", minutes,
              perSecond, burstFiles, burstEvery, program.Id(), GbkFromWide(program.HomeFolder()).c_str());
  Report(0, program);

  std::thread writer(Write, std::cref(program.Files()), perSecond, burstEvery, burstFiles);
  const double started = NowSeconds();
  double nextReport = reportEvery;
  while (NowSeconds() - started < minutes * 60) {
    AnswerOne(program, Milliseconds(200));
    if (NowSeconds() - started >= nextReport) {
      Report(NowSeconds() - started, program);
      nextReport += reportEvery;
    }
  }
  writing = false;
  writer.join();

  // Drain: every created file should be prompted for and saved.
  double lastProgress = NowSeconds();
  while (successes < created.load() && NowSeconds() - lastProgress < 60) {
    if (AnswerOne(program, Milliseconds(500))) lastProgress = NowSeconds();
  }
  Report(NowSeconds() - started, program);

  const bool stopped = parts.Stop().Click() && parts.Start().WaitEnabled(true);
  const bool exitClicked = parts.Button("退出").Click();
  const std::optional<int> exitCode = program.WaitForExit();

  std::map<std::string, int> copies;
  for (const std::wstring& name : FolderList(program.Files().Path(L"save"))) {
    ++copies[program.Files().ReadFile(L"save\\" + name).value_or("<unreadable>")];
  }
  long lost = 0, duplicated = 0;
  for (long number = 0; number < created.load(); ++number) {
    const auto found = copies.find(ContentsOf(number));
    if (found == copies.end()) {
      ++lost;
      continue;
    }
    duplicated += found->second - 1;
    copies.erase(found);
  }
  std::printf(
      "soak: created %ld, prompts %ld, saved %ld, failures %ld, lost %ld, duplicated %ld, foreign %zu; "
      "stop %s, exit code %d\n",
      created.load(), prompts, successes, failures, lost, duplicated, copies.size(),
      stopped ? "ok" : "FAILED", exitCode ? *exitCode : -999);
  const bool sound = lost == 0 && duplicated == 0 && copies.empty() && failures == 0 && stopped &&
                     exitClicked && exitCode == 0;
  return sound ? 0 : 1;
}
