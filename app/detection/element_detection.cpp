#include "app/detection/element_detection.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "app/browser_caches/cache_folder_disk.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/firefox_cache2.h"
#include "app/detection/detection.h"
#include "app/detection/detection_save.h"
#include "app/detection/detection_messages.h"
#include "app/detection/detection_texts.h"
#include "app/detection/extraction_copy.h"
#include "app/detection/joined_save.h"
#include "app/detection/stream_detection.h"
#include "app/detection/stream_texts.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/element_partner.h"
#include "app/streams/stream_parts.h"
#include "app/media_facts/cache_media_facts.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/value_commands.h"

namespace {

// The element's body from offset 0, exactly `length` bytes: a cache file that
// turned out shorter (the browser evicted it meanwhile) fails the copy.
class ElementSource final : public ExtractionSource {
 public:
  ElementSource(CacheFolder& folder, const CacheElement& element, std::uint64_t length)
      : reader_(folder, element), length_(length) {}
  bool Read(void* buffer, DWORD size, DWORD& read) override {
    const std::uint64_t want = std::min<std::uint64_t>(size, length_ - offset_);
    read = static_cast<DWORD>(reader_.Read(offset_, buffer, static_cast<std::size_t>(want)));
    offset_ += read;
    if (read == want) return true;
    SetLastError(ERROR_HANDLE_EOF);
    return false;
  }

