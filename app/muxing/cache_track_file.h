// A track the muxer reads straight from the cache: one element's body, or
// a stream's init and segments as one run of bytes, read at any offset
// without copying them out first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/browser_caches/cache_element.h"
#include "app/browser_caches/cache_files.h"
#include "app/streams/cache_streams.h"

// The element's body from offset 0 up to its first hole.  The folder and the
// element must outlive it.
class CacheElementFile : public CacheFile {
 public:
  CacheElementFile(CacheFolder& folder, const CacheElement& element);
  std::uint64_t Size() override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  CacheBodyReader reader_;
  std::uint64_t size_;
};

// The stream's pieces joined in plan order.  The folder and the stream must
// outlive it.
class CacheStreamFile : public CacheFile {
 public:
  CacheStreamFile(CacheFolder& folder, const CacheStream& stream);
  ~CacheStreamFile() override;
  std::uint64_t Size() override { return size_; }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  CacheFolder& folder_;
  const CacheStream& stream_;
  std::vector<std::uint64_t> starts_;                      // each piece's offset in the joined bytes
  std::vector<std::unique_ptr<CacheBodyReader>> readers_;  // per source, opened when first read
  std::uint64_t size_ = 0;
};
