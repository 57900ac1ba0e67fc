// Helpers of the watcher tests: a private folder tree, a sink that records
// hand-offs instead of prompting, and counts of the process's threads.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "app/watch/watch.h"

struct HandOff {
  std::string fullPath;
  std::wstring exactPath;
  std::string folderText;  // the session's, as the event carried it
  WatchSessionId session = 0;
};

// A fresh folder below the temporary folder, removed with its contents.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Path() const { return path_; }  // without a trailing "\"
  std::string Join(const std::string& relative) const { return path_ + "\\" + relative; }
  void Folder(const std::string& relative) const;                // with its parents
  void File(const std::string& relative, int writes = 1) const;  // created, written `writes` times

 private:
  std::string path_;
};

void RemoveTree(const std::string& path);

// Polls `ready` until it holds; false when it has not within the bound,
// which is only a safety net.
template <class Ready>
bool StateAwait(Ready ready, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!ready()) {
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

// Starts recording anew: new files whose path begins with `prefix` are kept.
void HandOffRecordStart(const std::string& prefix);
// The sink that records; sessions opened with it are recorded.
WatchSink& HandOffRecorder();
std::vector<HandOff> HandOffsRecorded();
// Waits until at least `count` hand-offs were recorded (false on timeout).
bool HandOffsAwait(std::size_t count, DWORD timeoutMs);

// Waits until the sink was told that the session ended: its folder is closed
// and none of its files can follow (false on timeout).
bool SessionEndAwait(WatchSessionId session, DWORD timeoutMs);
// Under Wine, waits until a subfolder walk more than `walksBefore` has ended
// (the start's walk of the session opened last); elsewhere there is none.
bool WalkAwait(std::uint64_t walksBefore, DWORD timeoutMs);

std::vector<DWORD> ProcessThreadIds();
// Waits until the process has at most `count` threads (false on timeout).
bool ThreadCountAwait(std::size_t count, DWORD timeoutMs);
