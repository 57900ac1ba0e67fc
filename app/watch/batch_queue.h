// From a read's bytes to the hand-off thread: the batch worker decodes each
// batch as soon as it arrives, joining every name to the folder of the
// session the batch came from, and queues the session's new files for its
// sink.  Internal to the watcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/watch/watch_session.h"
#include "runtime/core/text.h"

// Hands a copy of the returned bytes to the batch worker; false when no
// block could be had (the batch is lost).
bool WatchBatchHandOver(const WatchSessionRef& session, const void* buffer, std::size_t byteCount,
                        std::uint64_t issueTime);
// Hands on a file found by a recovery scan unless the session already did.
void WatchRecoveredFileOffer(WatchSession& session, std::u16string_view relativeName);
void WatchOverflowCount();
// Folders queued for the Wine walk (positive) or walked or dropped (negative).
void WatchFoldersToWalkCount(std::int64_t change);
void WatchWalkCount(std::uint32_t folders, std::uint32_t milliseconds);

// UTF-16 name to the ANSI code page (count -1: up to the terminating zero).
Text ToAnsiName(const wchar_t* name, int count = -1);
