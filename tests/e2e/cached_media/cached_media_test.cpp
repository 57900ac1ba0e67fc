// The cached-media window as a person uses it: opened from the main window,
// it lists what a Firefox profile's cache2 below %LOCALAPPDATA% holds; the
// rows are read from outside as a screen reader reads a list view (item
// count, cell texts), sorted by a header click, filtered, and two selected
// rows saved into the save folder, byte for byte and never over a file; their
// addresses copied; a save after the browser dropped an entry; rows played
// with a stand-in default player from temporary copies that go when the
// window closes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/driver/checksum.h"
#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/program.h"

namespace e2e {
namespace {

constexpr char kMainCaption[] = "Velmir网页元素提取工具 1.11.0122";
constexpr char kWindowCaption[] = "已缓存的媒体";
constexpr int kCachedMediaButton = 310;  // first in the main window's table: the last identifier
// The window's controls, numbered from its last unit: 100, 110, ...
constexpr int kStatusLine = 130;
constexpr int kList = 140;
constexpr int kFilterBox = 200;
constexpr int kAddressColumn = 0;
constexpr int kPresentColumn = 3;
constexpr int kDurationColumn = 6;

// ---- Firefox cache2 entries, as the browser leaves a finished download ----

void PutBe32(std::string& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
}

// The browser's metadata checksum (Bob Jenkins' one-at-a-time-block hash, netwerk/cache2/CacheHash).
std::uint32_t CacheHash(const std::string& text) {
  auto step = [](std::uint32_t& x, std::uint32_t y, std::uint32_t z, int shift) {
    x -= y;
    x -= z;
    x ^= shift > 0 ? z >> shift : z << -shift;
  };
  auto mix = [&](std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
    step(a, b, c, 13), step(b, c, a, -8), step(c, a, b, 13);
    step(a, b, c, 12), step(b, c, a, -16), step(c, a, b, 5);
    step(a, b, c, 3), step(b, c, a, -10), step(c, a, b, 15);
  };
  const auto* k = reinterpret_cast<const unsigned char*>(text.data());
  auto le32 = [](const unsigned char* p, std::size_t count) {
    std::uint32_t word = 0;
    for (std::size_t i = 0; i < count; ++i) word |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return word;
  };
  std::uint32_t a = 0x9e3779b9u, b = 0x9e3779b9u, c = 0;
  std::size_t left = text.size();
  for (; left >= 12; left -= 12, k += 12) {
    a += le32(k, 4);
    b += le32(k + 4, 4);
    c += le32(k + 8, 4);
    mix(a, b, c);
  }
  c += static_cast<std::uint32_t>(text.size());
  a += le32(k, left < 4 ? left : 4);
  if (left > 4) b += le32(k + 4, left - 4 < 4 ? left - 4 : 4);
  if (left > 8) c += le32(k + 8, left - 8) << 8;
  mix(a, b, c);
  return c;
}

// The start of an MP4 whose movie header gives its length: ftyp, then a
// moov holding only mvhd (timescale 1000).
std::string Mp4Head(std::uint32_t milliseconds) {
  std::string head("\0\0\0\x20" "ftypisom", 12);
  head.resize(0x20, '\0');
  PutBe32(head, 8 + 108);
  head += "moov";
  PutBe32(head, 108);
  head += "mvhd";
  head.append(12, '\0');  // version, flags, creation and modification times
  PutBe32(head, 1000);
  PutBe32(head, milliseconds);
  head.append(80, '\0');
  return head;
}

std::string Body(std::size_t length, std::string_view head, unsigned seed) {
  std::string body(length, '\0');
  for (std::size_t i = 0; i < length; ++i) body[i] = static_cast<char>(seed + i * 13 + (i >> 11));
  body.replace(0, head.size(), head);
  return body;
}

// Body, chunk hashes, metadata, key, elements, then its checksum and offset.
std::string Entry(const std::string& body, const std::string& address, const std::string& type) {
  std::string meta;
  const std::size_t chunks = (body.size() + 256 * 1024 - 1) / (256 * 1024);
  for (std::size_t i = 0; i < chunks; ++i) meta += std::string{static_cast<char>(0x31 + i), '\x7E'};
  PutBe32(meta, 4);
  for (std::uint32_t field : {1u, 0x6B17D98Eu, 0x6B17D98Eu, 0x4A3B3810u, 0x6B17E79Eu}) PutBe32(meta, field);
  const std::string key = ":" + address;
  PutBe32(meta, static_cast<std::uint32_t>(key.size()));
  PutBe32(meta, 0);
  meta += key + '\0';
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"request-method", "GET"},
                                    {"response-head", head},
                                    {"net-response-time-onstop", "12"}})
    meta += name + '\0' + value + '\0';
  std::string entry = body;
  PutBe32(entry, CacheHash(meta));
  entry += meta;
  PutBe32(entry, 4);
  PutBe32(entry, static_cast<std::uint32_t>(body.size()));
  return entry;
}

