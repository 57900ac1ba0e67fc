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

// The sink every session of the program is opened with: the detection step.
WatchSink& SessionSinks();
