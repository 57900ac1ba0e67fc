// Winsock must come before <windows.h>, which the other headers pull in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/e2e/driver/browser_lab_client.h"

#include <windows.h>

#include <charconv>
#include <utility>

#include "runtime/core/handles.h"

namespace e2e {
namespace {

struct SocketTraits {
  using Value = SOCKET;
  static Value Invalid() noexcept { return INVALID_SOCKET; }
  static void Close(Value value) noexcept { closesocket(value); }
};
using Socket = UniqueResource<SocketTraits>;

// Winsock is started for each request and ended with it (the calls count).
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (started_) WSACleanup();
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool Started() const { return started_; }

 private:
  bool started_ = false;
};

template <class Number>
Number NumberFrom(std::string_view text) {
  Number value{};
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    parts.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return parts;
}

std::string ValueOf(const KeyValues& values, std::string_view key) {
  const auto found = values.find(key);
  return found == values.end() ? std::string() : found->second;
}

bool SendAll(SOCKET socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const int sent = send(socket, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

std::string Utf8From(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                      nullptr);
  return result;
}

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

KeyValues ParseKeyValues(std::string_view text) {
  KeyValues values;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    values.insert_or_assign(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
  }
  return values;
}

std::optional<HttpReply> HttpRequest(unsigned short port, std::string_view method, std::string_view target,
                                     std::string_view body, Milliseconds timeout, std::string* error,
                                     std::string_view headers) {
  auto fail = [&](std::string why) -> std::optional<HttpReply> {
    if (error) *error = std::move(why) + " (WSA error " + std::to_string(WSAGetLastError()) + ")";
    return std::nullopt;
  };
  WinsockSession session;
  if (!session.Started()) return fail("winsock did not start");
  Socket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  if (!socket) return fail("no socket");
  const DWORD wait = static_cast<DWORD>(timeout.count());
  setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
  setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&wait), sizeof wait);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return fail("cannot connect to 127.0.0.1:" + std::to_string(port));
  }
  std::string request;
  request.append(method).append(" ").append(target).append(" HTTP/1.1\r\n");
  request.append("Host: 127.0.0.1:").append(std::to_string(port)).append("\r\n");
  request.append("Connection: close\r\n").append(headers);
  request.append("Content-Type: text/plain; charset=utf-8\r\n");
  request.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n");
  request.append(body);
  if (!SendAll(socket.Get(), request)) return fail("request not sent");

  // The lab closes the connection after the answer.
  std::string answer;
  char chunk[16384];
  for (;;) {
    const int got = recv(socket.Get(), chunk, sizeof chunk, 0);
    if (got == 0) break;
    if (got < 0) return fail("no complete answer within " + std::to_string(timeout.count()) + " ms");
    answer.append(chunk, static_cast<size_t>(got));
  }
  const size_t headerEnd = answer.find("\r\n\r\n");
  if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || headerEnd == std::string::npos)
    return fail("not an HTTP answer");
  HttpReply reply;
  reply.status = NumberFrom<int>(std::string_view(answer).substr(9, 3));
  const size_t firstLineEnd = answer.find("\r\n");
  reply.headers = answer.substr(firstLineEnd + 2, headerEnd + 2 - (firstLineEnd + 2));
  reply.body = answer.substr(headerEnd + 4);
  return reply;
}

std::optional<StreamPage> StreamPageFrom(const KeyValues& values) {
  const int tracks = NumberFrom<int>(ValueOf(values, "tracks"));
  const std::string playlist = ValueOf(values, "playlist");
  if (tracks <= 0 || playlist.empty()) return std::nullopt;
  StreamPage page;
  page.protocol = ValueOf(values, "stream");
  page.container = ValueOf(values, "container");
  page.playlist = playlist;
  page.playlistCached = ValueOf(values, "playlistCached") != "0";
  page.key = ValueOf(values, "key");
  page.encoding = ValueOf(values, "encoding");
  page.codingSent = ValueOf(values, "playlistCodingSent");
  page.media = SplitList(ValueOf(values, "media"));
  for (int index = 0; index < tracks; ++index) {
    const std::string prefix = "track" + std::to_string(index) + ".";
    if (!values.count(prefix + "segments")) return std::nullopt;
    StreamTrack track;
    track.type = ValueOf(values, prefix + "type");
    track.mime = ValueOf(values, prefix + "mime");
    track.init = ValueOf(values, prefix + "init");
    track.segments = SplitList(ValueOf(values, prefix + "segments"));
    track.fetched = SplitList(ValueOf(values, prefix + "fetched"));
    track.skipped = SplitList(ValueOf(values, prefix + "skipped"));
    page.tracks.push_back(std::move(track));
  }
  page.done = ValueOf(values, "done") == "1";
  page.fetchedCount = NumberFrom<int>(ValueOf(values, "report.fetched"));
  page.appended = NumberFrom<int>(ValueOf(values, "report.appended"));
  page.buffered = ValueOf(values, "report.buffered");
  page.error = ValueOf(values, "report.error");
  return page;
}

