// Interpreting the values of a window source in the compiler.  Texts come
// out in GBK, ready for the records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/core/text.h"
#include "tools/template_compiler/window_source.h"

// Collects the first error with its place in the source.
struct SourceContext {
  std::string path;  // of the window source; file texts are found beside it
  std::string error;

  bool Fail(const SourceEntry& entry, const std::string& why) {
    if (error.empty()) error = path + ":" + std::to_string(entry.line) + ": " + entry.key + ": " + why;
    return false;
  }
};

bool ValueInteger(SourceContext& context, const SourceEntry& entry, std::int64_t& value);
// "quoted" or file "name": a UTF-8 file beside the source, whose line ends
// become CR LF and whose one final line end is dropped.  Converted to GBK.
bool ValueText(SourceContext& context, const SourceEntry& entry, Text& value);
// hex "0a0b..." (an even number of hex digits).
bool ValueBytes(SourceContext& context, const SourceEntry& entry, ByteArray& value);
