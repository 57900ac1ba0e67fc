// The real program watching its default folder (the home folder in the Wine
// prefix) while the real Chromium, started by the browser lab, plays pages
// into a cache below it.  One program start and one browser profile serve
// every case of a store; each case puts the watch into the state it needs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver/browser_lab_client.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/e2e/session/main_window_parts.h"

namespace e2e {

inline constexpr char kVideoPromptCaption[] = "警示信息 - 视频侦测";
inline constexpr char kAudioPromptCaption[] = "警示信息 - 音频侦测";
// The choice offered at OK for an element the cache does not hold whole.
inline constexpr char kIncompleteCaption[] = "警示信息 - 元素尚未缓存完整";

enum class MediaClass { kVideo, kAudio };

// What a case expects of one element of the page, and how it answers.
struct ElementPlan {
  std::string path;  // the address path, e.g. "/media/video.mp4"
  MediaClass mediaClass = MediaClass::kVideo;
  int answer = IDOK;  // IDOK or IDCANCEL
  std::string extension;  // of the saved copy, e.g. ".mp4"
};

// The incomplete-element box, read.
struct IncompleteBox {
  MessageBoxWindow box;
  std::string address;
  std::uint64_t present = 0;
  std::optional<std::uint64_t> fullLength;  // nothing: the box says it is unknown
  std::uint64_t contiguous = 0;             // what "continue" saves
};

class ChromiumWatchSession {
 public:
  ChromiumWatchSession(BrowserLab lab, ChromiumStore store) : lab_(lab), store_(store) {}
  ~ChromiumWatchSession();

  // Starts the program (first run done, default watched folder).
  bool Start(std::string* error);

  BrowserLab& Lab() { return lab_; }
  ProgramUnderTest& Program() { return program_; }
  ChromiumStore Store() const { return store_; }
  // The profile's "User Data" folder and its cache folder, in the home folder.
  std::wstring UserDataFolder() const;
  std::wstring CacheFolder() const { return UserDataFolder() + L"\\Default\\Cache\\Cache_Data"; }

  // Answers whatever a failed case left open, ends its browser, gives every
  // served file its own mode back and stops the watch.
  void Settle();
  // Starts a new watch session with these classes checked.
  ::testing::AssertionResult Watch(bool video, bool audio);
  ::testing::AssertionResult StopWatch();
  // Makes the cache folder with a browser run outside any watch (a browser
  // already in use), unless it exists.
  ::testing::AssertionResult EnsureCacheFolder();

  ::testing::AssertionResult LaunchBrowser(const std::string& page, bool tls = false);
  // Ends the browser; fails when a process of it is left behind.
  ::testing::AssertionResult StopBrowser();
  bool BrowserRunning() const { return browser_.has_value(); }

  // Answers the prompts of the page's elements as they come, in any order,
  // until every planned element was prompted for; before the first OK waits
  // until the lab served the page's media.  Each OK must end in the class's
  // success box; the saved copy must equal the served file.  An unplanned
  // prompt, a second prompt for an element or any other box fails the case.
  void AnswerPrompts(const std::string& page, const std::vector<ElementPlan>& plan);
  // Waits for the prompt of one element (the only one expected), checks it,
  // and presses OK.
  ::testing::AssertionResult ConfirmPrompt(const ElementPlan& element);
  // The incomplete-element box for this address, read and checked.
  std::optional<IncompleteBox> WaitIncomplete(const std::string& path);
  // The class's success box: the saved copy's path (Windows form).
  std::optional<std::wstring> WaitSaved(MediaClass mediaClass);
  // The next box of the program with its texts in place; empty on timeout.
  MessageBoxWindow NextBox(Milliseconds timeout = Milliseconds(45000));
  // No box shows up for a while (no late or second prompt).
  ::testing::AssertionResult NoBoxAppears(Milliseconds period = Milliseconds(2000));

  // Waits until a file of the cache folder other than `earlier` holds these
  // bytes (the start of a body): what the browser wrote reached the disk.
  ::testing::AssertionResult WaitBytesOnDisk(const std::string& bytes, const std::set<std::wstring>& earlier);
  std::set<std::wstring> CacheFiles() const {
    const std::vector<std::wstring> names = FolderList(CacheFolder());
    return {names.begin(), names.end()};
  }

  // Files in the save folder (the program folder) now.
  std::set<std::wstring> SaveFolderFiles() const;
  // The bytes of a served file (from the lab's media folder, checked
  // against the checksum the lab states for its address).
  std::string ServedBytes(const std::string& path);

 private:
  BrowserLab lab_;
  ChromiumStore store_;
  ProgramUnderTest program_;
  Window main_;
  std::optional<RunningBrowser> browser_;
};

struct BlockFileStore {
  static constexpr ChromiumStore kStore = ChromiumStore::kBlockFile;
};
struct SimpleStore {
  static constexpr ChromiumStore kStore = ChromiumStore::kSimple;
};
// Both stores, for typed suites, named in the test list by store.
using ChromiumStores = ::testing::Types<BlockFileStore, SimpleStore>;
class ChromiumStoreNames {
 public:
  template <class Store>
  static std::string GetName(int) {
    return Store::kStore == ChromiumStore::kBlockFile ? "BlockFiles" : "SimpleCache";
  }
};

// One session per store, shared by the cases of the suite in their order.
template <class Store>
class ChromiumWatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::optional<BrowserLab> lab = BrowserLab::FromEnvironment();
    if (!lab) {
      startError_ = "EE_BROWSER_LAB_PORT is not set: run through browsers/run_with_browser_lab.sh";
      return;
    }
    session_ = std::make_unique<ChromiumWatchSession>(*lab, Store::kStore);
    if (!session_->Start(&startError_)) session_.reset();
  }
  static void TearDownTestSuite() { session_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(session_) << startError_;
    session_->Settle();
  }
  void TearDown() override {
    if (session_ && session_->BrowserRunning()) {
      EXPECT_TRUE(session_->StopBrowser());
    }
  }

  ChromiumWatchSession& Session() { return *session_; }

  static inline std::unique_ptr<ChromiumWatchSession> session_;
  static inline std::string startError_;
};

std::string ExtensionOf(const std::wstring& path);

}  // namespace e2e
