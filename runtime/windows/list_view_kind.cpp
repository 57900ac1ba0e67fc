// The `ListView` kind: a virtual report-mode list view (LVS_OWNERDATA).  The
// control keeps only the row count and the selection; the cell texts come
// from the application's cell source when a row is drawn.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "runtime/windows/kind_support.h"
#include "runtime/windows/list_columns.h"
#include "runtime/windows/list_view.h"
#include "runtime/core/text_encoding.h"
#include "runtime/windows/property_numbers.h"

namespace {

// Posted to the list itself: the selection changed (raised once per burst:
// a Shift range or Ctrl+A is one change, not one per row).
constexpr UINT kSelectionNoticeMessage = 0x8067;
constexpr int kColumnTextLimit = 260;

// Copies text into a buffer of `capacity` bytes, cut short only between
// characters (a GBK lead byte is never left without its trail byte).
void CellTextCopy(const Text& text, char* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  std::size_t length = 0;
  const std::size_t room = static_cast<std::size_t>(capacity) - 1;
  while (length < text.size()) {
    const std::size_t step = AnsiStartsDoubleByte(text[length]) ? 2 : 1;
    if (length + step > room || length + step > text.size()) break;
    length += step;
  }
  text.copy(buffer, length);
  buffer[length] = '\0';
}

// The same for the wide list (UTF-16 units): a surrogate pair is never cut.
void CellTextCopyWide(const Text& text, wchar_t* buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0) return;
  const std::u16string wide = Utf16FromAnsi(text);
  std::size_t length = std::min(wide.size(), static_cast<std::size_t>(capacity) - 1);
  if (length > 0 && length < wide.size() && wide[length - 1] >= 0xD800 && wide[length - 1] <= 0xDBFF)
    --length;
  std::copy_n(wide.begin(), length, buffer);
  buffer[length] = L'\0';
}

Text NumberList(const std::vector<std::int32_t>& numbers) {
  std::string text;
  for (std::int32_t number : numbers) {
    if (!text.empty()) text += ',';
    text += std::to_string(number);
  }
  return Text(text);
}

std::vector<std::int32_t> NumbersOf(const Text& text) {
  std::vector<std::int32_t> numbers;
  std::int64_t value = 0;
  bool digits = false;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ',';
    if (c >= '0' && c <= '9') {
      if (value < 0x7FFFFFFF) value = value * 10 + (c - '0');
      digits = true;
    } else if (c == ',' || c == ' ' || c == ';') {
      if (digits) numbers.push_back(static_cast<std::int32_t>(value > 0x7FFFFFFF ? 0x7FFFFFFF : value));
      value = 0;
      digits = false;
    }
  }
  return numbers;
}

class ListViewObject final : public LiveObject {
 public:
  ListViewObject(const ControlCreateArgs& args, ListViewProperties properties)
      : LiveObject(args.window, args.unit), p_(std::move(properties)) {}

  bool Build(const ControlCreateArgs& args) {
    FontRecordApply(*this, p_.font);
    DWORD style = LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS;
    if (p_.multiSelect == 0) style |= LVS_SINGLESEL;
    if (!ControlWindowCreate(*this, args, WC_LISTVIEWA, style, WS_EX_CLIENTEDGE, "")) return false;
    ExtendedStyleSet();
    ColumnsSet(ListColumnsParse(p_.columns));
    return true;
  }

  void CellSourceSet(ListCellSource source) {
    source_ = std::move(source);
    InvalidateRect(Handle(), nullptr, TRUE);
  }

  std::optional<LRESULT> Reflected(UINT message, WPARAM, LPARAM lParam) override {
    if (message != WM_NOTIFY) return std::nullopt;
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    switch (header.code) {
      case LVN_GETDISPINFOA: {
        auto& item = reinterpret_cast<NMLVDISPINFOA*>(lParam)->item;
        if (item.mask & LVIF_TEXT)
          CellTextCopy(CellText(item.iItem, item.iSubItem), item.pszText, item.cchTextMax);
        return 0;
      }
      case LVN_GETDISPINFOW: {
        auto& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
        if (item.mask & LVIF_TEXT)
          CellTextCopyWide(CellText(item.iItem, item.iSubItem), item.pszText, item.cchTextMax);
        return 0;
      }
      case LVN_ODFINDITEMA:
      case LVN_ODFINDITEMW:
        return -1;  // typing a row's first letters finds nothing: rows are not kept here
      case LVN_COLUMNCLICK: {
        const auto& list = *reinterpret_cast<const NMLISTVIEW*>(lParam);
        Raise(kEventListColumnClick, Args({list.iSubItem}));
        return 0;
      }
      case NM_DBLCLK:
      case NM_RCLICK: {
        const auto& activate = *reinterpret_cast<const NMITEMACTIVATE*>(lParam);
        if (header.code == NM_DBLCLK) {
          Raise(kEventListDoubleClick, Args({activate.iItem, activate.iSubItem}));
        } else {
          Raise(kEventListRightClick,
                Args({activate.iItem, activate.iSubItem, activate.ptAction.x, activate.ptAction.y}));
        }
        return 0;
      }
      case LVN_ITEMCHANGED: {
        const auto& list = *reinterpret_cast<const NMLISTVIEW*>(lParam);
        if ((list.uChanged & LVIF_STATE) && ((list.uOldState ^ list.uNewState) & LVIS_SELECTED))
          SelectionNoticePost();
        return 0;
      }
      case LVN_ODSTATECHANGED:
        SelectionNoticePost();
        return 0;
      case LVN_KEYDOWN: {
        const auto& key = *reinterpret_cast<const NMLVKEYDOWN*>(lParam);
        if (key.wVKey == 'A' && GetKeyState(VK_CONTROL) < 0 && p_.multiSelect != 0) SelectAll();
        return 0;
      }
      default:
        return std::nullopt;
    }
  }