// ---- A list view of another process, read through memory lent in it ----

class RemoteMemory {
 public:
  RemoteMemory(DWORD processId, std::size_t size) : size_(size) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process_ != nullptr) at_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
  }
  ~RemoteMemory() {
    if (at_ != nullptr) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;

  char* At(std::size_t offset) const { return static_cast<char*>(at_) + offset; }
  bool Write(std::size_t offset, const void* bytes, std::size_t count) const {
    return at_ != nullptr && offset + count <= size_ &&
           WriteProcessMemory(process_, At(offset), bytes, count, nullptr);
  }
  bool Read(std::size_t offset, void* bytes, std::size_t count) const {
    return at_ != nullptr && offset + count <= size_ &&
           ReadProcessMemory(process_, At(offset), bytes, count, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  void* at_ = nullptr;
  std::size_t size_;
};

class RemoteList {
 public:
  explicit RemoteList(Window list) : list_(list), memory_(list.ProcessId(), 4096) {}

  int Count() const { return static_cast<int>(list_.Send(LVM_GETITEMCOUNT, 0, 0).value_or(-1)); }

  std::string Cell(int row, int column) const {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = memory_.At(sizeof item);
    item.cchTextMax = 1024;
    if (!memory_.Write(0, &item, sizeof item)) return "<no memory>";
    const auto length =
        list_.Send(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_.At(0)));
    std::string text(1024, '\0');
    if (!length || !memory_.Read(sizeof item, text.data(), text.size())) return "<no answer>";
    return text.c_str();
  }

  std::vector<std::string> Column(int column) const {
    std::vector<std::string> cells;
    for (int row = 0, count = Count(); row < count; ++row) cells.push_back(Cell(row, column));
    return cells;
  }

  bool Select(int row) const {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    return memory_.Write(0, &item, sizeof item) &&
           list_.Send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_.At(0)))
               .value_or(0);
  }

  // A double click in the middle of a row's first cell.
  bool RowDoubleClick(int row) const {
    RECT bounds{};
    bounds.left = LVIR_LABEL;
    if (!memory_.Write(0, &bounds, sizeof bounds) ||
        !list_.Send(LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_.At(0)))
             .value_or(0) ||
        !memory_.Read(0, &bounds, sizeof bounds))
      return false;
    const LPARAM at = MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
    return list_.Post(WM_LBUTTONDOWN, MK_LBUTTON, at) && list_.Post(WM_LBUTTONUP, 0, at) &&
           list_.Post(WM_LBUTTONDBLCLK, MK_LBUTTON, at) && list_.Post(WM_LBUTTONUP, 0, at);
  }

  // A right click in the middle of a row's first cell.
  bool RowRightClick(int row) const {
    RECT bounds{};
    bounds.left = LVIR_LABEL;
    if (!memory_.Write(0, &bounds, sizeof bounds) ||
        !list_.Send(LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(memory_.At(0)))
             .value_or(0) ||
        !memory_.Read(0, &bounds, sizeof bounds))
      return false;
    const LPARAM at = MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
    return list_.Post(WM_RBUTTONDOWN, MK_RBUTTON, at) && list_.Post(WM_RBUTTONUP, 0, at);
  }

  // A left click on a column's header, where the person would click.
  bool HeaderClick(int column) const {
    const Window header(reinterpret_cast<HWND>(list_.Send(LVM_GETHEADER, 0, 0).value_or(0)));
    if (!header) return false;
    int left = 0;
    for (int i = 0; i < column; ++i)
      left += static_cast<int>(list_.Send(LVM_GETCOLUMNWIDTH, i, 0).value_or(0));
    const int width = static_cast<int>(list_.Send(LVM_GETCOLUMNWIDTH, column, 0).value_or(0));
    const RECT client = header.ClientRect();
    const LPARAM at = MAKELPARAM(left + width / 2, (client.top + client.bottom) / 2);
    return header.Post(WM_LBUTTONDOWN, MK_LBUTTON, at) && header.Post(WM_LBUTTONUP, 0, at);
  }

 private:
  Window list_;
  RemoteMemory memory_;
};

