// Prints how fast the cache recognizer hands a Firefox cache2 entry on after
// its first body bytes reach the disk, and what it costs per entry file,
// with an empty entries folder and with one already holding 10,000 entries.
// Entries are written as firefox-esr writes them: created empty, the body in
// whole 256 KiB chunks, the metadata appended last; small resources all at
// once at close.  Run by hand; not a test.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/cache_watch/cache_watch.h"
#include "bench/bench_support.h"
#include "runtime/core/program.h"
#include "tests/support/firefox_entry_builder.h"

namespace {

using firefox_entry::Bytes;

constexpr int kEntries = 320;  // 20 media among 300 others
constexpr int kMediaEvery = 16;
constexpr std::size_t kMediaSize = 1500000;

Bytes Body(std::size_t length, std::string_view head, std::uint32_t seed) {
  Bytes bytes(length);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed * 31 + i * 7 + (i >> 9));
  std::copy(head.begin(), head.end(), bytes.begin());
  return bytes;
}

std::string EntryName(std::uint32_t prefix, int i) {
  char name[48];
  std::snprintf(name, sizeof name, "%08X%032X", prefix, static_cast<unsigned>(i));
  return name;
}

class Timing final : public MediaElementReceiver {
 public:
  void MediaElementFound(const MediaElementRef& element) override {
    const double now = NowMs();
    std::lock_guard<std::mutex> hold(lock);
    handedOn.emplace_back(element.fileName, now);
  }
  std::mutex lock;
  std::vector<std::pair<std::string, double>> handedOn;
};

void Prefill(const std::wstring& entries, int count) {
  const Bytes small = Body(300, "body {", 1);
  for (int i = 0; i < count; ++i) {
    const Bytes entry = firefox_entry::Whole(small, ":https://old.test/" + std::to_string(i),
                                             firefox_entry::Head("text/css", 300));
    BytesWrite(entries + L"\\" + Wide(EntryName(0xA0000000u, i)), entry, 0, entry.size(), false);
  }
}

// New entries in the order a page brings them: every entry created empty,
// each medium's first chunk at once, its other chunks and metadata after the
// others; the times the first body bytes reached the disk.
std::map<std::string, double> Load(const std::wstring& entries) {
  std::map<std::string, double> firstBytes;
  const Bytes media = Body(kMediaSize,
                           std::string_view("\0\0\0\x20"
                                            "ftypisom",
                                            12),
                           2);
  const Bytes image = Body(6000, "\x89PNG\r\n\x1a\n", 3);
  std::vector<int> open;
  for (int i = 0; i < kEntries; ++i) {
    const std::string name = EntryName(0xB0000000u, i);
    const std::wstring path = entries + L"\\" + Wide(name);
    BytesWrite(path, {}, 0, 0, false);
    if (i % kMediaEvery == 0) {
      BytesWrite(path, media, 0, kFirefoxChunkSize, true);
      firstBytes[name] = NowMs();
      open.push_back(i);
    } else {
      const Bytes entry = firefox_entry::Whole(image, ":http://127.0.0.1:8765/i" + std::to_string(i) + ".png",
                                               firefox_entry::Head("image/png", image.size()));
      BytesWrite(path, entry, 0, entry.size(), true);
    }
  }
  for (int i : open) {
    const std::wstring path = entries + L"\\" + Wide(EntryName(0xB0000000u, i));
    for (std::size_t at = kFirefoxChunkSize; at < kMediaSize; at += kFirefoxChunkSize)
      BytesWrite(path, media, at, std::min<std::size_t>(kMediaSize, at + kFirefoxChunkSize), true);
    const Bytes meta =
        firefox_entry::Metadata(kMediaSize, ":http://127.0.0.1:8765/v" + std::to_string(i) + ".mp4",
                                firefox_entry::Head("video/mp4", kMediaSize));
    BytesWrite(path, meta, 0, meta.size(), true);
  }
  return firstBytes;
}

void Run(int oldEntries) {
  const std::string root =
      std::string(ProgramFolder()) + "\\firefox_bench_" + std::to_string(GetCurrentProcessId());
  const std::wstring wideRoot = Wide(root);
  RemoveTree(wideRoot);
  std::wstring entries = wideRoot;
  CreateDirectoryW(entries.c_str(), nullptr);
  for (const wchar_t* part : {L"\\Profiles", L"\\b.default-release", L"\\cache2", L"\\entries"}) {
    entries += part;
    CreateDirectoryW(entries.c_str(), nullptr);
  }
  const double prefillStart = NowMs();
  Prefill(entries, oldEntries);
  const double prefillMs = NowMs() - prefillStart;

  Timing timing;
  CacheElementRecognizer recognizer(timing);
  std::uintptr_t handle = OpenWatchFolder(root, recognizer);
  Sleep(500);  // the watch armed and, under Wine, its subfolder walk done
  const double start = NowMs();
  const std::map<std::string, double> firstBytes = Load(entries);
  const double loadMs = NowMs() - start;
  const std::size_t media = firstBytes.size();
  for (int waited = 0; waited < 10000; waited += 20) {
    {
      std::lock_guard<std::mutex> hold(timing.lock);
      if (timing.handedOn.size() >= media) break;
    }
    Sleep(20);
  }
  Sleep(500);
  CloseWatchHandleAsync(handle);
  const CacheWatchFigures figures = recognizer.Figures();
  recognizer.Stop();

  std::vector<double> latencies;
  int wrongOnes = 0;
  {
    std::lock_guard<std::mutex> hold(timing.lock);
    for (const auto& [name, at] : timing.handedOn) {
      const auto found = firstBytes.find(name);
      if (found == firstBytes.end()) {
        ++wrongOnes;
        continue;
      }
      latencies.push_back(at - found->second);
    }
  }
  const double files = static_cast<double>(std::max<std::uint64_t>(1, figures.candidates.filesSeen));
  std::printf("firefox     old entries %5d (written in %6.0f ms)  load %5.0f ms\n", oldEntries, prefillMs,
              loadMs);
  std::printf(
      "  handed on %2zu of %zu media (%d others)  first bytes -> hand-off: median %7.1f ms  p99 %7.1f ms\n",
      latencies.size(), media, wrongOnes, Percentile(latencies, 0.5), Percentile(latencies, 0.99));
  std::printf("  cache files seen %llu, element reads %llu, forgotten %llu\n",
              static_cast<unsigned long long>(figures.candidates.filesSeen),
              static_cast<unsigned long long>(figures.candidates.looks),
              static_cast<unsigned long long>(figures.candidates.forgotten));
  std::printf("  looker CPU %.1f ms in all, %.3f ms per cache file\n", figures.lookerCpu100ns / 1e4,
              figures.lookerCpu100ns / 1e4 / files);
  Sleep(300);
  RemoveTree(wideRoot);
}

}  // namespace

int main() {
  RuntimeStart();
  std::printf(
      "firefox watch benchmark: %d entries arriving, 1 in %d a 1.5 MB MP4 in 256 KiB chunks, "
      "look interval %lu ms\n",
      kEntries, kMediaEvery, static_cast<unsigned long>(kCacheLookIntervalMs));
  for (int old : {0, 10000}) Run(old);
  return 0;
}
