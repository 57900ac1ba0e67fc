// The driver proves itself on a small program of known behaviour before it
// is trusted with the product: each test drives the fixture from outside
// and checks what the fixture did in answer.
#include <gtest/gtest.h>

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/linux_side.h"
#include "tests/e2e/driver/program.h"
#include "tests/e2e/fixture/fixture_ids.h"

namespace e2e {
namespace {

std::wstring FixtureExecutable() { return PathFromEnvironment(L"EE_FIXTURE_EXE"); }

class DriverTest : public testing::Test {
 protected:
  // Starts the fixture and waits for its window.
  Window Start(ProgramSetup setup = {}) {
    setup.executable = FixtureExecutable();
    setup.settings.reset();
    EXPECT_TRUE(program.Start(setup)) << program.Error();
    Window window = program.WaitWindow(kFixtureCaption);
    EXPECT_TRUE(window) << "the fixture's window did not appear";
    return window;
  }

  ProgramUnderTest program;
};

TEST_F(DriverTest, StartsACopyWithItsOwnEnvironmentAndFindsTheWindow) {
  ProgramSetup setup;
  setup.environment = {{L"EE_FIXTURE_GREETING", WideFromGbk("你好，驱动")}};
  const Window window = Start(setup);
  ASSERT_TRUE(window);

  EXPECT_EQ(window.Text(), kFixtureCaption);
  EXPECT_EQ(window.Width(), kFixtureWidth);
  EXPECT_EQ(window.Height(), kFixtureHeight);
  const POINT offset = OffsetFromScreenCentre(window);
  EXPECT_LE(std::abs(offset.x), 1);
  EXPECT_LE(std::abs(offset.y), 1);
  EXPECT_EQ(window.Child(kFixtureGreeting).Text(), "你好，驱动");

  // The program ran from the sandbox copy and saw the sandbox home folder.
  ASSERT_TRUE(WaitUntil([&] { return program.Files().Exists(L"program\\fixture.ini"); }));
  const std::optional<std::string> record = program.Files().ReadFile(L"program\\fixture.ini");
  ASSERT_TRUE(record);
  EXPECT_NE(record->find("Home=" + GbkFromWide(program.HomeFolder())), std::string::npos) << *record;
  EXPECT_NE(program.ExecutablePath(), FixtureExecutable());

  ASSERT_TRUE(window.CloseBox());
  EXPECT_EQ(program.WaitForExit(), kFixtureCloseExitCode);
}

TEST_F(DriverTest, RemovesAVariableFromTheProgramsEnvironment) {
  SetEnvironmentVariableW(L"EE_FIXTURE_GREETING", L"inherited");
  ProgramSetup setup;
  setup.environment = {{L"EE_FIXTURE_GREETING", std::nullopt}};
  const Window window = Start(setup);
  SetEnvironmentVariableW(L"EE_FIXTURE_GREETING", nullptr);
  ASSERT_TRUE(window);
  EXPECT_EQ(window.Child(kFixtureGreeting).Text(), "");
}

TEST_F(DriverTest, ReadsAndAnswersAMessageBox) {
  const Window window = Start();
  ASSERT_TRUE(window);
  const Window result = window.Child(kFixtureResult);
  ASSERT_EQ(result.Text(), "结果");

  ASSERT_TRUE(window.Child(kFixtureShowMessage).Click());
  MessageBoxWindow box = program.WaitMessageBox("夹具消息");
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Message(), "你好，这是夹具的消息。");
  EXPECT_TRUE(box.HasIcon());
  const std::vector<int> buttons = box.ButtonIds();
  EXPECT_NE(std::find(buttons.begin(), buttons.end(), IDOK), buttons.end());
  EXPECT_NE(std::find(buttons.begin(), buttons.end(), IDCANCEL), buttons.end());
  EXPECT_FALSE(box.Press(IDYES));  // a button the box does not have
  ASSERT_TRUE(box.Answer(IDCANCEL));
  EXPECT_TRUE(result.WaitText("取消"));

