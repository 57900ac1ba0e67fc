#include "app/cache_watch/cache_candidates.h"

#include <algorithm>
#include <optional>

#include "app/browser_caches/chromium_block_files.h"
#include "app/browser_caches/chromium_block_layout.h"
#include "app/browser_caches/chromium_block_news.h"
#include "app/browser_caches/chromium_block_owner.h"
#include "app/browser_caches/chromium_cache.h"
#include "app/browser_caches/chromium_simple_cache.h"
#include "app/cache_watch/cache_file_names.h"
#include "app/cache_watch/firefox_candidates.h"
#include "app/cache_watch/look_files.h"
#include "app/cache_watch/stream_tracker.h"

namespace {

enum class FolderState { Unknown, Cache, NotCache };

struct Candidate {
  std::uint64_t firstSeenMs = 0;
  // Block files: finds the element's range children while its entry does
  // not list them yet (BlockFileElementRead).
  std::uint64_t rangeSignature = 0;
};

// The anchor of an entry settled before any of its body was there: the
// simple cache writes a range answer's body to "_s", which may come after
// "_0" was judged, so that file makes it a candidate again.
const std::string kSettledBodiless = "-";

std::string AnchorOf(const CacheElement& element, std::string anchor) {
  return element.pieces.empty() ? kSettledBodiless : anchor;
}

// Settled as what it is (media handed on, or known not to be media).
bool Settles(const MediaSignature& signature, const CacheElement& element) {
  switch (signature.nature) {
    case MediaNature::Unknown:
      return element.finished;  // all there will be, and still nothing recognised
    default:
      return true;
  }
}

bool IsHandedOn(const MediaSignature& signature) {
  return signature.nature == MediaNature::Video || signature.nature == MediaNature::Audio;
}

// The file holding the first bytes of a block-file element: a replaced entry
// gets new external files, while a growing one keeps its first.
std::string OffsetZeroFile(const CacheElement& element) {
  if (element.pieces.empty() || element.pieces.front().elementOffset != 0) return {};
  return element.pieces.front().fileName;
}

bool IsExternalFile(const std::string& name) { return block_layout::ExternalAddressOf(name) != 0; }

// A small first piece may move from a data block to its own file as it grows;
// only a change from one external file to another tells a new entry.
bool Replaced(const std::string& settledAnchor, const std::string& anchor) {
  return IsExternalFile(settledAnchor) && IsExternalFile(anchor) && settledAnchor != anchor;
}

}  // namespace

struct CacheCandidates::Folder {
  std::uint64_t session = 0;
  CacheFolderName name;
  FolderState state = FolderState::Unknown;
  CacheStore store = CacheStore::ChromiumSimple;
  int checksLeft = 0;
  std::vector<std::string> waitingFiles;  // seen while the index was unknown
  std::unique_ptr<CacheFolder> open;
  // Simple cache: by entry name; block files: by key, once the owner is known.
  std::map<std::string, Candidate> candidates;
  // Block files: "f_" files whose owner is not known yet.
  std::map<std::string, Candidate> unowned;
  std::uint64_t nextFullReadMs = 0;
  std::uint64_t lastFullReadMs = 0;
  int fullReadsLeft = 0;
  // Entries handed on or known not to be media, with the block-file anchor.
  std::map<std::string, std::string> settled;
  std::deque<std::string> settledOrder;
  // Block files: where the last look for new entries ended.  Bodies of
  // 16 KiB or less stay in data_1..3 and bring no new file to see, so the
  // index is looked at as long as the folder is known.
  BlockFileNewsMark newsMark;
  bool newsFromStart = false;  // the cache was made during the session: all of it is new
  std::uint64_t nextNewsMs = 0;
  std::optional<std::uint64_t> lastNewsMs;  // when the index last changed

  bool HasCandidates() const { return !candidates.empty() || !unowned.empty(); }
  bool FollowsNews() const { return state == FolderState::Cache && store == CacheStore::ChromiumBlockFiles; }
};

struct CacheCandidates::Session {
  std::map<std::u16string, std::unique_ptr<Folder>> folders;
};

