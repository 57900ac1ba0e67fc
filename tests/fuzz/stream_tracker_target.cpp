// The watch's streams: a simple cache whose entries (playlists, segments,
// anything) are written, rewritten and dropped between looks, each handed to
// the stream tracker as the candidate trackers would, with a clock that
// moves.  The records are those of cache_streams (address, type, flags, a
// 20-bit length, a byte; then the body), so its seeds serve here too; the
// flags' upper bits look, end the session, or leave a write unannounced.
// Rules: every stream handed on is handed once per session, names at most
// the parts kept, and (while every write was announced) reads back from its
// parts as the very stream handed on, never planning more bytes than its
// sources hold; an ended session leaves nothing behind.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser_caches/cache_folder_memory.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/cache_watch/stream_tracker.h"
#include "app/streams/stream_parts.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/cache_folder_ref.h"
#include "tests/support/chromium_cache_builders.h"

namespace {

// As in cache_streams, so that playlists and segments meet; the last one is
// over the readers' 8 KiB address cap.
const std::string kAddresses[] = {
    "https://s.test/v/index.m3u8",    "https://s.test/v/init.mp4",      "https://s.test/v/seg0.m4s",
    "https://s.test/v/seg1.m4s",      "https://s.test/v/seg0.ts",       "https://s.test/v/seg1.ts",
    "https://s.test/v/master.m3u8",   "https://s.test/d/manifest.mpd",  "https://s.test/d/init-0.m4s",
    "https://s.test/d/chunk-0-1.m4s", "https://s.test/d/chunk-0-2.m4s", "https://s.test/v/all.mp4",
    "https://s.test/v/seg2.ts",       "https://s.test/v/seg2.m4s",      "",
    "https://s.test/" + std::string(9000, 'a') + "/index.m3u8",
};
constexpr std::string_view kTypes[] = {"",
                                       "application/vnd.apple.mpegurl",
                                       "application/dash+xml",
                                       "video/mp4",
                                       "video/mp2t",
                                       "audio/mp4",
                                       "text/plain",
                                       "application/octet-stream"};
constexpr int kMaxRecords = 64;

const CacheFolderName kCache{u"C:\\c\\Cache_Data", "C:\\c\\Cache_Data"};
const CacheFolderName kOther{u"C:\\d\\Cache_Data", "C:\\d\\Cache_Data"};

class Opener final : public CacheFolderOpener {
 public:
  // Both names lend the one folder: the second is over the session's cap.
  std::unique_ptr<CacheFolder> Open(const CacheFolderName&) override {
    return std::make_unique<CacheFolderRef>(folder);
  }
  MemoryCacheFolder folder{"C:\\c\\Cache_Data"};
};

std::string EntryName(std::size_t address) {
  char text[32];
  std::snprintf(text, sizeof text, "%016zx_0", address + 1);
  return text;
}

}  // namespace

