// Prints how fast the cache recognizer hands a media element on after its
// first body bytes reach the disk, what it costs per cache file, with an
// empty cache and with one already holding 10,000 entries, for both
// Chromium stores; and the named-file latency with and without the
// recognizer in the sessions' fan-out.  Entries are hand-built (the
// end-to-end benchmark measures the real browser).  Run by hand; not a test.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/browser_caches/chromium_block_files.h"
#include "app/cache_watch/cache_watch.h"
#include "app/session_sinks.h"
#include "bench/bench_support.h"
#include "runtime/core/program.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

constexpr int kEntries = 320;  // 20 media among 300 others
constexpr int kMediaEvery = 16;

ByteVector ImageBody(std::size_t length, std::uint32_t seed) {
  ByteVector bytes = Pattern(length, seed);
  const char head[] = "\x89PNG\r\n\x1a\n";
  std::copy(head, head + 8, bytes.begin());
  return bytes;
}

std::string UrlOf(int i) {
  return "http://127.0.0.1:8765/r" + std::to_string(i) + (i % kMediaEvery == 0 ? ".mp4" : ".png");
}
std::string KeyOf(int i) { return "1/0/_dk_http://127.0.0.1 http://127.0.0.1 " + UrlOf(i); }

class Timing final : public MediaElementReceiver {
 public:
  void MediaElementFound(const MediaElementRef& element) override {
    const double now = NowMs();
    std::lock_guard<std::mutex> hold(lock);
    handedOn.emplace_back(element.webAddress, now);
  }
  std::mutex lock;
  std::vector<std::pair<std::string, double>> handedOn;
};

struct Written {
  std::vector<double> firstBytes = std::vector<double>(kEntries, -1.0);
};

// ---- simple cache ----

ByteVector SimpleIndexBytes() {
  ByteVector index;
  PutU64(index, 0, 0xfcfb6d1ba7725c30ull);
  PutU32(index, 8, 9);
  index.resize(24, 0);
  return index;
}

std::string HexName(std::uint64_t value) {
  char name[24];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(value));
  return name;
}

void SimplePrefill(const std::wstring& cache, int entries) {
  const ByteVector pickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: text/css"}));
  for (int i = 0; i < entries; ++i) {
    const ByteVector file =
        SimpleMainFile("1/0/https://old.test/" + std::to_string(i), Pattern(300, i), &pickle);
    BytesWrite(cache + L"\\" + Wide(HexName(0xA000000000000000ull + i)) + L"_0", file, 0, file.size(), false);
  }
}

void SimpleLoad(const std::wstring& cache, Written& written) {
  const ByteVector mediaPickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4"}));
  const ByteVector imagePickle = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: image/png"}));
  for (int i = 0; i < kEntries; ++i) {
    const bool media = i % kMediaEvery == 0;
    const std::string key = KeyOf(i);
    const std::wstring path = cache + L"\\" + Wide(HexName(0x1000000000000000ull + i)) + L"_0";
    const ByteVector body = media ? Mp4Head(1500000, i) : ImageBody(2000 + 97 * i, i);
    const ByteVector whole = SimpleMainFile(key, body, media ? &mediaPickle : &imagePickle);
    const std::size_t bodyStart = 24 + key.size();
    BytesWrite(path, whole, 0, bodyStart, false);  // the entry made: header and key
    const std::size_t first = std::min<std::size_t>(bodyStart + 65536, bodyStart + body.size());
    BytesWrite(path, whole, bodyStart, first, true);
    written.firstBytes[i] = NowMs();
    for (std::size_t at = first; at < whole.size(); at += 262144)
      BytesWrite(path, whole, at, std::min(whole.size(), at + 262144), true);
    Sleep(3);
  }
}

// ---- block files ----

struct BlockCache {
  MemoryCacheFolder folder;
  std::vector<std::string> externalOf = std::vector<std::string>(kEntries);  // the entry's body file, if any
};

void BlockBuild(BlockCache& cache, int oldEntries) {
  BlockCacheBuilder builder(0x10000);  // the browser's default table
  for (int i = 0; i < oldEntries; ++i) {
    BlockCacheBuilder::Entry entry{"1/0/https://old.test/" + std::to_string(i), 0, {}};
    builder.Add(entry, BlockFileKeyHash(entry.key));
  }
  const ByteVector mediaHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: video/mp4", "Content-Length: 1500000"}));
  const ByteVector imageHeaders = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: image/png"}));
  std::vector<ByteVector> bodies;
  bodies.reserve(kEntries);
  int externals = 0;
  for (int i = 0; i < kEntries; ++i) {
    const bool media = i % kMediaEvery == 0;
    // A third of the others are large enough for a file of their own.
    const bool large = media || i % 3 == 0;
    bodies.push_back(media ? Mp4Head(1500000, i) : ImageBody(large ? 20000 + 97 * i : 2000 + 37 * i, i));
    BlockCacheBuilder::Entry entry{KeyOf(i), 0, {media ? &mediaHeaders : &imageHeaders, &bodies.back()}};
    builder.Add(entry, BlockFileKeyHash(entry.key));
    if (large) {
      char name[16];
      std::snprintf(name, sizeof name, "f_%06x", ++externals);
      cache.externalOf[i] = name;
    }
  }
  builder.Build(cache.folder);
}

