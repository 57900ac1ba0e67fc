#include "app/command_line/scan_copies.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/command_line/message_output.h"
#include "app/command_line/saved_name.h"
#include "app/detection/free_name.h"
#include "app/muxing/cache_track_file.h"
#include "app/muxing/mux_fault_texts.h"
#include "app/muxing/mux_file_output.h"
#include "app/muxing/presentation_mux.h"
#include "runtime/commands/value_commands.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

constexpr std::size_t kCopyBlock = 256 * 1024;

// Writes a copy's bytes into the open file; false when they could not all be written.
using CopyWriter = std::function<bool(HANDLE file)>;

// The name when the address gives none: the element's last write time as
// the watch writes its detection time ("2011年1月22日9时5分7秒").
SavedName TimeName(std::uint64_t lastWritten, const std::string& extension) {
  std::optional<ReportTime> time = LocalTimeOf(lastWritten);
  DateTime when = NowDateTime();
  if (time)
    when = DateTimeFromParts({time->year, time->month, time->day, time->hour, time->minute, time->second});
  const Text text = ToText(when);
  return SavedName{Utf8FromWide(WideFromAnsi(text)), extension};
}

bool FileWriteAll(HANDLE file, const void* bytes, std::size_t count) {
  DWORD written = 0;
  return WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) && written == count;
}

// Writes `length` bytes of the element into `file`; false when the cache
// gave fewer (the browser changed or removed the entry meanwhile) or the
// write failed.
bool BodyWrite(CacheFolder& folder, const CacheElement& element, std::uint64_t length, HANDLE file) {
  CacheBodyReader reader(folder, element);
  std::vector<char> block(kCopyBlock);
  for (std::uint64_t offset = 0; offset < length;) {
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), length - offset));
    const std::size_t got = reader.Read(offset, block.data(), wanted);
    if (got != wanted || !FileWriteAll(file, block.data(), got)) return false;
    offset += got;
  }
  return true;
}

// Errors that say the name does not suit the folder (too long for its
// path, or refused), not that the folder cannot be written.  Wine reports
// a name too long for the Linux file system below it (over 255 bytes of
// UTF-8) as not found.
bool NameUnsuitable(DWORD error) {
  return error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME || error == ERROR_DIRECTORY;
}

// What one copy run remembers: the next free number per name.
struct CopyNames {
  const std::wstring& saveFolder;
  FreeNameNumbers numbers;
};

// Makes the copy under a path: Written, Taken when the name exists, else
// Failed with nothing left there.
using CopyPlacer = std::function<FreeNameTry(const std::wstring& path)>;

FreeNameTry TakenOrFailed(bool& unsuitable) {
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FreeNameTry::Taken;
  unsuitable = NameUnsuitable(error);
  return FreeNameTry::Failed;
}

// Places the copy under the first free name; `unsuitable` says whether the
// name itself was what failed.
bool CopySaveAs(const SavedName& name, const CopyPlacer& place, CopyNames& names, std::wstring& tried) {
  const std::string key = SavedNameText(name, 1);
  const std::optional<int> number = FreeNameTake(names.numbers.First(key), [&](int number) {
    tried = names.saveFolder + L"\\" + WideFromUtf8(SavedNameText(name, number));
    return place(tried);
  });
  if (number) names.numbers.Used(key, *number);
  return number.has_value();
}

// The address's name, else (when the address gives none, or its name does
// not suit the folder) the time name.
bool CopyPlace(const std::optional<SavedName>& fromAddress, const SavedName& timeName, const CopyPlacer& place,
               bool& unsuitable, CopyNames& names, std::wstring& tried) {
  unsuitable = false;
  if (fromAddress && CopySaveAs(*fromAddress, place, names, tried)) return true;
  if (fromAddress && !unsuitable) return false;
  unsuitable = false;
  return CopySaveAs(timeName, place, names, tried);
}

// A new file filled by `writer`; on failure nothing is left.
bool CopySave(const std::optional<SavedName>& fromAddress, const SavedName& timeName, const CopyWriter& writer,
              CopyNames& names, std::wstring& tried) {
  bool unsuitable = false;
  const CopyPlacer place = [&](const std::wstring& path) {
    FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return TakenOrFailed(unsuitable);
    if (writer(file.Get())) return FreeNameTry::Written;
    file.Reset();
    DeleteFileW(path.c_str());
    return FreeNameTry::Failed;
  };
  return CopyPlace(fromAddress, timeName, place, unsuitable, names, tried);
}

