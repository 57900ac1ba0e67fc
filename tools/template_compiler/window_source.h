// The readable source of one window: a UTF-8 text file, one per window.
//
//   # comment lines start with '#'
//   window 0x52010001 MainWindow        one per file, first
//     design = 0                        window record values (optional)
//   unit 0x06010001                     the window's own unit comes first
//     type = window
//     left = 50 ...
//     on 0 = MainWindowCreated          event binding: event number = handler
//     caption = "text"                  type properties by field name
//   unit 0x16010002 开始按钮             a control: id, then its name
//     parent = 其他设置                  the containing group box, by name
//
// Indentation is for the reader only.  Each "key = value" line belongs to
// the last window or unit line above it.  Values are interpreted when the
// source is compiled (see source_compile.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SourceEntry {
  std::string key;
  std::string value;  // raw, trimmed
  int line = 0;
};

struct UnitSource {
  std::uint32_t id = 0;
  std::string name;  // UTF-8; empty for the window's own unit
  int line = 0;
  std::vector<SourceEntry> entries;
};

struct WindowSource {
  std::string path;
  std::uint32_t id = 0;
  std::string name;  // ASCII identifier, names the generated constants
  std::vector<SourceEntry> entries;
  std::vector<UnitSource> units;
};

// Parses the lines of a source file; on failure error holds "path:line: why".
std::optional<WindowSource> WindowSourceParse(std::string_view content, const std::string& path,
                                              std::string& error);
std::optional<WindowSource> WindowSourceRead(const std::string& path, std::string& error);

// Value syntax shared by the compiler.
// Integer: decimal or 0x hex, optionally negative; must fit in 32 bits.
std::optional<std::int64_t> SourceIntegerParse(std::string_view text);
// Quoted text with the escapes \\ \" \r \n \t; nothing may follow it.
std::optional<std::string> SourceQuotedParse(std::string_view text);
// Whitespace-separated words.
std::vector<std::string_view> SourceWords(std::string_view text);
// Whether a name can stand as a C++ identifier (ASCII letters, digits, '_'
// and any non-ASCII UTF-8 bytes; not starting with a digit).
bool SourceNameValid(std::string_view name);
