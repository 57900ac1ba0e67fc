// A stream's joined bytes pulled in order, for a copy that asks for its
// next block (the watch's save) rather than being handed them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/streams/cache_streams.h"

class CacheStreamReader {
 public:
  // The folder and the stream must outlive the reader.
  CacheStreamReader(CacheFolder& folder, const CacheStream& stream);
  ~CacheStreamReader();
  CacheStreamReader(const CacheStreamReader&) = delete;
  CacheStreamReader& operator=(const CacheStreamReader&) = delete;

  // Up to `count` bytes; 0 at the end.  A piece the cache gives fewer bytes
  // of than planned (the browser changed the entry) makes the reader failed.
  std::size_t Read(void* buffer, std::size_t count);
  bool Failed() const { return failed_; }

 private:
  CacheFolder& folder_;
  const CacheStream& stream_;
  std::size_t piece_ = 0;
  std::uint64_t done_ = 0;  // bytes of the current piece read
  std::unique_ptr<CacheBodyReader> reader_;
  std::size_t readerSource_ = 0;
  bool failed_ = false;
};