CacheCandidates::CacheCandidates(CacheFolderOpener& opener, CacheCandidateLimits limits)
    : opener_(opener),
      limits_(limits),
      streams_(std::make_unique<StreamTracker>(opener_)),
      firefox_(std::make_unique<FirefoxCandidates>(opener_, limits_, figures_, *streams_)) {}

CacheCandidates::~CacheCandidates() = default;

CacheCandidates::Folder* CacheCandidates::FolderOf(std::uint64_t session, const CacheFolderName& name) {
  std::unique_ptr<Session>& entry = sessions_[session];
  if (!entry) entry = std::make_unique<Session>();
  auto& folders = entry->folders;
  auto found = folders.find(name.exact);
  if (found != folders.end()) return found->second.get();
  if (folders.size() >= limits_.foldersPerSession) {
    // Folders found not to be caches are the ones worth least: they are
    // only checked again.
    auto notCache = std::find_if(folders.begin(), folders.end(), [](const auto& folder) {
      return folder.second->state == FolderState::NotCache;
    });
    if (notCache == folders.end()) return nullptr;
    folders.erase(notCache);
  }
  auto folder = std::make_unique<Folder>();
  folder->session = session;
  folder->name = name;
  folder->checksLeft = limits_.indexChecks;
  return folders.emplace(name.exact, std::move(folder)).first->second.get();
}

void CacheCandidates::FileAdded(std::uint64_t session, const CacheFolderName& folderName,
                                std::string_view fileName, std::uint64_t nowMs) {
  const CacheFileKind kind = CacheFileKindOf(fileName);
  if (kind == CacheFileKind::None) return;
  ++figures_.filesSeen;
  if (kind == CacheFileKind::FirefoxEntry) {
    firefox_->FileAdded(session, folderName, fileName, nowMs);
    CountCandidates();
    return;
  }
  Folder* folder = FolderOf(session, folderName);
  if (folder == nullptr) return;

  if (kind == CacheFileKind::Index) {
    // A new index: a cache made (or made again) here; checked at the next look.
    if (folder->state != FolderState::Unknown) folder->checksLeft = limits_.indexChecks;
    folder->state = FolderState::Unknown;
    folder->newsMark = {};
    folder->newsFromStart = true;
    folder->nextNewsMs = 0;
    return;
  }
  if (kind == CacheFileKind::BlockData) {
    // A block file names its folder as a cache even when its index came
    // before the watch; FolderOf made it known, CheckIndex tells the store.
    return;
  }
  if (folder->state == FolderState::NotCache) return;
  if (folder->state == FolderState::Unknown) {
    if (folder->waitingFiles.size() < limits_.filesPerUnknownFolder &&
        std::find(folder->waitingFiles.begin(), folder->waitingFiles.end(), fileName) ==
            folder->waitingFiles.end())
      folder->waitingFiles.emplace_back(fileName);
    return;
  }

  const Candidate candidate{nowMs};
  if (kind == CacheFileKind::SimpleEntry && folder->store == CacheStore::ChromiumSimple) {
    const std::string entry(fileName.substr(0, 16));
    // The browser makes "_0" when it creates an entry: a new one replaces
    // whatever was settled under that name.  "_s" comes later to the same
    // entry, and brings the body of one judged without it.
    if (fileName.back() == '0') {
      folder->settled.erase(entry);
    } else if (auto settled = folder->settled.find(entry); settled != folder->settled.end()) {
      if (settled->second != kSettledBodiless) return;
      folder->settled.erase(settled);
    }
    folder->candidates.emplace(entry, candidate);
  } else if (kind == CacheFileKind::BlockExternal && folder->store == CacheStore::ChromiumBlockFiles) {
    folder->unowned.emplace(std::string(fileName), candidate);
    folder->fullReadsLeft = limits_.maxFullReads;
    // A new file is looked for at the next look, unless the whole cache was
    // read less than one backoff ago.
    if (folder->lastFullReadMs != 0 || folder->nextFullReadMs != 0)
      folder->nextFullReadMs =
          std::min(folder->nextFullReadMs, folder->lastFullReadMs + limits_.fullReadBackoffMs);
  } else {
    return;
  }
  CountCandidates();
  // Firefox's candidates keep their own cap (FirefoxCandidates).
  while (candidateCount_ - firefox_->CandidateCount() > limits_.maxCandidates) ForgetOldest();
}

