#include "app/muxing/mux_file_output.h"

#include <algorithm>

MuxFileOutput::MuxFileOutput(const std::wstring& folder) {
  wchar_t name[MAX_PATH + 16];
  // GetTempFileNameW creates the file under a name no one else holds.
  if (folder.size() + 14 > MAX_PATH || GetTempFileNameW(folder.c_str(), L"mux", 0, name) == 0) return;
  temporary_ = name;
  file_.Reset(CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    DeleteFileW(name);
    temporary_.clear();
    return;
  }
  collected_.reserve(kMuxWriteCollect);
}

MuxFileOutput::~MuxFileOutput() {
  file_.Reset();
  if (!moved_ && !temporary_.empty()) DeleteFileW(temporary_.c_str());
}

bool MuxFileOutput::WriteAll(const std::uint8_t* bytes, std::size_t count) {
  if (failed_ || !file_) return false;
  while (count > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file_.Get(), bytes, chunk, &written, nullptr) || written != chunk) {
      failed_ = true;
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

bool MuxFileOutput::Flush() {
  if (!WriteAll(collected_.data(), collected_.size())) return false;
  collected_.clear();
  return true;
}

bool MuxFileOutput::Write(std::span<const std::uint8_t> bytes) {
  if (failed_ || !file_) return false;
  if (collected_.size() + bytes.size() > kMuxWriteCollect && !Flush()) return false;
  // A piece as large as the collection goes out as it is.
  if (bytes.size() >= kMuxWriteCollect) return WriteAll(bytes.data(), bytes.size());
  collected_.insert(collected_.end(), bytes.begin(), bytes.end());
  return true;
}

bool MuxFileOutput::MoveTo(const std::wstring& path, const FILETIME* lastWrite) {
  if (moved_ || temporary_.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  if (file_) {
    if (!Flush()) return false;
    if (lastWrite != nullptr) SetFileTime(file_.Get(), nullptr, nullptr, lastWrite);
    file_.Reset();
  }
  // Without MOVEFILE_REPLACE_EXISTING an earlier copy under that name is never replaced.
  if (!MoveFileExW(temporary_.c_str(), path.c_str(), 0)) return false;
  moved_ = true;
  return true;
}
