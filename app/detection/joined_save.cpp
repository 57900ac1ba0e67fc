#include "app/detection/joined_save.h"

#include <windows.h>

#include "app/detection/detection_messages.h"
#include "app/detection/detection_save.h"
#include "app/detection/extraction_copy.h"
#include "app/detection/stream_texts.h"
#include "app/muxing/mux_fault_texts.h"
#include "app/muxing/mux_file_output.h"
#include "app/muxing/presentation_mux.h"
#include "app/program_state/shared_values.h"
#include "runtime/commands/message_box.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

PresentationMuxResult JoinedSave(CacheFile& video, CacheFile& audio, std::uint64_t lastWritten,
                                 const DestinationName& name, Text& written, bool& saved) {
  saved = false;
  PresentationMuxResult result;
  MuxFileOutput output(WideFromAnsi(std::string_view(*SaveFolder.Snapshot())));
  if (!output.Opened()) {
    result.outcome = MuxOutcome::WriteFailed;
    return result;
  }
  result = PresentationMuxWrite(video, audio, output);
  if (result.outcome != MuxOutcome::Done) return result;
  DestinationName joinedName{name.detectionTime, MakeText(".")};
  joinedName.extension += result.extension;
  FILETIME time;
  const FILETIME* lastWrite = FileTimeOf(lastWritten, time);
  saved = SaveToFreeName(
      joinedName, [&](const wchar_t* destination) { return output.MoveTo(destination, lastWrite); }, written);
  return result;
}

void NotJoinedShow(const PresentationMuxResult& result) {
  Text why = MakeText(MuxFaultText(result));
  why += kNotJoinedAfter;
  MessageBoxShow(std::string_view(why), kNotJoinedStyle, kNotJoinedCaption);
}

}  // namespace

bool JoinedSaveTold(CacheFile& video, CacheFile& audio, std::uint64_t lastWritten, const DestinationName& name,
                    const DetectionTexts& texts) {
  Text written;
  bool saved = false;
  const PresentationMuxResult result = JoinedSave(video, audio, lastWritten, name, written, saved);
  if (saved) {
    SavedShow(texts, std::string_view(written));
    return true;
  }
  if (result.outcome == MuxOutcome::Done || result.outcome == MuxOutcome::WriteFailed) {
    if (!ExtractionCopiesCancelled()) SaveFailedShow(texts);
    return true;
  }
  NotJoinedShow(result);
  return false;
}
