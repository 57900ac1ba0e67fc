// The columns of a list as its template and its property store them:
// "name:width" or "name:width:r" (right-aligned), separated by "|".
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/core/text.h"

struct ListColumn {
  Text name;
  std::int32_t width = 80;
  bool rightAligned = false;
};

// A column without a usable width gets 80 pixels; empty parts are skipped.
std::vector<ListColumn> ListColumnsParse(std::string_view text);
Text ListColumnsText(const std::vector<ListColumn>& columns);