// True when the save folder's volume has room for `bytes` (and when it
// cannot tell: the write itself then fails cleanly).
bool RoomFor(const std::wstring& saveFolder, std::uint64_t bytes) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW((saveFolder + L"\\").c_str(), &available, nullptr, nullptr)) return true;
  return bytes <= available.QuadPart;
}

// What one element or stream's copy came to.
enum class CopyOutcome { Saved, SkippedIncomplete, SkippedEncrypted, Failed };

void Count(CopyCounts& counts, CopyOutcome outcome) {
  switch (outcome) {
    case CopyOutcome::Saved:
      ++counts.saved;
      break;
    case CopyOutcome::SkippedIncomplete:
      ++counts.skippedIncomplete;
      break;
    case CopyOutcome::SkippedEncrypted:
      ++counts.skippedEncrypted;
      break;
    case CopyOutcome::Failed:
      ++counts.failed;
      break;
  }
}

// `written`, when given, receives the path of the copy made.
CopyOutcome MediaCopy(const ScanFolder& folder, const ScannedMedia& media, bool partial, CopyNames& names,
                      const CopyReports& reports, std::wstring* written = nullptr) {
  const std::uint64_t contiguous = ContiguousLength(media.element);
  const bool complete = IsComplete(media.element);
  if (!complete && (!partial || contiguous == 0)) return CopyOutcome::SkippedIncomplete;
  const std::optional<SavedName> name = SavedNameFromAddress(media.element.webAddress, media.extension);
  const SavedName timeName = TimeName(media.element.lastWritten, media.extension);
  if (!RoomFor(names.saveFolder, contiguous)) {
    reports.noRoom(WideFromUtf8(SavedNameText(name.value_or(timeName))));
    return CopyOutcome::Failed;
  }
  const CopyWriter writer = [&](HANDLE file) { return BodyWrite(*folder.folder, media.element, contiguous, file); };
  std::wstring tried;
  if (CopySave(name, timeName, writer, names, tried)) {
    if (written) *written = tried;
    return CopyOutcome::Saved;
  }
  reports.failure(tried);
  return CopyOutcome::Failed;
}

CopyOutcome StreamCopy(const ScanFolder& folder, const CacheStream& stream, bool partial, CopyNames& names,
                       const CopyReports& reports, std::wstring* written = nullptr) {
  // The joined bytes of an encrypted stream would not play.
  if (stream.protectedContent) return CopyOutcome::SkippedEncrypted;
  // The plan's pieces are every segment when complete, else the run from the first.
  if (!stream.plan.complete && (!partial || stream.pieces.empty())) return CopyOutcome::SkippedIncomplete;
  const std::optional<SavedName> name = SavedNameFromAddress(stream.address, stream.extension);
  const SavedName timeName = TimeName(stream.lastWritten, stream.extension);
  // The plan is never more than the distinct bytes cached; it must fit.
  if (!RoomFor(names.saveFolder, stream.plan.bytes)) {
    reports.noRoom(WideFromUtf8(SavedNameText(name.value_or(timeName))));
    return CopyOutcome::Failed;
  }
  const CopyWriter writer = [&](HANDLE file) {
    return CacheStreamWrite(*folder.folder, stream, [&](std::span<const std::uint8_t> bytes) {
      return FileWriteAll(file, bytes.data(), bytes.size());
    });
  };
  std::wstring tried;
  if (CopySave(name, timeName, writer, names, tried)) {
    if (written) *written = tried;
    return CopyOutcome::Saved;
  }
  reports.failure(tried);
  return CopyOutcome::Failed;
}

// What joining one presentation came to.
enum class JoinOutcome { Saved, NotJoined, NoRoom, Failed };

