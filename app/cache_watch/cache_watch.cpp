#include "app/cache_watch/cache_watch.h"

#include "app/browser_caches/cache_folder_disk.h"
#include "app/cache_watch/cache_file_names.h"
#include "app/cache_watch/known_cache_folders.h"
#include "runtime/core/declared_calls.h"
#include "runtime/core/text_encoding_wide.h"

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
    converted = WideFromAnsi(file.fullPath);
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

  {
    std::lock_guard<std::mutex> hold(lock_);
    if (events_.size() >= kMaxQueuedEvents || stopping_) {
      ++figures_.eventsDropped;
      return;
    }
    events_.push_back(std::move(event));
  }
  eventsArrived_.notify_one();
}

void CacheElementRecognizer::SessionStarted(const WatchSessionInfo& session) {
  // The caches already below the folder are looked for on the looker thread:
  // this one hands on every session's files and must not wait for the disk.
  Event event;
  event.started = true;
  event.session = session.id;
  event.folder.ansi.assign(session.folderText);
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!stopping_) events_.push_back(std::move(event));
  }
  eventsArrived_.notify_one();
}

void CacheElementRecognizer::SessionEnded(WatchSessionId session) {
  Event event;
  event.ended = true;
  event.session = session;
  {
    std::lock_guard<std::mutex> hold(lock_);
    // Always queued: a session's memory must go even after a burst.
    if (!stopping_) events_.push_back(std::move(event));
  }
  eventsArrived_.notify_one();
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
    {
      std::unique_lock<std::mutex> hold(lock_);
      while (!stopping_ && events_.empty()) {
        if (!candidates.Pending()) {
          eventsArrived_.wait(hold);
          continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= nextLook) break;
        if (eventsArrived_.wait_for(hold, std::chrono::milliseconds(nextLook - now)) ==
            std::cv_status::timeout)
          break;
      }
      if (stopping_) return;
      taken.swap(events_);
    }

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

    {
      std::lock_guard<std::mutex> hold(lock_);
      for (MediaElementRef& element : found) found_.push_back(std::move(element));
      figures_.candidates = candidates.Figures();
      figures_.candidatesPending = candidates.CandidateCount();
      figures_.lookPending = candidates.Pending();
      figures_.foldersKnown = candidates.FolderCount();
    }
    if (!found.empty()) foundArrived_.notify_one();
    found.clear();
  }
}

void CacheElementRecognizer::DeliveryRun() {
  for (;;) {
    MediaElementRef element;
    {
      std::unique_lock<std::mutex> hold(lock_);
      foundArrived_.wait(hold, [this] { return stopping_ || !found_.empty(); });
      if (stopping_) return;
      element = std::move(found_.front());
      found_.pop_front();
    }
    receiver_.MediaElementFound(element);
    // Counted once the receiver has it: a count taken before the call told a
    // waiter of an element the receiver did not hold yet.
    std::lock_guard<std::mutex> hold(lock_);
    ++figures_.deliveries;
  }
}

void CacheElementRecognizer::Stop() {
  bool already = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    already = stopped_;
    stopped_ = true;
    stopping_ = true;
    found_.clear();
  }
  if (already) return;
  eventsArrived_.notify_all();
  foundArrived_.notify_all();
  if (looker_) WaitForSingleObject(looker_.Get(), kLookerEndWaitMs);
  if (delivery_) WaitForSingleObject(delivery_.Get(), kDeliveryEndWaitMs);
}

CacheWatchFigures CacheElementRecognizer::Figures() {
  CacheWatchFigures figures;
  {
    std::lock_guard<std::mutex> hold(lock_);
    figures = figures_;
  }
  figures.lookerCpu100ns = ThreadCpu(looker_.Get());
  return figures;
}
