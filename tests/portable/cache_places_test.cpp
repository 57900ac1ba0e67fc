// Finding browser caches below the application-data folders: known
// browsers by their folders and names, every profile and Service Worker
// cache, other Chromium forks and Firefox forks by the search, and the
// search's bounds.
#include "app/browser_caches/cache_places.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "runtime/core/text_encoding.h"

namespace {

// Paths as the file system would hold them; folders are implied by the
// files and folders below them.
class MapTree : public FolderTree {
 public:
  void File(const std::u16string& path) {
    files_.insert(path);
    Folder(path.substr(0, path.rfind(u'\\')));
  }
  void Folder(const std::u16string& path) {
    for (std::size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1))
      folders_.insert(path.substr(0, at));
    folders_.insert(path);
  }
  void BlockCache(const std::u16string& folder) {
    for (const char16_t* name : {u"index", u"data_0", u"data_1", u"data_2", u"data_3", u"f_000001"})
      File(folder + u"\\" + name);
  }
  void SimpleCache(const std::u16string& folder) {
    File(folder + u"\\index");
    File(folder + u"\\index-dir\\the-real-index");
    File(folder + u"\\0123456789abcdef_0");
  }

  MapTree() = default;
  MapTree(const MapTree& other) : files_(other.files_), folders_(other.folders_) {}

  Listing List(const std::u16string& folder) override {
    ++listed;
    Listing listing;
    const std::u16string prefix = folder + u"\\";
    for (const std::u16string& path : folders_)
      if (IsChild(path, prefix)) listing.folders.push_back(path.substr(prefix.size()));
    for (const std::u16string& path : files_)
      if (IsChild(path, prefix)) listing.files.push_back(path.substr(prefix.size()));
    return listing;
  }
  bool HasFile(const std::u16string& path) override { return files_.count(path) != 0; }

  std::atomic<std::size_t> listed{0};  // the search lists from several threads

 private:
  static bool IsChild(const std::u16string& path, const std::u16string& prefix) {
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
           path.find(u'\\', prefix.size()) == std::u16string::npos;
  }
  std::set<std::u16string> files_;
  std::set<std::u16string> folders_;
};

std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

const AppDataFolders kRoots{u"C:\\u\\Local", u"C:\\u\\Roaming"};

std::map<std::string, std::string> ByPath(const CachePlaces& found) {
  std::map<std::string, std::string> byPath;
  for (const CachePlace& place : found.places)
    EXPECT_TRUE(byPath.emplace(Utf8FromUtf16(place.path), place.browser).second) << "listed twice";
  return byPath;
}