RunningBrowser::RunningBrowser(RunningBrowser&& other) noexcept
    : lab_(std::exchange(other.lab_, nullptr)), id_(other.id_), cache_(std::move(other.cache_)) {}

RunningBrowser& RunningBrowser::operator=(RunningBrowser&& other) noexcept {
  if (this != &other) {
    Stop();
    lab_ = std::exchange(other.lab_, nullptr);
    id_ = other.id_;
    cache_ = std::move(other.cache_);
  }
  return *this;
}

RunningBrowser::~RunningBrowser() { Stop(); }

std::optional<BrowserStopped> RunningBrowser::Stop() {
  if (!lab_) return std::nullopt;
  return std::exchange(lab_, nullptr)->Stop(id_);
}

namespace {

// A port number from the environment; 0 when not set or not one.
unsigned short PortFromEnvironment(const wchar_t* name) {
  wchar_t text[16];
  const DWORD length = GetEnvironmentVariableW(name, text, 16);
  if (length == 0 || length >= 16) return 0;
  const unsigned long port = wcstoul(text, nullptr, 10);
  return port > 65535 ? 0 : static_cast<unsigned short>(port);
}

}  // namespace

std::optional<BrowserLab> BrowserLab::FromEnvironment() {
  const unsigned short port = PortFromEnvironment(L"EE_BROWSER_LAB_PORT");
  if (port == 0) return std::nullopt;
  return BrowserLab(port, PortFromEnvironment(L"EE_BROWSER_LAB_TLS_PORT"));
}

std::string BrowserLab::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::string BrowserLab::TlsUrl(std::string_view path) const {
  if (tlsPort_ == 0) return {};
  return "https://127.0.0.1:" + std::to_string(tlsPort_) + std::string(path);
}

