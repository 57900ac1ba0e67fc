// Running the real program with switches as a script does: its standard
// output and error into files, an environment of the test's choosing, and
// the exit code; plus the reports' cells read back.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/driver/process.h"
#include "tests/e2e/driver/sandbox.h"

namespace e2e {

struct ScanRun {
  std::optional<int> exitCode;  // nothing when it did not end in time
  std::string output;           // standard output, GBK as the program wrote it
  std::string errors;           // standard error
  std::string failure;          // why the run could not be made
};

// Starts `executable arguments` in `workingFolder`, waits for it to end.
ScanRun ScanRunProgram(const std::wstring& executable, const std::wstring& arguments,
                       const std::wstring& workingFolder,
                       const std::vector<std::pair<std::wstring, std::optional<std::wstring>>>& environment);

// The records of a report (RFC 4180 quoting; `separator` ',' or '\t'), after
// its UTF-8 byte order mark; nothing when the mark is missing or a quote is
// left open.
std::optional<std::vector<std::vector<std::string>>> ReportRecords(const std::string& text, char separator);

}  // namespace e2e
