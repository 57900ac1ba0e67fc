#include "app/cache_watch/stream_tracker.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "app/browser_caches/chromium_block_files.h"
#include "app/streams/cache_streams.h"
#include "app/streams/stream_parts.h"
#include "runtime/core/text_encoding.h"

namespace {

// A playlist served under a type that says nothing (text/plain) is still
// named by its address.
bool PlaylistNamed(std::string_view address) {
  address = address.substr(0, address.find_first_of("?#"));
  const std::size_t dot = address.rfind('.');
  if (dot == std::string_view::npos || address.find('/', dot) != std::string_view::npos) return false;
  std::string extension;
  for (const char c : address.substr(dot + 1)) extension += AsciiLower(c);
  return extension == "m3u8" || extension == "m3u" || extension == "mpd";
}

// Block files keep bodies of up to 16 KiB inside their data files: such a
// playlist, init segment or short segment makes no new file the watch sees.
constexpr std::uint64_t kBlockFileInlineMax = 16 * 1024;
// Walks of a block-file index for them, per folder, the waits growing.
constexpr int kInlineWalks = 8;
constexpr std::uint64_t kInlineWalkWaitMs = 1000;

std::string PartId(const StreamPartRef& part) { return part.fileName.empty() ? part.key : part.fileName; }

bool Changed(const CacheElement& before, const CacheElement& now) {
  return PresentLength(before) != PresentLength(now) || before.finished != now.finished ||
         before.webAddress != now.webAddress || before.fullLength != now.fullLength ||
         before.pieces.size() != now.pieces.size();
}

std::string StreamKey(const CacheStream& stream) {
  if (stream.origin == CacheStreamOrigin::SegmentGroup) return "G " + stream.address;
  return "P " + stream.address + "\n" + stream.representation;
}

}  // namespace

bool StreamPartIs(const MediaSignature& signature, const CacheElement& element) {
  return signature.nature == MediaNature::Segment || signature.nature == MediaNature::Playlist ||
         PlaylistNamed(element.webAddress);
}

struct StreamTracker::Part {
  StreamPartRef ref;
  CacheElement element;
  MediaSignature signature;
  std::uint64_t changedMs = 0;
  std::uint64_t order = 0;
  bool followed = true;  // read again while unfinished, until unchanged too long

  bool Following() const { return followed && !element.finished; }
};

struct StreamTracker::Folder {
  CacheFolderName name;
  CacheStore store = CacheStore::ChromiumSimple;
  std::map<std::string, Part> parts;          // by entry
  std::map<std::uint64_t, std::string> ages;  // order kept -> entry
  std::uint64_t nextOrder = 0;
  bool dirty = false;              // parts changed since the last find
  bool groupsWaiting = false;      // a group waits for its segments to be quiet
  std::uint64_t groupsDueMs = 0;   // when the first waiting group is
  std::uint64_t lastChangeMs = 0;  // of any part
  std::uint64_t lastFindMs = 0;
  bool found = false;  // a find has run
  int walksLeft = kInlineWalks;
  std::uint64_t nextWalkMs = 0;

  // Parts unchanged too long are left as they are; true while any is followed.
  bool Follow(std::uint64_t nowMs, std::uint64_t lifetimeMs) {
    bool any = false;
    for (auto& [id, part] : parts) {
      if (part.Following() && nowMs - part.changedMs >= lifetimeMs) part.followed = false;
      any = any || part.Following();
    }
    return any;
  }
};

struct StreamTracker::Session {
  std::map<std::u16string, std::unique_ptr<Folder>> folders;
  // Stream keys handed on, and ("S " + address) the segments they held.
  std::set<std::string> handed;
  std::deque<std::string> handedOrder;
};

StreamTracker::StreamTracker(CacheFolderOpener& opener, StreamTrackerLimits limits)
    : opener_(opener), limits_(limits) {}

StreamTracker::~StreamTracker() = default;

void StreamTracker::PartFound(std::uint64_t sessionId, const CacheFolderName& name, const StreamPartRef& ref,
                              const CacheElement& element, const MediaSignature& signature,
                              std::uint64_t nowMs) {
  std::unique_ptr<Session>& session = sessions_[sessionId];
  if (!session) session = std::make_unique<Session>();
  std::unique_ptr<Folder>& folder = session->folders[name.exact];
  if (!folder) {
    if (session->folders.size() > limits_.foldersPerSession) {
      session->folders.erase(name.exact);
      ++figures_.partsDropped;
      return;
    }
    folder = std::make_unique<Folder>();
    folder->name = name;
    folder->store = ref.store;
  }
  Keep(*folder, ref, element, signature, nowMs);
}

