#include "app/command_line/scan_copies.h"

#include <windows.h>

#include <vector>

#include "app/command_line/message_output.h"
#include "app/command_line/saved_name.h"
#include "app/detection/free_name.h"
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

// Creates the first free name and fills it; on failure nothing is left.
// `unsuitable` says whether the name itself was what failed.
bool CopySaveAs(const SavedName& name, const CopyWriter& writer, CopyNames& names, std::wstring& tried,
                bool& unsuitable) {
  const std::string key = SavedNameText(name, 1);
  bool wrote = false;
  const std::optional<int> number = FreeNameTake(names.numbers.First(key), [&](int number) {
    tried = names.saveFolder + L"\\" + WideFromUtf8(SavedNameText(name, number));
    FileHandle file(
        CreateFileW(tried.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return FreeNameTry::Taken;
      unsuitable = NameUnsuitable(error);
      return FreeNameTry::Failed;
    }
    wrote = writer(file.Get());
    if (wrote) return FreeNameTry::Written;
    file.Reset();
    DeleteFileW(tried.c_str());
    return FreeNameTry::Failed;
  });
  if (number) names.numbers.Used(key, *number);
  return number.has_value() && wrote;
}

// The address's name, else (when the address gives none, or its name does
// not suit the folder) the time name.
bool CopySave(const std::optional<SavedName>& fromAddress, const SavedName& timeName, const CopyWriter& writer,
              CopyNames& names, std::wstring& tried) {
  bool unsuitable = false;
  if (fromAddress && CopySaveAs(*fromAddress, writer, names, tried, unsuitable)) return true;
  if (fromAddress && !unsuitable) return false;
  return CopySaveAs(timeName, writer, names, tried, unsuitable);
}

// True when the save folder's volume has room for `bytes` (and when it
// cannot tell: the write itself then fails cleanly).
bool RoomFor(const std::wstring& saveFolder, std::uint64_t bytes) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW((saveFolder + L"\\").c_str(), &available, nullptr, nullptr)) return true;
  return bytes <= available.QuadPart;
}

}  // namespace

CopyCounts ScanCopiesSave(const std::vector<ScanFolder>& folders, const std::wstring& saveFolder,
                          bool partial, const std::function<void(const std::wstring&)>& reportFailure,
                          const std::function<void(const std::wstring&)>& reportNoRoom) {
  CopyCounts counts;
  CopyNames names{saveFolder, {}};
  for (const ScanFolder& folder : folders) {
    for (const ScannedMedia& media : folder.media) {
      const std::uint64_t contiguous = ContiguousLength(media.element);
      const bool complete = IsComplete(media.element);
      if (!complete && (!partial || contiguous == 0)) {
        ++counts.skippedIncomplete;
        continue;
      }
      const std::optional<SavedName> name = SavedNameFromAddress(media.element.webAddress, media.extension);
      const SavedName timeName = TimeName(media.element.lastWritten, media.extension);
      if (!RoomFor(saveFolder, contiguous)) {
        ++counts.failed;
        reportNoRoom(WideFromUtf8(SavedNameText(name.value_or(timeName))));
        continue;
      }
      const CopyWriter writer = [&](HANDLE file) {
        return BodyWrite(*folder.folder, media.element, contiguous, file);
      };
      std::wstring tried;
      if (CopySave(name, timeName, writer, names, tried)) {
        ++counts.saved;
      } else {
        ++counts.failed;
        reportFailure(tried);
      }
    }
    for (const CacheStream& stream : folder.streams) {
      // The joined bytes of an encrypted stream would not play.
      if (stream.protectedContent) {
        ++counts.skippedEncrypted;
        continue;
      }
      // The plan's pieces are every segment when complete, else the run from the first.
      if (!stream.plan.complete && (!partial || stream.pieces.empty())) {
        ++counts.skippedIncomplete;
        continue;
      }
      const std::optional<SavedName> name = SavedNameFromAddress(stream.address, stream.extension);
      const SavedName timeName = TimeName(stream.lastWritten, stream.extension);
      // The plan is never more than the distinct bytes cached; it must fit.
      if (!RoomFor(saveFolder, stream.plan.bytes)) {
        ++counts.failed;
        reportNoRoom(WideFromUtf8(SavedNameText(name.value_or(timeName))));
        continue;
      }
      const CopyWriter writer = [&](HANDLE file) {
        return CacheStreamWrite(*folder.folder, stream, [&](std::span<const std::uint8_t> bytes) {
          return FileWriteAll(file, bytes.data(), bytes.size());
        });
      };
      std::wstring tried;
      if (CopySave(name, timeName, writer, names, tried)) {
        ++counts.saved;
      } else {
        ++counts.failed;
        reportFailure(tried);
      }
    }
  }
  return counts;
}
