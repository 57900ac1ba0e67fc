// The streams of a cache folder: elements whose addresses, types, states and
// bodies come from the input, among them playlists naming each other and
// segments by those addresses.  Whatever the bytes, the plans stay within
// their streams and the bytes cached, and a stream that can be written
// writes exactly its pieces.
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/streams/cache_streams.h"
#include "tests/fuzz/fuzz_targets.h"

namespace {

// Addresses the seeds' playlists name, so that lookups meet.
constexpr std::string_view kAddresses[] = {
    "https://s.test/v/index.m3u8",    "https://s.test/v/init.mp4",      "https://s.test/v/seg0.m4s",
    "https://s.test/v/seg1.m4s",      "https://s.test/v/seg0.ts",       "https://s.test/v/seg1.ts",
    "https://s.test/v/master.m3u8",   "https://s.test/d/manifest.mpd",  "https://s.test/d/init-0.m4s",
    "https://s.test/d/chunk-0-1.m4s", "https://s.test/d/chunk-0-2.m4s", "https://s.test/v/all.mp4",
    "https://s.test/v/seg2.ts",       "https://s.test/v/seg2.m4s",      "",
};
constexpr std::string_view kTypes[] = {"",
                                       "application/vnd.apple.mpegurl",
                                       "application/dash+xml",
                                       "video/mp4",
                                       "video/mp2t",
                                       "audio/mp4",
                                       "text/plain",
                                       "application/octet-stream"};
// Enough elements, and bodies large enough (16 MiB, 24-bit lengths), that
// playlists together can reach the per-playlist and per-folder budgets.
constexpr int kMaxElements = 64;

}  // namespace

void FuzzCacheStreams(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  MemoryCacheFolder folder;
  std::vector<CacheElement> elements;
  std::vector<MediaSignature> signatures;
  for (int i = 0; i < kMaxElements; ++i) {
    const auto head = input.Bytes(7);
    if (head.size() < 7) break;
    const std::uint32_t length = (head[3] | head[4] << 8 | head[5] << 16) & 0xFFFFFF;
    const auto body = input.Bytes(length);
    const std::string file = "e" + std::to_string(i);
    folder.Put(file, std::vector<std::uint8_t>(body.begin(), body.end()));
    CacheElement element;
    element.id = file;
    element.webAddress = std::string(kAddresses[head[0] % std::size(kAddresses)]);
    element.contentType = std::string(kTypes[head[1] % std::size(kTypes)]);
    const std::uint8_t flags = head[2];
    element.finished = (flags & 1) != 0;
    if (flags & 2) element.contentEncoding = "gzip";
    if (flags & 4) element.fullLength = body.size() + (flags & 8 ? head[6] : 0);
    element.lastWritten = head[6];
    // A hole in the middle: the body as two pieces with the bytes between left out.
    if ((flags & 16) && body.size() > 2) {
      const std::uint64_t half = body.size() / 2;
      element.pieces.push_back({file, 0, 0, half - 1});
      element.pieces.push_back({file, half, half, body.size() - half});
    } else if (!body.empty()) {
      element.pieces.push_back({file, 0, 0, body.size()});
    }
    signatures.push_back(element.pieces.empty() ? MediaSignature{} : CacheElementSignature(folder, element));
    elements.push_back(std::move(element));
  }
  const CacheStreams found = CacheStreamsFind(folder, elements, signatures);
  FUZZ_CHECK(found.partOfStream.size() == elements.size());
  for (const CacheStream& stream : found.streams) {
    FUZZ_CHECK(stream.plan.present > 0 && stream.plan.present <= stream.plan.total);
    FUZZ_CHECK(!stream.plan.complete || stream.plan.present == stream.plan.total);
    FUZZ_CHECK(stream.extension == "mp4" || stream.extension == "m4a" || stream.extension == "ts");
    FUZZ_CHECK(stream.kind == StreamKind::Video || stream.kind == StreamKind::Audio);
    FUZZ_CHECK(stream.kind == StreamKind::Audio || stream.extension != "m4a");
    std::uint64_t pieces = 0;
    for (const CacheStreamPiece& piece : stream.pieces) {
      FUZZ_CHECK(piece.source < stream.sources.size());
      pieces += piece.length;
    }
    if (stream.protectedContent) {
      FUZZ_CHECK(stream.pieces.empty());
    } else {
      FUZZ_CHECK(pieces == stream.plan.bytes);
      FUZZ_CHECK(stream.presentBytes >= pieces);
    }
    // Never more than the folder holds, however often a playlist names it.
    std::uint64_t held = 0;
    for (const CacheElement& element : elements) held += PresentLength(element);
    FUZZ_CHECK(stream.presentBytes <= held);
    std::uint64_t written = 0;
    const bool done = CacheStreamWrite(folder, stream, [&](std::span<const std::uint8_t> bytes) {
      written += bytes.size();
      return true;
    });
    // The folder does not change: what the plan found is there to write.
    FUZZ_CHECK(done == !stream.pieces.empty());
    FUZZ_CHECK(!done || written == pieces);
  }
}