// The index and block files first (the browser keeps them open and writes
// records in place); then each entry's external file as its body arrives.
void BlockPrepare(const std::wstring& folder, BlockCache& cache) {
  for (const char* name : {"index", "data_0", "data_1", "data_2", "data_3"}) {
    const ByteVector& bytes = *cache.folder.Bytes(name);
    BytesWrite(folder + L"\\" + Wide(name), bytes, 0, bytes.size(), false);
  }
}

void BlockLoad(const std::wstring& folder, BlockCache& cache, Written& written) {
  for (int i = 0; i < kEntries; ++i) {
    if (cache.externalOf[i].empty()) {
      Sleep(3);
      continue;
    }
    const ByteVector& bytes = *cache.folder.Bytes(cache.externalOf[i]);
    const std::wstring path = folder + L"\\" + Wide(cache.externalOf[i]);
    const std::size_t first = std::min<std::size_t>(65536, bytes.size());
    BytesWrite(path, bytes, 0, first, false);
    written.firstBytes[i] = NowMs();
    for (std::size_t at = first; at < bytes.size(); at += 262144)
      BytesWrite(path, bytes, at, std::min(bytes.size(), at + 262144), true);
    Sleep(3);
  }
}

void Run(bool blockFiles, int oldEntries) {
  const std::string root =
      std::string(ProgramFolder()) + "\\cache_bench_" + std::to_string(GetCurrentProcessId());
  RemoveTree(Wide(root));
  const std::wstring wideRoot = Wide(root);
  std::wstring cache = wideRoot;
  CreateDirectoryW(cache.c_str(), nullptr);
  for (const wchar_t* part : {L"\\User Data", L"\\Default", L"\\Cache", L"\\Cache_Data"}) {
    cache += part;
    CreateDirectoryW(cache.c_str(), nullptr);
  }
  BlockCache block;
  const double prefillStart = NowMs();
  if (blockFiles) {
    BlockBuild(block, oldEntries);
    BlockPrepare(cache, block);
  } else {
    const ByteVector index = SimpleIndexBytes();
    BytesWrite(cache + L"\\index", index, 0, index.size(), false);
    SimplePrefill(cache, oldEntries);
  }
  const double prefillMs = NowMs() - prefillStart;

  Timing timing;
  CacheElementRecognizer recognizer(timing);
  std::uintptr_t handle = OpenWatchFolder(root, recognizer);
  Sleep(500);  // the watch armed and, under Wine, its subfolder walk done
  Written written;
  const double start = NowMs();
  if (blockFiles) {
    BlockLoad(cache, block, written);
  } else {
    SimpleLoad(cache, written);
  }
  const double loadMs = NowMs() - start;
  const int media = (kEntries + kMediaEvery - 1) / kMediaEvery;
  for (int waited = 0; waited < 10000; waited += 20) {
    {
      std::lock_guard<std::mutex> hold(timing.lock);
      if (static_cast<int>(timing.handedOn.size()) >= media) break;
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
    for (const auto& [address, at] : timing.handedOn) {
      int index = -1;
      for (int i = 0; i < kEntries; ++i) {
        if (UrlOf(i) == address) index = i;
      }
      if (index < 0 || index % kMediaEvery != 0) {
        ++wrongOnes;
        continue;
      }
      latencies.push_back(at - written.firstBytes[index]);
    }
  }
  const double files = static_cast<double>(std::max<std::uint64_t>(1, figures.candidates.filesSeen));
  std::printf("%-11s old entries %5d (written in %6.0f ms)  load %5.0f ms\n",
              blockFiles ? "block files" : "simple", oldEntries, prefillMs, loadMs);
  std::printf(
      "  handed on %2zu of %d media (%d others)  first bytes -> hand-off: median %7.1f ms  p99 %7.1f ms\n",
      latencies.size(), media, wrongOnes, Percentile(latencies, 0.5), Percentile(latencies, 0.99));
  std::printf(
      "  cache files seen %llu, element reads %llu, data_1 passes %llu, index walks %llu, forgotten %llu\n",
      static_cast<unsigned long long>(figures.candidates.filesSeen),
      static_cast<unsigned long long>(figures.candidates.looks),
      static_cast<unsigned long long>(figures.candidates.ownerScans),
      static_cast<unsigned long long>(figures.candidates.fullReads),
      static_cast<unsigned long long>(figures.candidates.forgotten));
  std::printf("  looker CPU %.1f ms in all, %.3f ms per cache file\n", figures.lookerCpu100ns / 1e4,
              figures.lookerCpu100ns / 1e4 / files);
  Sleep(300);
  RemoveTree(wideRoot);
}

// ---- bodies inside the block files ----

constexpr int kSmallImages = 1000;

// Writes bytes [from, to) at `from` of a file that stays as long as it was.
bool BytesPatch(const std::wstring& path, const ByteVector& bytes, std::size_t from, std::size_t to) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LONG high = static_cast<LONG>(static_cast<std::uint64_t>(from) >> 32);
  SetFilePointer(file, static_cast<LONG>(from), &high, FILE_BEGIN);
  DWORD written = 0;
  const bool ok = to <= from || (WriteFile(file, bytes.data() + from, static_cast<DWORD>(to - from), &written,
                                           nullptr) &&
                                 written == to - from);
  CloseHandle(file);
  return ok;
}

