// The tests' side of the browser lab (tests/e2e/browsers/browser_lab.py): a
// page server on 127.0.0.1 that also starts and ends real Linux browsers on
// request.  Tests under Wine cannot start Linux processes, but they can
// speak HTTP to the lab.  Replies are key=value lines.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/driver/poll.h"

namespace e2e {

using KeyValues = std::map<std::string, std::string, std::less<>>;

// "key=value" lines (split at the first '='); lines without '=' are skipped.
KeyValues ParseKeyValues(std::string_view text);

struct HttpReply {
  int status = 0;
  std::string headers;  // the header lines, as sent
  std::string body;
};

// One HTTP/1.1 request to 127.0.0.1:port with "Connection: close";
// `headers` are further "Name: value\r\n" lines.  The body is what came
// before the server closed the connection (shorter than announced when the
// server stopped halfway).  Nothing when the lab cannot be reached or does
// not answer within `timeout` (then `error` says why).
std::optional<HttpReply> HttpRequest(unsigned short port, std::string_view method, std::string_view target,
                                     std::string_view body, Milliseconds timeout, std::string* error,
                                     std::string_view headers = {});

// A file the lab serves, as its bytes are.
struct ServedFile {
  std::string path;  // address path, e.g. "/media/video.mp4"
  std::uint64_t size = 0;
  std::string sha256;  // lower-case hex
  std::string type;    // Content-Type
  std::string mode;    // normal, whole, cut or stall (see BrowserLab::SetMode)
};

// What the lab served of one address since the last launch or reset.
struct ServedStats {
  int requests = 0;
  std::uint64_t bytes = 0;          // body bytes sent, repeats included
  std::uint64_t covered = 0;        // distinct bytes of the file sent at least once
  std::vector<std::string> ranges;  // each request's Range header, "none" without one
  std::vector<int> statuses;
  // When its first body bytes went out, in milliseconds since 1970 (UTC);
  // 0 when none did.
  std::uint64_t firstSentUnixMs = 0;
};

// One sequence of a stream's segments that joins into one file: the init
// segment (fragmented MP4; empty for MPEG-TS), then the segments in order.
struct StreamTrack {
  std::string type;  // the Content-Type its init and segments are served with
  std::string mime;  // with codecs, as a SourceBuffer takes it
  std::string init;
  std::vector<std::string> segments;  // every segment, in play order
  std::vector<std::string> fetched;   // those the page fetches, in order
  std::vector<std::string> skipped;   // those it leaves out
};

// A stream page of the lab (/streams/<name>.html): what it fetches, and what
// its player reported at its end (since the last launch or reset).
struct StreamPage {
  std::string protocol;        // "hls" or "dash"
  std::string container;       // "fmp4" or "ts"
  std::string playlist;        // the media playlist or the DASH manifest
  bool playlistCached = true;  // false: served with "Cache-Control: no-store"
  std::string key;             // the AES-128 key's address; empty when not encrypted
  std::string encoding;        // the playlist's Content-Encoding when accepted ("br"); empty: none
  std::string codingSent;      // the Content-Encoding its playlist was last sent with
  std::vector<StreamTrack> tracks;
  std::vector<std::string> media;  // every address the page fetches, in order
  bool done = false;               // the player has reported its end
  int fetchedCount = 0;            // answers it read to the end
  int appended = 0;                // segments its MediaSource took
  std::string buffered;            // the element's buffered ranges, "0.000-6.000;..."
  std::string error;               // what went wrong; empty when nothing did
};

// A stream page from the lab's /control/page answer; nothing when the answer
// does not describe a stream (another page, or tracks missing).
std::optional<StreamPage> StreamPageFrom(const KeyValues& values);

enum class BrowserKind { kChromium, kFirefox };
// Chromium's two disk stores: block files (the Windows default) and the
// simple cache (the Linux default).
enum class ChromiumStore { kBlockFile, kSimple };

struct BrowserLaunch {
  BrowserKind browser = BrowserKind::kChromium;
  ChromiumStore store = ChromiumStore::kBlockFile;
  // Windows (C:\..., Z:\...) or Linux path.  Chromium: its "User Data"
  // folder, the cache goes to <it>\Default\Cache\Cache_Data.  Firefox: the
  // folder that gets cache2 (the profile itself stays on the Linux side).
  std::wstring userDataDir;
  std::string page = "/media.html";
  bool tls = false;  // the page over the lab's HTTPS
};

struct BrowserStopped {
  int exitCode = 0;
  int remaining = 0;  // the browser's processes still alive afterwards
  unsigned long long stopMs = 0;
  unsigned long long runMs = 0;  // from launch to gone
};

class BrowserLab;

// A browser the lab started; ended when this goes out of scope.
class RunningBrowser {
 public:
  RunningBrowser(BrowserLab* lab, int id, std::wstring cacheFolder)
      : lab_(lab), id_(id), cache_(cacheFolder) {}
  RunningBrowser(RunningBrowser&& other) noexcept;
  RunningBrowser& operator=(RunningBrowser&& other) noexcept;
  RunningBrowser(const RunningBrowser&) = delete;
  RunningBrowser& operator=(const RunningBrowser&) = delete;
  ~RunningBrowser();

