#include "app/muxing/cache_track_file.h"

#include <algorithm>

CacheElementFile::CacheElementFile(CacheFolder& folder, const CacheElement& element)
    : reader_(folder, element), size_(ContiguousLength(element)) {}

std::size_t CacheElementFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (offset >= size_) return 0;
  count = static_cast<std::size_t>(std::min<std::uint64_t>(count, size_ - offset));
  return reader_.Read(offset, buffer, count);
}

CacheStreamFile::CacheStreamFile(CacheFolder& folder, const CacheStream& stream)
    : folder_(folder), stream_(stream), readers_(stream.sources.size()) {
  for (const CacheStreamPiece& piece : stream.pieces) {
    starts_.push_back(size_);
    size_ += piece.length;
  }
}

CacheStreamFile::~CacheStreamFile() = default;

std::size_t CacheStreamFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  // The piece holding `offset`: the last that starts at or before it.
  auto at = std::upper_bound(starts_.begin(), starts_.end(), offset);
  if (at == starts_.begin()) return 0;
  for (std::size_t i = static_cast<std::size_t>(at - starts_.begin()) - 1; i < starts_.size() && done < count;
       ++i) {
    const CacheStreamPiece& piece = stream_.pieces[i];
    const std::uint64_t within = offset + done - starts_[i];
    if (within >= piece.length) continue;
    if (piece.source >= readers_.size()) return done;
    auto& reader = readers_[piece.source];
    if (!reader) reader = std::make_unique<CacheBodyReader>(folder_, stream_.sources[piece.source]);
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, piece.length - within));
    const std::size_t got = reader->Read(piece.offset + within, out + done, want);
    done += got;
    if (got != want) break;  // the cache gave fewer bytes: the caller sees a short read
  }
  return done;
}
