// The scan's copies (/copyall) against the real file system: a name the
// folder cannot hold falls back to the time name, and past a taken time name
// to its next free number; a copy larger than the drive's free space (the
// wrapper's nearly full tmpfs drive) is not begun, and the program says so;
// and the hostile cache (a playlist naming one cached segment 100,000 times,
// a manifest naming 400,000 segments under a 6 KB base) is listed cut short
// and copied no larger than the bytes it holds.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/command_line/command_line_texts.h"
#include "app/command_line/scan_copies.h"
#include "runtime/core/handles.h"
#include "tests/e2e/browser_scan/scan_run.h"
#include "tests/e2e/driver/sandbox.h"
#include "tests/support/hostile_streams.h"

namespace {

// 22 January 2011, 12:05:07 UTC, as a file time (no part zero: the time
// text leaves zero minutes and seconds out).
std::uint64_t NoonTicks() {
  const SYSTEMTIME noon{2011, 1, 6, 22, 12, 5, 7, 0};
  FILETIME time{};
  SystemTimeToFileTime(&noon, &time);
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// The time name the copy takes for `ticks`: local time, as the watch names copies.
std::wstring TimeStem(std::uint64_t ticks) {
  const FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME local{};
  SYSTEMTIME parts{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &parts);
  return std::to_wstring(parts.wYear) + L"\u5e74" + std::to_wstring(parts.wMonth) + L"\u6708" +
         std::to_wstring(parts.wDay) + L"\u65e5" + std::to_wstring(parts.wHour) + L"\u65f6" +
         std::to_wstring(parts.wMinute) + L"\u5206" + std::to_wstring(parts.wSecond) + L"\u79d2";
}

// A scan folder in memory whose media are finished MP4 elements.
struct MemoryScan {
  MemoryCacheFolder* files = nullptr;
  std::vector<ScanFolder> folders;

  MemoryScan() {
    auto folder = std::make_unique<MemoryCacheFolder>("memory");
    files = folder.get();
    folders.emplace_back();
    folders.back().folder = std::move(folder);
  }
  void Add(const std::string& address, std::size_t length, std::uint64_t lastWritten) {
    const std::string file = "e" + std::to_string(folders.back().media.size());
    files->Put(file, std::vector<std::uint8_t>(length, static_cast<std::uint8_t>('a' + length % 26)));
    ScannedMedia media;
    media.element.id = file;
    media.element.webAddress = address;
    media.element.finished = true;
    media.element.fullLength = length;
    media.element.lastWritten = lastWritten;
    media.element.pieces.push_back({file, 0, 0, length});
    media.extension = "mp4";
    folders.back().media.push_back(std::move(media));
  }
};

struct Reported {
  std::vector<std::wstring> failures;
  std::vector<std::wstring> noRoom;
};

CopyCounts Save(const MemoryScan& scan, const std::wstring& folder, Reported& reported) {
  CopyReports reports;
  reports.failure = [&](const std::wstring& path) { reported.failures.push_back(path); };
  reports.noRoom = [&](const std::wstring& name) { reported.noRoom.push_back(name); };
  reports.notJoined = [](const std::wstring&, const std::string&) {};
  return ScanCopiesSave(scan.folders, folder, CopyChoices{}, reports);
}

class ScanCopyFaults : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sandbox.Valid()); }
  e2e::Sandbox sandbox;
};

