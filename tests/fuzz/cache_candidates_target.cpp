// The watch's candidates over a Chromium cache folder (block files or simple
// cache, by its index) and a Firefox entries folder that change between
// looks.  The input is records of a name byte, a 32-bit length and the
// bytes (as block_files reads them, so its seeds serve here too); a name
// byte with its top bit set also announces the file as new and looks, as the
// watch would on the browser's next write.  At the end every file is
// announced and the clock runs on past the candidates' lifetime.  Budgets
// are checked by the run's memory limits and by the figures below.
#include <string_view>

#include "app/browser_caches/cache_bytes.h"
#include "app/browser_caches/cache_folder_memory.h"
#include "app/cache_watch/cache_candidates.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

constexpr std::string_view kNames[] = {
    "index", "data_0", "data_1", "data_2", "data_3", "f_000001", "f_000002", "f_000003", "f_000004",
    "f_000005", "f_000006", "0123456789abcdef_0", "0123456789abcdef_s", "fedcba9876543210_0",
    // Firefox: the entries folder's files.
    "0123456789ABCDEF0123456789ABCDEF01234567", "89ABCDEF0123456789ABCDEF0123456701234567"};
constexpr std::size_t kFirstFirefox = 14;

const CacheFolderName kChromium{u"C:\\c\\Cache_Data", "C:\\c\\Cache_Data"};
const CacheFolderName kFirefox{u"C:\\f\\cache2\\entries", "C:\\f\\cache2\\entries"};

// Lends the two memory folders by name; each look gets its own view.
class Folders final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName& name) override {
    if (name.ansi == kChromium.ansi) return std::make_unique<View>(chromium);
    if (name.ansi == kFirefox.ansi) return std::make_unique<View>(firefox);
    return nullptr;
  }
  MemoryCacheFolder chromium{"C:\\c\\Cache_Data"};
  MemoryCacheFolder firefox{"C:\\f\\cache2\\entries"};

 private:
  class View final : public CacheFolder {
   public:
    explicit View(CacheFolder& folder) : folder_(folder) {}
    std::vector<CacheFileInfo> List() override { return folder_.List(); }
    std::unique_ptr<CacheFile> Open(std::string_view name) override { return folder_.Open(name); }
    std::string Path() const override { return folder_.Path(); }

   private:
    CacheFolder& folder_;
  };
};

}  // namespace

void FuzzCacheCandidates(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  Folders folders;
  CacheCandidateLimits limits;
  limits.maxCandidates = 64;
  CacheCandidates candidates(folders, limits);
  std::vector<MediaElementRef> found;
  std::uint64_t now = 0;
  const auto check = [&] {
    for (const MediaElementRef& ref : found) {
      FUZZ_CHECK(ref.key.size() <= limits.maxKeyLength);
      FUZZ_CHECK(ref.session == 1);
      FUZZ_CHECK(ref.nature == MediaNature::Video || ref.nature == MediaNature::Audio ||
                 !ref.streamParts.empty());
    }
    // Each cap holds after every look: Chromium's and Firefox's candidates.
    FUZZ_CHECK(candidates.CandidateCount() <= 2 * limits.maxCandidates);
    FUZZ_CHECK(candidates.FolderCount() <= 2);
    found.clear();
  };
  for (int files = 0; files < 64; ++files) {
    const auto head = input.Bytes(5);
    if (head.size() < 5) break;
    const std::size_t which = (head[0] & 0x7F) % std::size(kNames);
    const std::uint32_t length = LoadU32(head, 1);
    const auto bytes = input.Bytes(length);
    const bool firefox = which >= kFirstFirefox;
    (firefox ? folders.firefox : folders.chromium)
        .Put(std::string(kNames[which]), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if ((head[0] & 0x80) != 0) {
      candidates.FileAdded(1, firefox ? kFirefox : kChromium, kNames[which], now);
      candidates.Look(now, found);
      check();
      now += 200;
    }
  }
  for (std::size_t which = 0; which < std::size(kNames); ++which)
    candidates.FileAdded(1, which >= kFirstFirefox ? kFirefox : kChromium, kNames[which], now);
  for (int look = 0; look < 4; ++look, now += 200) {
    candidates.Look(now, found);
    check();
  }
  // Past every lifetime, and past the checks of an index made again (a folder
  // whose index is not one any more keeps its candidates meanwhile), nothing
  // is left but the folders' own following.
  for (int look = 0; look <= limits.indexChecks; ++look) {
    now += limits.candidateLifetimeMs;
    candidates.Look(now, found);
    check();
  }
  FUZZ_CHECK(candidates.CandidateCount() == 0);
  candidates.SessionEnded(1);
  FUZZ_CHECK(candidates.FolderCount() == 0 && !candidates.Pending());
}
