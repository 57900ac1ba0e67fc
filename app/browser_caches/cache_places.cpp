#include "app/browser_caches/cache_places.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include "runtime/core/text_encoding.h"

namespace {

enum class Root { Local, Roaming };

struct KnownBrowser {
  Root root;
  std::u16string_view folder;  // below the root
  std::u8string_view name;
  bool profilesInside;  // "User Data" holding profiles; else the folder is the profile
};

// Where each browser keeps its profiles on Windows, as its installer lays
// them out; a browser missing here is still found by the search.
constexpr KnownBrowser kKnownBrowsers[] = {
    {Root::Local, u"Google\\Chrome\\User Data", u8"Chrome", true},
    {Root::Local, u"Microsoft\\Edge\\User Data", u8"Edge", true},
    {Root::Local, u"Microsoft\\Edge Beta\\User Data", u8"Edge Beta", true},
    {Root::Local, u"Microsoft\\Edge Dev\\User Data", u8"Edge Dev", true},
    {Root::Local, u"Microsoft\\Edge SxS\\User Data", u8"Edge Canary", true},
    {Root::Local, u"Chromium\\User Data", u8"Chromium", true},
    {Root::Roaming, u"360se6\\User Data", u8"360安全浏览器", true},
    {Root::Local, u"360Chrome\\Chrome\\User Data", u8"360极速浏览器", true},
    {Root::Local, u"Tencent\\QQBrowser\\User Data", u8"QQ浏览器", true},
    {Root::Roaming, u"SogouExplorer\\Webkit", u8"搜狗浏览器", true},
    {Root::Local, u"2345Explorer\\User Data", u8"2345浏览器", true},
    {Root::Local, u"liebao\\User Data", u8"猎豹浏览器", true},
    {Root::Local, u"BraveSoftware\\Brave-Browser\\User Data", u8"Brave", true},
    {Root::Local, u"Vivaldi\\User Data", u8"Vivaldi", true},
    {Root::Local, u"Yandex\\YandexBrowser\\User Data", u8"Yandex", true},
    {Root::Local, u"Opera Software\\Opera Stable", u8"Opera", false},
    {Root::Local, u"Opera Software\\Opera GX Stable", u8"Opera GX", false},
};

constexpr std::u16string_view kFirefoxProfiles = u"Mozilla\\Firefox\\Profiles";

// Chromium's other caches (compiled code, shaders): never media.
constexpr std::u16string_view kNotMediaCaches[] = {u"code cache",        u"gpucache",        u"dawncache",
                                                   u"dawngraphitecache", u"dawnwebgpucache", u"grshadercache",
                                                   u"graphitedawncache", u"shadercache"};

// Beyond this the listings wait on each other (under Wine on its server).
constexpr unsigned kMostListingThreads = 4;

// Folders directly below an application-data folder that hold many
// folders and never a browser's cache: temporary files, the Store apps'
// containers.
bool NeverHoldsCaches(const std::u16string& folded, bool local) {
  return local && (folded == u"temp" || folded == u"packages");
}

bool Has(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& n) { return AsciiEqualFold(n, name); });
}

std::u16string Joined(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += u'\\';
  path += name;
  return path;
}

class PlaceFinder {
 public:
  PlaceFinder(FolderTree& tree, const AppDataFolders& roots) : tree_(tree), roots_(roots) {}

  void Known() {
    for (const KnownBrowser& browser : kKnownBrowsers) {
      const std::u16string& root = browser.root == Root::Local ? roots_.local : roots_.roaming;
      if (root.empty()) continue;
      const std::u16string folder = Joined(root, browser.folder);
      const std::string name = Utf8Bytes(browser.name);
      if (!browser.profilesInside) {
        Profile(folder, name);
        continue;
      }
      for (const std::u16string& profile : List(folder).folders) Profile(Joined(folder, profile), name);
    }
    if (roots_.local.empty()) return;
    const std::u16string profiles = Joined(roots_.local, kFirefoxProfiles);
    for (const std::u16string& profile : List(profiles).folders) {
      const std::u16string cache2 = Joined(Joined(profiles, profile), u"cache2");
      if (Has(List(cache2).folders, u"entries")) Add(Joined(cache2, u"entries"), "Firefox", true);
    }
  }