 private:
  CacheBodyReader reader_;
  std::uint64_t length_;
  std::uint64_t offset_ = 0;
};

struct ElementNow {
  std::unique_ptr<CacheFolder> folder;
  std::optional<CacheElement> element;
};

// The element as the cache holds it now; no element when the browser dropped
// it (or replaced it by another key under the same entry name).  A Firefox
// entry found while it was still a raw body had no key yet.
ElementNow ElementRead(const MediaElementRef& ref) {
  ElementNow now;
  now.folder = DiskCacheFolderOpen(ref.folderExact, ref.folderAnsi);
  if (!now.folder) return now;
  if (ref.store == CacheStore::FirefoxCache2) {
    now.element = FirefoxEntryRead(*now.folder, ref.fileName);
    if (now.element && !ref.key.empty() && !now.element->key.empty() && now.element->key != ref.key)
      now.element.reset();
    return now;
  }
  now.element = ChromiumElementRead(*now.folder, ref.store, ref.fileName, ref.key, ref.rangeSignature);
  if (now.element && now.element->key != ref.key) now.element.reset();
  return now;
}

// What the prompt names: the web address when it is known by now, else (a
// Firefox entry whose metadata is not written yet) the cache file's path.
std::string PromptAddress(const MediaElementRef& ref, const ElementNow& now) {
  if (now.element && !now.element->webAddress.empty()) return now.element->webAddress;
  if (!ref.webAddress.empty()) return ref.webAddress;
  if (ref.store == CacheStore::FirefoxCache2) return ref.folderAnsi + "\\" + ref.fileName;
  return ref.key;
}

// A Firefox element's nature and container as the cache tells them now: the
// stored type, once there, tells audio/mp4 or audio/webm from video.
void NatureRefresh(MediaElementRef& ref, ElementNow& now) {
  if (ref.store != CacheStore::FirefoxCache2 || !now.element) return;
  const MediaSignature signature = CacheElementSignature(*now.folder, *now.element);
  if (signature.nature != MediaNature::Video && signature.nature != MediaNature::Audio) return;
  ref.nature = signature.nature;
  ref.extension = std::string(signature.extension);
}

// The facts the element's cached headers give, as the prompt shows them
// after the address; empty when they give none.
std::string FactsText(const MediaFacts& facts) {
  std::string text;
  const auto add = [&](std::string_view label, const std::string& value) {
    if (value.empty()) return;
    text += text.empty() ? kFactsBefore : kFactsSeparator;
    text += label;
    text += value;
  };
  add(kFactsDuration, MediaFactsClockText(facts));
  add({}, MediaFactsResolutionText(facts));
  add({}, facts.codecs);
  if (!text.empty()) text += kFactsAfter;
  return text;
}

bool Save(ElementNow& now, std::uint64_t length, const DestinationName& name, Text& written) {
  FILETIME time;
  const FILETIME* lastWrite = FileTimeOf(now.element->lastWritten, time);
  return SaveToFreeName(
      name,
      [&](const wchar_t* destination) {
        ElementSource source(*now.folder, *now.element, length);
        return ExtractionWrite(source, destination, lastWrite);
      },
      written);
}

// A whole track (only picture or only sound, in one file, as a site fetches
// it by byte ranges) and its partner in the same folder, as the cache holds
// them now.
struct ElementPairNow {
  std::unique_ptr<CacheFolder> folder;
  std::vector<CacheElement> elements;
  std::size_t named = 0;
  std::optional<std::size_t> partner;
  bool namedIsAudio = false;
  bool singleKind = false;  // the named element holds one kind only: a partner may still come
};

ElementPairNow ElementPairRead(const MediaElementRef& ref) {
  ElementPairNow now;
  if (ref.key.empty()) return now;  // a Firefox body without metadata yet: no site to pair by
  ElementNow element = ElementRead(ref);
  if (!element.element) return now;
  // Its own headers first: only a track of one kind has a partner to look
  // for (its full length may not be stored yet: a later look pairs it).
  TrackHeadline self;
  {
    CacheElementFile file(*element.folder, *element.element);
    self = TrackHeadlineRead(file);
  }
  now.singleKind = self.kind != TrackKind::Unknown && self.container != TrackContainer::None;
  now.namedIsAudio = self.kind == TrackKind::Audio;
  if (!now.singleKind) return now;
  now.folder = std::move(element.folder);
  StreamElements all = StreamFolderRead(*now.folder, ref.store);
  const auto named = std::find_if(all.elements.begin(), all.elements.end(),
                                  [&](const CacheElement& each) { return each.key == element.element->key; });
  if (named == all.elements.end()) return now;
  now.named = static_cast<std::size_t>(named - all.elements.begin());
  now.partner =
      ElementPartnerFind(*now.folder, all.elements, all.signatures, now.named, PartnerWholeness::LengthKnown);
  now.elements = std::move(all.elements);
  return now;
}

// A player fetches both tracks together, but the watch may hand one on
// before the other has reached the cache: a track of one kind waits a few
// seconds for its partner before it is offered alone.
constexpr int kPartnerLooks = 24;
constexpr DWORD kPartnerLookMs = 500;

ElementPairNow ElementPairAwait(const MediaElementRef& ref) {
  ElementPairNow now = ElementPairRead(ref);
  for (int look = 1; look < kPartnerLooks && now.singleKind && !now.partner; ++look) {
    if (ExtractionCopiesCancelled()) break;
    Sleep(kPartnerLookMs);
    now = ElementPairRead(ref);
  }
  return now;
}

// The choice for a track not all there; true to go on with what is there,
// false with `again` set to read once more, else to give up.
bool IncompleteElementAccepted(const CacheElement& element, bool& again) {
  again = false;
  if (IsComplete(element)) return true;
  const Text warning = IncompleteElementText(element.webAddress, PresentLength(element), element.fullLength,
                                             ContiguousLength(element));
  const std::int32_t choice = IncompleteChoiceShow(std::string_view(warning));
  again = choice == kMessageBoxTryAgain;
  return choice == kMessageBoxContinue;
}

bool ElementSaveAs(CacheFolder& folder, const CacheElement& element, const DestinationName& name, Text& written) {
  std::uint64_t length = ContiguousLength(element);
  if (IsComplete(element) && element.fullLength) length = *element.fullLength;
  if (length == 0) return false;
  FILETIME time;
  const FILETIME* lastWrite = FileTimeOf(element.lastWritten, time);
  return SaveToFreeName(
      name,
      [&](const wchar_t* destination) {
        ElementSource source(folder, element, length);
        return ExtractionWrite(source, destination, lastWrite);
      },
      written);
}

// Two whole tracks of one presentation: one prompt naming both, one muxed
// file; a refusal is told and both are saved apart (the sound only when its
// class is wanted).
void ElementPairHandle(const ElementPairNow& first, const MediaElementRef& found, const DetectionTexts& texts,
                       const DestinationName& name, ClassSwitches& switches) {
  {
    Text subject = MakeText(first.elements[first.named].webAddress);
    subject += kPairedAddressesBetween;
    subject += first.elements[*first.partner].webAddress;
    subject += kStreamJoined;
    if (!SavePromptConfirmed(texts, std::string_view(subject))) return;
  }
  for (;;) {
    const ElementPairNow now = ElementPairRead(found);
    if (!now.partner || now.namedIsAudio) {
      SaveFailedShow(texts);
      return;
    }
    const CacheElement& video = now.elements[now.named];
    const CacheElement& audio = now.elements[*now.partner];
    bool again = false;
    if (!IncompleteElementAccepted(video, again) || !IncompleteElementAccepted(audio, again)) {
      if (again) continue;
      return;
    }
    CacheElementFile videoFile(*now.folder, video);
    CacheElementFile audioFile(*now.folder, audio);
    if (JoinedSaveTold(videoFile, audioFile, std::max(video.lastWritten, audio.lastWritten), name, texts)) return;
    Text written;
    if (ElementSaveAs(*now.folder, video, name, written)) {
      SavedShow(texts, std::string_view(written));
    } else {
      SaveFailedShow(texts);
    }
    const MediaSignature signature = CacheElementSignature(*now.folder, audio);
    const Classification sound = ClassifyMediaElement(ExtensionClass::Audio, signature.extension, switches);
    if (sound.extensionClass == ExtensionClass::None) return;
    const DetectionTexts& soundTexts = DetectionTextsOf(sound.extensionClass);
    if (ElementSaveAs(*now.folder, audio, DestinationNameOf(std::string_view(name.detectionTime), sound), written)) {
      SavedShow(soundTexts, std::string_view(written));
    } else {
      SaveFailedShow(soundTexts);
    }
    return;
  }
}

}  // namespace

