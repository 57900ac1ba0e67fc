// Telling a stream's kind from what playlists write about it: a media type
// ("video/mp4", DASH contentType "audio") or a list of codecs.
#pragma once

#include <string_view>

#include "app/streams/stream_types.h"

// Video when a video codec is named, Audio when only audio codecs are,
// Other for subtitle formats only, else Unknown.
StreamKind StreamKindOfCodecs(std::string_view codecs);

// From a media type or a DASH contentType ("video", "audio", "text", "image").
StreamKind StreamKindOfType(std::string_view type);