using Cells = std::vector<std::string>;

const std::wstring kEntries = L"local\\Mozilla\\Firefox\\Profiles\\t.default\\cache2\\entries\\";
const std::wstring kAlphaName = L"0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A";

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

// A stand-in default player registered for an extension for the test's
// life (the class root is the prefix's, shared: what was there comes back).
class StandInPlayer {
 public:
  StandInPlayer(const std::wstring& extension, const std::wstring& record) : extension_(extension) {
    const std::wstring player = PathFromEnvironment(L"EE_PLAYER_EXE");
    if (player.empty()) return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
      wchar_t value[256] = {};
      DWORD size = sizeof value - sizeof(wchar_t);
      if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS)
        before_ = value;
      RegCloseKey(key);
    }
    const std::wstring command = L"\"" + player + L"\" \"" + record + L"\" \"%1\"";
    registered_ = DefaultSet(extension, kProgId) &&
                  DefaultSet(std::wstring(kProgId) + L"\\shell\\open\\command", command);
  }
  ~StandInPlayer() {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    if (before_) {
      DefaultSet(extension_, *before_);
    } else {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, extension_.c_str());
    }
  }
  StandInPlayer(const StandInPlayer&) = delete;
  StandInPlayer& operator=(const StandInPlayer&) = delete;
  bool Registered() const { return registered_; }

 private:
  static constexpr wchar_t kProgId[] = L"EEStandInPlayer.File";
  static bool DefaultSet(const std::wstring& path, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return false;
    const bool set =
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
  }
  std::wstring extension_;
  std::optional<std::wstring> before_;
  bool registered_ = false;
};

