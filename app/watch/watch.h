// The directory change watcher, as the rest of the program sees it: open a
// session on a folder with the sink that receives what it finds, close it.
// One hand-off thread gives every sink its events, one at a time.  The note
// at the top of watcher.cpp says which thread does what.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

// Numbers sessions in the order they were opened; never reused.
using WatchSessionId = std::uint64_t;

struct WatchSessionInfo {
  WatchSessionId id = 0;
  std::string_view folderText;  // as opened, ending in a separator
};

// A file that appeared below the session's folder.  The texts are valid
// only during the call.
struct NewFileEvent {
  WatchSessionId session = 0;
  std::string_view folderText;  // the session's own folder, as in WatchSessionInfo
  std::string_view fullPath;    // folder text + the name, name part lower-cased (ANSI)
  std::wstring_view exactPath;  // the same path in UTF-16, exactly as the system spells it
};

// What receives a session's events.  All calls come from the one hand-off
// thread, never two at once.  For each session: SessionStarted first, then
// its new files, then SessionEnded after its last file (a queued file is
// still handed on after a stop).  Sessions may overlap: a new session can
// start before the previous one has ended.  A sink must outlive every
// session opened with it.
class WatchSink {
 public:
  virtual void SessionStarted(const WatchSessionInfo& session) = 0;
  virtual void NewFile(const NewFileEvent& file) = 0;
  virtual void SessionEnded(WatchSessionId session) = 0;

 protected:
  ~WatchSink() = default;
};

// Opens the folder (a "\" is appended when the text ends in neither "\" nor
// "/") and starts its session; the sink receives its events.  Returns the
// folder handle, or 0 when the folder cannot be opened.
std::uintptr_t OpenWatchFolder(std::string_view folderText, WatchSink& sink);

// Ends the session whose handle the variable holds and sets the variable to
// 0.  Returns at once; the session's threads finish on their own.  A value
// that names no running session is ignored.
void CloseWatchHandleAsync(std::uintptr_t& handle);

// When a session ends by itself (the folder was deleted or became
// unreachable), `message` is posted to `window` with wParam = the session's
// handle value.  A null window turns the notice off.
void WatchEndedNotifySet(HWND window, UINT message);
// True when `handle` is non-zero and names no running session: the watch it
// stood for has ended by itself.
bool WatchEndedByItself(std::uintptr_t handle);

// Figures of the watcher's work: what waits now, and since the start of
// the process how many overflows there were and how many files recovery
// scans (and the Wine subfolder walk) handed on.
struct WatchStatistics {
  std::size_t batchesWaiting = 0;
  std::size_t filesWaiting = 0;  // events queued for the hand-off thread
  std::uint64_t batchesHandedOver = 0;
  std::uint64_t overflows = 0;
  std::uint64_t filesRecovered = 0;
  // The Wine subfolder walks finished so far, and the last one's size and time.
  std::uint64_t walksDone = 0;
  std::uint32_t lastWalkFolders = 0;
  std::uint32_t lastWalkMs = 0;
  // Folders reported as added and not yet walked (under Wine).
  std::uint64_t foldersToWalk = 0;
};
WatchStatistics WatchStatisticsRead();