void StreamTracker::Keep(Folder& folder, const StreamPartRef& ref, const CacheElement& element,
                         const MediaSignature& signature, std::uint64_t nowMs) {
  const std::string id = PartId(ref);
  if (auto old = folder.parts.find(id); old != folder.parts.end()) folder.ages.erase(old->second.order);
  Part& part = folder.parts[id];
  part.ref = ref;
  part.element = element;
  part.signature = signature;
  part.changedMs = nowMs;
  part.order = folder.nextOrder++;
  part.followed = true;
  folder.ages.emplace(part.order, id);
  folder.dirty = true;
  folder.lastChangeMs = nowMs;
  ++figures_.partsKept;
  while (folder.parts.size() > limits_.partsPerFolder) {
    folder.parts.erase(folder.ages.begin()->second);
    folder.ages.erase(folder.ages.begin());
    ++figures_.partsDropped;
  }
}

bool StreamTracker::WalkInline(Folder& folder, CacheFolder& open, std::uint64_t nowMs) {
  --folder.walksLeft;
  folder.nextWalkMs = nowMs + kInlineWalkWaitMs * static_cast<std::uint64_t>(kInlineWalks - folder.walksLeft);
  ++figures_.inlineWalks;
  bool added = false;
  for (const CacheElement& element : BlockFileElementsRead(open)) {
    if (element.webAddress.empty() || PresentLength(element) > kBlockFileInlineMax || !IsComplete(element) ||
        folder.parts.count(element.key) != 0)
      continue;
    const MediaSignature signature = CacheElementSignature(open, element);
    if (!StreamPartIs(signature, element)) continue;
    Keep(folder, {element.store, {}, element.key}, element, signature, nowMs);
    added = true;
  }
  return added;
}

void StreamTracker::SessionEnded(std::uint64_t session) { sessions_.erase(session); }

bool StreamTracker::Handed(Session& session, const std::string& key) {
  if (!session.handed.insert(key).second) return true;
  session.handedOrder.push_back(key);
  while (session.handed.size() > limits_.handedPerSession) {
    session.handed.erase(session.handedOrder.front());
    session.handedOrder.pop_front();
  }
  return false;
}

CacheStreams StreamTracker::Find(Folder& folder, CacheFolder& open) {
  std::vector<CacheElement> elements;
  std::vector<MediaSignature> signatures;
  elements.reserve(folder.parts.size());
  signatures.reserve(folder.parts.size());
  for (const auto& [order, id] : folder.ages) {
    const Part& part = folder.parts.at(id);
    elements.push_back(part.element);
    signatures.push_back(part.signature);
  }
  ++figures_.finds;
  return CacheStreamsFind(open, elements, signatures);
}