std::wstring WideFromUtf8(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

// The program's open popup menu: its window and its items' texts ("-" a
// separator, "(灰)" after a greyed item's text).  Wine keeps menus within
// their process, so there another process cannot read the items (Windows
// lets it): `readable` says whether they were read.
struct OpenMenu {
  Window window;
  bool readable = false;
  std::vector<std::string> items;
};
OpenMenu MenuWait(DWORD processId) {
  OpenMenu menu;
  WaitUntil(
      [&] {
        for (const Window& window : TopLevelWindows(processId))
          if (window.ClassName() == "#32768" && window.IsVisible()) menu.window = window;
        return static_cast<bool>(menu.window);
      },
      Milliseconds(10000));
  if (!menu.window) return menu;
  const HMENU items = reinterpret_cast<HMENU>(menu.window.Send(MN_GETHMENU, 0, 0).value_or(0));
  const int count = GetMenuItemCount(items);
  menu.readable = count >= 0;
  for (int i = 0; i < count; ++i) {
    const UINT state = GetMenuState(items, static_cast<UINT>(i), MF_BYPOSITION);
    wchar_t text[64] = {};
    GetMenuStringW(items, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    menu.items.push_back((state & MF_SEPARATOR) ? "-"
                                                : GbkFromWide(text) + ((state & MF_GRAYED) ? "(灰)" : ""));
  }
  return menu;
}
bool MenuKeys(const OpenMenu& menu, std::initializer_list<UINT> keys) {
  for (UINT key : keys)
    if (!menu.window.Post(WM_KEYDOWN, key, 0) || !menu.window.Post(WM_KEYUP, key, 0xC0000000)) return false;
  return true;
}

// What the stand-in player recorded: the path, the bytes' hash, their count.
struct PlayRecord {
  std::string path, hash, size;
};
std::optional<PlayRecord> PlayRecordRead(const Sandbox& files, const std::wstring& name) {
  const std::optional<std::string> text = files.ReadFile(name);
  if (!text) return std::nullopt;
  PlayRecord record;
  std::size_t at = 0;
  for (std::string* field : {&record.path, &record.hash, &record.size}) {
    const std::size_t end = text->find('\n', at);
    if (end == std::string::npos) return std::nullopt;
    *field = text->substr(at, end - at);
    at = end + 1;
  }
  return record;
}

class CachedMediaTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring& entries = kEntries;
    // The larger video is the shorter one: the size and length orders differ.
    alpha = Body(3000, Mp4Head(75500), 1);
    beta = Body(90000, Mp4Head(2000), 7);
    gamma = Body(500, "ID3\x04", 3);
    ASSERT_TRUE(program.Files().WriteFile(entries + kAlphaName,
                                          Entry(alpha, "http://127.0.0.1/media/alpha.mp4", "video/mp4")));
    ASSERT_TRUE(program.Files().WriteFile(entries + L"0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B",
                                          Entry(beta, "http://127.0.0.1/media/beta.mp4", "video/mp4")));
    ASSERT_TRUE(program.Files().WriteFile(entries + L"0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C",
                                          Entry(gamma, "http://127.0.0.1/sound/gamma.mp3", "audio/mpeg")));
    // A stale copy folder of a run that ended (no process id is odd).
    ASSERT_TRUE(program.Files().WriteFile(L"temp\\ElementExtractor-play\\99999993\\old.mp4", "old"));
    ProgramSetup setup;
    setup.executable = ProductExecutable();
    setup.environment = {{L"LOCALAPPDATA", program.Files().Path(L"local")},
                         {L"TEMP", program.Files().Path(L"temp")},
                         {L"TMP", program.Files().Path(L"temp")}};
    ASSERT_TRUE(program.Start(setup)) << program.Error();
    main = program.WaitWindow(kMainCaption);
    ASSERT_TRUE(main);
  }

  Window Button(const Window& window, std::string_view caption) const {
    return window.ChildByClassText("Button", caption);
  }

  ProgramUnderTest program;
  Window main;
  std::string alpha, beta, gamma;
};

