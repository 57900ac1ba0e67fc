#include "app/session_sinks.h"

#include "app/detection/detection_sink.h"

WatchSink& SessionSinks() {
  static DetectionSink detection;
  static WatchSinkFanOut<1> all({&detection});
  return all;
}
