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
#include "app/detection/joined_save.h"
#include "app/detection/stream_texts.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/presentation_mux.h"
#include "app/muxing/presentation_pairs.h"
#include "app/streams/cache_stream_reader.h"
#include "app/streams/stream_parts.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/value_commands.h"
#include "runtime/core/text_encoding_wide.h"

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

// A DASH stream's presentation as the whole folder holds it now: the
// manifest's fullest video and sound streams, when the named stream is one
// of them.
struct PresentationNow {
  std::unique_ptr<CacheFolder> folder;
  CacheStreams streams;
  std::optional<StreamPair> pair;
  bool namedIsAudio = false;
};

PresentationNow PresentationRead(const MediaElementRef& ref) {
  PresentationNow now;
  if (ref.representation.empty() || ref.segmentGroup) return now;
  now.folder = DiskCacheFolderOpen(ref.folderExact, ref.folderAnsi);
  if (!now.folder) return now;
  const StreamElements all = StreamFolderRead(*now.folder, ref.store);
  now.streams = CacheStreamsFind(*now.folder, all.elements, all.signatures);
  const CacheStream* named = StreamNamed(now.streams, ref.webAddress, ref.representation, false);
  if (named == nullptr) return now;
  for (const StreamPair& pair : DashStreamPairs(now.streams.streams)) {
    if (&now.streams.streams[pair.video] != named && &now.streams.streams[pair.audio] != named) continue;
    now.pair = pair;
    now.namedIsAudio = &now.streams.streams[pair.audio] == named;
  }
  return now;
}

// A player fetches picture and sound together, but the watch may hand the
// sound stream on before the picture's segments are cached: a DASH sound
// stream without its pair yet waits a few seconds for it (while pictures are
// wanted), so that the presentation is offered once, as its video, not the
// sound alone first.  A manifest of sound only is offered that much later.
constexpr int kPairLooks = 24;
constexpr DWORD kPairLookMs = 500;

PresentationNow PresentationAwait(const MediaElementRef& ref, bool pictureWanted) {
  PresentationNow now = PresentationRead(ref);
  const bool sound = ref.nature == MediaNature::Audio && !ref.representation.empty() && !ref.segmentGroup;
  for (int look = 1; look < kPairLooks && sound && pictureWanted && !now.pair; ++look) {
    if (ExtractionCopiesCancelled()) break;
    Sleep(kPairLookMs);
    now = PresentationRead(ref);
  }
  return now;
}

// The choice for a track not all there; true to go on with what is there,
// false with `again` set to read once more, else to give up.
bool IncompleteTrackAccepted(std::string_view address, const CacheStream& stream, bool& again) {
  again = false;
  if (stream.plan.complete) return true;
  const Text warning =
      IncompleteStreamText(address, stream.plan.present, stream.plan.total, ContiguousSegments(stream));
  const std::int32_t choice = IncompleteChoiceShow(std::string_view(warning));
  again = choice == kMessageBoxTryAgain;
  return choice == kMessageBoxContinue;
}

bool StreamSaveAs(CacheFolder& folder, const CacheStream& stream, const DestinationName& name, Text& written) {
  FILETIME time;
  const FILETIME* lastWrite = FileTimeOf(stream.lastWritten, time);
  return SaveToFreeName(
      name,
      [&](const wchar_t* destination) {
        StreamSource source(folder, stream);
        return ExtractionWrite(source, destination, lastWrite);
      },
      written);
}

// A presentation's picture and sound: one prompt, one file.  Where the
// muxer refuses them, the user is told why and each track is saved on its
// own (the sound only when its class is wanted).
void PresentationHandle(const MediaElementRef& found, PresentationNow& first, const DetectionTexts& texts,
                        const DestinationName& name, ClassSwitches& switches) {
  const std::string& address = found.webAddress;
  {
    const CacheStream& video = first.streams.streams[first.pair->video];
    const CacheStream& audio = first.streams.streams[first.pair->audio];
    const Text subject = StreamPromptSubject(address, video.plan.bytes + audio.plan.bytes,
                                             video.cutShort || audio.cutShort, true);
    if (!SavePromptConfirmed(texts, std::string_view(subject))) return;
  }
  for (;;) {
    PresentationNow now = PresentationRead(found);
    if (!now.pair) {
      SaveFailedShow(texts);
      return;
    }
    const CacheStream& video = now.streams.streams[now.pair->video];
    const CacheStream& audio = now.streams.streams[now.pair->audio];
    bool again = false;
    if (!IncompleteTrackAccepted(address, video, again) || !IncompleteTrackAccepted(address, audio, again)) {
      if (again) continue;
      return;
    }
    CacheStreamFile videoFile(*now.folder, video);
    CacheStreamFile audioFile(*now.folder, audio);
    if (JoinedSaveTold(videoFile, audioFile, std::max(video.lastWritten, audio.lastWritten), name, texts)) return;
    Text written;
    if (!video.pieces.empty() && StreamSaveAs(*now.folder, video, name, written)) {
      SavedShow(texts, std::string_view(written));
    } else {
      SaveFailedShow(texts);
    }
    const Classification sound = ClassifyMediaElement(ExtensionClass::Audio, audio.extension, switches);
    if (sound.extensionClass == ExtensionClass::None || audio.pieces.empty()) return;
    const DetectionTexts& soundTexts = DetectionTextsOf(sound.extensionClass);
    if (StreamSaveAs(*now.folder, audio, DestinationNameOf(std::string_view(name.detectionTime), sound), written)) {
      SavedShow(soundTexts, std::string_view(written));
    } else {
      SaveFailedShow(soundTexts);
    }
    return;
  }
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

Text StreamPromptSubject(std::string_view webAddress, std::uint64_t bytes, bool cutShort, bool joined) {
  Text text = MakeText(webAddress);
  if (joined) text += kStreamJoined;
  text += kStreamSizeBefore;
  text += DecimalText(bytes);
  text += kStreamSizeAfter;
  if (cutShort) text += kStreamCutShort;
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
  Text subject = MakeText(address);
  {
    const StreamNow before = StreamRead(found, false);
    if (before.stream && before.stream->protectedContent) {
      ProtectedShow(address);
      return;
    }
    if (before.stream) subject = StreamPromptSubject(address, before.stream->plan.bytes, before.stream->cutShort);
  }
  // A presentation is offered once, as its video: its sound waits for it
  // (unless only sound is wanted).
  const bool pictureWanted =
      ClassifyMediaElement(ExtensionClass::Video, "mp4", switches).extensionClass != ExtensionClass::None;
  PresentationNow presentation = PresentationAwait(found, pictureWanted);
  if (presentation.pair) {
    const CacheStream& video = presentation.streams.streams[presentation.pair->video];
    const bool videoWanted =
        ClassifyMediaElement(ExtensionClass::Video, video.extension, switches).extensionClass != ExtensionClass::None;
    if (presentation.namedIsAudio && videoWanted) return;
    if (!presentation.namedIsAudio) {
      PresentationHandle(found, presentation, texts, name, switches);
      return;
    }
  }
  if (!SavePromptConfirmed(texts, std::string_view(subject))) return;

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
