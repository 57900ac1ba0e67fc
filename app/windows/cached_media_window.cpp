#include "app/windows/cached_media_window.h"

#include <windows.h>

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
#include "app/program_state/shared_values.h"
#include "runtime/commands/message_box.h"
#include "runtime/commands/window_commands.h"
#include "runtime/core/handles.h"
#include "runtime/core/text_encoding.h"
#include "runtime/core/text_encoding_wide.h"
#include "runtime/windows/engine.h"
#include "runtime/windows/list_view.h"
#include "window_ids.h"

namespace units = CachedMediaWindowUnits;

namespace {

constexpr char kScanningText[] = "正在扫描浏览器缓存...";
constexpr char kSaveCaption[] = "警示信息 - 保存所选";

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
  void AddressesCopy();
  Text Cell(std::int32_t position, std::int32_t column) const {
    if (position < 0 || static_cast<std::size_t>(position) >= shown_.size()) return Text();
    return Gbk(MediaListCell(rows_[shown_[static_cast<std::size_t>(position)]], column));
  }

 private:
  enum class Job { None, Scan, Save };

  void Woken();
  void ScanArrivals();
  void Rearrange();
  std::vector<std::size_t> SelectedRows() const;
  void ButtonsEnable(bool enabled);
  void SaveFinished();

  std::vector<ScanFolder> folders_;
  std::vector<MediaListRow> rows_;
  std::vector<std::size_t> shown_;  // row numbers by list position
  MediaListFilter filter_;
  MediaListSort sort_;
  Job job_ = Job::None;
  std::vector<ScanPlace> places_;

  std::mutex lock_;
  std::vector<ScanFolder> arrived_;  // scan: folders not yet taken in
  CopyCounts saveCounts_;            // save: the outcome
  std::vector<std::wstring> saveFailures_;

  MediaWorker worker_;  // last: destroyed (joined) first, while the rest still lives
};

void CachedMediaSession::ButtonsEnable(bool enabled) {
  for (UnitId unit : {units::刷新按钮, units::保存所选按钮})
    PropertyWriteLogical(kCachedMediaWindow, unit, kPropertyDisabled, !enabled);
}

void CachedMediaSession::ScanStart() {
  if (worker_.Busy()) return;
  folders_.clear();
  rows_.clear();
  Rearrange();
  PropertyWriteText(kCachedMediaWindow, units::状态标签, kPropertyCaption, kScanningText);
  places_ = DefaultScanPlaces();
  job_ = Job::Scan;
  ButtonsEnable(false);
  const std::vector<ScanPlace> places = places_;
  const bool started = worker_.Start([this, places](MediaWorker& worker) {
    // Place by place, so the first rows show while the rest is read.
    for (const ScanPlace& place : places) {
      if (worker.StopAsked()) return;
      std::vector<ScanFolder> found = ScanPlacesRead({place}, ScanClassFilter::All);
      if (found.empty()) continue;
      {
        std::lock_guard<std::mutex> guard(lock_);
        for (ScanFolder& folder : found) arrived_.push_back(std::move(folder));
      }
      worker.Wake();
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
}

void CachedMediaSession::ScanArrivals() {
  std::vector<ScanFolder> taken;
  {
    std::lock_guard<std::mutex> guard(lock_);
    taken.swap(arrived_);
  }
  if (taken.empty()) return;
  for (ScanFolder& folder : taken) {
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
  Rearrange();
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

EventResult CachedMediaCopyAddresses(const EventArgs&) {
  if (Session()) Session()->AddressesCopy();
  return EventResult::None();
}

EventResult CachedMediaClose(const EventArgs&) {
  WindowDestroy(kCachedMediaWindow);
  return EventResult::None();
}
