// The list kind: a virtual report-mode list view built from its stored
// block, its rows asked for only when drawn, the selection by number (also
// from another thread), and its events from real mouse and key messages.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "engine_fixture.h"
#include "runtime/windows/list_view.h"

namespace {

using Log = std::vector<std::string>;
constexpr UnitId kList = ControlUnitId(1);
constexpr UnitId kSingle = ControlUnitId(2);

std::string ArgsText(const EventArgs& args) {
  std::string text;
  for (int i = 0; i < args.count; ++i) text += (i ? "," : "") + std::to_string(args.values[i]);
  return text;
}

class ListViewTest : public EngineTest {
 protected:
  void SetUp() override {
    templates.WindowAdd(kMainId, WindowProperties{}, {40, 40, 420, 300});
    ListViewProperties list;
    list.columns = MakeText("网址:160|大小:70:r|完整:40");
    list.gridLines = 1;
    templates.ControlAdd(kMainId, kList, kTypeListView, ListViewPropertiesEncode(list), {10, 10, 390, 200});
    ListViewProperties single;
    single.multiSelect = 0;
    templates.ControlAdd(kMainId, kSingle, kTypeListView, ListViewPropertiesEncode(single),
                         {10, 220, 390, 40});
    for (std::int32_t event : {kEventListColumnClick, kEventListDoubleClick, kEventListRightClick}) {
      templates.Bind(kMainId, kList, event, "list", [](const EventArgs& args) {
        EventLog().push_back(ArgsText(args));
        return EventResult::None();
      });
    }
    templates.Bind(kMainId, kList, kEventListSelectionChanged, "list");
    templates.Start();
    ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
    asked = 0;
    ASSERT_TRUE(ListViewCellSourceSet(kMainId, kList, [this](std::int32_t row, std::int32_t column) {
      ++asked;
      return MakeText("第" + std::to_string(row) + "行" + std::to_string(column));
    }));
  }