double CpuMs(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  const bool got = thread == nullptr ? GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)
                                     : GetThreadTimes(thread, &created, &exited, &kernel, &user);
  if (!got) return 0;
  auto value = [](const FILETIME& time) {
    return static_cast<double>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
  };
  return (value(kernel) + value(user)) / 1e4;
}

// A cache made while the watch runs, then a page of 1,000 small images and
// one MP3 of 10 KB, every body inside data_1..3 (no "f_" file): the index
// and the block files rewritten in place ten entries at a time, as the
// browser's records land.
void SmallBodies() {
  const std::string root =
      std::string(ProgramFolder()) + "\\small_bench_" + std::to_string(GetCurrentProcessId());
  RemoveTree(Wide(root));
  const std::wstring wideRoot = Wide(root);
  std::wstring cache = wideRoot;
  CreateDirectoryW(cache.c_str(), nullptr);
  for (const wchar_t* part : {L"\\User Data", L"\\Default", L"\\Cache", L"\\Cache_Data"}) {
    cache += part;
    CreateDirectoryW(cache.c_str(), nullptr);
  }
  Timing timing;
  CacheElementRecognizer recognizer(timing);
  std::uintptr_t handle = OpenWatchFolder(root, recognizer);
  Sleep(500);
  HANDLE self = nullptr;
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                  DUPLICATE_SAME_ACCESS);
  const double processBefore = CpuMs(nullptr);
  const double selfBefore = CpuMs(self);

  BlockCacheBuilder builder(0x10000);
  MemoryCacheFolder memory;
  builder.Build(memory);
  const char* const names[] = {"index", "data_0", "data_1", "data_2", "data_3"};
  std::size_t sizes[5] = {};
  for (int i = 0; i < 5; ++i) {
    const ByteVector& bytes = *memory.Bytes(names[i]);
    BytesWrite(cache + L"\\" + Wide(names[i]), bytes, 0, bytes.size(), false);
    sizes[i] = bytes.size();
  }
  Sleep(300);
  const ByteVector imageHeaders = ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: image/png"}));
  const ByteVector audioHeaders =
      ResponsePickle(HeaderBlock({"HTTP/1.1 200 OK", "Content-Type: audio/mpeg", "Content-Length: 10240"}));
  ByteVector mp3 = Pattern(10240, 99);
  const std::uint8_t id3[] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
  std::copy(std::begin(id3), std::end(id3), mp3.begin());
  const double start = NowMs();
  double mp3Written = 0;
  for (int i = 0; i < kSmallImages; ++i) {
    const ByteVector body = ImageBody(1500 + (i * 37) % 6000, i);
    BlockCacheBuilder::Entry entry{"1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/img" +
                                       std::to_string(i) + ".png",
                                   0,
                                   {&imageHeaders, &body}};
    builder.Add(entry, BlockFileKeyHash(entry.key));
    if (i == kSmallImages / 2) {
      BlockCacheBuilder::Entry audio{"1/0/_dk_http://127.0.0.1 http://127.0.0.1 http://127.0.0.1:8765/clip.mp3",
                                     0,
                                     {&audioHeaders, &mp3}};
      builder.Add(audio, BlockFileKeyHash(audio.key));
    }
    if (i % 10 != 9) continue;
    builder.Build(memory);
    for (int f = 0; f < 5; ++f) {
      const ByteVector& bytes = *memory.Bytes(names[f]);
      // Records change in place in the index, data_0 and data_1; bodies only add.
      const std::size_t from = f <= 2 ? 0 : sizes[f];
      BytesPatch(cache + L"\\" + Wide(names[f]), bytes, from, bytes.size());
      sizes[f] = bytes.size();
    }
    if (i / 10 == kSmallImages / 20) mp3Written = NowMs();
    Sleep(5);
  }
  const double loadMs = NowMs() - start;
  for (int waited = 0; waited < 10000; waited += 20) {
    {
      std::lock_guard<std::mutex> hold(timing.lock);
      if (!timing.handedOn.empty()) break;
    }
    Sleep(20);
  }
  Sleep(2000);  // and the folder idle for a while
  const double writerMs = CpuMs(self) - selfBefore;
  const double programMs = CpuMs(nullptr) - processBefore - writerMs;
  CloseWatchHandleAsync(handle);
  const CacheWatchFigures figures = recognizer.Figures();
  recognizer.Stop();
  CloseHandle(self);
  std::printf("small bodies: %d images and one 10 KB MP3 inside the block files, load %.0f ms\n", kSmallImages,
              loadMs);
  {
    std::lock_guard<std::mutex> hold(timing.lock);
    std::printf("  handed on %zu:", timing.handedOn.size());
    for (const auto& [address, at] : timing.handedOn)
      std::printf(" %s (%.0f ms after its records)", address.c_str(), at - mp3Written);
    std::printf("\n");
  }
  std::printf("  index header reads %llu, rankings walks %llu, new entries %llu, element reads %llu\n",
              static_cast<unsigned long long>(figures.candidates.newsLooks),
              static_cast<unsigned long long>(figures.candidates.newsWalks),
              static_cast<unsigned long long>(figures.candidates.newEntries),
              static_cast<unsigned long long>(figures.candidates.looks));
  std::printf("  looker CPU %.1f ms; the program's threads (all but the writer) %.1f ms\n",
              figures.lookerCpu100ns / 1e4, programMs);
  Sleep(300);
  RemoveTree(wideRoot);
}