Text IncompleteElementText(std::string_view webAddress, std::uint64_t present,
                           std::optional<std::uint64_t> fullLength, std::uint64_t contiguous) {
  Text text = MakeText(kIncompleteBefore);
  text += webAddress;
  text += kIncompleteAfter;
  text += kIncompletePresent;
  text += DecimalText(present);
  if (fullLength) {
    text += kIncompleteOfLength;
    text += DecimalText(*fullLength);
    text += kIncompleteBytes;
  } else {
    text += kIncompleteLengthUnknown;
  }
  text += kIncompleteChoices;
  text += DecimalText(contiguous);
  text += kIncompleteChoicesEnd;
  return text;
}

void HandleMediaElement(const MediaElementRef& element) {
  ClassSwitches* switches = DetectionSwitches();
  if (switches == nullptr) return;  // no class can be selected yet
  HandleMediaElement(element, *switches);
}

void HandleMediaElement(const MediaElementRef& found, ClassSwitches& switches) {
  if (found.IsStream()) {
    HandleMediaStream(found, switches);
    return;
  }
  CriticalSectionHold hold(DetectionLockHandle());

  // Read again now: earlier prompts may have kept this one waiting while the
  // browser wrote the metadata, or doomed the entry (then it is no element).
  MediaElementRef element = found;
  std::string address;
  std::string facts;
  {
    ElementNow before = ElementRead(element);
    if (element.store == CacheStore::FirefoxCache2 && !before.element) return;
    NatureRefresh(element, before);
    address = PromptAddress(element, before);
    if (before.element) facts = FactsText(MediaFactsOfElement(*before.folder, *before.element));
  }

  const ExtensionClass mediaClass = MediaClassOf(element.nature);
  if (mediaClass == ExtensionClass::None) return;
  const Classification classification = ClassifyMediaElement(mediaClass, element.extension, switches);
  if (classification.extensionClass == ExtensionClass::None) return;

  const DetectionTexts& texts = DetectionTextsOf(classification.extensionClass);
  const DestinationName name = DestinationNameOf(ToText(NowDateTime()), classification);
  // A whole track with its partner is one presentation, offered once as its
  // video: the sound waits for the video's prompt (unless only sound is wanted).
  const ElementPairNow pair = ElementPairAwait(element);
  if (pair.partner) {
    const CacheElement& partner = pair.elements[*pair.partner];
    const MediaSignature partnerSignature = CacheElementSignature(*pair.folder, partner);
    const ExtensionClass videoClass =
        pair.namedIsAudio ? ClassifyMediaElement(ExtensionClass::Video, partnerSignature.extension, switches).extensionClass
                          : classification.extensionClass;
    if (pair.namedIsAudio && videoClass != ExtensionClass::None) return;
    if (!pair.namedIsAudio) {
      ElementPairHandle(pair, element, texts, name, switches);
      return;
    }
  }
  if (!SavePromptConfirmed(texts, address + facts)) return;

  for (;;) {
    ElementNow now = ElementRead(element);
    const std::uint64_t contiguous = now.element ? ContiguousLength(*now.element) : 0;
    std::uint64_t length = contiguous;
    if (now.element && !IsComplete(*now.element)) {
      const Text warning =
          IncompleteElementText(address, PresentLength(*now.element), now.element->fullLength, contiguous);
      const std::int32_t choice = IncompleteChoiceShow(std::string_view(warning));
      if (choice == kMessageBoxTryAgain) continue;
      if (choice != kMessageBoxContinue) return;
    } else if (now.element && now.element->fullLength) {
      length = *now.element->fullLength;
    }

    Text written;
    if (now.element && length > 0 && Save(now, length, name, written)) {
      SavedShow(texts, std::string_view(written));
      return;
    }
    if (ExtractionCopiesCancelled()) return;  // the program is ending
    SaveFailedShow(texts);
    return;
  }
}
