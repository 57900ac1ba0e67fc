// Who receives the watch sessions' events: the program's sinks composed.
#pragma once

#include <array>
#include <cstddef>

#include "app/watch/watch.h"

// Gives every event to each sink in turn, in the order given.
template <std::size_t Count>
class WatchSinkFanOut final : public WatchSink {
 public:
  explicit WatchSinkFanOut(std::array<WatchSink*, Count> sinks) : sinks_(sinks) {}
  void SessionStarted(const WatchSessionInfo& session) override {
    for (WatchSink* sink : sinks_) sink->SessionStarted(session);
  }
  void NewFile(const NewFileEvent& file) override {
    for (WatchSink* sink : sinks_) sink->NewFile(file);
  }
  void SessionEnded(WatchSessionId session) override {
    for (WatchSink* sink : sinks_) sink->SessionEnded(session);
  }

 private:
  std::array<WatchSink*, Count> sinks_;
};

// The sink every session of the program is opened with: first the browser
// cache recognizer (it never blocks), then the detection step (it holds the
// hand-off thread while its prompt is open).  Media elements the recognizer
// finds go to the detection step's entry for elements.
WatchSink& SessionSinks();

// For program end: stops the recognizer's threads (before the copies are
// cancelled, so that no new element reaches the detection step).
void SessionSinksStop();