TEST_F(CachedMediaTest, ListsSortsFiltersAndSavesTheSelection) {
  const Window opener = main.Child(kCachedMediaButton);
  ASSERT_TRUE(opener);
  EXPECT_EQ(opener.Text(), "已缓存的媒体...");
  ASSERT_TRUE(opener.Click());
  const Window window = program.WaitWindow(kWindowCaption);
  ASSERT_TRUE(window);
  const Window listWindow = window.Child(kList);
  ASSERT_TRUE(listWindow);
  EXPECT_EQ(listWindow.ClassName(), "SysListView32");
  const RemoteList list(listWindow);
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(15000))) << list.Count();
  const Window refresh = Button(window, "刷新");
  ASSERT_TRUE(refresh.WaitEnabled(true));  // the scan has ended
  const Window status = window.Child(kStatusLine);
  EXPECT_TRUE(status.WaitText("列出 3 项，共 93,500 字节；已选 0 项，0 字节")) << status.Text();
  EXPECT_EQ(list.Cell(0, 1), "视频");
  EXPECT_EQ(list.Cell(0, 5), "是");
  EXPECT_EQ(list.Cell(2, 1), "音频");

  // Sizes sort as numbers; a second click reverses.
  ASSERT_TRUE(list.HeaderClick(kPresentColumn));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return list.Column(kPresentColumn) == Cells{"500", "3,000", "90,000"};
      },
      Milliseconds(5000)))
      << list.Cell(0, kPresentColumn);
  ASSERT_TRUE(list.HeaderClick(kPresentColumn));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return list.Column(kPresentColumn) == Cells{"90,000", "3,000", "500"};
      },
      Milliseconds(5000)));
  EXPECT_EQ(list.Column(kAddressColumn),
            (Cells{"http://127.0.0.1/media/beta.mp4", "http://127.0.0.1/media/alpha.mp4",
                   "http://127.0.0.1/sound/gamma.mp3"}));

  // Lengths from the media's own headers sort as numbers, an unknown one first.
  ASSERT_TRUE(list.HeaderClick(kDurationColumn));
  EXPECT_TRUE(WaitUntil([&] { return list.Column(kDurationColumn) == Cells{"", "0:02", "1:16"}; },
                        Milliseconds(5000)))
      << list.Cell(0, kDurationColumn) << "|" << list.Cell(1, kDurationColumn) << "|"
      << list.Cell(2, kDurationColumn);
  EXPECT_EQ(list.Column(kAddressColumn),
            (Cells{"http://127.0.0.1/sound/gamma.mp3", "http://127.0.0.1/media/beta.mp4",
                   "http://127.0.0.1/media/alpha.mp4"}));
  ASSERT_TRUE(list.HeaderClick(kPresentColumn));
  ASSERT_TRUE(list.HeaderClick(kPresentColumn));
  ASSERT_TRUE(WaitUntil([&] { return list.Column(kPresentColumn) == Cells{"90,000", "3,000", "500"}; },
                        Milliseconds(5000)));

  // The address filter (Enter in its box applies it), then the class boxes.
  const Window filterBox = window.Child(kFilterBox);
  ASSERT_TRUE(filterBox.SetText("ALPHA"));
  ASSERT_TRUE(Button(window, "筛选").Click());
  EXPECT_TRUE(WaitUntil([&] { return list.Count() == 1; }, Milliseconds(5000)));
  EXPECT_EQ(list.Cell(0, kAddressColumn), "http://127.0.0.1/media/alpha.mp4");
  ASSERT_TRUE(filterBox.SetText(""));
  ASSERT_TRUE(Button(window, "筛选").Click());
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(5000)));
  ASSERT_TRUE(Button(window, "视频").SetChecked(false));
  EXPECT_TRUE(
      WaitUntil([&] { return list.Column(kAddressColumn) == Cells{"http://127.0.0.1/sound/gamma.mp3"}; },
                Milliseconds(5000)));
  ASSERT_TRUE(Button(window, "视频").SetChecked(true));
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(5000)));

  // Two rows selected (the two videos, still sorted largest first), saved twice.
  ASSERT_TRUE(list.Select(0));
  ASSERT_TRUE(list.Select(1));
  EXPECT_TRUE(status.WaitText("列出 3 项，共 93,500 字节；已选 2 项，93,000 字节")) << status.Text();
  for (int round = 1; round <= 2; ++round) {
    ASSERT_TRUE(Button(window, "保存所选").Click());
    const MessageBoxWindow result = program.WaitMessageBox("警示信息 - 保存所选");
    ASSERT_TRUE(result) << "round " << round;
    EXPECT_EQ(result.Message(), "已保存 2 项。");
    ASSERT_TRUE(result.Answer(IDOK));
  }
  // The save folder is the program's folder at start.
  EXPECT_EQ(program.Files().ReadFile(L"program\\beta.mp4"), beta);
  EXPECT_EQ(program.Files().ReadFile(L"program\\alpha.mp4"), alpha);
  EXPECT_EQ(program.Files().ReadFile(L"program\\beta(2).mp4"), beta);
  EXPECT_EQ(program.Files().ReadFile(L"program\\alpha(2).mp4"), alpha);
  EXPECT_FALSE(program.Files().Exists(L"program\\gamma.mp3"));

  // The selected rows' addresses go to the clipboard, one a line.
  ASSERT_TRUE(Button(window, "复制网址").Click());
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ClipboardText() ==
               L"http://127.0.0.1/media/beta.mp4\r\n"
               L"http://127.0.0.1/media/alpha.mp4";
      },
      Milliseconds(5000)))
      << ClipboardText().size();

  // The browser dropped an entry after the listing: that row fails with its
  // name, the other is saved, and nothing half-written is left.
  ASSERT_TRUE(DeleteFileW(program.Files().Path(kEntries + kAlphaName).c_str()));
  ASSERT_TRUE(Button(window, "保存所选").Click());
  const MessageBoxWindow partly = program.WaitMessageBox("警示信息 - 保存所选");
  ASSERT_TRUE(partly);
  const std::string message = partly.Message();
  EXPECT_EQ(message.rfind("已保存 1 项。\r\n未能保存 1 项：\r\n", 0), 0u) << message;
  EXPECT_NE(message.find("alpha(3).mp4"), std::string::npos) << message;
  ASSERT_TRUE(partly.Answer(IDOK));
  EXPECT_EQ(program.Files().ReadFile(L"program\\beta(3).mp4"), beta);
  EXPECT_FALSE(program.Files().Exists(L"program\\alpha(3).mp4"));

  // Closing the list leaves the main window running.
  ASSERT_TRUE(Button(window, "关闭").Click());
  EXPECT_TRUE(window.WaitGone());
  EXPECT_TRUE(main.IsVisible());
}

