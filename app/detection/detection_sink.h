// The detection step as a receiver of a watch session's new files.
#pragma once

#include "app/watch/watch.h"

class DetectionSink final : public WatchSink {
 public:
  void SessionStarted(const WatchSessionInfo&) override {}
  // Runs the detection step for the file; returns when its prompt and copy are done.
  void NewFile(const NewFileEvent& file) override;
  void SessionEnded(WatchSessionId) override {}
};
