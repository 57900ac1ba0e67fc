// Recorded event sequences of loading, closing and modal windows, compared
// with the order the application's handlers rely on.
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

using Log = std::vector<std::string>;
constexpr UnitId kButton = ControlUnitId(1);
constexpr UnitId kOtherButton = ControlUnitId(2);

EventResult Refuse(const EventArgs&) { return EventResult::Of(0); }

class SequenceTest : public EngineTest {
 protected:
  // A main window with one button; a second window with one button.
  void Build(WindowProperties other = {}) {
    templates.WindowAdd(kMainId, WindowProperties{}, {40, 40, 300, 200});
    templates.ControlAdd(kMainId, kButton, kTypeButton, {}, {10, 10, 80, 24});
    templates.WindowAdd(kOtherId, other, {60, 60, 250, 150});
    templates.ControlAdd(kOtherId, kOtherButton, kTypeButton, {}, {10, 10, 80, 24});
  }
  void BindWindowEvents(WindowId id, const std::string& name) {
    for (std::int32_t event :
         {kEventCreated, kEventCloseRequest, kEventDestroying, kEventMoved, kEventResized}) {
      templates.Bind(id, 0, event, name);
    }
  }
};

TEST_F(SequenceTest, LoadRaisesCreatedMovedResizedThenFocusOnFirstControl) {
  Build();
  BindWindowEvents(kMainId, "main");
  templates.Bind(kMainId, kButton, kEventFocusGained, "button");
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"main:0", "main:3", "main:4", "button:-7"}));

  // Loading it again only brings it forward.
  EventLog().clear();
  EXPECT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PumpMessages();
  EXPECT_EQ(EventLog(), Log{});
}

TEST_F(SequenceTest, CloseRequestRaisesCloseThenDestroying) {
  Build();
  BindWindowEvents(kMainId, "main");
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND window = LoadedWindowHandle(kMainId);
  EventLog().clear();
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(EventLog(), (Log{"main:1", "main:2"}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

TEST_F(SequenceTest, CloseHandlerReturningFalseRefuses) {
  Build();
  templates.Bind(kMainId, 0, kEventCloseRequest, "main", Refuse);
  templates.Bind(kMainId, 0, kEventDestroying, "main");
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND window = LoadedWindowHandle(kMainId);
  SendMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(EventLog(), (Log{"main:1"}));
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(WindowIsLoaded(kMainId));
}

TEST_F(SequenceTest, DeferredCloseDestroysOnlyWhenTheMessageIsHandled) {
  Build();
  templates.Bind(kMainId, 0, kEventDestroying, "main");
  templates.Bind(kMainId, kButton, kEventClick, "button", [](const EventArgs&) {
    WindowCloseService(kMainId, false);
    // Still there while the handler runs.
    EventLog().push_back(IsWindowVisible(LoadedWindowHandle(kMainId)) ? "visible" : "gone");
    return EventResult::None();
  });
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  SendMessageA(LoadedWindowHandle(kMainId, kButton), BM_CLICK, 0, 0);
  EXPECT_TRUE(WindowIsClosing(kMainId));
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"button:0", "visible", "main:2"}));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

TEST_F(SequenceTest, CreatedHandlerClosingImmediatelyRaisesOnlyCreatedAndDestroying) {
  Build();
  templates.Bind(kMainId, 0, kEventCreated, "main", [](const EventArgs&) {
    WindowCloseService(kMainId, true);
    return EventResult::None();
  });
  for (std::int32_t event : {kEventDestroying, kEventMoved, kEventResized})
    templates.Bind(kMainId, 0, event, "main");
  templates.Start();
  EXPECT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"main:0", "main:2"}));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

TEST_F(SequenceTest, CreatedHandlerRequestingCloseStillGetsMovedAndResized) {
  Build();
  templates.Bind(kMainId, 0, kEventCreated, "main", [](const EventArgs&) {
    WindowCloseService(kMainId, false);
    return EventResult::None();
  });
  for (std::int32_t event : {kEventDestroying, kEventMoved, kEventResized})
    templates.Bind(kMainId, 0, event, "main");
  templates.Start();
  EXPECT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PumpMessages();
  EXPECT_EQ(EventLog(), (Log{"main:0", "main:3", "main:4", "main:2"}));
}

