// The one way the program reads a body as text (playlists, manifests): the
// bytes present from the start, their Content-Encoding undone, bounded.
// CacheElementSignature (cache_element.h) is defined here too: it looks
// into compressed bodies the same way.
#pragma once

#include <cstddef>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/browser_caches/content_decoding.h"

// What a text body may decode to: a few MiB, more than the longest real
// playlists (a day of 2 s segments is about 43,000 lines), far less than
// what a small compressed body can claim to hold.
constexpr std::size_t kBodyTextBudget = 8u << 20;

// The body's bytes present from offset 0, decoded, at most `budget` of them.
// An unknown coding gives no bytes and DecodeEnd::Unsupported.
DecodedBody CacheBodyText(CacheFolder& folder, const CacheElement& element, std::size_t budget);
