// The detection step for a media element found in a browser cache: the same
// classes, texts and prompt as for a file, with the element's web address
// where the file's path stands; at OK the element is read from the cache
// as it is then and written to the save folder.  Shares the detection lock
// with HandleNewFile, so prompts stay one at a time.  A stream goes to
// HandleMediaStream.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "app/browser_caches/media_element_ref.h"
#include "app/extensions/extension_catalogue.h"
#include "runtime/core/text.h"

// With the main window's class switches (nothing happens before they exist).
void HandleMediaElement(const MediaElementRef& element);
void HandleMediaElement(const MediaElementRef& element, ClassSwitches& switches);

// The warning shown when the element is not all there at OK.
Text IncompleteElementText(std::string_view webAddress, std::uint64_t present,
                           std::optional<std::uint64_t> fullLength, std::uint64_t contiguous);
