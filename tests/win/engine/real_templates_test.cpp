// The program's own window templates, loaded by the engine with recording
// handlers in place of the application's.
#include <string>
#include <utility>
#include <vector>

#include "engine_fixture.h"

#include <commctrl.h>

#include "runtime/windows/folder_control_kinds.h"
#include "runtime/windows/template_resource.h"
#include "window_ids.h"

namespace {

namespace M = MainWindowUnits;
namespace C = DirectoryChooserUnits;
namespace A = AboutWindowUnits;

// Which unit's handler ran, in order.
std::vector<UnitId>& Sources() {
  static std::vector<UnitId> sources;
  return sources;
}

EventResult SourceRecord(const EventArgs&) {
  Sources().push_back(CurrentEventSource().unit);
  return EventResult::None();
}

const std::vector<EventHandler>& RecordingHandlers() {
  static const std::vector<EventHandler> handlers(kTemplateHandlerCount, &SourceRecord);
  return handlers;
}

RECT RectInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class RealTemplatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FolderControlKindsRegister();
    EngineStart(TemplateBlockFromResource(), RecordingHandlers());
    Sources().clear();
  }
  void TearDown() override {
    for (WindowId id : {kMainWindow, kAboutWindow, kDirectoryChooser, kCachedMediaWindow}) {
      if (WindowIsLoaded(id)) WindowCloseService(id, true);
    }
    PumpMessages();
  }
};

TEST_F(RealTemplatesTest, MainWindowControlsAreBuiltAsStored) {
  ASSERT_TRUE(WindowLoadService(kMainWindow, std::nullopt, false));
  const auto handle = [](UnitId unit) { return LoadedWindowHandle(kMainWindow, unit); };
  // The last unit gets the first identifier; 名言 the last of the 21 older
  // controls, the button added before it in the table the one after.
  EXPECT_EQ(GetDlgCtrlID(handle(M::开始按钮)), 100);
  EXPECT_EQ(GetDlgCtrlID(handle(M::名言)), 300);
  EXPECT_EQ(GetDlgCtrlID(handle(M::已缓存媒体按钮)), 310);
  EXPECT_EQ(GetParent(handle(M::已缓存媒体按钮)), handle(0));

  EXPECT_EQ(GetParent(handle(M::提取视频勾选框)), handle(M::提取元素格式));
  EXPECT_EQ(GetParent(handle(M::提取音频勾选框)), handle(0));
  EXPECT_EQ(GetParent(handle(M::选择目录按钮)), handle(M::其他设置));
  const RECT browse = RectInParent(handle(M::选择目录按钮));
  EXPECT_EQ(browse.left, 122);
  EXPECT_EQ(browse.top, 17);
  EXPECT_EQ(browse.right - browse.left, 80);

  EXPECT_FALSE(IsWindowEnabled(handle(M::停止按钮)));
  EXPECT_FALSE(IsWindowEnabled(handle(M::用户自定义格式输入框)));
  EXPECT_EQ(SendMessageA(handle(M::用户自定义格式输入框), EM_GETLIMITTEXT, 0, 0), 400);
  EXPECT_TRUE(GetWindowLongPtrA(handle(M::开始按钮), GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(GetWindowLongPtrA(handle(M::当前目录), GWL_STYLE) & WS_TABSTOP);
  EXPECT_FALSE(PropertyReadLogical(kMainWindow, M::提取视频勾选框, kPropertyChecked));

  LOGFONTA font{};
  HFONT title = reinterpret_cast<HFONT>(SendMessageA(handle(M::主标题标签), WM_GETFONT, 0, 0));
  ASSERT_EQ(GetObjectA(title, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfHeight, -21);
  EXPECT_EQ(font.lfCharSet, 134);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(handle(M::开始按钮), WM_GETFONT, 0, 0)),
            static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));

  const LONG_PTR style = GetWindowLongPtrA(handle(0), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_EQ(PropertyReadText(kMainWindow, 0, 8), "Velmir网页元素提取工具 1.11.0122");
}

TEST_F(RealTemplatesTest, AboutTextBoxIsReadOnlyMultiLineWithItsOwnFont) {
  ASSERT_TRUE(WindowLoadService(kAboutWindow, std::nullopt, false));
  HWND box = LoadedWindowHandle(kAboutWindow, A::编辑框1);
  const LONG_PTR style = GetWindowLongPtrA(box, GWL_STYLE);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & WS_VSCROLL);
  EXPECT_GT(PropertyReadText(kAboutWindow, A::编辑框1, kPropertyContent).size(), 2000u);
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_EQ(font.lfHeight, -14);
}

TEST_F(RealTemplatesTest, EnterInTheChooserPathBoxClicksItsDefaultButton) {
  ASSERT_TRUE(WindowLoadService(kDirectoryChooser, std::nullopt, false));
  Sources().clear();
  KeyPress(LoadedWindowHandle(kDirectoryChooser, C::目标目录), VK_RETURN);
  EXPECT_EQ(Sources(), std::vector<UnitId>{C::按钮1});
}

TEST_F(RealTemplatesTest, CachedMediaWindowHoldsAVirtualListAndEnterFilters) {
  namespace K = CachedMediaWindowUnits;
  ASSERT_TRUE(WindowLoadService(kCachedMediaWindow, std::nullopt, false));
  HWND list = LoadedWindowHandle(kCachedMediaWindow, K::媒体列表);
  EXPECT_TRUE(GetWindowLongPtrA(list, GWL_STYLE) & LVS_OWNERDATA);
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 12);
  EXPECT_EQ(PropertyReadText(kCachedMediaWindow, K::媒体列表, ListViewProperty::kColumns),
            "网址:260|类别:40|格式:120|已有字节:90:r|完整长度:90:r|完整:40|时长:60:r|分辨率:80|编码:110|浏览器:70|缓存目录:220|最后写入:130");
  Sources().clear();
  KeyPress(LoadedWindowHandle(kCachedMediaWindow, K::网址筛选框), VK_RETURN);
  EXPECT_EQ(Sources(), std::vector<UnitId>{K::筛选按钮});
}

}  // namespace