  // A real mouse press on the button works as well, and OK reaches the program.
  ASSERT_TRUE(window.Child(kFixtureShowMessage).MouseClick());
  box = program.WaitMessageBox("夹具消息");
  ASSERT_TRUE(box);
  ASSERT_TRUE(box.Answer(IDOK));
  EXPECT_TRUE(result.WaitText("确定"));
}

TEST_F(DriverTest, EscInTheFocusedControlOfAMessageBoxCancelsIt) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(window.Child(kFixtureShowMessage).Click());
  const MessageBoxWindow box = program.WaitMessageBox("夹具消息");
  ASSERT_TRUE(box);
  // The box's own thread has the focus on one of its buttons.
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(box.Frame().ThreadId()).TopLevel() == box.Frame(); }));
  ASSERT_TRUE(PressKeyInThread(box.Frame().ThreadId(), VK_ESCAPE));
  EXPECT_TRUE(box.Frame().WaitGone());
  EXPECT_TRUE(window.Child(kFixtureResult).WaitText("取消"));
}

TEST_F(DriverTest, EnterInAMessageBoxPressesItsDefaultButton) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(window.Child(kFixtureShowMessage).Click());
  const MessageBoxWindow box = program.WaitMessageBox("夹具消息");
  ASSERT_TRUE(box);
  ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(box.Frame().ThreadId()).TopLevel() == box.Frame(); }));
  ASSERT_TRUE(PressKeyInThread(box.Frame().ThreadId(), VK_RETURN));
  EXPECT_TRUE(box.Frame().WaitGone());
  EXPECT_TRUE(window.Child(kFixtureResult).WaitText("确定"));
}

TEST_F(DriverTest, RestartsTheSameCopyWithItsFilesKept) {
  const Window first = Start();
  ASSERT_TRUE(first);
  ASSERT_TRUE(program.Files().WriteFile(L"program\\kept.txt", "kept"));
  const DWORD firstId = program.Id();
  ASSERT_TRUE(first.CloseBox());
  ASSERT_EQ(program.WaitForExit(), kFixtureCloseExitCode);

  ASSERT_TRUE(program.Restart()) << program.Error();
  EXPECT_NE(program.Id(), firstId);
  const Window second = program.WaitWindow(kFixtureCaption);
  ASSERT_TRUE(second);
  EXPECT_NE(second, first);
  EXPECT_EQ(program.Files().ReadFile(L"program\\kept.txt"), "kept");
}

TEST_F(DriverTest, ChecksATickBoxAndTypesIntoTheBoxItEnables) {
  const Window window = Start();
  ASSERT_TRUE(window);
  const Window check = window.Child(kFixtureCheck);
  const Window edit = window.Child(kFixtureEdit);
  ASSERT_TRUE(check && edit);
  EXPECT_EQ(check.ClassName(), "Button");
  EXPECT_EQ(check.Text(), "启用输入");
  EXPECT_FALSE(check.IsChecked());
  EXPECT_FALSE(edit.IsEnabled());

  ASSERT_TRUE(check.SetChecked(true));
  EXPECT_TRUE(edit.WaitEnabled(true));
  ASSERT_TRUE(edit.TypeText("ab;中文"));
  // Typed characters went through the edit box's own handling: the
  // program's change notification mirrors every one of them.
  EXPECT_TRUE(window.Child(kFixtureMirror).WaitText("ab;中文"));
  EXPECT_EQ(edit.Text(), "ab;中文");

  ASSERT_TRUE(check.SetChecked(false));
  EXPECT_TRUE(edit.WaitEnabled(false));
  EXPECT_TRUE(edit.WaitText(" "));

  ASSERT_TRUE(edit.SetText("replaced"));
  EXPECT_EQ(edit.Text(), "replaced");
  EXPECT_EQ(window.ChildByClassText("static", "replaced"), window.Child(kFixtureMirror));
  EXPECT_FALSE(window.ChildByClassText("Button", "replaced"));
}

TEST_F(DriverTest, ReadsComboBoxItemsOfAnotherProcess) {
  const Window window = Start();
  ASSERT_TRUE(window);
  const Window combo = window.Child(kFixtureCombo);
  ASSERT_EQ(combo.ComboCount(), 3);
  EXPECT_EQ(combo.ComboItem(0), "甲盘");
  EXPECT_EQ(combo.ComboItem(1), "乙盘 (D:)");
  EXPECT_EQ(combo.ComboItem(2), "C:");
  EXPECT_EQ(combo.ComboItem(3), "");
  EXPECT_EQ(combo.ComboSelection(), 1);
}

