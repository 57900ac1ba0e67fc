// The detection step's entry for elements as the receiver of what the cache
// recognizer finds (kept to a header: the recognizer calls it only through
// its interface).
#pragma once

#include "app/cache_watch/cache_watch.h"
#include "app/detection/element_detection.h"

class ElementDetection final : public MediaElementReceiver {
 public:
  void MediaElementFound(const MediaElementRef& element) override { HandleMediaElement(element); }
};
