// Property access by number: clamping, stored values of windows that are not
// loaded, and reads from another thread while the window thread pumps.
#include <atomic>
#include <cstring>
#include <thread>

#include "engine_fixture.h"

namespace {

constexpr UnitId kCheck = ControlUnitId(1);
constexpr UnitId kEdit = ControlUnitId(2);
constexpr UnitId kLabel = ControlUnitId(3);

class PropertyTest : public EngineTest {
 protected:
  void SetUp() override {
    templates.WindowAdd(kMainId, WindowProperties{}, {40, 40, 300, 200});
    templates.ControlAdd(kMainId, kCheck, kTypeCheckBox, {}, {10, 10, 120, 20});
    templates.ControlAdd(kMainId, kEdit, kTypeEditBox, {}, {10, 40, 120, 24});
    templates.ControlAdd(kMainId, kLabel, kTypeLabel, {}, {10, 80, 120, 24});
    WindowProperties hidden;
    templates.WindowAdd(kOtherId, hidden, {60, 60, 200, 100}, 0);
    templates.Start();
  }
};

// Runs work on a worker thread while this (window) thread keeps dispatching.
template <class Work>
void OnWorkerWhilePumping(Work work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    PumpMessages();
  }
  worker.join();
}

// Cursor-file data of one 32x32 monochrome cursor with the given hot spot.
ByteArray CursorFileData(std::uint16_t hotX, std::uint16_t hotY) {
  constexpr std::uint32_t kStride = 4, kSide = 32;
  constexpr std::uint32_t kImageSize = 40 + 8 + 2 * kStride * kSide;
  ByteArray data(6 + 16 + kImageSize, 0);
  auto put16 = [&](std::size_t at, std::uint32_t v) {
    data[at] = static_cast<std::uint8_t>(v);
    data[at + 1] = static_cast<std::uint8_t>(v >> 8);
  };
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    put16(at, v & 0xFFFF);
    put16(at + 2, v >> 16);
  };
  put16(2, 2);  // cursor file
  put16(4, 1);  // one image
  data[6] = data[7] = kSide;
  put16(6 + 4, hotX);
  put16(6 + 6, hotY);
  put32(6 + 8, kImageSize);
  put32(6 + 12, 22);
  const std::size_t bitmap = 22;
  put32(bitmap, 40);                 // header size
  put32(bitmap + 4, kSide);          // width
  put32(bitmap + 8, kSide * 2);      // height: image and mask
  put16(bitmap + 12, 1);             // planes
  put16(bitmap + 14, 1);             // bits per pixel
  put32(bitmap + 40 + 4, 0xFFFFFF);  // second palette entry white
  for (std::uint32_t i = 0; i < kStride * kSide; ++i) data[bitmap + 48 + kStride * kSide + i] = 0xFF;
  return data;
}

ByteArray SystemPointer(LPCSTR id) {
  const auto number = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(id));
  ByteArray data(4, 0);
  std::memcpy(data.data(), &number, sizeof number);
  return data;
}

// The cursor the window sets when the mouse is over its client area.
HCURSOR ShownCursor(HWND window) {
  SetCursor(nullptr);
  SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  return GetCursor();
}

// Whether a cursor handle still names a cursor, and its hot spot.
bool CursorAlive(HCURSOR cursor, POINT* hotSpot = nullptr) {
  ICONINFO info{};
  if (!GetIconInfo(cursor, &info)) return false;
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (hotSpot != nullptr) *hotSpot = {static_cast<LONG>(info.xHotspot), static_cast<LONG>(info.yHotspot)};
  return info.fIcon == FALSE;
}

TEST_F(PropertyTest, CoordinatesAreClampedStoredAndApplied) {
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PropertyWriteInteger(kMainId, kEdit, kPropertyWidth, -5);
  RECT rect{};
  GetWindowRect(LoadedWindowHandle(kMainId, kEdit), &rect);
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyWidth), 0);

  PropertyWriteInteger(kMainId, kEdit, kPropertyLeft, 40000);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyLeft), 32627);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyTop), 40);  // the other coordinates stay
  PropertyWriteInteger(kMainId, kEdit, kPropertyTop, -40000);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyTop), -32627);

  // The stored record outlives the window.
  WindowCloseService(kMainId, true);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyLeft), 32627);
  EXPECT_EQ(PropertyReadInteger(kMainId, kEdit, kPropertyWidth), 0);
}

TEST_F(PropertyTest, CommonPropertiesOfAWindowNotLoadedComeFromItsRecord) {
  EXPECT_FALSE(PropertyReadLogical(kOtherId, 0, kPropertyVisible));
  EXPECT_TRUE(PropertyReadLogical(kMainId, 0, kPropertyVisible));
  EXPECT_TRUE(PropertyReadLogical(kMainId, kCheck, kPropertyVisible));
  EXPECT_EQ(PropertyReadInteger(kMainId, kCheck, kPropertyWidth), 120);
  PropertyWriteLogical(kMainId, kCheck, kPropertyDisabled, true);
  PropertyWriteText(kMainId, kCheck, kPropertyTag, "tag");
  EXPECT_TRUE(PropertyReadLogical(kMainId, kCheck, kPropertyDisabled));
  EXPECT_EQ(PropertyReadText(kMainId, kCheck, kPropertyTag), "tag");
  // A stored disabled bit is applied when the window is built.
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  EXPECT_FALSE(IsWindowEnabled(LoadedWindowHandle(kMainId, kCheck)));
}

