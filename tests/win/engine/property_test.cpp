// Property access by number: clamping, stored values of windows that are not
// loaded, and reads from another thread while the window thread pumps.
#include <atomic>
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
