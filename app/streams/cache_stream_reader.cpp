#include "app/streams/cache_stream_reader.h"

#include <algorithm>

CacheStreamReader::CacheStreamReader(CacheFolder& folder, const CacheStream& stream)
    : folder_(folder), stream_(stream) {
  failed_ = stream.protectedContent;
}

CacheStreamReader::~CacheStreamReader() = default;

std::size_t CacheStreamReader::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t given = 0;
  while (!failed_ && given < count && piece_ < stream_.pieces.size()) {
    const CacheStreamPiece& piece = stream_.pieces[piece_];
    if (piece.source >= stream_.sources.size()) {
      failed_ = true;
      break;
    }
    if (!reader_ || readerSource_ != piece.source) {
      reader_ = std::make_unique<CacheBodyReader>(folder_, stream_.sources[piece.source]);
      readerSource_ = piece.source;
    }
    const std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - given, piece.length - done_));
    const std::size_t got = reader_->Read(piece.offset + done_, out + given, wanted);
    given += got;
    done_ += got;
    if (got != wanted) {
      failed_ = true;
      break;
    }
    if (done_ == piece.length) {
      ++piece_;
      done_ = 0;
    }
  }
  return failed_ ? 0 : given;
}