TEST_F(CachedMediaTest, TheRightClickMenuActsOnTheSelection) {
  ASSERT_TRUE(main.Child(kCachedMediaButton).Click());
  const Window window = program.WaitWindow(kWindowCaption);
  ASSERT_TRUE(window);
  const RemoteList list(window.Child(kList));
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(15000))) << list.Count();
  ASSERT_TRUE(Button(window, "刷新").WaitEnabled(true));
  const Window status = window.Child(kStatusLine);

  // Over a row, the menu holds the selection's actions; 全选 selects every row.
  ASSERT_TRUE(list.RowRightClick(0));
  OpenMenu menu = MenuWait(program.Id());
  ASSERT_TRUE(menu.window);
  if (menu.readable) {
    EXPECT_EQ(menu.items, (Cells{"播放", "保存所选", "复制网址", "-", "全选"}));
  }
  ASSERT_TRUE(MenuKeys(menu, {VK_UP, VK_RETURN}));  // up from nothing: the last item
  EXPECT_TRUE(status.WaitText("列出 3 项，共 93,500 字节；已选 3 项，93,500 字节")) << status.Text();

  // 复制网址 from the menu: every selected row's address, in the list's order.
  ASSERT_TRUE(OpenClipboard(nullptr) && EmptyClipboard() && CloseClipboard());
  ASSERT_TRUE(list.RowRightClick(1));
  menu = MenuWait(program.Id());
  ASSERT_TRUE(menu.window);
  ASSERT_TRUE(MenuKeys(menu, {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}));
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ClipboardText() ==
               L"http://127.0.0.1/media/alpha.mp4\r\n"
               L"http://127.0.0.1/media/beta.mp4\r\n"
               L"http://127.0.0.1/sound/gamma.mp3";
      },
      Milliseconds(5000)))
      << ClipboardText().size();

  // Over no row with nothing selected, the selection's actions are greyed:
  // Enter on 播放 does nothing (enabled, it would ask for a selection).
  // Windows keeps the menu open then, Wine closes it: Escape closes it here.
  ASSERT_TRUE(window.Child(kFilterBox).SetText("none-such"));
  ASSERT_TRUE(Button(window, "筛选").Click());
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 0; }, Milliseconds(5000)));
  ASSERT_TRUE(window.Child(kFilterBox).SetText(""));
  ASSERT_TRUE(Button(window, "筛选").Click());
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(5000)));
  EXPECT_TRUE(status.WaitText("列出 3 项，共 93,500 字节；已选 0 项，0 字节")) << status.Text();
  ASSERT_TRUE(window.Child(kList).RightClick());  // the middle of the list: below its three rows
  menu = MenuWait(program.Id());
  ASSERT_TRUE(menu.window);
  if (menu.readable) {
    EXPECT_EQ(menu.items, (Cells{"播放(灰)", "保存所选(灰)", "复制网址(灰)", "-", "全选"}));
  }
  ASSERT_TRUE(MenuKeys(menu, {VK_DOWN, VK_RETURN}));
  EXPECT_FALSE(program.WaitMessageBox("警示信息 - 播放", Milliseconds(1500)));
  if (menu.window.Exists()) {
    ASSERT_TRUE(MenuKeys(menu, {VK_ESCAPE}));
  }
  EXPECT_TRUE(menu.window.WaitVisible(false));
  EXPECT_EQ(status.Text(), "列出 3 项，共 93,500 字节；已选 0 项，0 字节");
}

