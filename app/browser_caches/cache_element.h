// What a browser cache reader yields for each element it finds: where the
// element came from, what it is, and where each piece of its body lies in
// the cache's files, so that the body can be read from offset 0 in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser_caches/media_signature.h"

enum class CacheStore {
  ChromiumBlockFiles,  // index + data_0..3 + f_xxxxxx (Windows default)
  ChromiumSimple,      // <hash>_0 / _1 / _s (Linux default)
  FirefoxCache2,       // cache2/entries/<SHA-1 hex>
};

// `length` bytes of the element's body starting at `elementOffset` are found
// at `fileOffset` of the cache file `fileName` (a name in the same folder).
struct BodyPiece {
  std::string fileName;
  std::uint64_t fileOffset = 0;
  std::uint64_t elementOffset = 0;
  std::uint64_t length = 0;
};

struct CacheElement {
  CacheStore store = CacheStore::ChromiumSimple;
  // Identifies the element within its folder across reads (the entry's key
  // for Chromium, the entry file's name for Firefox).
  std::string id;
  std::string key;         // the key as stored
  std::string webAddress;  // the URL taken from the key; empty when unknown
  // From the stored response headers; empty / absent when not (yet) known.
  int httpStatus = 0;
  std::string contentType;                  // lower-case, without parameters ("video/mp4")
  std::string contentEncoding;              // lower-case ("gzip"); empty for identity
  std::optional<std::uint64_t> fullLength;  // Content-Range total, else Content-Length
  // The body's pieces, sorted by elementOffset, not overlapping.  Gaps
  // between them are holes.
  std::vector<BodyPiece> pieces;
  // The browser has finished writing the entry (closed it / wrote its
  // metadata).  An unfinished entry may still grow.
  bool finished = false;
  // The browser marked the body cut short (it stopped midway and kept what
  // it had): never complete, whatever the lengths say.
  bool truncated = false;
  std::uint64_t lastWritten = 0;  // newest write time of its files (100 ns since 1601)
  // Block files: the signature the keys of its range children carry (0 for
  // a whole answer), to find them again while the parent lists none.
  std::uint64_t rangeSignature = 0;
};

// Takes each element a reader finds, in the reader's order, as soon as it is
// read: the files the reader opened for it were opened just before, so a
// look at the body's first bytes then can use the same open.
using CacheElementSink = std::function<void(CacheElement&& element)>;

// Bytes of the body present from offset 0 without a hole.
std::uint64_t ContiguousLength(const CacheElement& element);
// Bytes of the body present in all.
std::uint64_t PresentLength(const CacheElement& element);
// Present, finished, not marked truncated and, where the full length is
// known, all of it there without holes.
bool IsComplete(const CacheElement& element);

class CacheFile;
class CacheFolder;

// Reads an element's body by element offsets from its pieces, keeping the
// file it read last open (a saved copy reads one file after another).  The
// folder and the element must outlive the reader.
class CacheBodyReader {
 public:
  CacheBodyReader(CacheFolder& folder, const CacheElement& element);
  ~CacheBodyReader();
  CacheBodyReader(const CacheBodyReader&) = delete;
  CacheBodyReader& operator=(const CacheBodyReader&) = delete;
  // Up to `count` bytes at `elementOffset`; stops at a hole, at the end of
  // the pieces or where a file turned out shorter.  Returns the bytes read.
  std::size_t Read(std::uint64_t elementOffset, void* buffer, std::size_t count);

 private:
  CacheFolder& folder_;
  const CacheElement& element_;
  std::string openName_;
  std::unique_ptr<CacheFile> openFile_;
};

// What the element is: its stored type with its first bytes (up to
// kMediaSniffBytes).  A content-encoded body is never media.
MediaSignature CacheElementSignature(CacheFolder& folder, const CacheElement& element);
