#include "app/windows/cached_media_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/command_line/report_rows.h"
#include "app/command_line/scan_copies.h"
#include "app/command_line/scan_places.h"
#include "app/command_line/scan_reading.h"
#include "app/media_list/media_list.h"
#include "app/media_list/media_worker.h"
#include "app/media_list/play_folder.h"
#include "app/program_state/shared_values.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/window_commands.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding.h"
#include "runtime/core/text_encoding_wide.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/list_view.h"
#include "runtime/windows/popup_menu.h"
#include "window_ids.h"

namespace units = CachedMediaWindowUnits;

namespace {

constexpr char kScanningText[] = "正在扫描浏览器缓存...";
constexpr char kSaveCaption[] = "警示信息 - 保存所选";
constexpr char kPlayCaption[] = "警示信息 - 播放";
// While a large folder is read, its rows are shown at most this often.
constexpr ULONGLONG kEarlyWakeMs = 200;

// What a row is, across scans of one folder: its folder, kind and address.
std::string RowKey(const MediaListRow& row) {
  return row.report.cacheFolder + '\n' + (row.report.stream ? "s" : "m") + row.report.extension + '\n' +
         row.report.webAddress;
}

void PlayMessageShow(const std::wstring& message) {
  MessageBoxShow(MakeText(AnsiFromUtf16(Utf16View(message))), MB_ICONWARNING, kPlayCaption);
}

// Why the shell could not open a file (ShellExecute's small results).
std::wstring OpenFailureText(INT_PTR result, const std::wstring& path) {
  std::wstring extension;
  const std::size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && path.find(L'\\', dot) == std::wstring::npos) extension = path.substr(dot);
  switch (result) {
    case SE_ERR_NOASSOC:
    case SE_ERR_ASSOCINCOMPLETE:
      return L"没有与 " + extension + L" 文件关联的播放程序。请在系统中为这种文件选择默认的播放程序。";
    case SE_ERR_FNF:
    case SE_ERR_PNF:
      return L"找不到关联的播放程序或临时副本。";
    case SE_ERR_ACCESSDENIED:
      return L"拒绝访问。";
    default:
      return L"错误代码 " + std::to_wstring(result) + L"。";
  }
}

Text Gbk(std::string_view utf8) { return MakeText(AnsiFromUtf16(Utf16FromUtf8(utf8))); }

std::vector<std::int32_t> NumbersOf(const Text& text) {
  std::vector<std::int32_t> numbers;
  std::int32_t value = 0;
  bool digits = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ',';
    if (c >= '0' && c <= '9') {
      value = value * 10 + (c - '0');
      digits = true;
    } else {
      if (digits) numbers.push_back(value);
      value = 0;
      digits = false;
    }
  }
  return numbers;
}

// What the window shows and what its worker finds or saves.  The window
// thread owns everything but the hand-over fields under `lock`.
class CachedMediaSession {
 public:
  CachedMediaSession() : worker_([this] { Woken(); }) {}

  void ScanStart();
  void FilterApply();
  void ColumnClicked(std::int32_t column);
  void StatusUpdate();
  void SaveSelected();
  void Play(std::int32_t position);
  void AddressesCopy();
  void MenuShow(std::int32_t x, std::int32_t y);
  Text Cell(std::int32_t position, std::int32_t column) const {
    if (position < 0 || static_cast<std::size_t>(position) >= shown_.size()) return Text();
    return Gbk(MediaListCell(rows_[shown_[static_cast<std::size_t>(position)]], column));
  }

 private:
  enum class Job { None, Scan, Save, Play };

  void Woken();
  void ScanArrivals();
  void Rearrange();
  void RearrangeKeeping(const std::vector<bool>& selected);
  std::vector<std::string> SelectedKeys() const;
  std::vector<std::size_t> SelectedRows() const;
  void ButtonsEnable(bool enabled);
  void SaveFinished();
  void PlayFinished();