TEST_F(PropertyTest, VisibilityWritesShowAndHideTheWindowAndItsControls) {
  ASSERT_TRUE(WindowLoadService(kOtherId, std::nullopt, false));
  HWND hidden = LoadedWindowHandle(kOtherId);
  EXPECT_FALSE(IsWindowVisible(hidden));
  PropertyWriteLogical(kOtherId, 0, kPropertyVisible, true);
  EXPECT_TRUE(IsWindowVisible(hidden));
  EXPECT_TRUE(PropertyReadLogical(kOtherId, 0, kPropertyVisible));

  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PropertyWriteLogical(kMainId, kEdit, kPropertyVisible, false);
  EXPECT_FALSE(IsWindowVisible(LoadedWindowHandle(kMainId, kEdit)));
  EXPECT_FALSE(PropertyReadLogical(kMainId, kEdit, kPropertyVisible));
  PropertyWriteLogical(kMainId, 0, kPropertyVisible, false);
  EXPECT_FALSE(IsWindowVisible(LoadedWindowHandle(kMainId)));
  PropertyWriteLogical(kMainId, 0, kPropertyVisible, true);
  EXPECT_TRUE(IsWindowVisible(LoadedWindowHandle(kMainId)));
}

TEST_F(PropertyTest, WorkerReadsAgreeWithWindowThreadWrites) {
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  for (bool checked : {true, false, true}) {
    PropertyWriteLogical(kMainId, kCheck, kPropertyChecked, checked);
    PropertyWriteText(kMainId, kEdit, kPropertyContent, checked ? "有" : "无");
    bool read = !checked;
    Text text;
    OnWorkerWhilePumping([&] {
      read = PropertyReadLogical(kMainId, kCheck, kPropertyChecked);
      text = PropertyReadText(kMainId, kEdit, kPropertyContent);
    });
    EXPECT_EQ(read, checked);
    EXPECT_EQ(text, checked ? "有" : "无");
  }
  // The user's click changes what the worker reads.
  SendMessageA(LoadedWindowHandle(kMainId, kCheck), BM_CLICK, 0, 0);
  bool read = true;
  OnWorkerWhilePumping([&] { read = PropertyReadLogical(kMainId, kCheck, kPropertyChecked); });
  EXPECT_FALSE(read);
}

TEST_F(PropertyTest, WorkerWritesAreCarriedOutOnTheWindowThread) {
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  OnWorkerWhilePumping([] { PropertyWriteText(kMainId, kLabel, kPropertyCaption, "从别处写入"); });
  EXPECT_EQ(PropertyReadText(kMainId, kLabel, kPropertyCaption), "从别处写入");
}

// A pointer given as cursor-file data makes a cursor the window owns: made
// at load (or when written to a loaded window), destroyed when another
// pointer replaces it or the window is destroyed.  System pointers are shared.
TEST_F(PropertyTest, MousePointerDataMakesACursorOwnedUntilReplacedOrClosed) {
  PropertyWrite(kMainId, 0, kPropertyMousePointer, PropertyValue(CursorFileData(5, 7)));
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND window = LoadedWindowHandle(kMainId);
  const HCURSOR loaded = ShownCursor(window);
  POINT hotSpot{};
  ASSERT_TRUE(CursorAlive(loaded, &hotSpot));
  EXPECT_EQ(hotSpot.x, 5);
  EXPECT_EQ(hotSpot.y, 7);

  PropertyWrite(kMainId, 0, kPropertyMousePointer, PropertyValue(SystemPointer(IDC_WAIT)));
  EXPECT_EQ(ShownCursor(window), LoadCursorA(nullptr, IDC_WAIT));
  EXPECT_FALSE(CursorAlive(loaded));

  PropertyWrite(kMainId, 0, kPropertyMousePointer, PropertyValue(CursorFileData(1, 2)));
  const HCURSOR written = ShownCursor(window);
  ASSERT_TRUE(CursorAlive(written, &hotSpot));
  EXPECT_EQ(hotSpot.x, 1);
  EXPECT_EQ(hotSpot.y, 2);
  WindowCloseService(kMainId, true);
  EXPECT_FALSE(CursorAlive(written));
  EXPECT_TRUE(CursorAlive(LoadCursorA(nullptr, IDC_WAIT)));  // the shared one stays
}

TEST_F(PropertyTest, FontPartsChangeTheLiveFont) {
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  constexpr std::int32_t kEditFont = 12;
  PropertyWrite(kMainId, kEdit, kEditFont, PropertyValue(true), 1);
  PropertyWrite(kMainId, kEdit, kEditFont, PropertyValue(MakeText("")), 6);
  PropertyWrite(kMainId, kEdit, kEditFont, PropertyValue(std::int32_t{3700}), 0);
  LOGFONTA font{};
  HFONT live = reinterpret_cast<HFONT>(SendMessageA(LoadedWindowHandle(kMainId, kEdit), WM_GETFONT, 0, 0));
  ASSERT_EQ(GetObjectA(live, sizeof font, &font), static_cast<int>(sizeof font));
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  EXPECT_STREQ(font.lfFaceName, "宋体");  // an empty face name is not usable
  EXPECT_EQ(font.lfEscapement, 100);      // tenths of a degree, modulo a full turn
  EXPECT_TRUE(std::get<bool>(PropertyRead(kMainId, kEdit, kEditFont, 1)));
}

}  // namespace
