#include "app/cache_watch/firefox_candidates.h"

#include <optional>

#include "app/browser_caches/firefox_cache2.h"
#include "app/cache_watch/stream_tracker.h"

struct FirefoxCandidates::Folder {
  std::uint64_t session = 0;
  CacheFolderName name;
  std::unique_ptr<CacheFolder> open;
  // Entry file name -> when it was first seen.  A settled entry is simply
  // dropped: the browser makes each entry's file once, so a later new file
  // of the same name is a new entry of that key (the old one was doomed).
  std::map<std::string, std::uint64_t> candidates;
};

FirefoxCandidates::FirefoxCandidates(CacheFolderOpener& opener, const CacheCandidateLimits& limits,
                                     CacheCandidateFigures& figures, StreamTracker& streams)
    : opener_(opener), limits_(limits), figures_(figures), streams_(streams) {}

FirefoxCandidates::~FirefoxCandidates() = default;

void FirefoxCandidates::FileAdded(std::uint64_t session, const CacheFolderName& folderName,
                                  std::string_view fileName, std::uint64_t nowMs) {
  if (!FirefoxEntryNameIs(fileName) || !FirefoxEntriesFolderIs(folderName.ansi)) return;
  auto& folders = sessions_[session];
  std::unique_ptr<Folder>& folder = folders[folderName.exact];
  if (!folder) {
    if (folders.size() > limits_.foldersPerSession) {
      folders.erase(folderName.exact);
      return;
    }
    folder = std::make_unique<Folder>();
    folder->session = session;
    folder->name = folderName;
  }
  folder->candidates.emplace(std::string(fileName), nowMs);
  while (CandidateCount() > limits_.maxCandidates) ForgetOldest();
}

void FirefoxCandidates::SessionEnded(std::uint64_t session) { sessions_.erase(session); }

void FirefoxCandidates::LookFolder(Folder& folder, std::uint64_t nowMs, std::vector<MediaElementRef>& found) {
  for (auto candidate = folder.candidates.begin(); candidate != folder.candidates.end();) {
    const std::string& entry = candidate->first;
    ++figures_.looks;
    // Nothing while the file is gone (doomed: moved away) or its metadata is
    // broken; such an entry is forgotten when its time is up.
    const std::optional<CacheElement> element = FirefoxEntryRead(*folder.open, entry);
    if (element && element->key.size() <= limits_.maxKeyLength) {
      const MediaSignature signature = CacheElementSignature(*folder.open, *element);
      // Unknown settles only once the metadata is there: all the body there
      // will be, and still nothing recognised.
      const bool settles = signature.nature != MediaNature::Unknown || element->finished;
      if (settles) {
        if (signature.nature == MediaNature::Video || signature.nature == MediaNature::Audio) {
          MediaElementRef ref;
          ref.session = folder.session;
          ref.folderExact = folder.name.exact;
          ref.folderAnsi = folder.name.ansi;
          ref.store = CacheStore::FirefoxCache2;
          ref.fileName = entry;
          ref.key = element->key;
          ref.webAddress = element->webAddress;
          ref.nature = signature.nature;
          ref.extension = std::string(signature.extension);
          found.push_back(std::move(ref));
          ++figures_.found;
        } else if (StreamPartIs(signature, *element)) {
          streams_.PartFound(folder.session, folder.name, {CacheStore::FirefoxCache2, entry, element->key},
                             *element, signature, nowMs);
        }
        candidate = folder.candidates.erase(candidate);
        continue;
      }
    }
    if (nowMs - candidate->second >= limits_.candidateLifetimeMs) {
      ++figures_.forgotten;
      candidate = folder.candidates.erase(candidate);
      continue;
    }
    ++candidate;
  }
}

void FirefoxCandidates::Look(std::uint64_t nowMs, std::vector<MediaElementRef>& found) {
  for (auto& [session, folders] : sessions_) {
    for (auto& [path, folder] : folders) {
      if (folder->candidates.empty()) {
        folder->open.reset();
        continue;
      }
      if (!folder->open) folder->open = opener_.Open(folder->name);
      if (!folder->open) {
        figures_.forgotten += folder->candidates.size();
        folder->candidates.clear();
        continue;
      }
      LookFolder(*folder, nowMs, found);
      if (folder->candidates.empty()) folder->open.reset();
    }
  }
}

std::size_t FirefoxCandidates::CandidateCount() const {
  std::size_t count = 0;
  for (const auto& [session, folders] : sessions_) {
    for (const auto& [path, folder] : folders) count += folder->candidates.size();
  }
  return count;
}

std::size_t FirefoxCandidates::FolderCount() const {
  std::size_t count = 0;
  for (const auto& [session, folders] : sessions_) count += folders.size();
  return count;
}

void FirefoxCandidates::ForgetOldest() {
  std::map<std::string, std::uint64_t>* oldestMap = nullptr;
  std::map<std::string, std::uint64_t>::iterator oldest;
  for (auto& [session, folders] : sessions_) {
    for (auto& [path, folder] : folders) {
      for (auto at = folder->candidates.begin(); at != folder->candidates.end(); ++at) {
        if (oldestMap == nullptr || at->second < oldest->second) {
          oldestMap = &folder->candidates;
          oldest = at;
        }
      }
    }
  }
  if (oldestMap == nullptr) return;
  oldestMap->erase(oldest);
  ++figures_.forgotten;
}