TEST_F(ScanCopyFaults, AnAddressNameTheFolderCannotHoldFallsBackToTheTimeNameAndItsNextFreeNumber) {
  ASSERT_TRUE(sandbox.MakeFolder(L"save"));
  const std::wstring save = sandbox.Path(L"save");
  // 80 characters outside the Basic Multilingual Plane: 160 UTF-16 units,
  // within Windows' 255, but 320 bytes in the UTF-8 of the Linux file
  // system under Wine, past its 255.
  std::string address = "https://v.test/media/";
  std::wstring stem;
  for (int i = 0; i < 80; ++i) {
    address += "%F0%A0%80%80";  // U+20000
    stem += L"\U00020000";
  }
  address += ".mp4";
  {
    const std::wstring probe = save + L"\\" + stem + L".mp4";
    FileHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    if (file) {
      file.Reset();
      DeleteFileW(probe.c_str());
      GTEST_SKIP() << "this file system holds the address's name; nothing falls back";
    }
    // Wine says "not found" (2) here; Windows would say the name is too long or invalid.
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_FILE_NOT_FOUND || error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME)
        << "the name fails for another reason: " << error;
  }
  const std::uint64_t ticks = NoonTicks();
  const std::wstring time = TimeStem(ticks);
  ASSERT_TRUE(e2e::FileWrite(save + L"\\" + time + L".mp4", "older"));

  MemoryScan scan;
  scan.Add(address, 5000, ticks);
  scan.Add(address, 6000, ticks);  // the same name again: the next number on
  Reported reported;
  const CopyCounts counts = Save(scan, save, reported);
  EXPECT_EQ(counts.saved, 2);
  EXPECT_EQ(counts.failed, 0);
  EXPECT_TRUE(reported.failures.empty());
  EXPECT_TRUE(reported.noRoom.empty());
  EXPECT_EQ(e2e::FolderList(save),
            (std::vector<std::wstring>{time + L"(2).mp4", time + L"(3).mp4", time + L".mp4"}));
  EXPECT_EQ(e2e::FileRead(save + L"\\" + time + L".mp4"), "older");
  EXPECT_EQ(e2e::FileRead(save + L"\\" + time + L"(2).mp4").value_or("").size(), 5000u);
  EXPECT_EQ(e2e::FileRead(save + L"\\" + time + L"(3).mp4").value_or("").size(), 6000u);
}

TEST_F(ScanCopyFaults, ACopyLargerThanTheDrivesFreeSpaceIsNotBegunAndTheProgramSaysSo) {
  const std::wstring drive = e2e::PathFromEnvironment(L"EE_FAULT_FULL_DRIVE");
  if (drive.empty()) GTEST_SKIP() << "no small tmpfs drive could be mapped here (needs root and mount)";
  const std::wstring save = drive + L"scan-copies";
  ASSERT_TRUE(e2e::FolderCreateAll(save));
  ULARGE_INTEGER free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(drive.c_str(), &free, nullptr, nullptr));
  ASSERT_LT(free.QuadPart, 64u * 1024) << "the wrapper's drive is not nearly full";

  // In process: the large element is reported as not fitting, never written
  // (not even in part); the small one beside it is saved.
  MemoryScan scan;
  scan.Add("https://v.test/big.mp4", 64 * 1024, NoonTicks());
  scan.Add("https://v.test/small.mp4", 2000, NoonTicks());
  Reported reported;
  const CopyCounts counts = Save(scan, save, reported);
  EXPECT_EQ(counts.saved, 1);
  EXPECT_EQ(counts.failed, 1);
  EXPECT_EQ(reported.noRoom, std::vector<std::wstring>{L"big.mp4"});
  EXPECT_TRUE(reported.failures.empty());
  EXPECT_EQ(e2e::FolderList(save), std::vector<std::wstring>{L"small.mp4"});
  ASSERT_TRUE(DeleteFileW((save + L"\\small.mp4").c_str()));

  // The real program over a folder holding the large file: the message
  // (naming the copy by its time, as a file without address is), exit 2,
  // nothing written.
  ASSERT_TRUE(sandbox.MakeFolder(L"media"));
  ASSERT_TRUE(sandbox.WriteFile(L"media\\big.mp4", std::string(64 * 1024, 'b')));
  const std::wstring product = e2e::PathFromEnvironment(L"EE_PRODUCT_EXE");
  ASSERT_FALSE(product.empty()) << "EE_PRODUCT_EXE is not set";
  ASSERT_TRUE(sandbox.MakeFolder(L"work"));
  const e2e::ScanRun run = e2e::ScanRunProgram(
      product, L"/cachefolder \"" + sandbox.Path(L"media") + L"\" /copyall \"" + save + L"\"", sandbox.Path(L"work"), {});
  ASSERT_TRUE(run.failure.empty()) << run.failure;
  EXPECT_EQ(run.exitCode, 2);
  const std::string noRoom(kCopyNoRoomText, std::string_view(kCopyNoRoomText).find("%s"));
  const std::string said = run.output + run.errors;
  const std::size_t message = said.find(noRoom);
  EXPECT_NE(message, std::string::npos) << said;
  if (message != std::string::npos) {
    EXPECT_NE(said.find(".mp4\r\n", message), std::string::npos) << said;
  }
  EXPECT_TRUE(e2e::FolderList(save).empty());
  e2e::FolderRemoveTree(save);
}