// ---- named files ----

struct NamedTiming final : public WatchSink {
  void SessionStarted(const WatchSessionInfo&) override {}
  void NewFile(const NewFileEvent& file) override {
    const double now = NowMs();
    const std::string path(file.fullPath);
    const std::size_t at = path.rfind("\\n");
    if (at == std::string::npos) return;
    const int index = std::atoi(path.c_str() + at + 2);
    if (index >= 0 && index < static_cast<int>(seen.size())) seen[index] = now;
  }
  void SessionEnded(WatchSessionId) override {}
  std::vector<double> seen;
};

void NamedFiles(bool withRecognizer, int files) {
  const std::string root =
      std::string(ProgramFolder()) + "\\named_bench_" + std::to_string(GetCurrentProcessId());
  RemoveTree(Wide(root));
  CreateDirectoryA(root.c_str(), nullptr);
  NamedTiming named;
  named.seen.assign(files, -1.0);
  Timing timing;
  CacheElementRecognizer recognizer(timing);
  WatchSinkFanOut<2> both({&recognizer, &named});
  WatchSinkFanOut<1> alone({&named});
  std::uintptr_t handle = OpenWatchFolder(root, withRecognizer ? static_cast<WatchSink&>(both) : alone);
  Sleep(300);
  std::vector<double> created(files);
  for (int i = 0; i < files; ++i) {
    created[i] = NowMs();
    HANDLE file = CreateFileA((root + "\\n" + std::to_string(i) + ".flv").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    Sleep(2);
  }
  Sleep(1500);
  CloseWatchHandleAsync(handle);
  recognizer.Stop();
  std::vector<double> latencies;
  for (int i = 0; i < files; ++i) {
    if (named.seen[i] >= 0) latencies.push_back(named.seen[i] - created[i]);
  }
  std::printf("named files %-17s %4zu of %d  median %6.2f ms  p99 %7.2f ms\n",
              withRecognizer ? "with recognizer:" : "without:", latencies.size(), files,
              Percentile(latencies, 0.5), Percentile(latencies, 0.99));
  Sleep(300);
  RemoveTree(Wide(root));
}

}  // namespace

// Arguments pick parts: simple, block, small, named (all when none is given).
int main(int argc, char** argv) {
  RuntimeStart();
  const auto wanted = [&](const char* part) {
    if (argc < 2) return true;
    for (int i = 1; i < argc; ++i) {
      if (std::string(argv[i]) == part) return true;
    }
    return false;
  };
  std::printf("cache watch benchmark: %d entries arriving, 1 in %d a 1.5 MB MP4, look interval %lu ms\n",
              kEntries, kMediaEvery, static_cast<unsigned long>(kCacheLookIntervalMs));
  for (int old : {0, 10000}) {
    if (wanted("simple")) Run(false, old);
    if (wanted("block")) Run(true, old);
  }
  if (wanted("small")) SmallBodies();
  if (wanted("named")) {
    for (int round = 0; round < 2; ++round) {
      NamedFiles(false, 500);
      NamedFiles(true, 500);
    }
  }
  return 0;
}