  std::optional<LRESULT> OwnMessage(UINT message, WPARAM, LPARAM) override {
    if (message != kSelectionNoticeMessage) return std::nullopt;
    noticePending_ = false;
    Raise(kEventListSelectionChanged);
    return 0;
  }

  PropertyValue PropertyGet(std::int32_t index, std::int32_t element) override {
    HWND list = Handle();
    switch (index) {
      case ListViewProperty::kColumns:
        return ListColumnsText(ColumnsRead());
      case ListViewProperty::kMultiSelect:
        return (GetWindowLongPtrA(list, GWL_STYLE) & LVS_SINGLESEL) == 0;
      case ListViewProperty::kGridLines:
        return (SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_GRIDLINES) != 0;
      case ListViewProperty::kFont:
        return FontPropertyGet(*this, element);
      case ListViewProperty::kRowCount:
        return static_cast<std::int32_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
      case ListViewProperty::kSelectedRow:
        return static_cast<std::int32_t>(
            SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      case ListViewProperty::kSelectedRows: {
        const std::vector<std::int32_t> rows = SelectedRows();
        if (element < 0) return NumberList(rows);
        return element < static_cast<std::int32_t>(rows.size()) ? rows[static_cast<std::size_t>(element)]
                                                                : -1;
      }
      case ListViewProperty::kSelectedCount:
        return static_cast<std::int32_t>(SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0));
      case ListViewProperty::kSortColumn:
        return SortRead().first;
      case ListViewProperty::kSortDescending:
        return SortRead().second;
      default:
        return std::monostate{};
    }
  }

