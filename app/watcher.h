// The directory change watcher: one session per watched folder, reading
// change records on its own thread and handing new files to the detection
// step.  See the note at the top of watcher.cpp for threads and ownership.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "runtime/core/text.h"

// The open watch, 0 when none runs.  Only the window thread reads and
// writes it.
extern std::uintptr_t WatchHandle;

// Opens the folder (a "\" is appended when the text ends in neither "\" nor
// "/") and starts its watcher.  Returns the folder handle, or 0 when the
// folder cannot be opened.
std::uintptr_t OpenWatchFolder(std::string_view folderText);

// Ends the session whose handle the variable holds and sets the variable to
// 0.  Returns at once; the session's threads finish on their own.  A value
// that names no running session is ignored.
void CloseWatchHandleAsync(std::uintptr_t& handle);

// Threads of a session.  Each takes its session record.
DWORD WINAPI WatcherThread(LPVOID sessionRecord);

// When a session ends by itself (the folder was deleted or became
// unreachable), `message` is posted to `window` with wParam = the session's
// handle value.  A null window turns the notice off.
void WatchEndedNotifySet(HWND window, UINT message);
// True when `handle` is non-zero and names no running session: the watch it
// stood for has ended by itself.  The window thread checks WatchHandle with
// it when the notice arrives (a stale notice finds its session running).
bool WatchEndedByItself(std::uintptr_t handle);

// Where accepted files go: HandleNewFile unless a test sets another sink.
// Called on the one hand-off thread, one file at a time.
using NewFileSink = void (*)(std::string_view fullPath, std::wstring_view exactPath);
void NewFileSinkSet(NewFileSink sink);  // nullptr restores HandleNewFile

// UTF-16 name to the ANSI code page (count -1: up to the terminating zero).
Text ToAnsiName(const wchar_t* name, int count = -1);

// A batch as the watcher hands it to the batch worker: a block of the bytes
// the read returned plus 12 zero bytes, and the session it came from.
struct ChangeBatch;
// Decodes the batch, hands its new files on and frees the block.
void DecodeChangeBatch(ChangeBatch* batch);
// The body of the batch worker: decodes waiting batches until none is left.
DWORD WINAPI BatchWorker(LPVOID unused);

// Figures for tests and benchmarks: what waits now, and since the start of
// the process how many overflows there were and how many files recovery
// scans (and the Wine subfolder walk) handed on.
struct WatchStatistics {
  std::size_t batchesWaiting = 0;
  std::size_t filesWaiting = 0;
  std::uint64_t batchesHandedOver = 0;
  std::uint64_t overflows = 0;
  std::uint64_t filesRecovered = 0;
  // The Wine subfolder walks finished so far, and the last one's size and time.
  std::uint64_t walksDone = 0;
  std::uint32_t lastWalkFolders = 0;
  std::uint32_t lastWalkMs = 0;
};
WatchStatistics WatchStatisticsRead();
