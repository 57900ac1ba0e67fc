#include "tests/e2e/browser_scan/scan_run.h"

#include "runtime/core/handles.h"

namespace e2e {
namespace {

FileHandle InheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return FileHandle(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

ScanRun ScanRunProgram(const std::wstring& executable, const std::wstring& arguments,
                       const std::wstring& workingFolder,
                       const std::vector<std::pair<std::wstring, std::optional<std::wstring>>>& environment) {
  ScanRun run;
  const std::wstring outputPath = workingFolder + L"\\..\\scan-stdout.txt";
  const std::wstring errorPath = workingFolder + L"\\..\\scan-stderr.txt";
  {
    FileHandle output = InheritableFile(outputPath);
    FileHandle errors = InheritableFile(errorPath);
    if (!output || !errors) {
      run.failure = "cannot make the output files";
      return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output.Get();
    startup.hStdError = errors.Get();
    std::wstring commandLine = L"\"" + executable + L"\" " + arguments;
    std::wstring block = EnvironmentBlock(environment);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, block.data(), workingFolder.c_str(), &startup, &info)) {
      run.failure = "CreateProcessW failed: " + std::to_string(GetLastError());
      return run;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    // A safety bound only: a scan of these caches takes a second or two.
    if (WaitForSingleObject(process.Get(), 120000) != WAIT_OBJECT_0) {
      TerminateProcess(process.Get(), 99);
      WaitForSingleObject(process.Get(), 10000);
      run.failure = "the program did not end";
      return run;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    run.exitCode = static_cast<int>(code);
  }
  run.output = FileRead(outputPath).value_or("");
  run.errors = FileRead(errorPath).value_or("");
  DeleteFileW(outputPath.c_str());
  DeleteFileW(errorPath.c_str());
  return run;
}

std::optional<std::vector<std::vector<std::string>>> ReportRecords(const std::string& text, char separator) {
  if (text.rfind("\xEF\xBB\xBF", 0) != 0) return std::nullopt;
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  bool fieldStarted = false;
  for (std::size_t i = 3; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"' && !fieldStarted) {
      quoted = fieldStarted = true;
    } else if (c == separator) {
      record.push_back(std::move(field));
      field.clear();
      fieldStarted = false;
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      record.push_back(std::move(field));
      records.push_back(std::move(record));
      record.clear();
      field.clear();
      fieldStarted = false;
      ++i;
    } else {
      field += c;
      fieldStarted = true;
    }
  }
  if (quoted || fieldStarted || !record.empty()) return std::nullopt;  // the last line must end in CRLF
  return records;
}

}  // namespace e2e