  void PropertySet(std::int32_t index, const PropertyValue& value, std::int32_t element) override {
    HWND list = Handle();
    switch (index) {
      case ListViewProperty::kColumns:
        ColumnsSet(ListColumnsParse(PropertyValueText(value)));
        break;
      case ListViewProperty::kMultiSelect:
        p_.multiSelect = PropertyValueLogical(value) ? 1 : 0;
        WindowStyleReplace(list, LVS_SINGLESEL, p_.multiSelect != 0 ? 0 : LVS_SINGLESEL);
        break;
      case ListViewProperty::kGridLines:
        p_.gridLines = PropertyValueLogical(value) ? 1 : 0;
        ExtendedStyleSet();
        break;
      case ListViewProperty::kFont:
        FontPropertySet(*this, value, element);
        break;
      case ListViewProperty::kRowCount: {
        // Row numbers mean other rows now: the old selection would point at strangers.
        SelectionClear();
        const std::int32_t count = std::max<std::int32_t>(0, PropertyValueInteger(value));
        SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), LVSICF_NOSCROLL);
        InvalidateRect(list, nullptr, TRUE);
        break;
      }
      case ListViewProperty::kSelectedRow: {
        SelectionClear();
        const std::int32_t row = PropertyValueInteger(value);
        if (row >= 0 && RowSelect(row, true))
          SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        break;
      }
      case ListViewProperty::kSelectedRows: {
        SelectionClear();
        bool first = true;
        for (std::int32_t row : NumbersOf(PropertyValueText(value))) {
          if (RowSelect(row, first)) first = false;
          if (p_.multiSelect == 0) break;
        }
        break;
      }
      case ListViewProperty::kSortColumn:
        sortColumn_ = PropertyValueInteger(value);
        SortArrowsShow();
        break;
      case ListViewProperty::kSortDescending:
        sortDescending_ = PropertyValueLogical(value);
        SortArrowsShow();
        break;
      default:
        break;
    }
  }

 private:
  static EventArgs Args(std::initializer_list<std::int32_t> values) {
    EventArgs args;
    for (std::int32_t value : values) args.values[static_cast<std::size_t>(args.count++)] = value;
    return args;
  }

  Text CellText(std::int32_t row, std::int32_t column) const {
    if (!source_ || row < 0 || column < 0) return Text();
    return source_(row, column);
  }

  void ExtendedStyleSet() {
    const DWORD bits = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_GRIDLINES;
    const DWORD wanted =
        LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | (p_.gridLines != 0 ? LVS_EX_GRIDLINES : 0);
    SendMessageA(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, bits, wanted);
  }

  void ColumnsSet(const std::vector<ListColumn>& columns) {
    HWND list = Handle();
    while (SendMessageA(list, LVM_DELETECOLUMN, 0, 0)) {
    }
    int at = 0;
    for (const ListColumn& column : columns) {
      Text name = column.name;
      LVCOLUMNA entry{};
      entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
      // The first column is always left-aligned by the list view itself.
      entry.fmt = column.rightAligned && at > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
      entry.cx = column.width;
      entry.pszText = name.data();
      entry.iSubItem = at;
      SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&entry));
      ++at;
    }
    SortArrowsShow();
  }

  HWND HeaderOf() const { return reinterpret_cast<HWND>(SendMessageA(Handle(), LVM_GETHEADER, 0, 0)); }

  std::vector<ListColumn> ColumnsRead() const {
    std::vector<ListColumn> columns;
    const int count = static_cast<int>(SendMessageA(HeaderOf(), HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char name[kColumnTextLimit] = {};
      LVCOLUMNA entry{};
      entry.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      entry.pszText = name;
      entry.cchTextMax = static_cast<int>(sizeof name);
      if (!SendMessageA(Handle(), LVM_GETCOLUMNA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&entry)))
        break;
      columns.push_back({MakeText(name), entry.cx, (entry.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT});
    }
    return columns;
  }

  // Header arrows through the header control (common controls 6 and Wine draw them).
  void SortArrowsShow() {
    HWND header = HeaderOf();
    const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      HDITEMA item{};
      item.mask = HDI_FORMAT;
      if (!SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)))
        continue;
      item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
      if (i == sortColumn_) item.fmt |= sortDescending_ ? HDF_SORTDOWN : HDF_SORTUP;
      SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
  }

  std::pair<std::int32_t, bool> SortRead() const {
    HWND header = HeaderOf();
    const int count = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      HDITEMA item{};
      item.mask = HDI_FORMAT;
      if (!SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item)))
        continue;
      if (item.fmt & HDF_SORTUP) return {i, false};
      if (item.fmt & HDF_SORTDOWN) return {i, true};
    }
    return {-1, false};
  }

  std::vector<std::int32_t> SelectedRows() const {
    std::vector<std::int32_t> rows;
    WPARAM from = static_cast<WPARAM>(-1);
    while (true) {
      const LRESULT next = SendMessageA(Handle(), LVM_GETNEXTITEM, from, LVNI_SELECTED);
      if (next < 0) return rows;
      rows.push_back(static_cast<std::int32_t>(next));
      from = static_cast<WPARAM>(next);
    }
  }

  void StateSet(WPARAM row, UINT state, UINT mask) {
    LVITEMA item{};
    item.stateMask = mask;
    item.state = state;
    SendMessageA(Handle(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }

  void SelectionClear() { StateSet(static_cast<WPARAM>(-1), 0, LVIS_SELECTED | LVIS_FOCUSED); }
  void SelectAll() { StateSet(static_cast<WPARAM>(-1), LVIS_SELECTED, LVIS_SELECTED); }

  bool RowSelect(std::int32_t row, bool focus) {
    if (row < 0 || row >= static_cast<std::int32_t>(SendMessageA(Handle(), LVM_GETITEMCOUNT, 0, 0)))
      return false;
    const UINT bits = LVIS_SELECTED | (focus ? LVIS_FOCUSED : 0);
    StateSet(static_cast<WPARAM>(row), bits, bits);
    return true;
  }

  void SelectionNoticePost() {
    if (noticePending_) return;
    noticePending_ = PostMessageA(Handle(), kSelectionNoticeMessage, 0, 0) != FALSE;
  }

  ListViewProperties p_;
  ListCellSource source_;
  std::int32_t sortColumn_ = -1;
  bool sortDescending_ = false;
  bool noticePending_ = false;
};

ListViewObject* LoadedList(WindowId window, UnitId unit) {
  WindowObject* owner = LoadedWindowFind(window);
  if (owner == nullptr || unit == 0) return nullptr;
  UnitRecord* record = owner->Record().UnitById(unit);
  if (record == nullptr || record->object == nullptr || record->TypeNumberOf() != kTypeListView)
    return nullptr;
  return static_cast<ListViewObject*>(record->object);
}

}  // namespace

std::unique_ptr<LiveObject> ListViewCreate(const ControlCreateArgs& args) {
  return KindCreate<ListViewObject, ListViewProperties>(args, ListViewPropertiesDecode);
}

bool ListViewCellSourceSet(WindowId window, UnitId unit, ListCellSource source) {
  ListViewObject* list = LoadedList(window, unit);
  if (list == nullptr) return false;
  list->CellSourceSet(std::move(source));
  return true;
}

void ListViewRowsRefresh(WindowId window, UnitId unit) {
  if (ListViewObject* list = LoadedList(window, unit)) InvalidateRect(list->Handle(), nullptr, TRUE);
}