  // Breadth first, a level at a time: the level's folders are listed (by
  // as many threads as the bounds allow; the listing is nearly all of the
  // cost), then taken in order, so the places come out the same whatever
  // the threads.
  void Search(const CacheSearchBounds& bounds) {
    std::vector<Pending> level;
    for (const std::u16string* root : {&roots_.local, &roots_.roaming}) {
      if (root->empty()) continue;
      const bool local = root == &roots_.local;
      for (const std::u16string& name : List(*root).folders)
        if (!NeverHoldsCaches(AsciiLowered(name), local)) level.push_back({Joined(*root, name), root->size() + 1, 1});
    }
    while (!level.empty()) {
      std::vector<FolderTree::Listing> listings(level.size());
      const std::size_t listed = ListLevel(level, listings, bounds);
      std::vector<Pending> next;
      for (std::size_t i = 0; i < listed; ++i) Visit(level[i], listings[i], bounds, next);
      if (listed < level.size()) {
        result_.searchCutShort = true;
        return;
      }
      level = std::move(next);
    }
  }

  CachePlaces Result() { return std::move(result_); }

 private:
  struct Pending {
    std::u16string path;
    std::size_t rootLength;
    int depth;
  };

  // Lists the level's folders into `listings` and
  // returns how many, in order, were listed before a bound was reached.
  // The bounds are asked under one lock, before each folder, as one thread
  // would ask them.
  std::size_t ListLevel(const std::vector<Pending>& level, std::vector<FolderTree::Listing>& listings,
                        const CacheSearchBounds& bounds) {
    std::mutex lock;
    std::size_t claimed = 0;
    bool stopped = false;
    auto work = [&] {
      for (;;) {
        std::size_t at;
        {
          std::lock_guard<std::mutex> hold(lock);
          if (stopped || claimed == level.size()) return;
          if (result_.foldersListed >= bounds.folders || (bounds.timeUp && bounds.timeUp())) {
            stopped = true;
            return;
          }
          ++result_.foldersListed;
          at = claimed++;
        }
        listings[at] = tree_.List(level[at].path);
      }
    };
    const unsigned threads = bounds.threads != 0
                                 ? bounds.threads
                                 : std::clamp(std::thread::hardware_concurrency(), 1u, kMostListingThreads);
    const unsigned helpers = level.size() < 8 ? 0 : threads - 1;
    std::vector<std::thread> listers;
    for (unsigned i = 0; i < helpers; ++i) listers.emplace_back(work);
    work();
    for (std::thread& lister : listers) lister.join();
    return claimed;
  }

  void Visit(const Pending& folder, const FolderTree::Listing& listing, const CacheSearchBounds& bounds,
             std::vector<Pending>& next) {
    const std::u16string_view below = std::u16string_view(folder.path).substr(folder.rootLength);
    if (IsChromiumCache(folder.path, listing)) {
      Add(folder.path, NameOf(below), false);
      return;
    }
    if (AsciiLowered(below.substr(below.rfind(u'\\') + 1)) == u"cache2" && Has(listing.folders, u"entries")) {
      Add(Joined(folder.path, u"entries"), NameOf(below), true);
      return;
    }
    if (folder.depth >= bounds.depth) return;
    for (const std::u16string& name : listing.folders) {
      const std::u16string folded = AsciiLowered(name);
      if (std::find(std::begin(kNotMediaCaches), std::end(kNotMediaCaches), folded) != std::end(kNotMediaCaches))
        continue;
      next.push_back({Joined(folder.path, name), folder.rootLength, folder.depth + 1});
    }
  }

  FolderTree::Listing List(const std::u16string& folder) {
    ++result_.foldersListed;
    return tree_.List(folder);
  }