TEST_F(CachedMediaTest, PlaysATemporaryCopyWithTheDefaultPlayerAndRemovesItOnClose) {
  const StandInPlayer player(L".mp4", program.Files().Path(L"played.txt"));
  ASSERT_TRUE(player.Registered());
  ASSERT_TRUE(main.Child(kCachedMediaButton).Click());
  const Window window = program.WaitWindow(kWindowCaption);
  ASSERT_TRUE(window);
  const RemoteList list(window.Child(kList));
  ASSERT_TRUE(WaitUntil([&] { return list.Count() == 3; }, Milliseconds(15000))) << list.Count();
  ASSERT_TRUE(Button(window, "刷新").WaitEnabled(true));
  // The window's opening removed the folder the ended run left.
  EXPECT_FALSE(program.Files().Exists(L"temp\\ElementExtractor-play\\99999993"));
  ASSERT_TRUE(list.HeaderClick(kPresentColumn));  // gamma.mp3, alpha.mp4, beta.mp4
  ASSERT_TRUE(WaitUntil(
      [&] {
        return list.Column(kPresentColumn) == Cells{"500", "3,000", "90,000"};
      },
      Milliseconds(5000)));

  // A double click plays that row: the player gets a whole copy of it below
  // the program's own temporary folder.
  const std::wstring ownFolder = L"temp\\ElementExtractor-play\\" + std::to_wstring(program.Id());
  const std::wstring copyPath = program.Files().Path(ownFolder + L"\\beta.mp4");
  ASSERT_TRUE(list.RowDoubleClick(2));
  std::optional<PlayRecord> record;
  ASSERT_TRUE(WaitUntil([&] { return (record = PlayRecordRead(program.Files(), L"played.txt")).has_value(); },
                        Milliseconds(15000)));
  EXPECT_EQ(GbkFromWide(WideFromUtf8(record->path)), GbkFromWide(copyPath));
  EXPECT_EQ(record->hash, Sha256Hex(beta).value_or("?"));
  EXPECT_EQ(record->size, std::to_string(beta.size()));

  // 播放 plays the selected row; the first copy stays beside it meanwhile.
  ASSERT_TRUE(DeleteFileW(program.Files().Path(L"played.txt").c_str()));
  ASSERT_TRUE(list.Select(1));
  ASSERT_TRUE(Button(window, "播放").Click());
  ASSERT_TRUE(WaitUntil([&] { return (record = PlayRecordRead(program.Files(), L"played.txt")).has_value(); },
                        Milliseconds(15000)));
  EXPECT_EQ(record->hash, Sha256Hex(alpha).value_or("?"));
  EXPECT_TRUE(program.Files().Exists(ownFolder + L"\\beta.mp4"));
  EXPECT_TRUE(program.Files().Exists(ownFolder + L"\\alpha.mp4"));

  // No player for the extension, and an entry gone behind the list's back:
  // each a clear message, and nothing half-written left.
  ASSERT_TRUE(list.RowDoubleClick(0));
  const MessageBoxWindow noPlayer = program.WaitMessageBox("警示信息 - 播放");
  ASSERT_TRUE(noPlayer);
  EXPECT_NE(noPlayer.Message().find("没有与 .mp3 文件关联的播放程序"), std::string::npos)
      << noPlayer.Message();
  ASSERT_TRUE(noPlayer.Answer(IDOK));
  ASSERT_TRUE(DeleteFileW(program.Files().Path(kEntries + kAlphaName).c_str()));
  ASSERT_TRUE(list.RowDoubleClick(1));
  const MessageBoxWindow gone = program.WaitMessageBox("警示信息 - 播放");
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone.Message().rfind("无法复制这个媒体以播放", 0), 0u) << gone.Message();
  ASSERT_TRUE(gone.Answer(IDOK));
  EXPECT_FALSE(program.Files().Exists(ownFolder + L"\\alpha(2).mp4"));

  // Closing the window removes every copy and the folders.
  ASSERT_TRUE(Button(window, "关闭").Click());
  EXPECT_TRUE(window.WaitGone());
  EXPECT_FALSE(program.Files().Exists(ownFolder));
  EXPECT_FALSE(program.Files().Exists(L"temp\\ElementExtractor-play"));
}

}  // namespace
}  // namespace e2e
