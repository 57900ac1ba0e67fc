#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <wininet.h>

#include <string>
#include <vector>

#include "runtime/commands/browser_data_clear.h"
#include "runtime/commands/folder_emptying.h"
#include "tests/win/commands/scratch_folder.h"

namespace {

std::string SpecialFolder(int id) {
  char folder[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathA(nullptr, folder, id, TRUE)) return {};
  return folder;
}

// Adds a URL cache entry backed by a file, as the browser does.
bool CacheEntryAdd(const std::string& url, DWORD type) {
  char file[MAX_PATH] = {};
  if (!CreateUrlCacheEntryA(url.c_str(), 0, "htm", file, 0)) return false;
  ScratchFileWrite(file, "cached " + url);
  FILETIME never{};
  return CommitUrlCacheEntryA(url.c_str(), file, never, never, type, nullptr, 0, nullptr, nullptr) != FALSE;
}

bool CacheEntryExists(const std::string& url) {
  DWORD size = 0;
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// Removes whatever entries a test left behind.
void CacheEntriesForget(const std::vector<std::string>& urls) {
  for (const auto& url : urls) DeleteUrlCacheEntryA(url.c_str());
}

TEST(BrowserDataClear, BrowserCacheKeepsCookiesFoldersAndWhatALinkPointsAt) {
  const std::string cache = SpecialFolder(CSIDL_INTERNET_CACHE);
  ASSERT_FALSE(cache.empty());
  const std::string pid = std::to_string(GetCurrentProcessId());
  const std::string page = "http://ee.test/" + pid + "/page.htm";
  const std::string video = "http://ee.test/" + pid + "/video.flv";
  const std::string cookie = "Cookie:user@ee.test/" + pid;
  ASSERT_TRUE(CacheEntryAdd(page, NORMAL_CACHE_ENTRY));
  ASSERT_TRUE(CacheEntryAdd(video, NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY));
  ASSERT_TRUE(CacheEntryAdd(cookie, COOKIE_CACHE_ENTRY));

  // Files of our own below the cache folder, in a subfolder and behind a link.
  const std::string own = cache + "\\eetest_" + pid;
  ASSERT_TRUE(CreateDirectoryA(own.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((own + "\\sub").c_str(), nullptr));
  ScratchFileWrite(own + "\\a.flv", "a");
  ScratchFileWrite(own + "\\sub\\b.mp3", "b");
  ScratchFolder precious("precious");
  ScratchFileWrite(precious.Path("keep.txt"), "precious");
  CreateDirectoryA(precious.Path("inner").c_str(), nullptr);
  ScratchFileWrite(precious.Path("inner\\keep2.txt"), "precious");
  const std::string link = own + "\\link";
  const int linked =
      HostCommandRun("ln -s '" + HostPathOf(precious.Root()) + "' '" + HostPathOf(own) + "/link'");
  const DWORD linkAttributes = GetFileAttributesA(link.c_str());
  ASSERT_EQ(linked, 0) << "ln -s could not be run";
  ASSERT_NE(linkAttributes, INVALID_FILE_ATTRIBUTES) << "the link does not exist";
  ASSERT_NE(linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT, 0u) << "the link is not shown as a reparse point";
  ASSERT_TRUE(ScratchExists(link + "\\keep.txt")) << "the link does not lead to the precious files";

  EXPECT_TRUE(BrowserDataClear(kClearBrowserCache));

  EXPECT_FALSE(CacheEntryExists(page));
  EXPECT_FALSE(CacheEntryExists(video));
  EXPECT_TRUE(CacheEntryExists(cookie)) << "cookies survive the cache clearing";
  EXPECT_FALSE(ScratchExists(own + "\\a.flv"));
  EXPECT_FALSE(ScratchExists(own + "\\sub\\b.mp3"));
  EXPECT_TRUE(ScratchExists(own + "\\sub")) << "folders stay";
  EXPECT_EQ(ScratchFileRead(precious.Path("keep.txt")), "precious");
  EXPECT_EQ(ScratchFileRead(precious.Path("inner\\keep2.txt")), "precious");

  // Cookies go with kind 3, which leaves the other entries alone.
  ASSERT_TRUE(CacheEntryAdd(page, NORMAL_CACHE_ENTRY));
  EXPECT_TRUE(BrowserDataClear(kClearCookies));
  EXPECT_FALSE(CacheEntryExists(cookie));
  EXPECT_TRUE(CacheEntryExists(page));

  CacheEntriesForget({page, video, cookie});
  ScratchTreeRemove(own);
}

TEST(BrowserDataClear, EmptyCacheGivesFalseButTheFolderIsStillWalked) {
  BrowserDataClear(kClearBrowserCache);
  BrowserDataClear(kClearCookies);
  const std::string cache = SpecialFolder(CSIDL_INTERNET_CACHE);
  ASSERT_FALSE(cache.empty());
  const std::string file = cache + "\\eetest_" + std::to_string(GetCurrentProcessId()) + ".tmp";
  ScratchFileWrite(file, "x");
  EXPECT_FALSE(BrowserDataClear(kClearBrowserCache)) << "no entry to start the walk from";
  EXPECT_FALSE(ScratchExists(file));
}

TEST(BrowserDataClear, TempFolderIsEmptiedWithoutFollowingLinks) {
  ScratchFolder temp("temp");
  ScratchFolder precious("temp_precious");
  ScratchFileWrite(precious.Path("keep.txt"), "precious");
  ScratchFileWrite(temp.Path("a.tmp"), "a");
  ScratchFileWrite(temp.Path("readonly.tmp"), "r");
  SetFileAttributesA(temp.Path("readonly.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryA(temp.Path("sub").c_str(), nullptr);
  CreateDirectoryA(temp.Path("sub\\deeper").c_str(), nullptr);
  ScratchFileWrite(temp.Path("sub\\deeper\\b.tmp"), "b");
  SetFileAttributesA(temp.Path("sub").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
  ASSERT_EQ(
      HostCommandRun("ln -s '" + HostPathOf(precious.Root()) + "' '" + HostPathOf(temp.Root()) + "/link'"),
      0);
  ASSERT_TRUE(ScratchExists(temp.Path("link\\keep.txt")));

  char previous[MAX_PATH] = {};
  GetEnvironmentVariableA("TMP", previous, MAX_PATH);
  ASSERT_TRUE(SetEnvironmentVariableA("TMP", (temp.Root() + "\\").c_str()));
  const bool result = BrowserDataClear(7);  // outside 0..3: the temp folder
  SetEnvironmentVariableA("TMP", previous);

  EXPECT_TRUE(result);
  EXPECT_FALSE(ScratchExists(temp.Path("a.tmp")));
  EXPECT_FALSE(ScratchExists(temp.Path("readonly.tmp")));
  EXPECT_FALSE(ScratchExists(temp.Path("sub")));
  EXPECT_TRUE(ScratchExists(temp.Root())) << "the temp folder itself stays";
  EXPECT_EQ(ScratchFileRead(precious.Path("keep.txt")), "precious");
}

TEST(FolderEmptying, RefusesDriveRootsAndTheProfileFolder) {
  const std::string profile = SpecialFolder(CSIDL_PROFILE);
  ASSERT_FALSE(profile.empty());
  EXPECT_FALSE(FolderEmptyingAllowed("C:\\"));
  EXPECT_FALSE(FolderEmptyingAllowed("c:"));
  EXPECT_FALSE(FolderEmptyingAllowed("\\"));
  EXPECT_FALSE(FolderEmptyingAllowed("\\\\server\\share\\"));
  EXPECT_FALSE(FolderEmptyingAllowed(profile));
  EXPECT_FALSE(FolderEmptyingAllowed(profile + "\\"));
  EXPECT_FALSE(FolderEmptyingAllowed(profile + "\\..")) << "a folder holding the profile";
  EXPECT_TRUE(FolderEmptyingAllowed(SpecialFolder(CSIDL_INTERNET_CACHE)));
  EXPECT_TRUE(FolderEmptyingAllowed(profile + "\\Temp"));

  // A folder that is itself a link to the profile is refused too.
  ScratchFolder scratch("profile_link");
  if (HostCommandRun("ln -s '" + HostPathOf(profile) + "' '" + HostPathOf(scratch.Root()) + "/me'") == 0) {
    ASSERT_TRUE(ScratchExists(scratch.Path("me")));
    EXPECT_FALSE(FolderEmptyingAllowed(scratch.Path("me")));
  }
}

TEST(BrowserDataClear, RecycleBinIsEmptied) {
  ScratchFolder scratch("recycle");
  const std::string file = scratch.Path("discarded.txt");
  ScratchFileWrite(file, "x");
  std::string from = file;
  from.push_back('\0');  // the list ends with a second zero
  SHFILEOPSTRUCTA operation{};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
  ASSERT_EQ(SHFileOperationA(&operation), 0);
  SHQUERYRBINFO bin{};
  bin.cbSize = sizeof bin;
  ASSERT_EQ(SHQueryRecycleBinA(nullptr, &bin), S_OK);
  ASSERT_GT(bin.i64NumItems, 0) << "the file did not go to the recycle bin";

  EXPECT_TRUE(BrowserDataClear(kClearRecycleBin));
  ASSERT_EQ(SHQueryRecycleBinA(nullptr, &bin), S_OK);
  EXPECT_EQ(bin.i64NumItems, 0);
}

}  // namespace