void CacheCandidates::FolderKnown(std::uint64_t session, const CacheFolderName& folder) {
  // Its index is checked at the next look, as for a folder first seen by a file.
  FolderOf(session, folder);
}

void CacheCandidates::SessionEnded(std::uint64_t session) {
  sessions_.erase(session);
  streams_->SessionEnded(session);
  firefox_->SessionEnded(session);
  CountCandidates();
}

void CacheCandidates::CheckIndex(Folder& folder, std::uint64_t nowMs) {
  if (!folder.open) folder.open = opener_.Open(folder.name);
  const std::optional<CacheStore> store = folder.open ? ChromiumStoreOf(*folder.open) : std::nullopt;
  if (!store) {
    if (--folder.checksLeft > 0) return;
    folder.state = FolderState::NotCache;
    folder.waitingFiles.clear();
    // What was followed while it was a cache is never looked at again.
    figures_.forgotten += folder.candidates.size() + folder.unowned.size();
    folder.candidates.clear();
    folder.unowned.clear();
    folder.open.reset();
    return;
  }
  folder.state = FolderState::Cache;
  folder.store = *store;
  std::vector<std::string> waiting;
  waiting.swap(folder.waitingFiles);
  // FileAdded finds this folder again by its name, now a known cache.
  for (const std::string& name : waiting) FileAdded(folder.session, folder.name, name, nowMs);
}

void CacheCandidates::Settle(Folder& folder, const std::string& id, const std::string& anchor) {
  auto [at, added] = folder.settled.insert_or_assign(id, anchor);
  if (!added) return;
  folder.settledOrder.push_back(id);
  while (folder.settled.size() > limits_.settledPerFolder && !folder.settledOrder.empty()) {
    folder.settled.erase(folder.settledOrder.front());
    folder.settledOrder.pop_front();
  }
}

namespace {

MediaElementRef RefOf(std::uint64_t session, const CacheFolderName& folder, const CacheElement& element,
                      const MediaSignature& signature, std::string fileName) {
  MediaElementRef ref;
  ref.session = session;
  ref.folderExact = folder.exact;
  ref.folderAnsi = folder.ansi;
  ref.store = element.store;
  ref.fileName = std::move(fileName);
  ref.key = element.key;
  ref.rangeSignature = element.rangeSignature;
  ref.webAddress = element.webAddress;
  ref.nature = signature.nature;
  ref.extension = std::string(signature.extension);
  return ref;
}

}  // namespace

void CacheCandidates::LookSimple(Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found) {
  for (auto candidate = folder.candidates.begin(); candidate != folder.candidates.end();) {
    const std::string& entry = candidate->first;
    ++figures_.looks;
    const std::optional<CacheElement> element = SimpleCacheEntryRead(*folder.open, entry);
    if (element && element->key.size() <= limits_.maxKeyLength) {
      const MediaSignature signature = CacheElementSignature(*folder.open, *element);
      if (Settles(signature, *element)) {
        if (IsHandedOn(signature)) {
          found.push_back(RefOf(folder.session, folder.name, *element, signature, entry + "_0"));
          ++figures_.found;
        } else if (StreamPartIs(signature, *element)) {
          streams_->PartFound(folder.session, folder.name, {element->store, entry + "_0", element->key},
                              *element, signature, nowMs);
        }
        Settle(folder, entry, AnchorOf(*element, {}));
        candidate = folder.candidates.erase(candidate);
        continue;
      }
    }
    if (nowMs - candidate->second.firstSeenMs >= limits_.candidateLifetimeMs) {
      ++figures_.forgotten;
      candidate = folder.candidates.erase(candidate);
      continue;
    }
    ++candidate;
  }
}