TEST_F(DriverTest, TrayEventsReachTheWindowAndOnlyADoubleClickShowsIt) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(window.Child(kFixtureHide).Click());
  ASSERT_TRUE(window.WaitVisible(false));

  ASSERT_TRUE(window.SendTrayEvent(WM_LBUTTONUP));
  ASSERT_TRUE(window.SendTrayEvent(WM_RBUTTONUP));
  EXPECT_TRUE(window.Child(kFixtureTrayCount).WaitText("托盘:2"));
  EXPECT_FALSE(window.IsVisible());
  // A top-level window that is hidden is still found when asked for.
  EXPECT_FALSE(FindTopLevel(program.Id(), kFixtureCaption));
  EXPECT_EQ(FindTopLevel(program.Id(), kFixtureCaption, false), window);

  ASSERT_TRUE(window.SendTrayEvent(WM_LBUTTONDBLCLK));
  EXPECT_TRUE(window.WaitVisible(true));
  // Another icon's events are not this window's business.
  ASSERT_TRUE(window.SendTrayEvent(WM_LBUTTONDBLCLK, 101));
  EXPECT_TRUE(StaysTrue([&] { return window.IsVisible(); }, Milliseconds(300)));
}

TEST_F(DriverTest, DoubleClickOnALabel) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(window.Child(kFixtureDoubleClickLabel).MouseClick());
  EXPECT_TRUE(StaysTrue([&] { return MessageBoxes(program.Id()).empty(); }, Milliseconds(300)));
  ASSERT_TRUE(window.Child(kFixtureDoubleClickLabel).MouseDoubleClick());
  const MessageBoxWindow box = program.WaitMessageBox("夹具彩蛋");
  ASSERT_TRUE(box);
  EXPECT_EQ(box.Message(), "双击了");
  EXPECT_FALSE(box.HasIcon());
  EXPECT_EQ(box.ButtonIds(), std::vector<int>{IDOK});
  EXPECT_TRUE(box.Answer(IDOK));
}

TEST_F(DriverTest, EscInTheMainWindowEndsTheProgram) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(PressKeyInThread(window.ThreadId(), VK_ESCAPE));
  EXPECT_EQ(program.WaitForExit(), kFixtureCloseExitCode);
  EXPECT_FALSE(window.Exists());
}

TEST_F(DriverTest, ReadsTheExitCodeTheProgramEndsWith) {
  const Window window = Start();
  ASSERT_TRUE(window);
  ASSERT_TRUE(window.Child(kFixtureCheck).SetChecked(true));
  ASSERT_TRUE(window.Child(kFixtureEdit).WaitEnabled(true));
  ASSERT_TRUE(window.Child(kFixtureEdit).TypeText("42"));
  ASSERT_TRUE(window.Child(kFixtureMirror).WaitText("42"));
  ASSERT_TRUE(window.Child(kFixtureExit).Click());
  EXPECT_EQ(program.WaitForExit(), 42);
}

TEST_F(DriverTest, ReadsANegativeExitCodeAsNegative) {
  ProgramSetup setup;
  setup.executable = FixtureExecutable();
  setup.arguments = L"--exit-minus-one";
  ASSERT_TRUE(program.Start(setup)) << program.Error();
  EXPECT_EQ(program.WaitForExit(), -1);
}

TEST_F(DriverTest, WaitsAreBoundedAndFindLateWindows) {
  ProgramSetup setup;
  setup.executable = FixtureExecutable();
  setup.arguments = L"--delay=1500";
  ASSERT_TRUE(program.Start(setup)) << program.Error();
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(program.WaitWindow("没有这个窗口", Milliseconds(300)));
  // The given bound, not the default one, however loaded the machine.
  EXPECT_LT(GetTickCount64() - start, kDefaultTimeout.count());
  EXPECT_TRUE(program.WaitWindow(kFixtureCaption));
  EXPECT_FALSE(program.WaitForExit(Milliseconds(100)).has_value());
}