  HWND List() { return LoadedWindowHandle(kMainId, kList); }
  void RowsSet(std::int32_t count) {
    PropertyWriteInteger(kMainId, kList, ListViewProperty::kRowCount, count);
  }
  Text Selected() { return PropertyReadText(kMainId, kList, ListViewProperty::kSelectedRows); }
  std::string CellOf(int row, int column, int capacity = 260) {
    std::string buffer(static_cast<std::size_t>(capacity), '\x7F');
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = capacity;
    SendMessageA(List(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer.c_str();
  }
  POINT RowPoint(int row) {
    RECT rect{};
    rect.left = LVIR_LABEL;
    SendMessageA(List(), LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
    return {rect.left + 4, (rect.top + rect.bottom) / 2};
  }
  int asked = 0;
};

TEST_F(ListViewTest, IsAVirtualReportListWithTheStoredColumns) {
  const LONG_PTR style = GetWindowLongPtrA(List(), GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_TRUE(style & LVS_OWNERDATA);
  EXPECT_FALSE(style & LVS_SINGLESEL);
  EXPECT_TRUE(GetWindowLongPtrA(LoadedWindowHandle(kMainId, kSingle), GWL_STYLE) & LVS_SINGLESEL);
  EXPECT_TRUE(PropertyReadLogical(kMainId, kList, ListViewProperty::kGridLines));
  EXPECT_EQ(PropertyReadText(kMainId, kList, ListViewProperty::kColumns), "网址:160|大小:70:r|完整:40");

  PropertyWriteText(kMainId, kList, ListViewProperty::kColumns, "类别:50|浏览器:90");
  EXPECT_EQ(PropertyReadText(kMainId, kList, ListViewProperty::kColumns), "类别:50|浏览器:90");
  PropertyWriteInteger(kMainId, kList, ListViewProperty::kSortColumn, 1);
  PropertyWriteLogical(kMainId, kList, ListViewProperty::kSortDescending, true);
  EXPECT_EQ(PropertyReadInteger(kMainId, kList, ListViewProperty::kSortColumn), 1);
  EXPECT_TRUE(PropertyReadLogical(kMainId, kList, ListViewProperty::kSortDescending));
}

TEST_F(ListViewTest, TenThousandRowsAreAskedForOnlyAsTheyAreDrawn) {
  RowsSet(10000);
  EXPECT_EQ(PropertyReadInteger(kMainId, kList, ListViewProperty::kRowCount), 10000);
  UpdateWindow(List());
  PumpMessages();
  // Only the rows in view are drawn: a few dozen cells, never ten thousand.
  EXPECT_GT(asked, 0);
  EXPECT_LT(asked, 200);
  EXPECT_EQ(CellOf(9876, 2), "第9876行2");
  // A buffer too small keeps whole characters: "第" is two bytes, "9" one.
  EXPECT_EQ(CellOf(9876, 0, 4), "第9");
  EXPECT_EQ(CellOf(9876, 0, 3), "第");
  EXPECT_EQ(CellOf(9876, 0, 2), "");
}

TEST_F(ListViewTest, SelectionByNumberAndOneEventPerChange) {
  RowsSet(50);
  PumpMessages();
  EventLog().clear();
  PropertyWriteText(kMainId, kList, ListViewProperty::kSelectedRows, "2,5,9,99");
  EXPECT_EQ(Selected(), "2,5,9");
  EXPECT_EQ(PropertyReadInteger(kMainId, kList, ListViewProperty::kSelectedCount), 3);
  EXPECT_EQ(PropertyReadInteger(kMainId, kList, ListViewProperty::kSelectedRow), 2);
  EXPECT_EQ(PropertyValueInteger(PropertyRead(kMainId, kList, ListViewProperty::kSelectedRows, 1)), 5);
  EXPECT_EQ(PropertyValueInteger(PropertyRead(kMainId, kList, ListViewProperty::kSelectedRows, 3)), -1);
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"list:4"}));

  // Ctrl+A selects every row.
  EventLog().clear();
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  SetFocus(List());
  KeyPress(List(), 'A');
  keys[VK_CONTROL] = 0;
  SetKeyboardState(keys);
  PumpMessages();
  EXPECT_EQ(PropertyReadInteger(kMainId, kList, ListViewProperty::kSelectedCount), 50);
  EXPECT_EQ(EventLog(), (Log{"list:4"}));

  // New rows under the same numbers: the selection does not carry over.
  RowsSet(20);
  EXPECT_EQ(Selected(), "");
  PropertyWriteInteger(kMainId, kList, ListViewProperty::kSelectedRow, 7);
  EXPECT_EQ(Selected(), "7");

  // A single-selection list keeps the first row asked for.
  PropertyWriteInteger(kMainId, kSingle, ListViewProperty::kRowCount, 5);
  PropertyWriteText(kMainId, kSingle, ListViewProperty::kSelectedRows, "3,1");
  EXPECT_EQ(PropertyReadText(kMainId, kSingle, ListViewProperty::kSelectedRows), "3");
}

TEST_F(ListViewTest, SelectionIsReadFromAnotherThreadWhileTheWindowThreadPumps) {
  RowsSet(30);
  PropertyWriteText(kMainId, kList, ListViewProperty::kSelectedRows, "4,6");
  std::atomic<bool> done{false};
  Text fromWorker;
  std::int32_t count = 0;
  std::thread worker([&] {
    fromWorker = PropertyReadText(kMainId, kList, ListViewProperty::kSelectedRows);
    count = PropertyReadInteger(kMainId, kList, ListViewProperty::kRowCount);
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  worker.join();
  EXPECT_EQ(fromWorker, "4,6");
  EXPECT_EQ(count, 30);
}

TEST_F(ListViewTest, ColumnClickDoubleClickAndRightClickCarryRowAndColumn) {
  RowsSet(10);
  UpdateWindow(List());
  PumpMessages();
  EventLog().clear();

  HWND header = reinterpret_cast<HWND>(SendMessageA(List(), LVM_GETHEADER, 0, 0));
  RECT second{};
  SendMessageA(header, HDM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
  const LPARAM at = MAKELPARAM((second.left + second.right) / 2, (second.top + second.bottom) / 2);
  SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageA(header, WM_LBUTTONUP, 0, at);
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"list:1", "1"}));

  EventLog().clear();
  const POINT row3 = RowPoint(3);
  SendMessageA(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row3.x, row3.y));
  SendMessageA(List(), WM_LBUTTONUP, 0, MAKELPARAM(row3.x, row3.y));
  PumpMessages();
  ASSERT_FALSE(EventLog().empty());
  const auto doubleClick = std::find(EventLog().begin(), EventLog().end(), "list:2");
  ASSERT_NE(doubleClick, EventLog().end());
  ASSERT_NE(doubleClick + 1, EventLog().end());
  EXPECT_EQ(*(doubleClick + 1), "3,0");

  EventLog().clear();
  const POINT row5 = RowPoint(5);
  // The list view waits for the button's release after a right press (drag detection).
  PostMessageA(List(), WM_RBUTTONUP, 0, MAKELPARAM(row5.x, row5.y));
  SendMessageA(List(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(row5.x, row5.y));
  PumpMessages();
  const auto rightClick = std::find(EventLog().begin(), EventLog().end(), "list:3");
  ASSERT_NE(rightClick, EventLog().end());
  ASSERT_NE(rightClick + 1, EventLog().end());
  EXPECT_EQ((rightClick + 1)->substr(0, 4), "5,0,");
}

}  // namespace