  std::vector<ScanFolder> folders_;
  std::vector<MediaListRow> rows_;
  std::vector<std::size_t> shown_;  // row numbers by list position
  std::size_t provisionalFrom_ = 0;  // rows from here on: the place being read, as seen so far
  MediaListFilter filter_;
  MediaListSort sort_;
  Job job_ = Job::None;
  std::vector<ScanPlace> places_;

  std::mutex lock_;
  // Scan: per place read, its folders; and the media of the place being
  // read, seen so far, as rows to show until its folders come.
  std::vector<std::vector<ScanFolder>> arrived_;
  std::vector<MediaListRow> arrivedEarly_;
  CopyCounts saveCounts_;            // save: the outcome
  std::vector<std::wstring> saveFailures_;
  PlayCopy played_;  // play: the copy's outcome

  PlayFolder playFolder_;  // before the worker: a copy in progress ends before its folder goes
  MediaWorker worker_;  // last: destroyed (joined) first, while the rest still lives
};

void CachedMediaSession::ButtonsEnable(bool enabled) {
  for (UnitId unit : {units::刷新按钮, units::保存所选按钮, units::播放按钮})
    PropertyWriteLogical(kCachedMediaWindow, unit, kPropertyDisabled, !enabled);
}

void CachedMediaSession::ScanStart() {
  if (worker_.Busy()) return;
  folders_.clear();
  rows_.clear();
  provisionalFrom_ = 0;
  {
    std::lock_guard<std::mutex> guard(lock_);
    arrived_.clear();
    arrivedEarly_.clear();
  }
  Rearrange();
  PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption, kScanningText);
  places_ = DefaultScanPlaces();
  job_ = Job::Scan;
  ButtonsEnable(false);
  const std::vector<ScanPlace> places = places_;
  const bool started = worker_.Start([this, places](MediaWorker& worker) {
    // Place by place, and within a large cache folder its media as they are
    // read, so the first rows show while the rest is read.  Wakes are
    // spaced: each one re-sorts the rows shown.
    ULONGLONG lastWake = 0;
    const auto seen = [&](const ScanPlace& place, const ScannedMedia& media) {
      MediaListRow row{
          ReportRowOf(media, place.browser, Utf8FromWide(place.path), LocalTimeOf(media.element.lastWritten)),
          0, false, 0};
      {
        std::lock_guard<std::mutex> guard(lock_);
        arrivedEarly_.push_back(std::move(row));
      }
      const ULONGLONG now = GetTickCount64();
      if (lastWake == 0 || now - lastWake >= kEarlyWakeMs) {
        lastWake = now;
        worker.Wake();
      }
    };
    for (const ScanPlace& place : places) {
      if (worker.StopAsked()) return;
      std::vector<ScanFolder> found = ScanPlacesRead({place}, ScanClassFilter::All, seen);
      {
        std::lock_guard<std::mutex> guard(lock_);
        // What the window has not taken yet of this place, its folders replace.
        arrivedEarly_.clear();
        arrived_.push_back(std::move(found));
      }
      worker.Wake();
      lastWake = 0;
    }
  });
  if (!started) {
    job_ = Job::None;
    ButtonsEnable(true);
    PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption, "无法开始扫描。");
  }
}

void CachedMediaSession::Woken() {
  if (job_ == Job::Scan) {
    ScanArrivals();
    if (worker_.Busy()) return;
    job_ = Job::None;
    ButtonsEnable(true);
    StatusUpdate();  // no longer "still scanning"
    if (rows_.empty()) {
      std::wstring looked;
      for (const ScanPlace& place : places_) looked += (looked.empty() ? L"" : L"；") + place.path;
      PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption,
                        MakeText(AnsiFromUtf16(Utf16View(L"没有找到已缓存的视频或音频。查看了：" + looked))));
    }
    return;
  }
  if (job_ == Job::Save && !worker_.Busy()) SaveFinished();
  if (job_ == Job::Play && !worker_.Busy()) PlayFinished();
}