// Event 2 runs while the window and its controls still exist; the window
// counts as loaded until its system window is gone, and not after.
TEST_F(SequenceTest, DestroyingRunsWithTheControlsAliveAndTheWindowIsReleasedAfterIt) {
  Build();
  templates.Bind(kMainId, 0, kEventDestroying, "main", [](const EventArgs&) {
    EventLog().push_back(WindowIsLoaded(kMainId) ? "loaded" : "released");
    EventLog().push_back(IsWindow(LoadedWindowHandle(kMainId, kButton)) ? "button alive" : "button gone");
    return EventResult::None();
  });
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND window = LoadedWindowHandle(kMainId);
  WindowCloseService(kMainId, true);
  EXPECT_EQ(EventLog(), (Log{"main:2", "loaded", "button alive"}));
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

// A window marked as closing is destroyed (event 2) before the load builds
// it again (events 0, 3, 4); the old window's posted close does not reach
// the new one.
TEST_F(SequenceTest, LoadingAWindowThatIsClosingDestroysItBeforeBuildingItAgain) {
  Build();
  BindWindowEvents(kMainId, "main");
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND first = LoadedWindowHandle(kMainId);
  WindowCloseService(kMainId, false);
  EXPECT_TRUE(WindowIsClosing(kMainId));
  EventLog().clear();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  EXPECT_EQ(EventLog(), (Log{"main:2", "main:0", "main:3", "main:4"}));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(WindowIsClosing(kMainId));
  PumpMessages();
  EXPECT_TRUE(WindowIsLoaded(kMainId));
  EXPECT_TRUE(IsWindow(LoadedWindowHandle(kMainId)));
}

// While the modal window runs its loop the main window is disabled; the
// load returns after the modal window's destruction, with main enabled.
TEST_F(SequenceTest, ModalLoadReturnsAfterDestructionAndReenablesTheOthers) {
  Build();
  BindWindowEvents(kOtherId, "modal");
  templates.Bind(kOtherId, kOtherButton, kEventClick, "modalButton", [](const EventArgs&) {
    EventLog().push_back(IsWindowEnabled(LoadedWindowHandle(kMainId)) ? "main enabled" : "main disabled");
    WindowCloseService(kOtherId, false);
    return EventResult::None();
  });
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  HWND main = LoadedWindowHandle(kMainId);
  // Once the modal loop runs, a posted click reaches the modal button.
  struct Clicker {
    static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      if (WindowIsLoaded(kOtherId)) SendMessageA(LoadedWindowHandle(kOtherId, kOtherButton), BM_CLICK, 0, 0);
    }
  };
  SetTimer(nullptr, 0, 50, Clicker::Fire);
  EXPECT_TRUE(WindowLoadService(kOtherId, std::nullopt, true));
  EventLog().push_back(IsWindowEnabled(main) ? "returned, main enabled" : "returned, main disabled");
  EXPECT_EQ(EventLog(), (Log{"modal:0", "modal:3", "modal:4", "modalButton:0", "main disabled", "modal:2",
                             "returned, main enabled"}));
  EXPECT_FALSE(WindowIsLoaded(kOtherId));
}

TEST_F(SequenceTest, ModalLoopEndsAtQuitAndLeavesTheQuitMessageForTheOuterLoop) {
  Build();
  templates.Start();
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  PostQuitMessage(7);
  EXPECT_TRUE(WindowLoadService(kOtherId, std::nullopt, true));
  EXPECT_TRUE(WindowIsLoaded(kOtherId));  // the window stays; only the loop ended
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

TEST_F(SequenceTest, MessageLoopEndsWhenTheLastWindowIsDestroyed) {
  Build();
  templates.Bind(kMainId, 0, kEventCreated, "main", [](const EventArgs&) {
    WindowCloseService(kMainId, false);
    return EventResult::None();
  });
  templates.Bind(kMainId, 0, kEventDestroying, "main");
  templates.Start();
  StartWindowLoad(kMainId);
  MessageLoopRun();  // returns only through the quit message the engine posts
  EXPECT_EQ(EventLog(), (Log{"main:0", "main:2"}));
  EXPECT_FALSE(WindowIsLoaded(kMainId));
}

TEST_F(SequenceTest, NonModalLoadWithAParentThatIsNotLoadedFails) {
  Build();
  templates.Start();
  EXPECT_FALSE(WindowLoadService(kOtherId, kMainId, false));
  EXPECT_FALSE(WindowIsLoaded(kOtherId));
  ASSERT_TRUE(WindowLoadService(kMainId, std::nullopt, false));
  ASSERT_TRUE(WindowLoadService(kOtherId, kMainId, false));
  EXPECT_EQ(GetWindow(LoadedWindowHandle(kOtherId), GW_OWNER), LoadedWindowHandle(kMainId));
}

}  // namespace