void CacheCandidates::FindOwners(Folder& folder, std::uint64_t nowMs) {
  // First one pass over data_1: a few large reads whatever the number of
  // entries.  What it names is checked on the element itself.
  std::set<std::string> names;
  for (const auto& [name, candidate] : folder.unowned) names.insert(name);
  ++figures_.ownerScans;
  for (const auto& found : BlockFileOwnersFind(*folder.open, names)) {
    // Named, not bound: a lambda below takes the file name (older compilers
    // cannot capture a structured binding).
    const std::string& file = found.first;
    const auto& owner = found.second;
    if (owner.key.size() > limits_.maxKeyLength) continue;
    const std::optional<CacheElement> element =
        BlockFileElementRead(*folder.open, owner.key, owner.rangeSignature);
    if (!element || std::none_of(element->pieces.begin(), element->pieces.end(),
                                 [&](const BodyPiece& piece) { return piece.fileName == file; }))
      continue;
    auto unowned = folder.unowned.find(file);
    Candidate& candidate = folder.candidates.emplace(owner.key, unowned->second).first->second;
    if (element->rangeSignature != 0) candidate.rangeSignature = element->rangeSignature;
    folder.unowned.erase(unowned);
  }
  --folder.fullReadsLeft;
  folder.lastFullReadMs = nowMs;
  // The entry may not point at its new file yet: ask again, less often each
  // time.  The walk of the whole index, which also finds entries with long
  // keys, is the last try.
  if (!folder.unowned.empty() && folder.fullReadsLeft == 0) {
    ++figures_.fullReads;
    for (const CacheElement& element : BlockFileElementsRead(*folder.open)) {
      for (const BodyPiece& piece : element.pieces) {
        auto file = folder.unowned.find(piece.fileName);
        if (file == folder.unowned.end()) continue;
        if (element.key.size() <= limits_.maxKeyLength) {
          Candidate& candidate = folder.candidates.emplace(element.key, file->second).first->second;
          if (element.rangeSignature != 0) candidate.rangeSignature = element.rangeSignature;
        }
        folder.unowned.erase(file);
      }
    }
  }
  const int readsDone = limits_.maxFullReads - folder.fullReadsLeft;
  folder.nextFullReadMs =
      nowMs + limits_.fullReadBackoffMs * static_cast<std::uint64_t>(std::max(1, readsDone));
}

void CacheCandidates::LookForNews(Folder& folder, CacheFolder& files, std::uint64_t nowMs) {
  ++figures_.newsLooks;
  const BlockFileNews news =
      BlockFileNewsRead(files, folder.newsMark, folder.newsFromStart, limits_.newsPerLook);
  if (news.readable) folder.newsFromStart = false;
  if (news.changed) {
    ++figures_.newsWalks;
    folder.lastNewsMs = nowMs;
  }
  const bool active = folder.lastNewsMs && nowMs - *folder.lastNewsMs < limits_.newsActiveMs;
  folder.nextNewsMs = nowMs + (active ? 0 : limits_.newsIdleMs);
  figures_.newEntries += news.entries.size();
  for (const BlockFileOwner& entry : news.entries) {
    // One already handed on or judged is not read again for being used again.
    if (entry.key.size() > limits_.maxKeyLength || folder.settled.count(entry.key) != 0) continue;
    Candidate& candidate = folder.candidates.emplace(entry.key, Candidate{nowMs}).first->second;
    if (entry.rangeSignature != 0) candidate.rangeSignature = entry.rangeSignature;
  }
}