void CachedMediaSession::ScanArrivals() {
  std::vector<std::vector<ScanFolder>> placesRead;
  std::vector<MediaListRow> early;
  {
    std::lock_guard<std::mutex> guard(lock_);
    placesRead.swap(arrived_);
    early.swap(arrivedEarly_);
  }
  if (placesRead.empty() && early.empty()) return;
  // The rows change under the list: the selection is kept by what the rows are.
  const std::vector<std::string> keys = SelectedKeys();
  for (std::vector<ScanFolder>& found : placesRead) {
    // The place's own rows replace those shown while it was read.
    rows_.resize(provisionalFrom_);
    for (ScanFolder& folder : found) {
      const std::size_t number = folders_.size();
      const std::string path = Utf8FromWide(folder.path);
      for (std::size_t i = 0; i < folder.media.size(); ++i) {
        const ScannedMedia& media = folder.media[i];
        rows_.push_back({ReportRowOf(media, folder.browser, path, LocalTimeOf(media.element.lastWritten)),
                         number, false, i});
      }
      for (std::size_t i = 0; i < folder.streams.size(); ++i) {
        const CacheStream& stream = folder.streams[i];
        rows_.push_back({ReportRowOfStream(stream, folder.browser, path, LocalTimeOf(stream.lastWritten)),
                         number, true, i});
        if (i < folder.streamFacts.size()) rows_.back().report.facts = folder.streamFacts[i];
      }
      folders_.push_back(std::move(folder));
    }
    provisionalFrom_ = rows_.size();
  }
  for (MediaListRow& row : early) rows_.push_back(std::move(row));
  std::vector<bool> selected(rows_.size(), false);
  if (!keys.empty()) {
    for (std::size_t row = 0; row < rows_.size(); ++row)
      selected[row] = std::binary_search(keys.begin(), keys.end(), RowKey(rows_[row]));
  }
  RearrangeKeeping(selected);
}

// The selected rows by what they are (sorted), to find them again among new rows.
std::vector<std::string> CachedMediaSession::SelectedKeys() const {
  std::vector<std::string> keys;
  for (std::size_t row : SelectedRows())
    if (row < rows_.size()) keys.push_back(RowKey(rows_[row]));
  std::sort(keys.begin(), keys.end());
  return keys;
}

std::vector<std::size_t> CachedMediaSession::SelectedRows() const {
  std::vector<std::size_t> rows;
  for (std::int32_t position :
       NumbersOf(PropertyReadText(kCachedMediaWindow, units::媒体列表, ListViewProperty::kSelectedRows))) {
    if (static_cast<std::size_t>(position) < shown_.size())
      rows.push_back(shown_[static_cast<std::size_t>(position)]);
  }
  return rows;
}

// New order or filter: the rows still shown stay selected.
void CachedMediaSession::Rearrange() {
  std::vector<bool> selected(rows_.size(), false);
  for (std::size_t row : SelectedRows()) {
    if (row < selected.size()) selected[row] = true;
  }
  RearrangeKeeping(selected);
}

void CachedMediaSession::RearrangeKeeping(const std::vector<bool>& selected) {
  shown_ = MediaListArrange(rows_, filter_, sort_);
  std::string again;
  for (std::size_t position = 0; position < shown_.size(); ++position) {
    if (!selected[shown_[position]]) continue;
    if (!again.empty()) again += ',';
    again += std::to_string(position);
  }
  PropertyWriteInteger(kCachedMediaWindow, units::媒体列表, ListViewProperty::kRowCount,
                       static_cast<std::int32_t>(shown_.size()));
  if (!again.empty())
    PropertyWriteText(kCachedMediaWindow, units::媒体列表, ListViewProperty::kSelectedRows, again);
  ListViewRowsRefresh(kCachedMediaWindow, units::媒体列表);
  StatusUpdate();
}

void CachedMediaSession::StatusUpdate() {
  if (job_ == Job::Scan && rows_.empty()) return;  // still "scanning"
  const MediaListTotals shown = MediaListTotal(rows_, shown_);
  const MediaListTotals selected = MediaListTotal(rows_, SelectedRows());
  std::string status = MediaListStatus(shown, selected);
  if (job_ == Job::Scan) status += "  " + std::string(Utf8FromWide(L"（仍在扫描）"));
  PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption, Gbk(status));
}