// Muxes the two tracks into a temporary file of the save folder, then gives
// it the video's address name (the muxed container's extension) or the
// time name.  A mux that fails leaves nothing; `result` says why.
JoinOutcome JoinSave(CacheFile& video, CacheFile& audio, const std::string& videoAddress, std::uint64_t lastWritten,
                     CopyNames& names, std::wstring& tried, PresentationMuxResult& result) {
  if (!RoomFor(names.saveFolder, video.Size() + audio.Size())) return JoinOutcome::NoRoom;
  MuxFileOutput output(names.saveFolder);
  if (!output.Opened()) {
    result.outcome = MuxOutcome::WriteFailed;
    tried = names.saveFolder;
    return JoinOutcome::Failed;
  }
  result = PresentationMuxWrite(video, audio, output);
  if (result.outcome == MuxOutcome::WriteFailed) return JoinOutcome::Failed;
  if (result.outcome != MuxOutcome::Done) return JoinOutcome::NotJoined;
  const std::string extension(result.extension);
  const std::optional<SavedName> name = SavedNameFromAddress(videoAddress, extension);
  const SavedName timeName = TimeName(lastWritten, extension);
  bool unsuitable = false;
  const CopyPlacer place = [&](const std::wstring& path) {
    return output.MoveTo(path) ? FreeNameTry::Written : TakenOrFailed(unsuitable);
  };
  return CopyPlace(name, timeName, place, unsuitable, names, tried) ? JoinOutcome::Saved : JoinOutcome::Failed;
}

// Joins a presentation; true when nothing more is to be done with its two
// tracks (saved, or counted as failed), false when they are to be saved
// separately (the user is told why).
bool JoinCounted(CacheFile& video, CacheFile& audio, const std::string& videoAddress, std::uint64_t lastWritten,
                 CopyNames& names, CopyCounts& counts, const CopyReports& reports) {
  std::wstring tried;
  PresentationMuxResult result;
  switch (JoinSave(video, audio, videoAddress, lastWritten, names, tried, result)) {
    case JoinOutcome::Saved:
      ++counts.saved;
      ++counts.joined;
      return true;
    case JoinOutcome::NoRoom:
      ++counts.failed;
      reports.noRoom(WideFromUtf8(videoAddress));
      return true;
    case JoinOutcome::Failed:
      ++counts.failed;
      reports.failure(tried);
      return true;
    case JoinOutcome::NotJoined:
      break;
  }
  reports.notJoined(WideFromUtf8(videoAddress), MuxFaultText(result));
  return false;
}

}  // namespace

CopyCounts ScanCopiesSave(const std::vector<ScanFolder>& folders, const std::wstring& saveFolder,
                          const CopyChoices& choices, const CopyReports& reports) {
  CopyCounts counts;
  CopyNames names{saveFolder, {}};
  const bool partial = choices.partial;
  for (const ScanFolder& folder : folders) {
    // Presentations first: both tracks complete, joined into one file.
    std::vector<bool> mediaDone(folder.media.size(), false);
    std::vector<bool> streamsDone(folder.streams.size(), false);
    for (std::size_t i = 0; i < folder.media.size() && !choices.separate; ++i) {
      const std::optional<std::size_t> partner = folder.partners.OfMedia(i);
      const ScannedMedia& video = folder.media[i];
      if (!partner || *partner >= folder.media.size() || video.mediaClass != ReportClass::Video) continue;
      const ScannedMedia& audio = folder.media[*partner];
      if (!IsComplete(video.element) || !IsComplete(audio.element)) continue;
      CacheElementFile videoFile(*folder.folder, video.element);
      CacheElementFile audioFile(*folder.folder, audio.element);
      if (JoinCounted(videoFile, audioFile, video.element.webAddress, video.element.lastWritten, names, counts,
                      reports))
        mediaDone[i] = mediaDone[*partner] = true;
    }
    for (std::size_t i = 0; i < folder.streams.size() && !choices.separate; ++i) {
      const std::optional<std::size_t> partner = folder.partners.OfStream(i);
      const CacheStream& video = folder.streams[i];
      if (!partner || *partner >= folder.streams.size() || StreamClassOf(video) != ReportClass::Video) continue;
      const CacheStream& audio = folder.streams[*partner];
      if (!video.plan.complete || !audio.plan.complete || video.protectedContent || audio.protectedContent)
        continue;
      CacheStreamFile videoFile(*folder.folder, video);
      CacheStreamFile audioFile(*folder.folder, audio);
      if (JoinCounted(videoFile, audioFile, video.address, std::max(video.lastWritten, audio.lastWritten), names,
                      counts, reports))
        streamsDone[i] = streamsDone[*partner] = true;
    }
    for (std::size_t m = 0; m < folder.media.size(); ++m)
      if (!mediaDone[m]) Count(counts, MediaCopy(folder, folder.media[m], partial, names, reports));
    for (std::size_t s = 0; s < folder.streams.size(); ++s)
      if (!streamsDone[s]) Count(counts, StreamCopy(folder, folder.streams[s], partial, names, reports));
  }
  return counts;
}

