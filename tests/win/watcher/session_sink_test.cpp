// What a sink hears of its sessions: each session's start, its files joined
// to that session's own folder, and its end after its last file, even when
// the files were still queued at a stop and a start on another folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "app/session_sinks.h"
#include "app/program_state/shared_values.h"
#include "app/watch/watch.h"
#include "watch_test_support.h"

namespace {

enum class Kind { Started, NewFile, Ended };

struct Heard {
  Kind kind;
  WatchSessionId session = 0;
  std::string folderText;
  std::string fullPath;
  std::wstring exactPath;
};

// Records every event; holds the first new file until released, as a
// prompt waiting for the user holds the hand-off thread.
class HeldSink final : public WatchSink {
 public:
  HeldSink()
      : firstArrived_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~HeldSink() {
    CloseHandle(firstArrived_);
    CloseHandle(release_);
  }

  void SessionStarted(const WatchSessionInfo& session) override {
    Record(Heard{Kind::Started, session.id, std::string(session.folderText), {}, {}});
  }
  void NewFile(const NewFileEvent& file) override {
    const bool first = Record(Heard{Kind::NewFile, file.session, std::string(file.folderText),
                                    std::string(file.fullPath), std::wstring(file.exactPath)}) == 1;
    if (!first) return;
    SetEvent(firstArrived_);
    WaitForSingleObject(release_, 30000);
  }
  void SessionEnded(WatchSessionId session) override { Record(Heard{Kind::Ended, session, {}, {}, {}}); }

  bool FirstAwait(DWORD timeoutMs) { return WaitForSingleObject(firstArrived_, timeoutMs) == WAIT_OBJECT_0; }
  void Release() { SetEvent(release_); }
  std::vector<Heard> Events() {
    std::lock_guard<std::mutex> guard(lock_);
    return heard_;
  }
  bool Has(Kind kind, WatchSessionId session) {
    const std::vector<Heard> events = Events();
    return std::any_of(events.begin(), events.end(),
                       [&](const Heard& e) { return e.kind == kind && e.session == session; });
  }

 private:
  // Returns how many new files were heard, this one included.
  std::size_t Record(Heard event) {
    std::lock_guard<std::mutex> guard(lock_);
    heard_.push_back(std::move(event));
    return static_cast<std::size_t>(
        std::count_if(heard_.begin(), heard_.end(), [](const Heard& e) { return e.kind == Kind::NewFile; }));
  }

  HANDLE firstArrived_;
  HANDLE release_;
  std::mutex lock_;
  std::vector<Heard> heard_;
};

std::size_t IndexOf(const std::vector<Heard>& events, Kind kind, WatchSessionId session,
                    const std::string& fullPath = {}) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Heard& e = events[i];
    if (e.kind == kind && e.session == session && (fullPath.empty() || e.fullPath == fullPath)) return i;
  }
  return events.size();
}