void CachedMediaSession::FilterApply() {
  filter_.addressContains =
      Utf8FromUtf16(Utf16FromAnsi(PropertyReadText(kCachedMediaWindow, units::网址筛选框, kPropertyContent)));
  filter_.video = PropertyReadLogical(kCachedMediaWindow, units::视频勾选框, kPropertyChecked);
  filter_.audio = PropertyReadLogical(kCachedMediaWindow, units::音频勾选框, kPropertyChecked);
  filter_.onlyComplete = PropertyReadLogical(kCachedMediaWindow, units::只列完整勾选框, kPropertyChecked);
  Rearrange();
}

void CachedMediaSession::ColumnClicked(std::int32_t column) {
  if (column < 0 || column >= kMediaColumnCount) return;
  if (sort_.column == column) {
    sort_.descending = !sort_.descending;
  } else {
    sort_ = {column, false};
  }
  PropertyWriteInteger(kCachedMediaWindow, units::媒体列表, ListViewProperty::kSortColumn, sort_.column);
  PropertyWriteLogical(kCachedMediaWindow, units::媒体列表, ListViewProperty::kSortDescending,
                       sort_.descending);
  Rearrange();
}

void CachedMediaSession::SaveSelected() {
  if (worker_.Busy()) return;
  const std::vector<std::size_t> selected = SelectedRows();
  if (selected.empty()) {
    MessageBoxShow("请先在列表中选择要保存的媒体。", MB_ICONINFORMATION, kSaveCaption);
    return;
  }
  const std::wstring saveFolder = WideFromAnsi(*SaveFolder.Snapshot());
  if (saveFolder.empty()) {
    MessageBoxShow("请先在主窗口中选择元素保存目录。", MB_ICONINFORMATION, kSaveCaption);
    return;
  }
  if (!FolderExists(saveFolder)) {
    MessageBoxShow(Text("元素保存目录不存在：") + *SaveFolder.Snapshot(), MB_ICONINFORMATION, kSaveCaption);
    return;
  }
  std::vector<CopyChoice> chosen;
  for (std::size_t row : selected) chosen.push_back({rows_[row].folder, rows_[row].stream, rows_[row].index});
  {
    std::lock_guard<std::mutex> guard(lock_);
    saveCounts_ = {};
    saveFailures_.clear();
  }
  job_ = Job::Save;
  ButtonsEnable(false);
  PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption,
                    Text("正在保存 ") + std::to_string(chosen.size()).c_str() + " 项...");
  // The folders are only read while the worker copies: no scan runs meanwhile.
  const bool started = worker_.Start([this, chosen, saveFolder](MediaWorker&) {
    std::vector<std::wstring> failures;
    CopyReports reports;
    reports.failure = [&](const std::wstring& path) { failures.push_back(path); };
    reports.noRoom = [&](const std::wstring& name) { failures.push_back(name + L"（磁盘空间不足）"); };
    const CopyCounts counts = ScanCopiesSaveSelected(folders_, chosen, saveFolder, reports);
    std::lock_guard<std::mutex> guard(lock_);
    saveCounts_ = counts;
    saveFailures_ = std::move(failures);
  });
  if (!started) {
    job_ = Job::None;
    ButtonsEnable(true);
    StatusUpdate();
  }
}

void CachedMediaSession::SaveFinished() {
  job_ = Job::None;
  ButtonsEnable(true);
  StatusUpdate();
  CopyCounts counts;
  std::vector<std::wstring> failures;
  {
    std::lock_guard<std::mutex> guard(lock_);
    counts = saveCounts_;
    failures = saveFailures_;
  }
  std::wstring message = L"已保存 " + std::to_wstring(counts.saved) + L" 项。";
  if (counts.skippedIncomplete > 0)
    message += L"\r\n不完整，未保存 " + std::to_wstring(counts.skippedIncomplete) + L" 项。";
  if (counts.skippedEncrypted > 0)
    message += L"\r\n加密的流不能保存，跳过 " + std::to_wstring(counts.skippedEncrypted) + L" 项。";
  if (counts.failed > 0) {
    message += L"\r\n未能保存 " + std::to_wstring(counts.failed) + L" 项：";
    for (const std::wstring& failure : failures) message += L"\r\n" + failure;
  }
  MessageBoxShow(MakeText(AnsiFromUtf16(Utf16View(message))),
                 counts.failed > 0 ? MB_ICONWARNING : MB_ICONINFORMATION, kSaveCaption);
}