void CacheCandidates::LookBlockFiles(Folder& folder, std::uint64_t nowMs,
                                     std::vector<MediaElementRef>& found) {
  LookFiles files(*folder.open);
  if (folder.FollowsNews() && nowMs >= folder.nextNewsMs) LookForNews(folder, files, nowMs);
  if (!folder.unowned.empty() && nowMs >= folder.nextFullReadMs && folder.fullReadsLeft > 0)
    FindOwners(folder, nowMs);
  for (auto file = folder.unowned.begin(); file != folder.unowned.end();) {
    if (folder.fullReadsLeft <= 0 || nowMs - file->second.firstSeenMs >= limits_.candidateLifetimeMs) {
      ++figures_.forgotten;
      file = folder.unowned.erase(file);
    } else {
      ++file;
    }
  }

  for (auto candidate = folder.candidates.begin(); candidate != folder.candidates.end();) {
    const std::string& key = candidate->first;
    ++figures_.looks;
    const std::optional<CacheElement> element =
        BlockFileElementRead(files, key, candidate->second.rangeSignature);
    if (element) {
      if (element->rangeSignature != 0) candidate->second.rangeSignature = element->rangeSignature;
      const std::string anchor = AnchorOf(*element, OffsetZeroFile(*element));
      auto settled = folder.settled.find(key);
      if (settled != folder.settled.end() && settled->second != kSettledBodiless &&
          !Replaced(settled->second, anchor)) {
        // A further piece of an element already handed on or judged.
        candidate = folder.candidates.erase(candidate);
        continue;
      }
      const MediaSignature signature = CacheElementSignature(files, *element);
      if (Settles(signature, *element)) {
        if (IsHandedOn(signature)) {
          found.push_back(RefOf(folder.session, folder.name, *element, signature, {}));
          ++figures_.found;
        } else if (StreamPartIs(signature, *element)) {
          streams_->PartFound(folder.session, folder.name, {element->store, {}, element->key}, *element,
                              signature, nowMs);
        }
        Settle(folder, key, anchor);
        candidate = folder.candidates.erase(candidate);
        continue;
      }
    }
    if (nowMs - candidate->second.firstSeenMs >= limits_.candidateLifetimeMs) {
      ++figures_.forgotten;
      candidate = folder.candidates.erase(candidate);
      continue;
    }
    ++candidate;
  }
}

void CacheCandidates::Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found) {
  for (auto& [id, session] : sessions_) {
    for (auto& [path, folder] : session->folders) {
      if (folder->state == FolderState::Unknown) CheckIndex(*folder, nowMs);
      const bool newsDue = folder->FollowsNews() && nowMs >= folder->nextNewsMs;
      if (folder->state != FolderState::Cache || (!folder->HasCandidates() && !newsDue)) {
        folder->open.reset();
        continue;
      }
      if (!folder->open) folder->open = opener_.Open(folder->name);
      if (!folder->open) {
        folder->candidates.clear();
        folder->unowned.clear();
        continue;
      }
      if (folder->store == CacheStore::ChromiumSimple) {
        LookSimple(*folder, nowMs, found);
      } else {
        LookBlockFiles(*folder, nowMs, found);
      }
      if (!folder->HasCandidates()) folder->open.reset();
    }
  }
  firefox_->Look(nowMs, found);
  streams_->Look(nowMs, found);
  CountCandidates();
  // New entries come in as candidates past the cap; most settle in the look
  // that found them, and the oldest of the rest go now.
  while (candidateCount_ - firefox_->CandidateCount() > limits_.maxCandidates) ForgetOldest();
}

bool CacheCandidates::Pending() const {
  for (const auto& [id, session] : sessions_) {
    for (const auto& [path, folder] : session->folders) {
      // A known block-file folder is looked at for new entries while the session lasts.
      if (folder->state == FolderState::Unknown || folder->HasCandidates() || folder->FollowsNews()) return true;
    }
  }
  return firefox_->CandidateCount() != 0 || streams_->Pending();
}

std::size_t CacheCandidates::FolderCount() const {
  std::size_t count = 0;
  for (const auto& [id, session] : sessions_) count += session->folders.size();
  return count + firefox_->FolderCount();
}

void CacheCandidates::CountCandidates() {
  std::size_t count = 0;
  for (const auto& [id, session] : sessions_) {
    for (const auto& [path, folder] : session->folders)
      count += folder->candidates.size() + folder->unowned.size();
  }
  candidateCount_ = count + firefox_->CandidateCount();
}

void CacheCandidates::ForgetOldest() {
  std::map<std::string, Candidate>* oldestMap = nullptr;
  std::map<std::string, Candidate>::iterator oldest;
  for (auto& [id, session] : sessions_) {
    for (auto& [path, folder] : session->folders) {
      for (auto* map : {&folder->candidates, &folder->unowned}) {
        for (auto at = map->begin(); at != map->end(); ++at) {
          if (oldestMap == nullptr || at->second.firstSeenMs < oldest->second.firstSeenMs) {
            oldestMap = map;
            oldest = at;
          }
        }
      }
    }
  }
  if (oldestMap == nullptr) {
    candidateCount_ = firefox_->CandidateCount();
    return;
  }
  oldestMap->erase(oldest);
  ++figures_.forgotten;
  --candidateCount_;
}