  int Id() const { return id_; }
  // The cache folder in the form the launch named userDataDir.
  const std::wstring& CacheFolder() const { return cache_; }
  // Ends the browser by a signal and waits for all its processes.
  std::optional<BrowserStopped> Stop();

 private:
  BrowserLab* lab_ = nullptr;
  int id_ = 0;
  std::wstring cache_;
};

class BrowserLab {
 public:
  // The lab named by EE_BROWSER_LAB_PORT; nothing when it is not set.
  static std::optional<BrowserLab> FromEnvironment();
  explicit BrowserLab(unsigned short port, unsigned short tlsPort = 0) : port_(port), tlsPort_(tlsPort) {}

  unsigned short Port() const { return port_; }
  // http://127.0.0.1:<port><path>
  std::string Url(std::string_view path) const;
  // https://127.0.0.1:<HTTPS port><path> (EE_BROWSER_LAB_TLS_PORT; empty when not served)
  std::string TlsUrl(std::string_view path) const;
  const std::string& Error() const { return error_; }

  // A control request (POST /control/<action>, the values as key=value
  // lines); the reply's values, or nothing on a transport error or a status
  // other than 200 (see Error()).
  std::optional<KeyValues> Control(std::string_view action, const KeyValues& values = {},
                                   Milliseconds timeout = kDefaultTimeout);

  std::optional<std::vector<ServedFile>> Files();
  std::optional<ServedFile> File(std::string_view path);
  std::optional<std::map<std::string, ServedStats, std::less<>>> Stats();
  // Forgets the counters and gives every file its own mode back.
  bool Reset();
  // mode: "normal" (ranges), "whole" (200 only), "cut" (the connection
  // closes at cutAt) or "stall" (the answer stops at cutAt, its connection
  // open, until the mode changes); cutAt: halfway unless given.
  bool SetMode(std::string_view path, std::string_view mode,
               std::optional<std::uint64_t> cutAt = std::nullopt);
  // The media addresses of a page.
  std::optional<std::vector<std::string>> PageMedia(std::string_view page);
  // The lab's stream pages: those in frames of /streams/all.html, or of
  // another page of frames (/streams/encoded.html: playlists sent compressed).
  std::optional<std::vector<std::string>> StreamPages(std::string_view all = "/streams/all.html");
  // A stream page's description and its player's report.
  std::optional<StreamPage> Stream(std::string_view page);
  // A page of `media` media and `others` other resources; its path.  A tag
  // (letters and digits) gives the page and its resources their own
  // addresses, so one profile can load several pages of the same counts.
  std::optional<std::string> BenchPage(int media, int others, std::string_view tag = {});

  std::optional<RunningBrowser> Launch(const BrowserLaunch& launch);
  // Waits until every medium of `page` was sent in full, every stream player
  // on it reported its end, and nothing was served for `quiet`; the time
  // waited, or nothing when `timeout` passed or a player reported an error.
  std::optional<unsigned long long> WaitIdle(std::string_view page,
                                             Milliseconds timeout = Milliseconds(30000),
                                             Milliseconds quiet = Milliseconds(500));
  std::optional<BrowserStopped> Stop(int id);
  // A served file fetched as a browser would (counts in the statistics).
  std::optional<HttpReply> Fetch(std::string_view path, std::string_view headers = {});
  // A path given to the lab, as a Linux path (to check the mapping).
  std::optional<std::string> LinuxPath(const std::wstring& path);

 private:
  unsigned short port_ = 0;
  unsigned short tlsPort_ = 0;
  std::string error_;
};

std::string Utf8From(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

}  // namespace e2e