TEST(CachePlaces, KnownBrowsersEveryProfileAndServiceWorkerCachesForksAndFirefox) {
  MapTree tree;
  tree.BlockCache(u"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\Google\\Chrome\\User Data\\Profile 2\\Cache\\Cache_Data");
  tree.SimpleCache(
      u"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\Service Worker\\CacheStorage\\ab12\\c-d");
  tree.BlockCache(u"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\Code Cache\\js");  // never media
  tree.BlockCache(u"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\GPUCache");
  tree.BlockCache(u"C:\\u\\Local\\Microsoft\\Edge\\User Data\\Default\\Cache");  // before Cache_Data
  tree.BlockCache(u"C:\\u\\Roaming\\360se6\\User Data\\Default\\Cache\\Cache_Data");
  tree.SimpleCache(u"C:\\u\\Local\\Tencent\\QQBrowser\\User Data\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Roaming\\SogouExplorer\\Webkit\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\2345Explorer\\User Data\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\BraveSoftware\\Brave-Browser\\User Data\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\Vivaldi\\User Data\\Default\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\Opera Software\\Opera Stable\\Cache\\Cache_Data");
  tree.BlockCache(u"C:\\u\\Local\\Yandex\\YandexBrowser\\User Data\\Default\\Cache\\Cache_Data");
  // Unknown to the program: a fork, one in the roaming folder, and a Firefox fork.
  tree.BlockCache(u"C:\\u\\Local\\Acme\\Zeta Browser\\User Data\\Default\\Cache\\Cache_Data");
  tree.SimpleCache(u"C:\\u\\Roaming\\Nimbus\\Cache\\Cache_Data");
  tree.File(u"C:\\u\\Local\\Mozilla\\Firefox\\Profiles\\ab.default-release\\cache2\\entries\\0A1B");
  tree.File(u"C:\\u\\Local\\Waterfox\\Profiles\\x.default\\cache2\\entries\\0A1B");
  tree.SimpleCache(u"C:\\u\\Local\\Microsoft\\Edge SxS\\User Data\\Default\\Cache\\Cache_Data");
  // The Store apps' containers are not searched.
  tree.BlockCache(u"C:\\u\\Local\\Packages\\Some.App_8wekyb3d\\AC\\Cache");
  // An index alone is not a cache.
  tree.File(u"C:\\u\\Local\\Notes\\index");

  const CachePlaces inOrder = BrowserCachePlaces(tree, kRoots);
  const auto found = ByPath(inOrder);
  const std::map<std::string, std::string> expected = {
      {"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\Cache\\Cache_Data", "Chrome"},
      {"C:\\u\\Local\\Google\\Chrome\\User Data\\Profile 2\\Cache\\Cache_Data", "Chrome"},
      {"C:\\u\\Local\\Google\\Chrome\\User Data\\Default\\Service Worker\\CacheStorage\\ab12\\c-d", "Chrome"},
      {"C:\\u\\Local\\Microsoft\\Edge\\User Data\\Default\\Cache", "Edge"},
      {"C:\\u\\Local\\Microsoft\\Edge SxS\\User Data\\Default\\Cache\\Cache_Data", "Edge Canary"},
      {"C:\\u\\Roaming\\360se6\\User Data\\Default\\Cache\\Cache_Data", U8(u8"360安全浏览器")},
      {"C:\\u\\Local\\Tencent\\QQBrowser\\User Data\\Default\\Cache\\Cache_Data", U8(u8"QQ浏览器")},
      {"C:\\u\\Roaming\\SogouExplorer\\Webkit\\Default\\Cache\\Cache_Data", U8(u8"搜狗浏览器")},
      {"C:\\u\\Local\\2345Explorer\\User Data\\Default\\Cache\\Cache_Data", U8(u8"2345浏览器")},
      {"C:\\u\\Local\\BraveSoftware\\Brave-Browser\\User Data\\Default\\Cache\\Cache_Data", "Brave"},
      {"C:\\u\\Local\\Vivaldi\\User Data\\Default\\Cache\\Cache_Data", "Vivaldi"},
      {"C:\\u\\Local\\Opera Software\\Opera Stable\\Cache\\Cache_Data", "Opera"},
      {"C:\\u\\Local\\Yandex\\YandexBrowser\\User Data\\Default\\Cache\\Cache_Data", "Yandex"},
      {"C:\\u\\Local\\Acme\\Zeta Browser\\User Data\\Default\\Cache\\Cache_Data", "Zeta Browser"},
      {"C:\\u\\Roaming\\Nimbus\\Cache\\Cache_Data", "Nimbus"},
      {"C:\\u\\Local\\Mozilla\\Firefox\\Profiles\\ab.default-release\\cache2\\entries", "Firefox"},
      {"C:\\u\\Local\\Waterfox\\Profiles\\x.default\\cache2\\entries", "Waterfox"},
  };
  EXPECT_EQ(found, expected);
  // Listed by several threads: the same places in the same order.
  CacheSearchBounds threaded;
  threaded.threads = 4;
  const CachePlaces together = BrowserCachePlaces(tree, kRoots, threaded);
  ASSERT_EQ(together.places.size(), inOrder.places.size());
  for (std::size_t i = 0; i < inOrder.places.size(); ++i)
    EXPECT_EQ(together.places[i].path, inOrder.places[i].path);
  EXPECT_EQ(together.foldersListed, inOrder.foldersListed);

  // The known ones alone: no fork, and far fewer folders listed.
  MapTree quiet = tree;
  const CachePlaces known = KnownBrowserCachePlaces(quiet, kRoots);
  EXPECT_EQ(known.places.size(), expected.size() - 3);
  EXPECT_FALSE(known.searchCutShort);
  EXPECT_LT(quiet.listed, tree.listed);
}

TEST(CachePlaces, TheSearchStopsAtItsBoundsAndSaysSo) {
  MapTree tree;
  // Deeper than the search goes: not found, the bound is not reached.
  tree.BlockCache(u"C:\\u\\Local\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\Cache");
  tree.BlockCache(u"C:\\u\\Local\\Shallow\\Cache");
  CachePlaces found = BrowserCachePlaces(tree, kRoots);
  ASSERT_EQ(found.places.size(), 1u);
  EXPECT_EQ(found.places[0].browser, "Shallow");
  EXPECT_FALSE(found.searchCutShort);

  // Many folders (listed after the cache at the same depth): the count
  // bound ends the search.
  for (int i = 0; i < 300; ++i) tree.Folder(u"C:\\u\\Local\\zMany\\" + Utf16FromUtf8(std::to_string(i)));
  for (const unsigned threads : {1u, 3u}) {
    CacheSearchBounds bounds;
    bounds.threads = threads;
    bounds.folders = 100;
    found = BrowserCachePlaces(tree, kRoots, bounds);
    EXPECT_TRUE(found.searchCutShort);
    EXPECT_EQ(found.foldersListed, 100u);
    ASSERT_EQ(found.places.size(), 1u);  // found before the bound
    // The time bound is asked before each folder, once it says so no more.
    bounds.folders = CacheSearchBounds{}.folders;
    int asked = 0;
    bounds.timeUp = [&] { return ++asked > 5; };
    found = BrowserCachePlaces(tree, kRoots, bounds);
    EXPECT_TRUE(found.searchCutShort);
    EXPECT_EQ(asked, 6);
  }
}

TEST(CachePlaces, BrowserOfAPathNamedByHand) {
  EXPECT_EQ(BrowserOfCachePath(u"D:\\x\\Tencent\\QQBrowser\\User Data\\Default\\Cache\\Cache_Data"),
            U8(u8"QQ浏览器"));
  EXPECT_EQ(BrowserOfCachePath(u"D:\\X\\GOOGLE\\CHROME\\User Data\\Default\\Cache"), "Chrome");
  EXPECT_EQ(BrowserOfCachePath(u"D:\\copy\\chromium\\cache"), "Chromium");
  EXPECT_EQ(BrowserOfCachePath(u"D:\\p\\cache2\\entries"), "Firefox");
  EXPECT_EQ(BrowserOfCachePath(u"D:\\somewhere\\Cache"), "");
}

}  // namespace
