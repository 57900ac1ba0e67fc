// Firefox's disk cache (cache2): one file per entry in `cache2/entries`,
// named by the SHA-1 of its key in 40 upper-case hex digits.  The file holds
// the body from offset 0; once the browser lets go of the entry it appends
// the metadata (chunk hashes, header, key, name/value elements with the
// response head) and a trailer that gives the metadata's offset, which is
// also the body's length.  Until then the file is the raw body, growing in
// whole 256 KiB chunks, followed (from version 4 on) by eight 0xFF bytes.
// No Win32 here: files are reached through a CacheFolder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"

// Bounds on what the reader accepts from a file (the browser's own limit on
// the elements is 64 KiB; keys are URLs).
constexpr std::size_t kFirefoxMaxKeySize = 256 * 1024;
constexpr std::size_t kFirefoxMaxElementsSize = 64 * 1024;
// The body is hashed in chunks of this size, one 16-bit hash each.
constexpr std::uint64_t kFirefoxChunkSize = 256 * 1024;

// True for a name of the form the browser gives entry files (40 hex digits).
bool FirefoxEntryNameIs(std::string_view fileName);
// True when the folder is a `cache2/entries` folder (either separator, any
// case).  Its siblings `doomed` and `trash*` hold entries the browser has
// dropped: they are not elements.
bool FirefoxEntriesFolderIs(std::string_view folderPath);

// The web address in an entry's key, with the tags before it taken off
// (`O^<origin attributes>,`, `a,` anonymous, `p,` private, `~<id>,` ...; a
// `,` inside a tag's value is doubled).  The address follows the `:` tag
// as stored.  Nothing when the key does not parse.
std::optional<std::string> FirefoxKeyAddress(std::string_view key);

// The browser's 32-bit hash of the metadata (Bob Jenkins' 1996 hash with an
// initial value of 0), which guards the metadata against a raw body whose
// last bytes merely look like a trailer.
std::uint32_t FirefoxCacheHash(std::span<const std::uint8_t> bytes);

// Reads one entry file of a `cache2/entries` folder.  With valid metadata the
// element is finished and carries the key, web address and what the response
// head says; without it the element is the raw body still being written
// (unfinished, its one piece the file without the 0xFF marker, no key or
// address; no piece at all while there is no body byte).  Nothing when the folder is not an entries
// folder, the name is not an entry's, the file cannot be read, or the
// metadata is there but broken (the entry is skipped, not guessed at).
// `lastWritten` is copied into the element.
std::optional<CacheElement> FirefoxEntryRead(CacheFolder& folder, std::string_view fileName,
                                             std::uint64_t lastWritten = 0);

// Every entry of a `cache2/entries` folder that reads as an element, sorted
// by file name; empty for any other folder.
std::vector<CacheElement> FirefoxEntriesRead(CacheFolder& folder);
// The same, each element handed to `sink` as it is read.
void FirefoxEntriesVisit(CacheFolder& folder, const CacheElementSink& sink);
