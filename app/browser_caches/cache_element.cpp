#include "app/browser_caches/cache_element.h"

#include <algorithm>
#include <vector>

#include "app/browser_caches/cache_files.h"

std::uint64_t ContiguousLength(const CacheElement& element) {
  std::uint64_t end = 0;
  for (const BodyPiece& piece : element.pieces) {
    if (piece.elementOffset > end) break;
    end = std::max(end, piece.elementOffset + piece.length);
  }
  return end;
}

std::uint64_t PresentLength(const CacheElement& element) {
  std::uint64_t total = 0;
  for (const BodyPiece& piece : element.pieces) total += piece.length;
  return total;
}

bool IsComplete(const CacheElement& element) {
  if (!element.finished || element.truncated || element.pieces.empty()) return false;
  const std::uint64_t contiguous = ContiguousLength(element);
  if (element.fullLength) return contiguous >= *element.fullLength;
  return contiguous == PresentLength(element);
}

CacheBodyReader::CacheBodyReader(CacheFolder& folder, const CacheElement& element)
    : folder_(folder), element_(element) {}

CacheBodyReader::~CacheBodyReader() = default;

std::size_t CacheBodyReader::Read(std::uint64_t elementOffset, void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  // Pieces are sorted by element offset: find the one holding the offset.
  auto piece =
      std::upper_bound(element_.pieces.begin(), element_.pieces.end(), elementOffset,
                       [](std::uint64_t offset, const BodyPiece& p) { return offset < p.elementOffset; });
  if (piece == element_.pieces.begin()) return 0;
  --piece;
  while (done < count && piece != element_.pieces.end()) {
    const std::uint64_t at = elementOffset + done;
    if (at < piece->elementOffset || at >= piece->elementOffset + piece->length) break;  // a hole
    if (openName_ != piece->fileName || !openFile_) {
      openFile_ = folder_.Open(piece->fileName);
      openName_ = piece->fileName;
      if (!openFile_) break;
    }
    const std::uint64_t inPiece = at - piece->elementOffset;
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - done, piece->length - inPiece));
    const std::size_t got = openFile_->ReadAt(piece->fileOffset + inPiece, out + done, want);
    done += got;
    if (got < want) break;
    if (inPiece + got == piece->length) ++piece;
  }
  return done;
}
