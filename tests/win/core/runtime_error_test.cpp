// Run-time errors and program end, each in a child process since they end it.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "runtime/commands/value_commands.h"
#include "runtime/core/program.h"
#include "runtime/core/runtime_error.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_answerer.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;

// The marker file the child's on-exit routine and listeners append to.
std::string gMarkerPath;

void MarkerAppend(const std::string& line) { std::ofstream(gMarkerPath, std::ios::app | std::ios::binary) << line << "\n"; }

void OnExitMarks() {
  MarkerAppend(GetCurrentThreadId() == MainThreadId() ? "exit routine on window thread"
                                                      : "exit routine elsewhere");
}

void ListenerMarks() { MarkerAppend("listener"); }

void MessageLoopRun() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

// Answers the child's error box: its text, after pressing OK.
std::string ErrorBoxAnswer(ChildProcess& child, DWORD* boxThread = nullptr) {
  const HWND box = child.DialogWait("错误", kTimeoutMs);
  if (box == nullptr) return "<no box>";
  if (boxThread != nullptr) *boxThread = GetWindowThreadProcessId(box, nullptr);
  std::string text = DialogAnswerer::View(box).MessageText();
  EXPECT_TRUE(DialogAnswerer::PressButton(box, IDOK));
  return text;
}

}  // namespace

EE_CHILD_ROUTINE(RaiseOnWindowThread) {
  gMarkerPath = argument;
  OnExitRoutineRegister(OnExitMarks);
  RuntimeErrorRaise(RuntimeErrorCodeText(kErrorStackImbalance), kErrorStackImbalance);
}

EE_CHILD_ROUTINE(RaiseOnWorkerThread) {
  gMarkerPath = argument;
  OnExitRoutineRegister(OnExitMarks);
  ShutdownListenerAdd(ListenerMarks);
  std::thread([] { RuntimeErrorRaise("载入启动窗口失败"); }).detach();
  MessageLoopRun();
  return 3;
}

EE_CHILD_ROUTINE(ReadInvalidTypeCode) {
  ValueFromBytes(ByteArray(8), 11);
  return 4;
}

EE_CHILD_ROUTINE(EndFromWorkerThread) {
  gMarkerPath = argument;
  OnExitRoutineRegister(OnExitMarks);
  ShutdownListenerAdd(ListenerMarks);
  std::thread([] { ProgramEnd(7); }).detach();
  MessageLoopRun();
  return 3;
}

EE_CHILD_ROUTINE(ErrorInsideExitRoutine) {
  gMarkerPath = argument;
  OnExitRoutineRegister([] {
    MarkerAppend("exit routine");
    RuntimeErrorRaise("inside");
  });
  ProgramEnd(0);
}

TEST(RuntimeError, ShowsOneBoxWithTheExactTextThenExitsMinusOneWithoutTheExitRoutine) {
  const std::string marker = TemporaryFilePath("raise");
  ChildProcess child("RaiseOnWindowThread", marker);
  ASSERT_TRUE(child.Started());
  DWORD boxThread = 0;
  EXPECT_EQ(ErrorBoxAnswer(child, &boxThread),
            "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
  EXPECT_EQ(boxThread, child.MainThreadId());
  EXPECT_EQ(child.Wait(kTimeoutMs), -1);
  EXPECT_FALSE(FileContent(marker).has_value());
}

TEST(RuntimeError, OnAWorkerTheBoxBelongsToTheWorkerAndTheWindowThreadEndsTheProgram) {
  const std::string marker = TemporaryFilePath("worker-raise");
  ChildProcess child("RaiseOnWorkerThread", marker);
  ASSERT_TRUE(child.Started());
  DWORD boxThread = 0;
  EXPECT_EQ(ErrorBoxAnswer(child, &boxThread), "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
  EXPECT_NE(boxThread, child.MainThreadId());
  EXPECT_EQ(child.Wait(kTimeoutMs), -1);
  // The orderly shutdown ran (listeners told) but the application's routine did not.
  EXPECT_EQ(FileContent(marker), "listener\n");
  DeleteFileA(marker.c_str());
}

TEST(RuntimeError, InvalidValueTypeCodeEndsTheProgram) {
  ChildProcess child("ReadInvalidTypeCode");
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(ErrorBoxAnswer(child), "运行时出错!\r\n\r\n错误信息：“欲取出数据的类型”参数值无效\r\n");
  EXPECT_EQ(child.Wait(kTimeoutMs), -1);
}

TEST(ProgramEnd, FromAWorkerRunsTheShutdownOnTheWindowThreadAndExitsWithTheCode) {
  const std::string marker = TemporaryFilePath("end");
  ChildProcess child("EndFromWorkerThread", marker);
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(child.Wait(kTimeoutMs), 7);
  EXPECT_EQ(FileContent(marker), "exit routine on window thread\nlistener\n");
  DeleteFileA(marker.c_str());
}

TEST(ProgramEnd, AnErrorInsideTheExitRoutineDoesNotRunItAgain) {
  const std::string marker = TemporaryFilePath("exit-error");
  ChildProcess child("ErrorInsideExitRoutine", marker);
  ASSERT_TRUE(child.Started());
  EXPECT_EQ(ErrorBoxAnswer(child), "运行时出错!\r\n\r\n错误信息：inside\r\n");
  EXPECT_EQ(child.Wait(kTimeoutMs), -1);
  EXPECT_EQ(FileContent(marker), "exit routine\n");
  DeleteFileA(marker.c_str());
}