// Plays the row at a list position, or with -1 the first selected row.
void CachedMediaSession::Play(std::int32_t position) {
  if (worker_.Busy()) return;
  std::size_t row = 0;
  if (position >= 0 && static_cast<std::size_t>(position) < shown_.size()) {
    row = shown_[static_cast<std::size_t>(position)];
  } else {
    const std::vector<std::size_t> selected = SelectedRows();
    if (selected.empty()) {
      MessageBoxShow("请先在列表中选择要播放的媒体。", MB_ICONINFORMATION, kPlayCaption);
      return;
    }
    row = selected.front();
  }
  const std::wstring folder = playFolder_.Path();
  if (folder.empty()) {
    PlayMessageShow(L"无法在临时文件夹中建立播放用的副本目录。");
    return;
  }
  const CopyChoice choice{rows_[row].folder, rows_[row].stream, rows_[row].index};
  {
    std::lock_guard<std::mutex> guard(lock_);
    played_ = {};
  }
  job_ = Job::Play;
  ButtonsEnable(false);
  PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption, "正在准备播放...");
  const bool started = worker_.Start([this, choice, folder](MediaWorker&) {
    PlayCopy copy = ScanCopiesPlayCopy(folders_, choice, folder);
    std::lock_guard<std::mutex> guard(lock_);
    played_ = std::move(copy);
  });
  if (!started) {
    job_ = Job::None;
    ButtonsEnable(true);
    StatusUpdate();
  }
}