// From the Linux side: the program's one Unix process, seen running while it
// computes, asleep once it waits for input, gone once it has ended.
TEST_F(DriverTest, SeesFromTheLinuxSideWhetherTheProgramRuns) {
  KernelHandle busyEnd(CreateEventA(nullptr, TRUE, FALSE, kFixtureBusyEnd));
  ASSERT_TRUE(busyEnd);
  ProgramSetup setup;
  setup.executable = FixtureExecutable();
  setup.arguments = L"--busy";
  ASSERT_TRUE(program.Start(setup)) << program.Error();
  std::vector<unsigned long> unixProcess;
  ASSERT_TRUE(WaitUntil([&] {
    unixProcess = UnixProcessesOf(program.ExecutablePath());
    return !unixProcess.empty();
  }));
  ASSERT_EQ(unixProcess.size(), 1u);
  EXPECT_TRUE(WaitUntil([&] { return ThreadStates(unixProcess[0]).find('R') != std::string::npos; }));
  EXPECT_FALSE(WaitAllAsleep(unixProcess, Milliseconds(500), Milliseconds(2000)));

  ASSERT_TRUE(SetEvent(busyEnd.Get()));
  ASSERT_TRUE(program.WaitWindow(kFixtureCaption));
  EXPECT_TRUE(WaitAllAsleep(unixProcess, Milliseconds(500)));

  ASSERT_TRUE(program.WaitWindow(kFixtureCaption).Child(kFixtureExit).Click());
  ASSERT_TRUE(program.WaitForExit().has_value());
  EXPECT_TRUE(WaitUntil([&] { return ThreadStates(unixProcess[0]).empty(); }));
  EXPECT_TRUE(UnixProcessesOf(program.ExecutablePath()).empty());
}

TEST_F(DriverTest, EndsAHungProgramAndRemovesItsSandbox) {
  std::wstring root;
  KernelHandle watch;
  {
    ProgramUnderTest hung;
    ProgramSetup setup;
    setup.executable = FixtureExecutable();
    setup.arguments = L"--hang";
    ASSERT_TRUE(hung.Start(setup)) << hung.Error();
    root = hung.Files().Root();
    watch.Reset(OpenProcess(SYNCHRONIZE, FALSE, hung.Id()));
    ASSERT_TRUE(watch);
    EXPECT_FALSE(hung.WaitForExit(Milliseconds(200)).has_value());
  }
  EXPECT_EQ(WaitForSingleObject(watch.Get(), 10000), WAIT_OBJECT_0);
  EXPECT_FALSE(FolderExists(root));
}

TEST_F(DriverTest, ReportsAProgramThatCannotStart) {
  ProgramSetup setup;
  setup.executable = L"C:\\no\\such\\program.exe";
  EXPECT_FALSE(program.Start(setup));
  EXPECT_FALSE(program.Error().empty());
}

TEST(DriverPaths, TurnsLinuxPathsIntoWineDrivePaths) {
  EXPECT_EQ(WindowsPathFrom(L"/work/b/x.exe"), L"Z:\\work\\b\\x.exe");
  EXPECT_EQ(WindowsPathFrom(L"C:\\a\\b.exe"), L"C:\\a\\b.exe");
  EXPECT_EQ(FolderOf(L"C:\\a\\b.exe"), L"C:\\a");
  EXPECT_EQ(FileNameOf(L"C:\\a\\b.exe"), L"b.exe");
}

TEST(DriverEnvironment, ChangesReplaceVariablesWithoutRegardToCase) {
  SetEnvironmentVariableW(L"EE_DRIVER_PROBE", L"old");
  const std::wstring block =
      EnvironmentBlock({{L"ee_driver_probe", L"new"}, {L"EE_DRIVER_GONE", std::nullopt}});
  SetEnvironmentVariableW(L"EE_DRIVER_PROBE", nullptr);
  int probes = 0;
  for (const wchar_t* entry = block.c_str(); *entry; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    if (CompareStringOrdinal(text.c_str(), 16, L"EE_DRIVER_PROBE=", 16, TRUE) == CSTR_EQUAL) {
      ++probes;
      EXPECT_EQ(text.substr(16), L"new");
    }
    EXPECT_NE(text.rfind(L"EE_DRIVER_GONE=", 0), 0u);
  }
  EXPECT_EQ(probes, 1);
}

}  // namespace
}  // namespace e2e
