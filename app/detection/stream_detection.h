// The detection step for a stream the watch found in a browser cache (a
// MediaElementRef with stream parts): one prompt with the class's texts and
// the playlist's address; at OK the stream is read again from the cache and
// its segments joined into one new file of the save folder, under the
// detection time and the joined file's extension.  A DASH presentation's
// video and sound streams are offered once, as its video, and saved as one
// muxed file.  Holds the detection lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/browser_caches/media_element_ref.h"
#include "app/extensions/extension_catalogue.h"
#include "runtime/core/text.h"

void HandleMediaStream(const MediaElementRef& stream, ClassSwitches& switches);

// The warning shown when the stream is not all there at OK.
Text IncompleteStreamText(std::string_view webAddress, std::size_t present, std::size_t total,
                          std::size_t contiguous);
// What a stream's prompt names: its address, "（视频和声音合成一个文件）" for
// a presentation's picture and sound, the bytes the copy will have now, and
// "（已截断）" where a budget cut its playlist short.
Text StreamPromptSubject(std::string_view webAddress, std::uint64_t bytes, bool cutShort, bool joined = false);
// The message for an encrypted or DRM-protected stream.
Text ProtectedStreamText(std::string_view webAddress);