// The hostile cache as files of a simple cache folder on disk.
void HostileFolderWrite(const e2e::Sandbox& sandbox, const std::wstring& relative) {
  hostile::SimpleCache cache;
  hostile::HostileCacheFill(cache);
  ASSERT_TRUE(sandbox.MakeFolder(relative));
  for (const CacheFileInfo& file : cache.Folder().List())
    ASSERT_TRUE(sandbox.WriteFile(relative + L"\\" + std::wstring(file.name.begin(), file.name.end()),
                                  std::string_view(reinterpret_cast<const char*>(cache.Folder().Bytes(file.name)->data()),
                                                   cache.Folder().Bytes(file.name)->size())));
}

TEST_F(ScanCopyFaults, TheHostileCacheIsListedCutShortAndCopiedNoLargerThanWhatItHolds) {
  HostileFolderWrite(sandbox, L"cache");
  ASSERT_TRUE(sandbox.MakeFolder(L"save"));
  ASSERT_TRUE(sandbox.MakeFolder(L"work"));
  const std::wstring product = e2e::PathFromEnvironment(L"EE_PRODUCT_EXE");
  ASSERT_FALSE(product.empty()) << "EE_PRODUCT_EXE is not set";
  const e2e::ScanRun run = e2e::ScanRunProgram(
      product,
      L"/cachefolder \"" + sandbox.Path(L"cache") + L"\" /scomma \"" + sandbox.Path(L"report.csv") +
          L"\" /copyall \"" + sandbox.Path(L"save") + L"\" /partial",
      sandbox.Path(L"work"), {});
  ASSERT_TRUE(run.failure.empty()) << run.failure;
  EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;

  const auto records = e2e::ReportRecords(sandbox.ReadFile(L"report.csv").value_or(""), ',');
  ASSERT_TRUE(records.has_value());
  bool playlistRow = false;
  for (const std::vector<std::string>& row : *records) {
    ASSERT_EQ(row.size(), 19u);  // a joined presentation's partner, then the media's facts
    if (row[0] != hostile::kPlaylistAddress) continue;
    playlistRow = true;
    EXPECT_EQ(row[11], "1");
    EXPECT_EQ(row[12], "100000");
    EXPECT_EQ(row[14], "\xE6\x98\xAF");  // 截断: 是
  }
  EXPECT_TRUE(playlistRow);

  // What the folder holds of media: the one x.ts, the init and the first
  // fragment.  The copies together are no larger; the playlist's is x.ts once.
  std::uint64_t written = 0;
  for (const std::wstring& name : e2e::FolderList(sandbox.Path(L"save")))
    written += e2e::FileRead(sandbox.Path(L"save\\" + name)).value_or("").size();
  const std::uint64_t held = hostile::kSegmentBytes + Init({"vide"}).size() + Fragment(3).size();
  EXPECT_GE(written, hostile::kSegmentBytes);
  EXPECT_LE(written, held);
}

}  // namespace