void CachedMediaSession::PlayFinished() {
  job_ = Job::None;
  ButtonsEnable(true);
  StatusUpdate();
  PlayCopy copy;
  {
    std::lock_guard<std::mutex> guard(lock_);
    copy = played_;
  }
  switch (copy.outcome) {
    case PlayCopyOutcome::Written:
      break;
    case PlayCopyOutcome::Nothing:
      return;
    case PlayCopyOutcome::Empty:
      PlayMessageShow(L"这个媒体的开头没有缓存，无法播放。");
      return;
    case PlayCopyOutcome::Encrypted:
      PlayMessageShow(L"这个流已加密，不能播放。");
      return;
    case PlayCopyOutcome::NoRoom:
      PlayMessageShow(L"临时文件夹所在的磁盘空间不足，无法复制这个媒体以播放。");
      return;
    case PlayCopyOutcome::Failed:
      PlayMessageShow(L"无法复制这个媒体以播放（浏览器可能已删除或改动了这个缓存）：\r\n" + copy.path);
      return;
  }
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(
      LoadedWindowHandle(kCachedMediaWindow), L"open", copy.path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return;
  PlayMessageShow(L"无法用默认的播放程序打开：\r\n" + copy.path + L"\r\n" +
                  OpenFailureText(result, copy.path));
}

void CachedMediaSession::AddressesCopy() {
  std::wstring text;
  for (std::size_t row : SelectedRows()) {
    const std::string& address = rows_[row].report.webAddress;
    if (address.empty()) continue;
    if (!text.empty()) text += L"\r\n";
    text += WideFromUtf8(address);
  }
  if (text.empty()) return;
  GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
  if (!memory) return;
  if (void* bytes = GlobalLock(memory.Get())) {
    std::memcpy(bytes, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(memory.Get());
  }
  if (!OpenClipboard(LoadedWindowHandle(kCachedMediaWindow))) return;
  EmptyClipboard();
  // The clipboard owns the memory once it took it.
  if (SetClipboardData(CF_UNICODETEXT, memory.Get()) != nullptr) memory.Release();
  CloseClipboard();
}

// The list's right-click menu: the buttons' actions on the selection, and 全选.
void CachedMediaSession::MenuShow(std::int32_t x, std::int32_t y) {
  const bool idle = !worker_.Busy();
  const bool selected =
      PropertyReadInteger(kCachedMediaWindow, units::媒体列表, ListViewProperty::kSelectedCount) > 0;
  enum : std::int32_t { kPlay, kSave, kCopy, kGap, kAll };
  const std::vector<PopupMenuItem> items = {{"播放", idle && selected},
                                            {"保存所选", idle && selected},
                                            {"复制网址", selected},
                                            {"", true},
                                            {"全选", !shown_.empty()}};
  switch (PopupMenuShow(kCachedMediaWindow, units::媒体列表, x, y, items)) {
    case kPlay:
      Play(-1);
      break;
    case kSave:
      SaveSelected();
      break;
    case kCopy:
      AddressesCopy();
      break;
    case kAll: {
      LVITEMA item{};
      item.stateMask = LVIS_SELECTED;
      item.state = LVIS_SELECTED;
      // Row -1: every row at once, one change notice.
      ControlSendMessage({kCachedMediaWindow, units::媒体列表}, LVM_SETITEMSTATE, -1,
                         reinterpret_cast<std::intptr_t>(&item));
      break;
    }
    default:
      break;
  }
}

// The window's session lives from its creation to its destruction.
std::unique_ptr<CachedMediaSession>& Session() {
  static std::unique_ptr<CachedMediaSession> session;
  return session;
}

}  // namespace

EventResult CachedMediaButtonClicked(const EventArgs&) {
  WindowLoad(kCachedMediaWindow);
  return EventResult::None();
}

EventResult CachedMediaWindowCreated(const EventArgs&) {
  Session() = std::make_unique<CachedMediaSession>();
  CachedMediaSession* session = Session().get();
  ListViewCellSourceSet(
      kCachedMediaWindow, units::媒体列表,
      [session](std::int32_t row, std::int32_t column) { return session->Cell(row, column); });
  session->ScanStart();
  return EventResult::None();
}

EventResult CachedMediaWindowDestroying(const EventArgs&) {
  ListViewCellSourceSet(kCachedMediaWindow, units::媒体列表, nullptr);
  Session().reset();  // waits for a scan's current place or a copy's end
  return EventResult::None();
}

EventResult CachedMediaRefresh(const EventArgs&) {
  if (Session()) Session()->ScanStart();
  return EventResult::None();
}

EventResult CachedMediaFilterApply(const EventArgs&) {
  if (Session()) Session()->FilterApply();
  return EventResult::None();
}

EventResult CachedMediaColumnClicked(const EventArgs& args) {
  if (Session() && args.count >= 1) Session()->ColumnClicked(args.values[0]);
  return EventResult::None();
}

EventResult CachedMediaSelectionChanged(const EventArgs&) {
  if (Session()) Session()->StatusUpdate();
  return EventResult::None();
}

EventResult CachedMediaSaveSelected(const EventArgs&) {
  if (Session()) Session()->SaveSelected();
  return EventResult::None();
}

EventResult CachedMediaPlay(const EventArgs&) {
  if (Session()) Session()->Play(-1);
  return EventResult::None();
}

EventResult CachedMediaRowDoubleClicked(const EventArgs& args) {
  if (Session() && args.count >= 1 && args.values[0] >= 0) Session()->Play(args.values[0]);
  return EventResult::None();
}

EventResult CachedMediaListRightClicked(const EventArgs& args) {
  if (Session() && args.count >= 4) Session()->MenuShow(args.values[2], args.values[3]);
  return EventResult::None();
}

EventResult CachedMediaCopyAddresses(const EventArgs&) {
  if (Session()) Session()->AddressesCopy();
  return EventResult::None();
}

EventResult CachedMediaClose(const EventArgs&) {
  WindowDestroy(kCachedMediaWindow);
  return EventResult::None();
}
