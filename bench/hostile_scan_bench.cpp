// The real program's scan over the hostile cache (a manifest naming 400,000
// segments under a 6 KB base, a playlist naming one cached 940 KB segment
// 100,000 times): /scomma and /copyall /partial, its peak working set as
// the system counts it, and the bytes it wrote against the bytes the cache
// holds.  Usage: hostile_scan_bench [PROGRAM] (else EE_PRODUCT_EXE).
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "runtime/core/handles.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/support/hostile_streams.h"

namespace {

std::uint64_t FolderBytes(const std::wstring& folder) {
  std::uint64_t bytes = 0;
  for (const std::wstring& name : e2e::FolderList(folder)) bytes += e2e::FileRead(folder + L"\\" + name).value_or("").size();
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  // The program's path is ASCII (a build tree), as the other benchmarks take it.
  const std::string given = argc > 1 ? argv[1] : "";
  const std::wstring program = argc > 1 ? e2e::WindowsPathFrom(std::wstring(given.begin(), given.end()))
                                        : e2e::PathFromEnvironment(L"EE_PRODUCT_EXE");
  if (program.empty()) {
    std::fprintf(stderr, "usage: hostile_scan_bench PROGRAM (or set EE_PRODUCT_EXE)\n");
    return 2;
  }
  e2e::Sandbox sandbox;
  hostile::SimpleCache cache;
  hostile::HostileCacheFill(cache);
  std::uint64_t cacheBytes = 0;
  sandbox.MakeFolder(L"cache");
  for (const CacheFileInfo& file : cache.Folder().List()) {
    const std::vector<std::uint8_t>& bytes = *cache.Folder().Bytes(file.name);
    cacheBytes += bytes.size();
    sandbox.WriteFile(L"cache\\" + std::wstring(file.name.begin(), file.name.end()),
                      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  sandbox.MakeFolder(L"save");
  const std::uint64_t media = hostile::kSegmentBytes + Init({"vide"}).size() + Fragment(3).size();

  std::wstring commandLine = L"\"" + program + L"\" /cachefolder \"" + sandbox.Path(L"cache") + L"\" /scomma \"" +
                             sandbox.Path(L"report.csv") + L"\" /copyall \"" + sandbox.Path(L"save") + L"\" /partial";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const ULONGLONG started = GetTickCount64();
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      sandbox.Root().c_str(), &startup, &info)) {
    std::fprintf(stderr, "cannot start the program: %lu\n", GetLastError());
    return 2;
  }
  KernelHandle process(info.hProcess);
  KernelHandle thread(info.hThread);
  // Asked while it runs: Wine has no counters for a process that has ended.
  PROCESS_MEMORY_COUNTERS counters{};
  bool measured = false;
  do {
    PROCESS_MEMORY_COUNTERS now{};
    now.cb = sizeof now;
    if (GetProcessMemoryInfo(process.Get(), &now, sizeof now) && now.PeakWorkingSetSize != 0) {
      measured = true;
      counters.PeakWorkingSetSize = std::max(counters.PeakWorkingSetSize, now.PeakWorkingSetSize);
      counters.PeakPagefileUsage = std::max(counters.PeakPagefileUsage, now.PeakPagefileUsage);
    }
  } while (WaitForSingleObject(process.Get(), 20) == WAIT_TIMEOUT);
  const ULONGLONG ended = GetTickCount64();
  DWORD code = 0;
  GetExitCodeProcess(process.Get(), &code);

  const std::string report = sandbox.ReadFile(L"report.csv").value_or("");
  std::size_t rows = 0, cut = 0;
  for (std::size_t at = 0; (at = report.find("\r\n", at)) != std::string::npos; at += 2) ++rows;
  for (std::size_t at = 0; (at = report.find(",\xE6\x98\xAF\r\n", at)) != std::string::npos; ++at) ++cut;
  std::printf("hostile cache: %llu bytes in %zu files (media bodies %llu bytes)\n",
              static_cast<unsigned long long>(cacheBytes), cache.Folder().List().size(),
              static_cast<unsigned long long>(media));
  std::printf("exit code %lu, %.1f s\n", code, (ended - started) / 1000.0);
  if (measured)
    std::printf("peak working set %.1f MiB, peak pagefile usage %.1f MiB\n", counters.PeakWorkingSetSize / 1048576.0,
                counters.PeakPagefileUsage / 1048576.0);
  else
    std::printf("peak working set: not measured (GetProcessMemoryInfo failed: %lu)\n", GetLastError());
  std::printf("report: %zu lines (header included), %zu ending in cut short = yes\n", rows, cut);
  std::printf("copies: %llu bytes written, %llu bytes of media held\n",
              static_cast<unsigned long long>(FolderBytes(sandbox.Path(L"save"))),
              static_cast<unsigned long long>(media));
  return code == 0 ? 0 : 1;
}
