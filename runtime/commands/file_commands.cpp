#include "runtime/commands/file_commands.h"

#include <windows.h>

#include <string>
#include <vector>

#include "runtime/core/text_encoding.h"

namespace {

// CurrentFolder's buffer: a folder that needs more is reported as empty.
constexpr DWORD kCurrentFolderBytes = 260;

// The environment block as the process received it: later changes made by
// SetEnvironmentVariable (or by a library) do not show through.  Kept with
// the standard allocator because it is taken before main runs.
std::vector<std::string> EnvironmentEntriesTake() {
  std::vector<std::string> entries;
  char* block = GetEnvironmentStringsA();
  if (block == nullptr) return entries;
  for (const char* entry = block; *entry != '\0'; entry += std::char_traits<char>::length(entry) + 1) {
    entries.emplace_back(entry);
  }
  FreeEnvironmentStringsA(block);
  return entries;
}

const std::vector<std::string>& StartEnvironment() {
  static const std::vector<std::string> entries = EnvironmentEntriesTake();
  return entries;
}

// Taking the block during static initialisation fixes it as it was at start,
// before main or anything it calls can change the environment.
[[maybe_unused]] const bool kStartEnvironmentTaken = !StartEnvironment().empty();

// A text ends at its first zero byte.
std::string_view TextPart(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

bool FileCopy(std::string_view source, std::string_view destination) {
  const Text from = MakeText(source);
  const Text to = MakeText(destination);
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool FolderCreate(std::string_view path) {
  const Text folder = MakeText(path);
  return CreateDirectoryA(folder.c_str(), nullptr) != FALSE;
}

Text CurrentFolder() {
  char buffer[kCurrentFolderBytes];
  const DWORD length = GetCurrentDirectoryA(kCurrentFolderBytes, buffer);
  // A folder that does not fit comes back as the size it needs, terminator included.
  if (length == 0 || length >= kCurrentFolderBytes) return Text();
  return Text(buffer, length);
}

Text EnvironmentText(std::string_view name) {
  name = TextPart(name);
  if (name.empty()) return Text();
  for (const std::string& entry : StartEnvironment()) {
    // Entries such as "=C:=C:\dir" keep the drive's folder; their name starts with '='.
    const std::size_t equals = entry.find('=', 1);
    if (equals == std::string::npos) continue;
    if (AnsiEqualFold(std::string_view(entry).substr(0, equals), name)) {
      return MakeText(std::string_view(entry).substr(equals + 1));
    }
  }
  return Text();
}
