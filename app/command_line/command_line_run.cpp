#include "app/command_line/command_line_run.h"

#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "app/command_line/command_line_texts.h"
#include "app/command_line/message_output.h"
#include "app/command_line/scan_arguments.h"
#include "app/command_line/scan_copies.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_reading.h"
#include "app/command_line/scan_report.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding_wide.h"

namespace {

struct LocalArguments {
  LocalArguments() { arguments = CommandLineToArgvW(GetCommandLineW(), &count); }
  LocalArguments(const LocalArguments&) = delete;
  LocalArguments& operator=(const LocalArguments&) = delete;
  ~LocalArguments() {
    if (arguments != nullptr) LocalFree(arguments);
  }
  wchar_t** arguments = nullptr;
  int count = 0;
};

// The arguments after the program's own name, in UTF-8.
std::vector<std::string> ProgramArguments() {
  LocalArguments local;
  std::vector<std::string> arguments;
  for (int i = 1; i < local.count; ++i) arguments.push_back(Utf8FromWide(local.arguments[i]));
  return arguments;
}

std::wstring FullPath(const std::string& utf8Path) {
  const std::wstring path = WideFromUtf8(utf8Path);
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  return full.empty() ? path : full;
}

const char* FaultText(ArgumentFault fault) {
  switch (fault) {
    case ArgumentFault::UnknownSwitch:
      return kUnknownSwitchText;
    case ArgumentFault::MissingValue:
      return kMissingValueText;
    case ArgumentFault::BadTypeValue:
      return kBadTypeText;
    case ArgumentFault::RepeatedSwitch:
      return kRepeatedSwitchText;
    case ArgumentFault::PartialWithoutCopy:
      return kPartialWithoutCopyText;
    case ArgumentFault::NothingToDo:
      break;
  }
  return kNothingToDoText;
}

// A report file opened before anything else is written, so that a path that
// cannot be written stops the run with nothing left behind.
struct OpenReport {
  std::wstring path;
  ReportSeparator separator = ReportSeparator::Comma;
  FileHandle file;
  bool created = false;  // did not exist before: removed again when the run stops
};

bool ReportOpen(OpenReport& report) {
  report.file.Reset(CreateFileW(report.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  report.created = report.file && GetLastError() != ERROR_ALREADY_EXISTS;
  return static_cast<bool>(report.file);
}

bool ReportWrite(OpenReport& report, const std::string& text) {
  DWORD written = 0;
  const HANDLE file = report.file.Get();
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && SetEndOfFile(file) &&
         WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void ReportsAbandon(std::vector<OpenReport>& reports) {
  for (OpenReport& report : reports) {
    report.file.Reset();
    if (report.created) DeleteFileW(report.path.c_str());
  }
}

int Run(const ScanRequest& request, MessageOutput& output) {
  // Every named cache folder must be there before anything is written.
  std::vector<ScanPlace> places;
  for (const std::string& folder : request.cacheFolders) {
    const std::wstring path = FullPath(folder);
    if (!FolderExists(path)) {
      output.Write(MessageStream::Error, MessageText(kNoCacheFolderText, WideFromUtf8(folder)));
      return kExitBadArguments;
    }
    places.push_back(NamedScanPlace(path));
  }
  if (request.cacheFolders.empty()) places = DefaultScanPlaces();

  std::wstring copyFolder;
  bool copyFolderCreated = false;
  if (request.copyFolder) {
    copyFolder = FullPath(*request.copyFolder);
    if (!FolderExists(copyFolder)) {
      copyFolderCreated = CreateDirectoryW(copyFolder.c_str(), nullptr) != FALSE;
      if (!copyFolderCreated) {
        output.Write(MessageStream::Error,
                     MessageText(kCopyFolderFailedText, WideFromUtf8(*request.copyFolder)));
        return kExitNotWritten;
      }
    }
  }

  std::vector<OpenReport> reports;
  if (request.commaReport)
    reports.push_back({FullPath(*request.commaReport), ReportSeparator::Comma, {}, false});
  if (request.tabReport) reports.push_back({FullPath(*request.tabReport), ReportSeparator::Tab, {}, false});
  for (OpenReport& report : reports) {
    if (ReportOpen(report)) continue;
    output.Write(MessageStream::Error, MessageText(kReportOpenFailedText, report.path));
    ReportsAbandon(reports);
    if (copyFolderCreated) RemoveDirectoryW(copyFolder.c_str());
    return kExitNotWritten;
  }

  const std::vector<ScanFolder> scanned = ScanPlacesRead(places, request.classFilter);
  int exitCode = kExitDone;
  if (request.copyFolder) {
    CopyReports copyReports;
    copyReports.failure = [&](const std::wstring& failed) {
      output.Write(MessageStream::Error, MessageText(kCopyFailedText, failed));
    };
    copyReports.noRoom = [&](const std::wstring& name) {
      output.Write(MessageStream::Error, MessageText(kCopyNoRoomText, name));
    };
    copyReports.notJoined = [&](const std::wstring& address, const std::string& why) {
      output.Write(MessageStream::Output, MessageText(kCopyNotJoinedText, address) + WideFromAnsi(why) +
                                              WideFromAnsi(kCopyNotJoinedAfterText));
    };
    const CopyCounts counts =
        ScanCopiesSave(scanned, copyFolder, CopyChoices{request.partial, request.separate}, copyReports);
    output.Write(MessageStream::Output,
                 MessageText(kCopyCountsText, {}, {counts.saved, counts.skippedIncomplete, counts.failed}));
    if (counts.joined > 0) output.Write(MessageStream::Output, MessageText(kCopyJoinedText, {}, {counts.joined}));
    if (counts.skippedEncrypted > 0)
      output.Write(MessageStream::Output, MessageText(kCopyEncryptedText, {}, {counts.skippedEncrypted}));
    if (counts.failed > 0) exitCode = kExitNotWritten;
  }
  const std::vector<ReportRow> rows = ScanReportRows(scanned);
  for (OpenReport& report : reports) {
    if (ReportWrite(report, ReportText(rows, report.separator))) {
      output.Write(MessageStream::Output,
                   MessageText(kReportWrittenText, report.path, {static_cast<int>(rows.size())}));
    } else {
      output.Write(MessageStream::Error, MessageText(kReportOpenFailedText, report.path));
      exitCode = kExitNotWritten;
    }
  }
  return exitCode;
}

}  // namespace

bool CommandLineGiven() {
  LocalArguments local;
  return local.count > 1;
}

int CommandLineRun() {
  MessageOutput output;
  const std::vector<std::string> arguments = ProgramArguments();
  const std::variant<ScanRequest, ArgumentError> parsed = ScanArgumentsParse(arguments);
  if (const ArgumentError* error = std::get_if<ArgumentError>(&parsed)) {
    output.Write(MessageStream::Error, MessageText(FaultText(error->fault), WideFromUtf8(error->argument)) +
                                           WideFromAnsi(kSeeUsageText));
    return kExitBadArguments;
  }
  const ScanRequest& request = std::get<ScanRequest>(parsed);
  if (request.usage) {
    output.Write(MessageStream::Output, WideFromAnsi(kUsageText));
    return kExitDone;
  }
  return Run(request, output);
}