TEST(WatchSinkTest, QueuedFilesKeepTheirSessionsFolderAcrossAStopAndAStartOnAnotherFolder) {
  // Earlier sessions' events have all been given out.
  ASSERT_TRUE(StateAwait([] { return WatchStatisticsRead().filesWaiting == 0; }, 10000));
  TempTree first;
  TempTree second;
  HeldSink sink;
  std::uintptr_t handle = OpenWatchFolder(first.Path(), sink);
  ASSERT_NE(handle, 0u);
  first.File("held.flv");
  ASSERT_TRUE(sink.FirstAwait(10000));
  const std::size_t waiting = WatchStatisticsRead().filesWaiting;

  // As the start button does: the box text names the new folder while the
  // old session still runs, then the old session stops and the new one starts.
  WatchedFolder.Replace(MakeText(second.Path() + "\\"));
  first.File("Queued.MP4");
  ASSERT_TRUE(StateAwait([&] { return WatchStatisticsRead().filesWaiting > waiting; }, 10000));
  CloseWatchHandleAsync(handle);
  std::uintptr_t next = OpenWatchFolder(second.Path(), sink);
  ASSERT_NE(next, 0u);
  second.File("after.flv");
  sink.Release();

  ASSERT_TRUE(StateAwait([&] { return sink.Events().size() >= 6; }, 10000));
  CloseWatchHandleAsync(next);
  std::vector<Heard> events = sink.Events();
  ASSERT_GE(events.size(), 2u);
  const WatchSessionId one = events[0].session;
  ASSERT_EQ(events[0].kind, Kind::Started);
  EXPECT_EQ(events[0].folderText, first.Path() + "\\");
  const auto two = std::find_if(events.begin(), events.end(),
                                [&](const Heard& e) { return e.kind == Kind::Started && e.session != one; });
  ASSERT_NE(two, events.end());
  const WatchSessionId secondId = two->session;
  EXPECT_EQ(two->folderText, second.Path() + "\\");
  ASSERT_TRUE(StateAwait([&] { return sink.Has(Kind::Ended, secondId); }, 10000));
  events = sink.Events();

  const std::size_t held = IndexOf(events, Kind::NewFile, one, first.Join("held.flv"));
  const std::size_t queued = IndexOf(events, Kind::NewFile, one, first.Join("queued.mp4"));
  const std::size_t oneEnded = IndexOf(events, Kind::Ended, one);
  const std::size_t after = IndexOf(events, Kind::NewFile, secondId, second.Join("after.flv"));
  const std::size_t twoStarted = IndexOf(events, Kind::Started, secondId);
  const std::size_t twoEnded = IndexOf(events, Kind::Ended, secondId);
  ASSERT_LT(queued, events.size()) << "the queued file came out joined to another folder";
  ASSERT_LT(after, events.size());
  EXPECT_LT(held, queued);
  EXPECT_LT(queued, oneEnded) << "a session ends for its sink after its last file";
  EXPECT_LT(twoStarted, after);
  EXPECT_LT(after, twoEnded);
  EXPECT_EQ(events[queued].folderText, first.Path() + "\\");
  const std::string queuedExact = first.Join("Queued.MP4");
  EXPECT_EQ(events[queued].exactPath, std::wstring(queuedExact.begin(), queuedExact.end()));
  EXPECT_EQ(events[after].folderText, second.Path() + "\\");
  // Nothing of the second folder was joined to the first session or the other way round.
  for (const Heard& e : events) {
    if (e.kind != Kind::NewFile) continue;
    EXPECT_EQ(e.fullPath.rfind(e.folderText, 0), 0u) << e.fullPath;
    EXPECT_EQ(e.session == one, e.folderText == first.Path() + "\\") << e.fullPath;
  }
}

// Records which sink heard which event, in one shared order.
class OrderSink final : public WatchSink {
 public:
  OrderSink(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
  void SessionStarted(const WatchSessionInfo& session) override {
    log_.push_back(name_ + " started " + std::to_string(session.id) + " " + std::string(session.folderText));
  }
  void NewFile(const NewFileEvent& file) override {
    log_.push_back(name_ + " file " + std::string(file.fullPath));
  }
  void SessionEnded(WatchSessionId session) override {
    log_.push_back(name_ + " ended " + std::to_string(session));
  }

 private:
  std::vector<std::string>& log_;
  std::string name_;
};

TEST(WatchSinkTest, FanOutGivesEveryEventToEachSinkInTurn) {
  std::vector<std::string> log;
  OrderSink detection(log, "a");
  OrderSink recognizer(log, "b");
  WatchSinkFanOut<2> both({&detection, &recognizer});
  both.SessionStarted(WatchSessionInfo{7, "C:\\w\\"});
  both.NewFile(NewFileEvent{7, "C:\\w\\", "C:\\w\\x.flv", L"C:\\w\\X.flv"});
  both.SessionEnded(7);
  EXPECT_EQ(log,
            (std::vector<std::string>{"a started 7 C:\\w\\", "b started 7 C:\\w\\", "a file C:\\w\\x.flv",
                                      "b file C:\\w\\x.flv", "a ended 7", "b ended 7"}));
}

}  // namespace
