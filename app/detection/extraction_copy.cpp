#include "app/detection/extraction_copy.h"

#include <windows.h>

#include <atomic>
#include <memory>

#include "runtime/core/handles.h"

namespace {

constexpr DWORD kBlockSize = 1 << 20;
constexpr DWORD kCancelWaitMs = 5000;
constexpr DWORD kCancelPollMs = 10;

std::atomic<bool> copiesCancelled{false};
std::atomic<int> copiesRunning{0};

// Counted before the cancel check, so that a cancel either sees the copy
// or the copy sees the cancel.
class CountedCopy {
 public:
  CountedCopy() { ++copiesRunning; }
  ~CountedCopy() { --copiesRunning; }
  CountedCopy(const CountedCopy&) = delete;
  CountedCopy& operator=(const CountedCopy&) = delete;
};

bool Cancelled() {
  if (!copiesCancelled.load()) return false;
  SetLastError(ERROR_REQUEST_ABORTED);
  return true;
}

class FileSource final : public ExtractionSource {
 public:
  explicit FileSource(HANDLE file) : file_(file) {}
  bool Read(void* buffer, DWORD size, DWORD& read) override {
    return ReadFile(file_, buffer, size, &read, nullptr) != FALSE;
  }

 private:
  HANDLE file_;
};

bool CopyBlocks(ExtractionSource& from, HANDLE to) {
  const std::unique_ptr<char[]> block(new (std::nothrow) char[kBlockSize]);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  for (;;) {
    if (Cancelled()) return false;
    DWORD read = 0;
    if (!from.Read(block.get(), kBlockSize, read)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!WriteFile(to, block.get(), read, &written, nullptr)) return false;
    if (written != read) {
      SetLastError(ERROR_DISK_FULL);
      return false;
    }
  }
}

}  // namespace

bool ExtractionWrite(ExtractionSource& source, const wchar_t* destination, const FILETIME* lastWrite) {
  const CountedCopy counted;
  if (Cancelled()) return false;
  FileHandle to(CreateFileW(destination, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!to) return false;

  bool copied = CopyBlocks(source, to.Get());
  if (copied && lastWrite != nullptr) SetFileTime(to.Get(), nullptr, nullptr, lastWrite);
  if (copied && !CloseHandle(to.Release())) copied = false;  // a write-behind failure shows here
  if (copied) return true;

  // The name was free, so what lies there is this copy cut short (a full
  // disk, a cancel): it must not pass for a saved element.
  const DWORD error = GetLastError();
  to.Reset();
  DeleteFileW(destination);
  SetLastError(error);
  return false;
}

bool ExtractionCopy(const wchar_t* source, const wchar_t* destination) {
  if (Cancelled()) return false;
  // A source still open for writing elsewhere is refused, as the system's
  // copy refuses it: the caller retries once a second later.
  FileHandle from(CreateFileW(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!from) return false;
  FILETIME lastWrite;
  const bool timeKnown = GetFileTime(from.Get(), nullptr, nullptr, &lastWrite) != FALSE;
  FileSource bytes(from.Get());
  return ExtractionWrite(bytes, destination, timeKnown ? &lastWrite : nullptr);
}

void ExtractionCopiesCancel() {
  copiesCancelled = true;
  for (DWORD waited = 0; copiesRunning.load() > 0 && waited < kCancelWaitMs; waited += kCancelPollMs)
    Sleep(kCancelPollMs);
}

bool ExtractionCopiesCancelled() { return copiesCancelled.load(); }
