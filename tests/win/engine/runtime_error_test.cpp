// Each run-time error of the engine, provoked in a child copy of this test
// program: the child must show the error box with the exact text and end
// with exit code -1.
#include <cstdlib>
#include <string>

#include "engine_fixture.h"

namespace {

constexpr char kChildVariable[] = "EE_ENGINE_PROVOKE";
constexpr UnitId kButton = ControlUnitId(1);

void ChildTemplatesStart() {
  TestTemplates templates;
  templates.WindowAdd(kMainId, WindowProperties{});
  templates.ControlAdd(kMainId, kButton, kTypeButton, {}, {1, 1, 50, 20});
  // A unit of a type that raises no events (type 2 is not a control type).
  templates.ControlAdd(kMainId, ControlUnitId(2), 2, {}, {1, 30, 50, 20});
  WindowProperties broken;
  templates.WindowAdd(kOtherId, broken);
  ButtonProperties button;
  ByteArray block = ButtonPropertiesEncode(button);
  block[0] = 9;  // unsupported version: the window cannot be built
  templates.ControlAdd(kOtherId, ControlUnitId(3), kTypeButton, block, {1, 1, 50, 20});
  templates.Start();
}

// What the child does, by case number.
void Provoke(int which) {
  if (which == 0) {
    const std::uint8_t garbage[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    EngineStart(garbage, {});
    return;
  }
  ChildTemplatesStart();
  switch (which) {
    case 1:
      StartWindowLoad(kOtherId);
      break;
    case 2:
      PropertyRead(0x52019999, 0, kPropertyLeft);
      break;
    case 3:
      PropertyWrite(0x52019999, 0, kPropertyLeft, PropertyValue(std::int32_t{1}));
      break;
    case 4:
      PropertyRead(kMainId, kButton, 10);
      break;
    case 5:
      PropertyWriteText(kMainId, kButton, 10, "x");
      break;
    case 6:
      LoadedWindowHandle(kMainId, kButton);
      break;
    case 7:
      EventRaise(0x52019999, 0, 0);
      break;
    case 8:
      EventRaise(kMainId, ControlUnitId(77), 0);
      break;
    case 9:
      EventRaise(kMainId, ControlUnitId(2), 0);
      break;
    default:
      break;
  }
}

struct ErrorBox {
  std::string text;
  bool found = false;
};

struct ErrorBoxSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK ErrorBoxMatch(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ErrorBoxSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char caption[16] = {};
  GetWindowTextA(window, caption, sizeof caption);
  if (owner != search->processId || std::string(caption) != "错误" || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

// Finds the child's error box (caption "错误"), reads its text and presses OK.
ErrorBox ErrorBoxAnswer(DWORD processId) {
  ErrorBox box;
  for (int attempt = 0; attempt < 300 && !box.found; ++attempt) {
    Sleep(50);
    ErrorBoxSearch search{processId, nullptr};
    EnumWindows(ErrorBoxMatch, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) continue;
    // The message text is the box's static control (id 0xFFFF).
    HWND text = GetDlgItem(search.found, 0xFFFF);
    char buffer[512] = {};
    if (text != nullptr) SendMessageA(text, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
    box.text = buffer;
    box.found = true;
    PostMessageA(search.found, WM_COMMAND, IDOK, 0);
  }
  return box;
}

struct ChildResult {
  ErrorBox box;
  DWORD exitCode = 0;
};

ChildResult ChildRun(int which) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string command = std::string("\"") + path + "\" --gtest_filter=EngineErrorChild.Provoke";
  SetEnvironmentVariableA(kChildVariable, std::to_string(which).c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ChildResult result;
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                      &startup, &process);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  if (!started) return result;
  result.box = ErrorBoxAnswer(process.dwProcessId);
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 99);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

TEST(EngineErrorChild, Provoke) {
  const char* which = std::getenv(kChildVariable);
  if (which == nullptr) GTEST_SKIP() << "runs only as the child of EngineRuntimeErrors";
  Provoke(std::atoi(which));
  FAIL() << "no run-time error was raised";
}

TEST(EngineRuntimeErrors, EachErrorShowsItsTextAndEndsTheProgram) {
  const struct {
    int which;
    const char* text;
  } cases[] = {
      {0, "载入窗口模板数据段出错!"},
      {1, "载入启动窗口失败"},
      {2, "未载入欲访问窗口组件所在的窗口"},
      {3, "未载入欲访问窗口组件所在的窗口"},
      {4, "指定窗口尚未载入"},
      {5, "指定窗口尚未载入"},
      {6, "指定窗口或窗口组件不存在或尚未载入"},
      {7, "未找到引发事件的窗口"},
      {8, "未找到引发事件的窗口组件"},
      {9, "引发事件的窗口组件无效"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.which);
    const ChildResult result = ChildRun(c.which);
    ASSERT_TRUE(result.box.found);
    EXPECT_NE(result.box.text.find(std::string("错误信息：") + c.text), std::string::npos) << result.box.text;
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
  }
}

}  // namespace