void StreamTracker::LookFolder(Session& session, Folder& folder, std::uint64_t nowMs,
                               std::vector<MediaElementRef>& found) {
  const bool following = folder.Follow(nowMs, limits_.unfinishedLifetimeMs);
  const bool groupsDue = folder.groupsWaiting && nowMs >= folder.groupsDueMs;
  if (!folder.dirty && !groupsDue && !following) return;
  if (folder.found && nowMs < folder.lastFindMs + limits_.findIntervalMs) return;
  const std::unique_ptr<CacheFolder> open = opener_.Open(folder.name);
  if (!open) return;
  folder.lastFindMs = nowMs;

  // What the browser is still writing is read again.
  for (auto at = folder.parts.begin(); at != folder.parts.end();) {
    Part& part = at->second;
    if (!part.Following()) {
      ++at;
      continue;
    }
    std::optional<CacheElement> now = StreamPartRead(*open, part.ref);
    if (!now) {
      folder.ages.erase(part.order);
      at = folder.parts.erase(at);
      ++figures_.partsDropped;
      folder.dirty = true;
      folder.lastChangeMs = nowMs;
      continue;
    }
    if (Changed(part.element, *now)) {
      part.element = std::move(*now);
      part.ref.key = part.element.key;  // a Firefox entry gets its key with the metadata
      part.signature = CacheElementSignature(*open, part.element);
      part.changedMs = nowMs;
      folder.dirty = true;
      folder.lastChangeMs = nowMs;
    }
    ++at;
  }
  if (!folder.dirty && !groupsDue) return;

  folder.found = true;
  folder.dirty = false;
  folder.groupsWaiting = false;
  CacheStreams streams = Find(folder, *open);
  // Segments in a block-file cache may form only a group, or no stream at
  // all (encrypted bytes say nothing), because their playlist and init
  // segment are small enough to live inside the data files.
  bool unclaimed = std::any_of(streams.streams.begin(), streams.streams.end(), [](const CacheStream& stream) {
    return stream.origin == CacheStreamOrigin::SegmentGroup;
  });
  std::size_t index = 0;
  for (const auto& [order, id] : folder.ages) {
    if (folder.parts.at(id).signature.nature == MediaNature::Segment && !streams.partOfStream[index])
      unclaimed = true;
    ++index;
  }
  if (unclaimed && folder.store == CacheStore::ChromiumBlockFiles && folder.walksLeft > 0 &&
      nowMs >= folder.nextWalkMs && WalkInline(folder, *open, nowMs)) {
    folder.dirty = false;
    streams = Find(folder, *open);
  }
  std::vector<StreamPartRef> refs;
  refs.reserve(folder.parts.size());
  for (const auto& [order, id] : folder.ages) refs.push_back(folder.parts.at(id).ref);
  // When each address's part last changed, for the groups' quiet wait.
  std::unordered_map<std::string, std::uint64_t> changedAt;
  for (const auto& [id, part] : folder.parts) {
    std::uint64_t& at = changedAt[part.element.webAddress];
    at = std::max(at, part.changedMs);
  }
  for (const CacheStream& stream : streams.streams) {
    const std::string key = StreamKey(stream);
    if (session.handed.count(key) != 0) continue;
    const bool group = stream.origin == CacheStreamOrigin::SegmentGroup;
    if (group) {
      // Quiet once none of its segments (nor its init) has come or changed for a while.
      // A group with nothing to write (no init yet) waits for the whole folder.
      std::uint64_t changed = stream.sources.empty() ? folder.lastChangeMs : 0;
      for (const CacheElement& source : stream.sources)
        changed = std::max(changed, changedAt[source.webAddress]);
      const std::uint64_t dueMs = changed + limits_.groupQuietMs;
      if (nowMs < dueMs) {
        folder.groupsDueMs = folder.groupsWaiting ? std::min(folder.groupsDueMs, dueMs) : dueMs;
        folder.groupsWaiting = true;
        continue;
      }
    }
    // A stream whose segments were offered already (as a group before its
    // playlist came, or the other way round) is not offered again.
    const bool offered = std::any_of(
        stream.sources.begin(), stream.sources.end(),
        [&](const CacheElement& source) { return session.handed.count("S " + source.webAddress) != 0; });
    Handed(session, key);
    for (const CacheElement& source : stream.sources) Handed(session, "S " + source.webAddress);
    if (offered) continue;

    MediaElementRef ref;
    ref.folderExact = folder.name.exact;
    ref.folderAnsi = folder.name.ansi;
    ref.store = folder.store;
    ref.key = key;
    ref.webAddress = stream.address;
    ref.nature = stream.kind == StreamKind::Audio ? MediaNature::Audio : MediaNature::Video;
    ref.extension = stream.extension;
    ref.representation = stream.representation;
    ref.segmentGroup = group;
    ref.streamParts = refs;
    found.push_back(std::move(ref));
    ++figures_.handedOn;
  }
}

void StreamTracker::Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found) {
  for (auto& [id, session] : sessions_) {
    const std::size_t first = found.size();
    for (auto& [path, folder] : session->folders) LookFolder(*session, *folder, nowMs, found);
    for (std::size_t i = first; i < found.size(); ++i) found[i].session = id;
  }
}

bool StreamTracker::Pending() const {
  for (const auto& [id, session] : sessions_) {
    for (const auto& [path, folder] : session->folders) {
      if (folder->dirty || folder->groupsWaiting) return true;
      for (const auto& [entry, part] : folder->parts)
        if (part.Following()) return true;
    }
  }
  return false;
}

std::size_t StreamTracker::PartCount() const {
  std::size_t count = 0;
  for (const auto& [id, session] : sessions_)
    for (const auto& [path, folder] : session->folders) count += folder->parts.size();
  return count;
}
