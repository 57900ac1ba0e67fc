// The cached-media window over a Chromium simple cache of 10,000 media
// entries (every one a row: MP4 and MP3 bodies of 4 KiB), as a user opens
// it: the real program started with the cache below its %LOCALAPPDATA%,
// the window opened with its button, and from the click the time until the
// list shows its first rows and until the scan has ended (刷新 enabled
// again) with every row listed, read from outside as the tests read it.
// Then, in this process, the rows the window makes of the same scan sorted
// by every column in both directions (MediaListArrange), best and worst of
// the columns.  All times in milliseconds.  Run by hand under Wine or
// Windows:
//   wine build/win32/bench/cached_media_bench.exe [entries] [runs]
// (EE_PRODUCT_EXE names the program, as for the end-to-end tests).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line/report_rows.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_reading.h"
#include "app/media_list/media_list.h"
#include "bench/bench_support.h"
#include "runtime/core/text_encoding_wide.h"
#include "tests/e2e/driver/program.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

constexpr std::size_t kBodyBytes = 4096;
const std::wstring kCacheFolder = L"local\\Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data";

// The cache folder with `entries` closed media entries, MP4 and MP3 by turns.
bool CacheBuild(const std::wstring& folder, int entries) {
  if (!e2e::FolderCreateAll(folder)) return false;
  const ByteVector index = SimpleIndex();
  if (!BytesWrite(folder + L"\\index", index, 0, index.size(), false)) return false;
  // The program knows the store by its index beside index-dir\the-real-index.
  if (!e2e::FolderCreateAll(folder + L"\\index-dir") ||
      !BytesWrite(folder + L"\\index-dir\\the-real-index", index, 0, index.size(), false))
    return false;
  ByteVector video = Pattern(kBodyBytes, 1);
  const std::uint8_t box[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm',
                              0, 0, 2, 0,  'i', 's', 'o', 'm', 'm', 'p', '4', '1'};
  std::copy(std::begin(box), std::end(box), video.begin());
  ByteVector sound = Pattern(kBodyBytes, 2);
  const std::uint8_t id3[] = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
  std::copy(std::begin(id3), std::end(id3), sound.begin());
  for (int i = 0; i < entries; ++i) {
    const bool mp4 = i % 2 == 0;
    const std::string url = "https://bench.test/media/" + std::to_string(i) + (mp4 ? ".mp4" : ".mp3");
    const ByteVector pickle = ResponsePickle(
        HeaderBlock({"HTTP/1.1 200 OK", mp4 ? "Content-Type: video/mp4" : "Content-Type: audio/mpeg",
                     "Content-Length: " + std::to_string(kBodyBytes)}));
    char name[32];
    std::snprintf(name, sizeof name, "%016x_0", i + 1);
    const std::string key = "1/0/_dk_https://bench.test https://bench.test " + url;
    const ByteVector file = SimpleMainFile(key, mp4 ? video : sound, &pickle);
    if (!BytesWrite(folder + L"\\" + Wide(name), file, 0, file.size(), false)) return false;
  }
  return true;
}

struct Opening {
  double firstRows = -1;  // from the click
  int firstCount = 0;
  double allRows = -1;
  int allCount = 0;
};

// One start of the program: the window opened, its list watched.
Opening OpenAndWatch(const e2e::Sandbox& sandbox, const std::wstring& program) {
  Opening opening;
  e2e::ProgramUnderTest run;
  e2e::ProgramSetup setup;
  setup.executable = program;
  setup.environment = {{L"LOCALAPPDATA", sandbox.Path(L"local")}};
  if (!run.Start(setup)) {
    std::fprintf(stderr, "the program did not start: %s\n", run.Error().c_str());
    return opening;
  }
  const e2e::Window main = run.WaitWindow("Velmir网页元素提取工具 1.11.0122");
  const e2e::Window opener = main ? main.Child(310) : e2e::Window();
  if (!opener) return opening;
  const double clicked = NowMs();
  opener.Click();
  const e2e::Window window = run.WaitWindow("已缓存的媒体");
  const e2e::Window list = window ? window.Child(140) : e2e::Window();
  const e2e::Window refresh = window ? window.ChildByClassText("Button", "刷新") : e2e::Window();
  if (!list || !refresh) return opening;
  const double limit = clicked + 120000;
  while (NowMs() < limit) {
    const int count = static_cast<int>(list.Send(LVM_GETITEMCOUNT, 0, 0).value_or(0));
    if (count > 0 && opening.firstRows < 0) {
      opening.firstRows = NowMs() - clicked;
      opening.firstCount = count;
    }
    // The buttons are disabled while the scan runs.
    if (count > 0 && refresh.IsEnabled()) {
      opening.allRows = NowMs() - clicked;
      opening.allCount = count;
      break;
    }
    Sleep(1);
  }
  window.Post(WM_CLOSE, 0, 0);
  main.Post(WM_CLOSE, 0, 0);
  run.WaitForExit();
  return opening;
}

// The rows the window makes of a scan.
std::vector<MediaListRow> RowsOf(const std::vector<ScanFolder>& folders) {
  std::vector<MediaListRow> rows;
  for (std::size_t number = 0; number < folders.size(); ++number) {
    const ScanFolder& folder = folders[number];
    const std::string path = Utf8FromWide(folder.path);
    for (std::size_t i = 0; i < folder.media.size(); ++i)
      rows.push_back({ReportRowOf(folder.media[i], folder.browser, path,
                                  LocalTimeOf(folder.media[i].element.lastWritten)),
                      number, false, i});
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::wstring program = e2e::ProductExecutable();
  if (program.empty()) {
    std::fprintf(stderr, "set EE_PRODUCT_EXE to the program\n");
    return 2;
  }
  e2e::Sandbox sandbox;
  const double building = NowMs();
  if (!CacheBuild(sandbox.Path(kCacheFolder), entries)) {
    std::fprintf(stderr, "could not build the cache\n");
    return 1;
  }
  std::printf("cache of %d entries built in %.0f ms\n", entries, NowMs() - building);
  std::printf("run | first rows (ms) | rows then | all rows listed (ms) | rows\n");
  for (int run = 1; run <= runs; ++run) {
    const Opening opening = OpenAndWatch(sandbox, program);
    std::printf("%d | %.0f | %d | %.0f | %d\n", run, opening.firstRows, opening.firstCount, opening.allRows,
                opening.allCount);
  }

  // Sorting the rows of the same cache as the window sorts them.
  const std::vector<ScanFolder> folders =
      ScanPlacesRead({ScanPlace{sandbox.Path(kCacheFolder), "Chrome"}}, ScanClassFilter::All);
  const std::vector<MediaListRow> rows = RowsOf(folders);
  std::printf("sort of %zu rows, by column (ms, ascending / descending):\n", rows.size());
  double worst = 0;
  for (int column = 0; column < kMediaColumnCount; ++column) {
    double times[2] = {};
    for (int descending = 0; descending < 2; ++descending) {
      double best = 1e9;
      for (int repeat = 0; repeat < 3; ++repeat) {
        const double started = NowMs();
        const std::vector<std::size_t> shown =
            MediaListArrange(rows, MediaListFilter{}, {column, descending == 1});
        best = std::min(best, NowMs() - started);
        if (shown.size() != rows.size()) std::printf("  (column %d showed %zu rows)\n", column, shown.size());
      }
      times[descending] = best;
      worst = std::max(worst, best);
    }
    std::printf("  %d: %.1f / %.1f\n", column, times[0], times[1]);
  }
  std::printf("slowest sort: %.1f ms\n", worst);
  return 0;
}
