#include "detection_scratch.h"

#include <algorithm>
#include <atomic>

#include "app/program_state/shared_values.h"
#include "runtime/core/program.h"
#include "runtime/core/text_encoding_wide.h"
#include "tests/win/cache_disk_writer.h"

namespace {

std::atomic<int> scratchNumber{0};

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

struct DialogCount {
  int count = 0;
};

BOOL CALLBACK CountDialog(HWND window, LPARAM context) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::string(name) == "#32770") {
    ++reinterpret_cast<DialogCount*>(context)->count;
  }
  return TRUE;
}

}  // namespace

std::string AnsiOf(std::wstring_view wide) { return AnsiFromWide(wide); }

std::wstring WideOf(std::string_view ansi) { return WideFromAnsi(ansi); }

DetectionScratch::DetectionScratch() {
  root_ = std::string(ProgramFolder()) + "\\detection_scratch_" + std::to_string(GetCurrentProcessId()) +
          "_" + std::to_string(scratchNumber.fetch_add(1));
  cache_ = root_ + "\\cache";
  save_ = root_ + "\\save";
  DiskTreeRemove(WideOf(root_));
  CreateDirectoryA(root_.c_str(), nullptr);
  CreateDirectoryA(cache_.c_str(), nullptr);
  CreateDirectoryA(save_.c_str(), nullptr);
  SaveFolder.Replace(MakeText(save_));
}

DetectionScratch::~DetectionScratch() {
  SaveFolder.Replace(Text());
  DiskTreeRemove(WideOf(root_));
}

std::wstring DetectionScratch::WidePath(std::wstring_view relative) const {
  return WideOf(root_) + L"\\" + std::wstring(relative);
}

std::string DetectionScratch::NewFile(std::wstring_view relative, std::string_view contents) {
  const std::wstring path = WidePath(relative);
  FileWrite(path, contents);
  const std::string ansi = AnsiOf(path);
  const std::size_t cut = ansi.rfind('\\');  // test names hold no double-byte characters before it
  return ansi.substr(0, cut + 1) + LowerAscii(ansi.substr(cut + 1));
}

std::vector<std::string> DetectionScratch::SavedNames() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((WideOf(save_) + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(AnsiOf(found.cFileName));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

void FileWrite(const std::wstring& path, std::string_view contents) {
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
}

std::string FileContents(std::string_view path) {
  HANDLE file =
      CreateFileW(WideOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string contents(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ReadFile(file, contents.data(), static_cast<DWORD>(contents.size()), &read, nullptr);
  CloseHandle(file);
  contents.resize(read);
  return contents;
}

int OpenDialogCount() {
  DialogCount count;
  EnumWindows(CountDialog, reinterpret_cast<LPARAM>(&count));
  return count.count;
}

BoxIcon BoxIconOf(HWND box) {
  HWND child = nullptr;
  while ((child = FindWindowExA(box, child, "Static", nullptr)) != nullptr) {
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    const auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    if (icon == LoadIcon(nullptr, IDI_INFORMATION)) return BoxIcon::Information;
    if (icon == LoadIcon(nullptr, IDI_EXCLAMATION)) return BoxIcon::Exclamation;
    return BoxIcon::Other;
  }
  return BoxIcon::None;
}

bool HasCancelButton(HWND box) {
  HWND button = GetDlgItem(box, IDCANCEL);
  return button != nullptr && IsWindowVisible(button);
}
