// Soak run: one watch session for a long time under a steady stream of new
// files with bursts, every prompt confirmed as a person would.  Prints at
// intervals what was created, detected and saved, overflows and recovered
// files, and the process's threads, handles and private memory; at the end,
// which files were never saved.  Run by hand under Wine or Windows:
//   soak.exe [minutes=30] [files_per_second=3] [burst_every_s=60] [burst_files=40] [report_every_s=30]
// Exits 1 when a created file was not saved.
#include <windows.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "app/detection/detection.h"
#include "app/detection/detection_sink.h"
#include "app/extensions/extension_catalogue.h"
#include "app/program_state/shared_values.h"
#include "app/watch/watch.h"
#include "bench/process_threads.h"
#include "runtime/core/program.h"
#include "tests/support/dialog_answerer.h"

namespace {

// <chrono> does not build with the GBK execution charset.
double NowSeconds() { return static_cast<double>(GetTickCount64()) / 1000.0; }

class AllClasses : public ClassSwitches {
 public:
  bool VideoChecked() override { return true; }
  bool AudioChecked() override { return true; }
  bool UserDefinedChecked() override { return true; }
};

std::atomic<long> created{0}, prompts{0}, successes{0}, failures{0};
std::atomic<bool> writing{true}, answering{true};

DWORD HandleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return count;
}

double PrivateMegabytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  return static_cast<double>(counters.PrivateUsage) / (1024.0 * 1024.0);
}

long FilesIn(const std::string& folder) {
  long count = 0;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return count;
}

bool FileCreate(const std::string& path, long number) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Contents tell the copies apart (the save names are detection times).
  const std::string contents = "soak file " + std::to_string(number) + "\n";
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
  return true;
}

// Presses OK on every message box of the process, one after another (the
// detection lock shows them one at a time), and counts them by caption.
void Answer() {
  DialogAnswerer person(DialogAnswerer::Scope::ThisProcess, 500);
  while (answering.load()) {
    HWND box = person.Wait("");
    if (box == nullptr) continue;
    const std::string caption = DialogAnswerer::View(box).caption;
    if (caption.find("侦测") != std::string::npos)
      ++prompts;
    else if (caption.find("成功") != std::string::npos)
      ++successes;
    else if (caption.find("失败") != std::string::npos)
      ++failures;
    DialogAnswerer::PressButton(box, IDOK);
    person.WaitClosed(box);
  }
}

void Write(const std::string& watched, double perSecond, int burstEverySeconds, int burstFiles) {
  const double started = NowSeconds();
  int bursts = 0;
  long number = 0;
  const double pause = 1.0 / perSecond;
  double next = NowSeconds();
  while (writing.load()) {
    const double seconds = NowSeconds() - started;
    if (burstEverySeconds > 0 && seconds >= (bursts + 1) * burstEverySeconds) {
      // A burst lands in a folder made just now, as a browser makes them.
      ++bursts;
      const std::string folder = watched + "\\burst" + std::to_string(bursts);
      CreateDirectoryA(folder.c_str(), nullptr);
      for (int i = 0; i < burstFiles; ++i, ++number) {
        if (FileCreate(folder + "\\b" + std::to_string(number) + ".flv", number)) ++created;
      }
    }
    const std::string folder = watched + "\\steady" + std::to_string(number % 7);
    if (FileCreate(folder + "\\s" + std::to_string(number) + ".mp3", number)) ++created;
    ++number;
    next += pause;
    const double wait = next - NowSeconds();
    if (wait > 0) Sleep(static_cast<DWORD>(wait * 1000));
  }
}

void Report(double seconds) {
  const WatchStatistics watch = WatchStatisticsRead();
  std::printf(
      "%7.0f s  created %6ld  prompts %6ld  saved %6ld  failed %3ld  waiting %5zu  overflows %3llu  "
      "recovered %5llu  threads %3zu  handles %5lu  private %7.1f MB\n",
      seconds, created.load(), prompts.load(), successes.load(), failures.load(), watch.filesWaiting,
      static_cast<unsigned long long>(watch.overflows), static_cast<unsigned long long>(watch.filesRecovered),
      ThreadsOf(GetCurrentProcessId()), HandleCount(), PrivateMegabytes());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  RuntimeStart();
  auto argument = [&](int index, double fallback) {
    return argc > index ? std::atof(argv[index]) : fallback;
  };
  const double minutes = argument(1, 30);
  const double perSecond = argument(2, 3);
  const int burstEvery = static_cast<int>(argument(3, 60));
  const int burstFiles = static_cast<int>(argument(4, 40));
  const double reportEvery = argument(5, 30);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string root = std::string(temp) + "eesoak_" + std::to_string(GetTickCount());
  const std::string watched = root + "\\watched", save = root + "\\save";
  CreateDirectoryA(root.c_str(), nullptr);
  CreateDirectoryA(watched.c_str(), nullptr);
  CreateDirectoryA(save.c_str(), nullptr);
  for (int i = 0; i < 7; ++i) CreateDirectoryA((watched + "\\steady" + std::to_string(i)).c_str(), nullptr);

  BuiltInExtensionsFill();
  AllClasses switches;
  DetectionClassSwitchesSet(&switches);
  SaveFolder.Replace(MakeText(save));
  static DetectionSink detection;
  std::uintptr_t handle = OpenWatchFolder(watched, detection);
  if (handle == 0) {
    std::printf("soak: cannot watch %s\n", watched.c_str());
    return 2;
  }
  std::printf("soak: %.1f min, %.1f files/s, a burst of %d every %d s; watching %s\n", minutes, perSecond,
              burstFiles, burstEvery, watched.c_str());
  Sleep(1000);  // the Wine subfolder walk reaches the steady folders
  Report(0);

  std::thread answerer(Answer);
  std::thread writer(Write, watched, perSecond, burstEvery, burstFiles);
  const double started = NowSeconds();
  auto elapsed = [&] { return NowSeconds() - started; };
  double nextReport = reportEvery;
  while (elapsed() < minutes * 60) {
    Sleep(200);
    if (elapsed() >= nextReport) {
      Report(elapsed());
      nextReport += reportEvery;
    }
  }
  writing = false;
  writer.join();

  // Drain: every created file should be prompted for and saved.
  long lastSaved = -1;
  double lastProgress = NowSeconds();
  while (FilesIn(save) < created.load()) {
    Sleep(1000);
    const long saved = FilesIn(save);
    if (saved != lastSaved) {
      lastSaved = saved;
      lastProgress = NowSeconds();
    } else if (NowSeconds() - lastProgress > 60) {
      break;  // nothing moved for a minute
    }
  }
  Report(elapsed());
  CloseWatchHandleAsync(handle);
  Sleep(2000);
  answering = false;
  answerer.join();
  Report(elapsed());

  const long saved = FilesIn(save);
  std::printf("soak: created %ld, saved %ld, prompts %ld, failures %ld, lost %ld\n", created.load(), saved,
              prompts.load(), failures.load(), created.load() - saved);
  return saved == created.load() ? 0 : 1;
}