void FuzzStreamTracker(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  Opener opener;
  opener.folder.Put("index", SimpleIndex());
  StreamTrackerLimits limits;
  limits.partsPerFolder = 12;  // small enough that the oldest parts go
  limits.foldersPerSession = 1;
  StreamTracker tracker(opener, limits);
  std::uint64_t session = 1;
  std::uint64_t now = 0;
  // Every write to a part was announced and no part was dropped unseen:
  // what the tracker keeps is what the cache holds.
  bool announced = true;
  std::set<std::string> parts;  // entries handed to the tracker this session
  std::set<std::string> handed;

  const auto look = [&] {
    std::vector<MediaElementRef> found;
    tracker.Look(now, found);
    FUZZ_CHECK(tracker.PartCount() <= limits.partsPerFolder);
    for (const MediaElementRef& ref : found) {
      FUZZ_CHECK(ref.session == session && ref.IsStream());
      FUZZ_CHECK(ref.folderAnsi == kCache.ansi || ref.folderAnsi == kOther.ansi);
      FUZZ_CHECK(ref.streamParts.size() <= limits.partsPerFolder);
      FUZZ_CHECK(ref.nature == MediaNature::Video || ref.nature == MediaNature::Audio);
      FUZZ_CHECK(ref.extension == "mp4" || ref.extension == "m4a" || ref.extension == "ts");
      FUZZ_CHECK(handed.insert(ref.key).second);  // once per session
      if (!announced) continue;
      const StreamElements read = StreamPartsRead(opener.folder, ref.streamParts);
      const CacheStreams streams = CacheStreamsFind(opener.folder, read.elements, read.signatures);
      const CacheStream* stream = StreamNamed(streams, ref.webAddress, ref.representation, ref.segmentGroup);
      FUZZ_CHECK(stream != nullptr);
      // What it writes comes from its sources; what it counts present, from
      // the parts, each at most once.
      std::uint64_t fromSources = 0;
      for (const CacheElement& source : stream->sources) fromSources += PresentLength(source);
      std::uint64_t fromParts = 0;
      for (const CacheElement& element : read.elements) fromParts += PresentLength(element);
      FUZZ_CHECK(stream->protectedContent || stream->plan.bytes <= fromSources);
      FUZZ_CHECK(stream->presentBytes <= fromParts);
    }
  };

  for (int record = 0; record < kMaxRecords; ++record) {
    const auto head = input.Bytes(7);
    if (head.size() < 7) break;
    const std::size_t address = head[0] % std::size(kAddresses);
    const std::uint32_t length = (head[3] | head[4] << 8 | head[5] << 16) & 0xFFFFF;
    const auto body = input.Bytes(length);
    const std::uint8_t flags = head[2];
    const bool closed = (flags & 1) != 0;
    std::vector<std::string> lines = {"HTTP/1.1 200 OK",
                                      "Content-Type: " + std::string(kTypes[head[1] % std::size(kTypes)])};
    if (flags & 2) lines.push_back("Content-Encoding: gzip");
    if (flags & 4) lines.push_back("Content-Length: " + std::to_string(body.size() + (flags & 8 ? head[6] : 0)));
    std::string block;
    for (const std::string& line : lines) block += line + '\0';
    block += '\0';
    const ByteVector pickle = ResponsePickle(block);
    const std::string name = EntryName(address);
    const std::string key = "1/0/_dk_https://s.test https://s.test " + kAddresses[address];
    if ((flags & 0x30) == 0x30) {
      // The browser dropped the entry; the watch hears nothing of it.
      opener.folder.Remove(name);
      announced = announced && parts.count(name) == 0;
    } else {
      opener.folder.Put(name, SimpleMainFile(key, ByteVector(body.begin(), body.end()), closed ? &pickle : nullptr));
      const std::optional<CacheElement> element =
          ChromiumElementRead(opener.folder, CacheStore::ChromiumSimple, name, {});
      const MediaSignature signature =
          element && !element->pieces.empty() ? CacheElementSignature(opener.folder, *element) : MediaSignature{};
      if (element && StreamPartIs(signature, *element) && (flags & 0x80) == 0) {
        const bool other = (flags & 0x40) != 0 && (flags & 0x20) == 0;
        tracker.PartFound(session, other ? kOther : kCache, {CacheStore::ChromiumSimple, name, element->key},
                          *element, signature, now);
        parts.insert(name);
      } else {
        // A part that is one no more, or a write the watch missed.
        announced = announced && parts.count(name) == 0;
      }
    }
    now += static_cast<std::uint64_t>(head[6]) * 40;
    if (flags & 0x20) look();
    if ((flags & 0xE0) == 0x60) {
      tracker.SessionEnded(session);
      FUZZ_CHECK(tracker.PartCount() == 0 && !tracker.Pending());
      ++session;
      handed.clear();
      parts.clear();
      announced = true;
    }
  }
  // The groups' quiet wait and every part's lifetime pass.
  for (int step = 0; step < 4; ++step) {
    now += limits.groupQuietMs + limits.findIntervalMs;
    look();
  }
  now += limits.unfinishedLifetimeMs;
  look();
  look();
  FUZZ_CHECK(!tracker.Pending());
  tracker.SessionEnded(session);
  FUZZ_CHECK(tracker.PartCount() == 0 && !tracker.Pending());
}
