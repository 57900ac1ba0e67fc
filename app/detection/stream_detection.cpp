#include "app/detection/stream_detection.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/detection/detection_save.h"
#include "app/detection/detection_messages.h"
#include "app/detection/detection_texts.h"
#include "app/detection/extraction_copy.h"
#include "app/detection/stream_texts.h"
#include "app/streams/cache_stream_reader.h"
#include "app/streams/stream_parts.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/value_commands.h"

namespace {

// The joined bytes, exactly as planned: a piece the cache gives fewer bytes
// of (the browser evicted or replaced a segment meanwhile) fails the copy.
class StreamSource final : public ExtractionSource {
 public:
  StreamSource(CacheFolder& folder, const CacheStream& stream) : reader_(folder, stream) {}
  bool Read(void* buffer, DWORD size, DWORD& read) override {
    read = static_cast<DWORD>(reader_.Read(buffer, size));
    if (!reader_.Failed()) return true;
    SetLastError(ERROR_HANDLE_EOF);
    return false;
  }

 private:
  CacheStreamReader reader_;
};

struct StreamNow {
  std::unique_ptr<CacheFolder> folder;
  std::optional<CacheStream> stream;
};

std::optional<CacheStream> Named(CacheFolder& folder, const StreamElements& read,
                                 const MediaElementRef& ref) {
  const CacheStreams streams = CacheStreamsFind(folder, read.elements, read.signatures);
  const CacheStream* named = StreamNamed(streams, ref.webAddress, ref.representation, ref.segmentGroup);
  if (named == nullptr) return std::nullopt;
  return *named;
}

// The stream as the cache holds it now, from the parts the watch kept.
// Segments cached since it was handed on are no parts of it: where the
// stream is not complete (and `searchFolder`), the whole folder is read
// too and the fuller of the two taken.  No stream when the browser dropped it.
StreamNow StreamRead(const MediaElementRef& ref, bool searchFolder) {
  StreamNow now;
  now.folder = DiskCacheFolderOpen(ref.folderExact, ref.folderAnsi);
  if (!now.folder) return now;
  now.stream = Named(*now.folder, StreamPartsRead(*now.folder, ref.streamParts), ref);
  if (!searchFolder || (now.stream && now.stream->plan.complete)) return now;
  std::optional<CacheStream> whole = Named(*now.folder, StreamFolderRead(*now.folder, ref.store), ref);
  if (whole && (!now.stream || whole->plan.present > now.stream->plan.present)) now.stream = std::move(whole);
  return now;
}

std::size_t ContiguousSegments(const CacheStream& stream) {
  return static_cast<std::size_t>(std::count_if(stream.plan.pieces.begin(), stream.plan.pieces.end(),
                                                [](const JoinPiece& piece) { return !piece.init; }));
}

bool Save(StreamNow& now, const DestinationName& name, Text& written) {
  FILETIME time;
  const FILETIME* lastWrite = FileTimeOf(now.stream->lastWritten, time);
  return SaveToFreeName(
      name,
      [&](const wchar_t* destination) {
        StreamSource source(*now.folder, *now.stream);
        return ExtractionWrite(source, destination, lastWrite);
      },
      written);
}

void ProtectedShow(std::string_view address) {
  MessageBoxShow(std::string_view(ProtectedStreamText(address)), kStreamProtectedStyle,
                 kStreamProtectedCaption);
}

}  // namespace

Text IncompleteStreamText(std::string_view webAddress, std::size_t present, std::size_t total,
                          std::size_t contiguous) {
  Text text = MakeText(kIncompleteBefore);
  text += webAddress;
  text += kIncompleteAfter;
  text += kIncompleteSegments;
  text += DecimalText(present);
  text += kIncompleteOfSegments;
  text += DecimalText(total);
  text += kIncompleteSegmentsEnd;
  text += kIncompleteSegmentChoices;
  text += DecimalText(contiguous);
  text += kIncompleteSegmentChoicesEnd;
  return text;
}

Text ProtectedStreamText(std::string_view webAddress) {
  Text text = MakeText(kStreamProtectedBefore);
  text += webAddress;
  text += kStreamProtectedAfter;
  return text;
}

void HandleMediaStream(const MediaElementRef& found, ClassSwitches& switches) {
  CriticalSectionHold hold(DetectionLockHandle());

  const ExtensionClass mediaClass = MediaClassOf(found.nature);
  if (mediaClass == ExtensionClass::None) return;
  const Classification classification = ClassifyMediaElement(mediaClass, found.extension, switches);
  if (classification.extensionClass == ExtensionClass::None) return;
  const DetectionTexts& texts = DetectionTextsOf(classification.extensionClass);
  const DestinationName name = DestinationNameOf(ToText(NowDateTime()), classification);
  const std::string& address = found.webAddress;

  // Nothing to confirm for what can never be saved.
  {
    const StreamNow before = StreamRead(found, false);
    if (before.stream && before.stream->protectedContent) {
      ProtectedShow(address);
      return;
    }
  }
  if (!SavePromptConfirmed(texts, address)) return;

  for (;;) {
    StreamNow now = StreamRead(found, true);
    if (now.stream && now.stream->protectedContent) {
      ProtectedShow(address);
      return;
    }
    if (now.stream && !now.stream->plan.complete) {
      const Text warning = IncompleteStreamText(address, now.stream->plan.present, now.stream->plan.total,
                                                ContiguousSegments(*now.stream));
      const std::int32_t choice = IncompleteChoiceShow(std::string_view(warning));
      if (choice == kMessageBoxTryAgain) continue;
      if (choice != kMessageBoxContinue) return;
    }
    Text written;
    if (now.stream && !now.stream->pieces.empty() && Save(now, name, written)) {
      SavedShow(texts, std::string_view(written));
      return;
    }
    if (ExtractionCopiesCancelled()) return;  // the program is ending
    SaveFailedShow(texts);
    return;
  }
}
