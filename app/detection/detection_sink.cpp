#include "app/detection/detection_sink.h"

#include "app/detection/detection.h"

void DetectionSink::NewFile(const NewFileEvent& file) { HandleNewFile(file.fullPath, file.exactPath); }
