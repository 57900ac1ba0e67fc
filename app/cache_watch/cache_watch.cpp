#include "app/cache_watch/cache_watch.h"

#include "app/browser_caches/cache_folder_disk.h"
#include "app/cache_watch/cache_file_names.h"
#include "app/cache_watch/known_cache_folders.h"
#include "runtime/core/declared_calls.h"

namespace {

// A burst of more cache files than this, waiting at once, is not followed.
constexpr std::size_t kMaxQueuedEvents = 8192;
constexpr DWORD kLookerEndWaitMs = 5000;
constexpr DWORD kDeliveryEndWaitMs = 2000;

class DiskFolders final : public CacheFolderOpener {
 public:
  std::unique_ptr<CacheFolder> Open(const CacheFolderName& folder) override {
    return DiskCacheFolderOpen(folder.exact, folder.ansi);
  }
};

std::size_t NameStart(std::wstring_view path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? 0 : separator + 1;
}

// The name part in ASCII; empty when it holds anything else (no cache file does).
std::string AsciiName(std::wstring_view name) {
  std::string ascii;
  ascii.reserve(name.size());
  for (wchar_t c : name) {
    if (c == 0 || c > 0x7F) return {};
    ascii.push_back(static_cast<char>(c));
  }
  return ascii;
}

std::wstring WideOfAnsi(std::string_view text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::uint64_t ThreadCpu(HANDLE thread) {
  FILETIME created, exited, kernel, user;
  if (thread == nullptr || !GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
  auto value = [](const FILETIME& time) {
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  };
  return value(kernel) + value(user);
}

}  // namespace

CacheElementRecognizer::CacheElementRecognizer(MediaElementReceiver& receiver, CacheCandidateLimits limits,
                                               DWORD lookIntervalMs)
    : receiver_(receiver), limits_(limits), lookIntervalMs_(lookIntervalMs) {
  looker_.Reset(DeclaredCreateThread(nullptr, 0, LookerThread, this, 0, nullptr));
  delivery_.Reset(DeclaredCreateThread(nullptr, 0, DeliveryThread, this, 0, nullptr));
}

CacheElementRecognizer::~CacheElementRecognizer() { Stop(); }

void CacheElementRecognizer::NewFile(const NewFileEvent& file) {
  std::wstring converted;
  std::wstring_view exact = file.exactPath;
  if (exact.empty()) {
    converted = WideOfAnsi(file.fullPath);
    exact = converted;
  }
  const std::size_t nameStart = NameStart(exact);
  std::string name = AsciiName(exact.substr(nameStart));
  if (name.empty() || CacheFileKindOf(name) == CacheFileKind::None || nameStart == 0) return;
  // The ANSI text ends in the same ASCII name (lower-cased) after a separator.
  if (file.fullPath.size() <= name.size()) return;
  const std::size_t ansiFolderLength = file.fullPath.size() - name.size() - 1;
  const char separator = file.fullPath[ansiFolderLength];
  if (separator != '\\' && separator != '/') return;

  Event event;
  event.session = file.session;
  const std::wstring_view folder = exact.substr(0, nameStart - 1);
  event.folder.exact.assign(folder.begin(), folder.end());
  event.folder.ansi.assign(file.fullPath.substr(0, ansiFolderLength));
  event.fileName = std::move(name);

  AcquireSRWLockExclusive(&lock_);
  if (events_.size() >= kMaxQueuedEvents || stopping_) {
    ++figures_.eventsDropped;
    ReleaseSRWLockExclusive(&lock_);
    return;
  }
  events_.push_back(std::move(event));
  ReleaseSRWLockExclusive(&lock_);
  WakeConditionVariable(&eventsArrived_);
}

void CacheElementRecognizer::SessionStarted(const WatchSessionInfo& session) {
  // The caches already below the folder are looked for on the looker thread:
  // this one hands on every session's files and must not wait for the disk.
  Event event;
  event.started = true;
  event.session = session.id;
  event.folder.ansi.assign(session.folderText);
  AcquireSRWLockExclusive(&lock_);
  if (!stopping_) events_.push_back(std::move(event));
  ReleaseSRWLockExclusive(&lock_);
  WakeConditionVariable(&eventsArrived_);
}

void CacheElementRecognizer::SessionEnded(WatchSessionId session) {
  Event event;
  event.ended = true;
  event.session = session;
  AcquireSRWLockExclusive(&lock_);
  // Always queued: a session's memory must go even after a burst.
  if (!stopping_) events_.push_back(std::move(event));
  ReleaseSRWLockExclusive(&lock_);
  WakeConditionVariable(&eventsArrived_);
}

DWORD WINAPI CacheElementRecognizer::LookerThread(LPVOID self) {
  static_cast<CacheElementRecognizer*>(self)->LookerRun();
  return 0;
}

DWORD WINAPI CacheElementRecognizer::DeliveryThread(LPVOID self) {
  static_cast<CacheElementRecognizer*>(self)->DeliveryRun();
  return 0;
}

void CacheElementRecognizer::LookerRun() {
  DiskFolders folders;
  CacheCandidates candidates(folders, limits_);
  std::deque<Event> taken;
  std::vector<MediaElementRef> found;
  ULONGLONG nextLook = 0;
  for (;;) {
    AcquireSRWLockExclusive(&lock_);
    while (!stopping_ && events_.empty()) {
      DWORD wait = INFINITE;
      if (candidates.Pending()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= nextLook) break;
        wait = static_cast<DWORD>(nextLook - now);
      }
      if (!SleepConditionVariableSRW(&eventsArrived_, &lock_, wait, 0) && GetLastError() == ERROR_TIMEOUT)
        break;
    }
    if (stopping_) {
      ReleaseSRWLockExclusive(&lock_);
      return;
    }
    taken.swap(events_);
    ReleaseSRWLockExclusive(&lock_);

    const ULONGLONG now = GetTickCount64();
    for (const Event& event : taken) {
      if (event.ended) {
        candidates.SessionEnded(event.session);
      } else if (event.started) {
        for (const CacheFolderName& folder : KnownCacheFoldersBelow(event.folder.ansi))
          candidates.FolderKnown(event.session, folder);
      } else {
        candidates.FileAdded(event.session, event.folder, event.fileName, now);
      }
    }
    taken.clear();
    // New names are looked at on the next tick with the rest, so that a
    // burst of files costs one round of reads, not one per file.
    if (now >= nextLook && candidates.Pending()) {
      candidates.Look(now, found);
      nextLook = now + lookIntervalMs_;
    } else if (nextLook <= now) {
      nextLook = now + lookIntervalMs_;
    }

    AcquireSRWLockExclusive(&lock_);
    for (MediaElementRef& element : found) found_.push_back(std::move(element));
    figures_.candidates = candidates.Figures();
    figures_.candidatesPending = candidates.CandidateCount();
    figures_.lookPending = candidates.Pending();
    figures_.foldersKnown = candidates.FolderCount();
    ReleaseSRWLockExclusive(&lock_);
    if (!found.empty()) WakeConditionVariable(&foundArrived_);
    found.clear();
  }
}

void CacheElementRecognizer::DeliveryRun() {
  for (;;) {
    AcquireSRWLockExclusive(&lock_);
    while (!stopping_ && found_.empty()) SleepConditionVariableSRW(&foundArrived_, &lock_, INFINITE, 0);
    if (stopping_) {
      ReleaseSRWLockExclusive(&lock_);
      return;
    }
    MediaElementRef element = std::move(found_.front());
    found_.pop_front();
    ++figures_.deliveries;
    ReleaseSRWLockExclusive(&lock_);
    receiver_.MediaElementFound(element);
  }
}

void CacheElementRecognizer::Stop() {
  AcquireSRWLockExclusive(&lock_);
  const bool already = stopped_;
  stopped_ = true;
  stopping_ = true;
  found_.clear();
  ReleaseSRWLockExclusive(&lock_);
  if (already) return;
  WakeAllConditionVariable(&eventsArrived_);
  WakeAllConditionVariable(&foundArrived_);
  if (looker_) WaitForSingleObject(looker_.Get(), kLookerEndWaitMs);
  if (delivery_) WaitForSingleObject(delivery_.Get(), kDeliveryEndWaitMs);
}

CacheWatchFigures CacheElementRecognizer::Figures() {
  AcquireSRWLockShared(&lock_);
  CacheWatchFigures figures = figures_;
  ReleaseSRWLockShared(&lock_);
  figures.lookerCpu100ns = ThreadCpu(looker_.Get());
  return figures;
}