CopyCounts ScanCopiesSaveSelected(const std::vector<ScanFolder>& folders, const std::vector<CopyChoice>& chosen,
                                  const std::wstring& saveFolder, const CopyReports& reports) {
  CopyCounts counts;
  CopyNames names{saveFolder, {}};
  for (const CopyChoice& choice : chosen) {
    if (choice.folder >= folders.size()) continue;
    const ScanFolder& folder = folders[choice.folder];
    if (choice.stream) {
      if (choice.index < folder.streams.size())
        Count(counts, StreamCopy(folder, folder.streams[choice.index], false, names, reports));
    } else if (choice.index < folder.media.size()) {
      Count(counts, MediaCopy(folder, folder.media[choice.index], false, names, reports));
    }
  }
  return counts;
}

PlayCopy ScanCopiesPlayCopy(const std::vector<ScanFolder>& folders, const CopyChoice& choice,
                            const std::wstring& intoFolder) {
  PlayCopy result;
  if (choice.folder >= folders.size()) return result;
  const ScanFolder& folder = folders[choice.folder];
  CopyNames names{intoFolder, {}};
  std::wstring failedPath;
  CopyReports reports;
  reports.failure = [&](const std::wstring& path) { failedPath = path; };
  reports.noRoom = [&](const std::wstring&) { result.outcome = PlayCopyOutcome::NoRoom; };
  // A presentation's picture plays with its sound, joined as the save joins
  // it; a pair the muxer refuses plays as the picture alone.
  std::wstring tried;
  PresentationMuxResult mux;
  auto joined = [&](CacheFile& video, CacheFile& audio, const std::string& address,
                    std::uint64_t lastWritten) {
    switch (JoinSave(video, audio, address, lastWritten, names, tried, mux)) {
      case JoinOutcome::Saved:
        result = {PlayCopyOutcome::Written, tried};
        return true;
      case JoinOutcome::NoRoom:
        result.outcome = PlayCopyOutcome::NoRoom;
        return true;
      case JoinOutcome::Failed:
        result = {PlayCopyOutcome::Failed, tried};
        return true;
      case JoinOutcome::NotJoined:
        break;
    }
    return false;
  };
  CopyOutcome outcome = CopyOutcome::Failed;
  if (choice.stream) {
    if (choice.index >= folder.streams.size()) return result;
    const CacheStream& stream = folder.streams[choice.index];
    const std::optional<std::size_t> partner = folder.partners.OfStream(choice.index);
    if (partner && *partner < folder.streams.size() && StreamClassOf(stream) == ReportClass::Video) {
      const CacheStream& audio = folder.streams[*partner];
      if (stream.plan.complete && audio.plan.complete && !stream.protectedContent &&
          !audio.protectedContent) {
        CacheStreamFile videoFile(*folder.folder, stream);
        CacheStreamFile audioFile(*folder.folder, audio);
        if (joined(videoFile, audioFile, stream.address, std::max(stream.lastWritten, audio.lastWritten)))
          return result;
      }
    }
    // What is cached plays: an incomplete stream from its first segment on.
    outcome = StreamCopy(folder, stream, true, names, reports, &result.path);
  } else {
    if (choice.index >= folder.media.size()) return result;
    const ScannedMedia& media = folder.media[choice.index];
    const std::optional<std::size_t> partner = folder.partners.OfMedia(choice.index);
    if (partner && *partner < folder.media.size() && media.mediaClass == ReportClass::Video) {
      const ScannedMedia& audio = folder.media[*partner];
      if (IsComplete(media.element) && IsComplete(audio.element)) {
        CacheElementFile videoFile(*folder.folder, media.element);
        CacheElementFile audioFile(*folder.folder, audio.element);
        if (joined(videoFile, audioFile, media.element.webAddress, media.element.lastWritten)) return result;
      }
    }
    outcome = MediaCopy(folder, media, true, names, reports, &result.path);
  }
  switch (outcome) {
    case CopyOutcome::Saved:
      result.outcome = PlayCopyOutcome::Written;
      break;
    case CopyOutcome::SkippedEncrypted:
      result.outcome = PlayCopyOutcome::Encrypted;
      break;
    case CopyOutcome::SkippedIncomplete:
      result.outcome = PlayCopyOutcome::Empty;
      break;
    case CopyOutcome::Failed:
      if (result.outcome != PlayCopyOutcome::NoRoom) result = {PlayCopyOutcome::Failed, failedPath};
      break;
  }
  return result;
}
