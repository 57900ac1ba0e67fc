#include "app/session_sinks.h"

#include "app/cache_watch/cache_watch.h"
#include "app/detection/detection_sink.h"
#include "app/element_detection_receiver.h"

namespace {

struct ProgramSinks {
  ElementDetection elementDetection;
  CacheElementRecognizer recognizer{elementDetection};
  DetectionSink detection;
  WatchSinkFanOut<2> all{{&recognizer, &detection}};
};

ProgramSinks& Sinks() {
  static ProgramSinks sinks;
  return sinks;
}

}  // namespace

WatchSink& SessionSinks() { return Sinks().all; }

void SessionSinksStop() { Sinks().recognizer.Stop(); }
