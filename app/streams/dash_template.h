// Filling a DASH SegmentTemplate pattern ("seg-$RepresentationID$-$Number%05d$.m4s"):
// the identifiers $RepresentationID$, $Number$, $Bandwidth$, $Time$ and $$,
// the numeric ones with an optional printf-style width ("%05d").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct DashTemplateValues {
  std::string_view representationId;
  std::uint64_t bandwidth = 0;
  std::uint64_t number = 0;
  std::uint64_t time = 0;
};

// Identifiers it does not know, and a '$' without its closing one, are kept
// as written.
std::string DashTemplateFill(std::string_view pattern, const DashTemplateValues& values);