  // A profile's disk cache (Cache_Data since Chrome 85, the Cache folder
  // itself before) and its Service Worker caches, one folder each.
  void Profile(const std::u16string& profile, const std::string& browser) {
    const FolderTree::Listing top = List(profile);
    if (Has(top.folders, u"Cache")) {
      const std::u16string cache = Joined(profile, u"Cache");
      const FolderTree::Listing listing = List(cache);
      const std::u16string data = Joined(cache, u"Cache_Data");
      if (Has(listing.folders, u"Cache_Data") && IsChromiumCache(data, List(data)))
        Add(data, browser, false);
      else if (IsChromiumCache(cache, listing))
        Add(cache, browser, false);
    }
    if (!Has(top.folders, u"Service Worker")) return;
    const std::u16string storage = Joined(Joined(profile, u"Service Worker"), u"CacheStorage");
    for (const std::u16string& site : List(storage).folders) {
      const std::u16string siteFolder = Joined(storage, site);
      for (const std::u16string& cache : List(siteFolder).folders) {
        const std::u16string folder = Joined(siteFolder, cache);
        if (IsChromiumCache(folder, List(folder))) Add(folder, browser, false);
      }
    }
  }

  // Either store: the block files' index beside data_0..data_3, or the
  // simple cache's index beside index-dir\the-real-index.
  bool IsChromiumCache(const std::u16string& folder, const FolderTree::Listing& listing) {
    if (!Has(listing.files, u"index")) return false;
    if (Has(listing.files, u"data_0") && Has(listing.files, u"data_1") && Has(listing.files, u"data_2") &&
        Has(listing.files, u"data_3"))
      return true;
    return Has(listing.folders, u"index-dir") &&
           tree_.HasFile(Joined(folder, u"index-dir\\the-real-index"));
  }

  // A found folder is named by the folder its browser keeps: the one before
  // "User Data", else the first below the application-data folder (and
  // Mozilla's products by their own folder).
  static std::string NameOf(std::u16string_view below) {
    std::vector<std::u16string_view> parts;
    for (std::size_t start = 0; start <= below.size();) {
      const std::size_t end = std::min(below.find(u'\\', start), below.size());
      parts.push_back(below.substr(start, end - start));
      start = end + 1;
    }
    std::u16string_view name = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i)
      if (AsciiLowered(parts[i]) == u"user data") {
        name = parts[i - 1];
        break;
      }
    if (name == parts.front() && AsciiLowered(name) == u"mozilla" && parts.size() > 1) name = parts[1];
    return Utf8FromUtf16(name);
  }

  void Add(const std::u16string& path, const std::string& browser, bool firefox) {
    if (!seen_.insert(AsciiLowered(path)).second) return;
    result_.places.push_back({path, browser, firefox});
  }

  FolderTree& tree_;
  const AppDataFolders& roots_;
  CachePlaces result_;
  std::set<std::u16string> seen_;
};

}  // namespace

CachePlaces KnownBrowserCachePlaces(FolderTree& tree, const AppDataFolders& roots) {
  PlaceFinder finder(tree, roots);
  finder.Known();
  return finder.Result();
}

CachePlaces BrowserCachePlaces(FolderTree& tree, const AppDataFolders& roots,
                               const CacheSearchBounds& bounds) {
  PlaceFinder finder(tree, roots);
  finder.Known();
  finder.Search(bounds);
  return finder.Result();
}

std::string BrowserOfCachePath(std::u16string_view path) {
  const std::u16string folded = AsciiLowered(path);
  for (const KnownBrowser& browser : kKnownBrowsers)
    if (folded.find(AsciiLowered(Joined(u"", browser.folder)) + u'\\') != std::u16string::npos)
      return Utf8Bytes(browser.name);
  // Older spellings and folders named by hand.
  const struct {
    std::u16string_view part;
    const char* name;
  } loose[] = {{u"\\google\\chrome", "Chrome"},
               {u"\\microsoft\\edge", "Edge"},
               {u"\\chromium\\", "Chromium"},
               {u"\\cache2\\entries", "Firefox"}};
  for (const auto& rule : loose)
    if (folded.find(rule.part) != std::u16string::npos) return rule.name;
  return {};
}
