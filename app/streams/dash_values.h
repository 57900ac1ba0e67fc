// Values written in DASH manifests' attributes: durations (ISO 8601, as in
// mediaPresentationDuration="PT1H2M3.5S") and byte ranges ("0-861").
#pragma once

#include <optional>
#include <string_view>

#include "app/streams/stream_types.h"

// Seconds of an xs:duration; years and months count as 365 and 30 days.
// Nothing when malformed, negative or beyond about 30,000 years.
std::optional<double> DashDurationSeconds(std::string_view text);

// "first-last", both included; nothing when malformed or last < first.
std::optional<ByteRange> DashByteRange(std::string_view text);
