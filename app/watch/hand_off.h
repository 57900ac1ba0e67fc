// The one hand-off thread: gives each session's events to the sink the
// session was opened with, one event at a time and in the order they were
// queued, so that a sink waiting for the user holds up no read and no
// decoding.  It knows sinks only, nothing of sessions or reads.
#pragma once

#include <cstddef>
#include <memory>

#include "app/watch/watch.h"
#include "runtime/core/text.h"

// Where a session's events go and what each of them carries of the session.
struct HandOffTarget {
  WatchSink* sink = nullptr;
  WatchSessionId id = 0;
  std::shared_ptr<const Text> folderText;  // as opened, ending in a separator
};

void HandOffSessionStarted(const HandOffTarget& target);
void HandOffNewFile(const HandOffTarget& target, Text fullPath, WideText exactPath);
void HandOffSessionEnded(const HandOffTarget& target);

// Events queued and not yet given to their sink.
std::size_t HandOffWaiting();