std::optional<KeyValues> BrowserLab::Control(std::string_view action, const KeyValues& values,
                                             Milliseconds timeout) {
  std::string body;
  for (const auto& [key, value] : values) body.append(key).append("=").append(value).append("\n");
  const std::optional<HttpReply> reply =
      HttpRequest(port_, "POST", "/control/" + std::string(action), body, timeout, &error_);
  if (!reply) return std::nullopt;
  KeyValues parsed = ParseKeyValues(reply->body);
  if (reply->status != 200) {
    error_ =
        std::string(action) + ": status " + std::to_string(reply->status) + " " + ValueOf(parsed, "error");
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::vector<ServedFile>> BrowserLab::Files() {
  const std::optional<KeyValues> reply = Control("files");
  if (!reply) return std::nullopt;
  std::vector<ServedFile> files;
  constexpr std::string_view kSize = ".size";
  for (const auto& [key, value] : *reply) {
    if (key.size() <= kSize.size() || key.compare(key.size() - kSize.size(), kSize.size(), kSize) != 0)
      continue;
    ServedFile file;
    file.path = key.substr(0, key.size() - kSize.size());
    file.size = NumberFrom<std::uint64_t>(value);
    file.sha256 = ValueOf(*reply, file.path + ".sha256");
    file.type = ValueOf(*reply, file.path + ".type");
    file.mode = ValueOf(*reply, file.path + ".mode");
    files.push_back(std::move(file));
  }
  return files;
}

std::optional<ServedFile> BrowserLab::File(std::string_view path) {
  const std::optional<std::vector<ServedFile>> files = Files();
  if (!files) return std::nullopt;
  for (const ServedFile& file : *files) {
    if (file.path == path) return file;
  }
  error_ = "the lab serves no " + std::string(path);
  return std::nullopt;
}

std::optional<std::map<std::string, ServedStats, std::less<>>> BrowserLab::Stats() {
  const std::optional<KeyValues> reply = Control("stats");
  if (!reply) return std::nullopt;
  std::map<std::string, ServedStats, std::less<>> stats;
  constexpr std::string_view kRequests = ".requests";
  for (const auto& [key, value] : *reply) {
    if (key.size() <= kRequests.size() ||
        key.compare(key.size() - kRequests.size(), kRequests.size(), kRequests) != 0) {
      continue;
    }
    const std::string path = key.substr(0, key.size() - kRequests.size());
    ServedStats& entry = stats[path];
    entry.requests = NumberFrom<int>(value);
    entry.bytes = NumberFrom<std::uint64_t>(ValueOf(*reply, path + ".bytes"));
    entry.covered = NumberFrom<std::uint64_t>(ValueOf(*reply, path + ".covered"));
    entry.firstSentUnixMs = NumberFrom<std::uint64_t>(ValueOf(*reply, path + ".firstSentUnixMs"));
    entry.ranges = SplitList(ValueOf(*reply, path + ".ranges"));
    for (const std::string& status : SplitList(ValueOf(*reply, path + ".statuses"))) {
      entry.statuses.push_back(NumberFrom<int>(status));
    }
  }
  return stats;
}

bool BrowserLab::Reset() { return Control("reset").has_value(); }

bool BrowserLab::SetMode(std::string_view path, std::string_view mode, std::optional<std::uint64_t> cutAt) {
  KeyValues values{{"path", std::string(path)}, {"mode", std::string(mode)}};
  if (cutAt) values.emplace("cutAt", std::to_string(*cutAt));
  return Control("mode", values).has_value();
}

std::optional<std::vector<std::string>> BrowserLab::PageMedia(std::string_view page) {
  const std::optional<KeyValues> reply = Control("page", {{"page", std::string(page)}});
  if (!reply) return std::nullopt;
  return SplitList(ValueOf(*reply, "media"));
}

std::optional<std::vector<std::string>> BrowserLab::StreamPages(std::string_view all) {
  const std::optional<KeyValues> reply = Control("page", {{"page", std::string(all)}});
  if (!reply) return std::nullopt;
  return SplitList(ValueOf(*reply, "parts"));
}

std::optional<StreamPage> BrowserLab::Stream(std::string_view page) {
  const std::optional<KeyValues> reply = Control("page", {{"page", std::string(page)}});
  if (!reply) return std::nullopt;
  std::optional<StreamPage> stream = StreamPageFrom(*reply);
  if (!stream) error_ = std::string(page) + " is not a stream page";
  return stream;
}

std::optional<std::string> BrowserLab::BenchPage(int media, int others, std::string_view tag) {
  KeyValues values{{"media", std::to_string(media)}, {"other", std::to_string(others)}};
  if (!tag.empty()) values.emplace("tag", std::string(tag));
  const std::optional<KeyValues> reply = Control("bench-page", values);
  if (!reply) return std::nullopt;
  return ValueOf(*reply, "page");
}

std::optional<RunningBrowser> BrowserLab::Launch(const BrowserLaunch& launch) {
  KeyValues values{{"browser", launch.browser == BrowserKind::kChromium ? "chromium" : "firefox"},
                   {"store", launch.store == ChromiumStore::kBlockFile ? "blockfile" : "simple"},
                   {"userDataDir", Utf8From(launch.userDataDir)},
                   {"page", launch.page},
                   {"tls", launch.tls ? "1" : "0"}};
  const std::optional<KeyValues> reply = Control("launch", values);
  if (!reply) return std::nullopt;
  const int id = NumberFrom<int>(ValueOf(*reply, "id"));
  if (id <= 0) {
    error_ = "launch: no browser id in the answer";
    return std::nullopt;
  }
  return RunningBrowser(this, id, WideFromUtf8(ValueOf(*reply, "cache")));
}

std::optional<unsigned long long> BrowserLab::WaitIdle(std::string_view page, Milliseconds timeout,
                                                       Milliseconds quiet) {
  const std::optional<KeyValues> reply = Control("wait-idle",
                                                 {{"page", std::string(page)},
                                                  {"timeout", std::to_string(timeout.count())},
                                                  {"quiet", std::to_string(quiet.count())}},
                                                 Milliseconds(timeout.count() + kDefaultTimeout.count()));
  if (!reply) return std::nullopt;
  if (ValueOf(*reply, "idle") != "1") {
    if (reply->count("pageError")) {
      error_ = "a stream player failed: " + ValueOf(*reply, "pageError");
    } else if (reply->count("browserEnded")) {
      error_ =
          "the browser ended by itself (exit " + ValueOf(*reply, "exitCode") + "): " + ValueOf(*reply, "log");
    } else {
      error_ = "the page's media were not all fetched within " + std::to_string(timeout.count()) + " ms";
    }
    return std::nullopt;
  }
  return NumberFrom<unsigned long long>(ValueOf(*reply, "waitedMs"));
}

std::optional<BrowserStopped> BrowserLab::Stop(int id) {
  // The lab waits up to 20 s for a browser to end before it forces it.
  const std::optional<KeyValues> reply = Control("stop", {{"id", std::to_string(id)}}, Milliseconds(60000));
  if (!reply) return std::nullopt;
  BrowserStopped stopped;
  stopped.exitCode = NumberFrom<int>(ValueOf(*reply, "exitCode"));
  stopped.remaining = NumberFrom<int>(ValueOf(*reply, "remaining"));
  stopped.stopMs = NumberFrom<unsigned long long>(ValueOf(*reply, "stopMs"));
  stopped.runMs = NumberFrom<unsigned long long>(ValueOf(*reply, "runMs"));
  return stopped;
}

std::optional<HttpReply> BrowserLab::Fetch(std::string_view path, std::string_view headers) {
  return HttpRequest(port_, "GET", path, {}, kDefaultTimeout, &error_, headers);
}

std::optional<std::string> BrowserLab::LinuxPath(const std::wstring& path) {
  const std::optional<KeyValues> reply = Control("path", {{"path", Utf8From(path)}});
  if (!reply) return std::nullopt;
  return ValueOf(*reply, "linux");
}

}  // namespace e2e
