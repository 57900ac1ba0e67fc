#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "runtime/core/declared_function_binding.h"
#include "runtime/core/declared_functions.h"
#include "runtime/core/program.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_answerer.h"

namespace {

constexpr DWORD kTimeoutMs = 30000;

// A loader over the real system calls that records every step.
std::vector<std::string> gSteps;
std::map<HMODULE, std::string> gModuleNames;

std::string KeyText(const char* nameOrOrdinal) {
  if (IS_INTRESOURCE(nameOrOrdinal))
    return "#" + std::to_string(reinterpret_cast<std::uintptr_t>(nameOrOrdinal));
  return nameOrOrdinal;
}

HMODULE RecordedLoad(const char* fileName) {
  const HMODULE module = LoadLibraryA(fileName);
  gSteps.push_back(std::string(module ? "load " : "load failed ") + fileName);
  if (module != nullptr) gModuleNames[module] = fileName;
  return module;
}

NativeFunction RecordedFind(HMODULE module, const char* nameOrOrdinal) {
  gSteps.push_back("find " + KeyText(nameOrOrdinal) + " in " + gModuleNames[module]);
  return SystemLibraryLoader().find(module, nameOrOrdinal);
}

void RecordedRelease(HMODULE module) {
  gSteps.push_back("release " + gModuleNames[module]);
  FreeLibrary(module);
}

const LibraryLoader kRecordingLoader{RecordedLoad, RecordedFind, RecordedRelease};

void DummyExport() {}

// Knows only ordinal 17 and answers it with DummyExport.
NativeFunction OrdinalSeventeenFind(HMODULE module, const char* nameOrOrdinal) {
  RecordedFind(module, nameOrOrdinal);
  const bool seventeen =
      IS_INTRESOURCE(nameOrOrdinal) && reinterpret_cast<std::uintptr_t>(nameOrOrdinal) == 17;
  return seventeen ? &DummyExport : nullptr;
}

class DeclaredFunctions : public testing::Test {
 protected:
  void SetUp() override {
    gSteps.clear();
    gModuleNames.clear();
  }
  static NativeFunction SystemAddress(const char* library, const char* name) {
    return reinterpret_cast<NativeFunction>(GetProcAddress(GetModuleHandleA(library), name));
  }
};

std::intptr_t RowCall(DeclaredFunctionRow& row, std::initializer_list<std::uintptr_t> arguments) {
  return DeclaredFunctionRowCall(row, arguments.begin(), static_cast<int>(arguments.size()));
}

}  // namespace

TEST_F(DeclaredFunctions, FirstUseLoadsFromTheSearchListAndLaterUsesAreCached) {
  DeclaredFunctionRow row{"", "CreateThread"};
  const NativeFunction first = DeclaredFunctionResolve(row, kRecordingLoader);
  EXPECT_EQ(gSteps, (std::vector<std::string>{"load Kernel32.dll", "find CreateThread in Kernel32.dll"}));
  EXPECT_EQ(first, SystemAddress("kernel32.dll", "CreateThread"));
  EXPECT_NE(row.module.load(), nullptr);

  EXPECT_EQ(DeclaredFunctionResolve(row, kRecordingLoader), first);
  EXPECT_EQ(gSteps.size(), 2u) << "the second use must load nothing";

  DeclaredFunctionRowRelease(row, kRecordingLoader);
  EXPECT_EQ(gSteps.back(), "release Kernel32.dll");
  EXPECT_EQ(row.address.load(), nullptr);
}

TEST_F(DeclaredFunctions, ALaterLibraryIsFoundAfterTheEarlierOnesWereTriedAndReleased) {
  DeclaredFunctionRow row{"", "ShellExecuteA"};
  const NativeFunction found = DeclaredFunctionResolve(row, kRecordingLoader);
  std::vector<std::string> expected;
  for (const char* library : {"Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll"}) {
    expected.push_back(std::string("load ") + library);
    expected.push_back(std::string("find ShellExecuteA in ") + library);
    expected.push_back(std::string("release ") + library);
  }
  expected.push_back("load Shell32.dll");
  expected.push_back("find ShellExecuteA in Shell32.dll");
  EXPECT_EQ(gSteps, expected);
  EXPECT_EQ(found, SystemAddress("shell32.dll", "ShellExecuteA"));
  DeclaredFunctionRowRelease(row);
}

TEST_F(DeclaredFunctions, HashNamesAreOrdinalsModulo65536) {
  const LibraryLoader ordinalLoader{RecordedLoad, OrdinalSeventeenFind, RecordedRelease};
  for (const char* name : {"#17", "#65553"}) {
    gSteps.clear();
    DeclaredFunctionRow row{"", name};
    EXPECT_EQ(DeclaredFunctionResolve(row, ordinalLoader), &DummyExport) << name;
    EXPECT_EQ(gSteps, (std::vector<std::string>{"load Kernel32.dll", "find #17 in Kernel32.dll"})) << name;
    DeclaredFunctionRowRelease(row, ordinalLoader);
  }
  // Not a number after the "#": an ordinary name.
  gSteps.clear();
  DeclaredFunctionRow named{"User32.dll", "#1x"};
  const LibraryLoader answering{RecordedLoad,
                                [](HMODULE module, const char* key) -> NativeFunction {
                                  RecordedFind(module, key);
                                  return &DummyExport;
                                },
                                RecordedRelease};
  DeclaredFunctionResolve(named, answering);
  EXPECT_EQ(gSteps.back(), "find #1x in User32.dll");
  DeclaredFunctionRowRelease(named, answering);
}

TEST_F(DeclaredFunctions, ANamedLibraryIsTriedInTheProgramFolderFirstUnlessThePathIsAbsolute) {
  DeclaredFunctionRow relative{"Kernel32.dll", "GetTickCount"};
  DeclaredFunctionResolve(relative, kRecordingLoader);
  const std::string local = std::string(ProgramFolder()) + "\\Kernel32.dll";
  EXPECT_EQ(gSteps, (std::vector<std::string>{"load failed " + local, "load Kernel32.dll",
                                              "find GetTickCount in Kernel32.dll"}));
  DeclaredFunctionRowRelease(relative);

  gSteps.clear();
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  const std::string absolute = std::string(system) + "\\kernel32.dll";
  DeclaredFunctionRow absoluteRow{absolute, "GetTickCount"};
  EXPECT_EQ(DeclaredFunctionResolve(absoluteRow, kRecordingLoader),
            SystemAddress("kernel32.dll", "GetTickCount"));
  EXPECT_EQ(gSteps, (std::vector<std::string>{"load " + absolute, "find GetTickCount in " + absolute}));
  DeclaredFunctionRowRelease(absoluteRow);
}

TEST_F(DeclaredFunctions, CallsPassArgumentsInOrderAndReturnTheResult) {
  DeclaredFunctionRow mulDiv{"", "MulDiv"};
  EXPECT_EQ(RowCall(mulDiv, {10, 6, 3}), 20);
  EXPECT_EQ(RowCall(mulDiv, {10, 3, 6}), 5);
  DeclaredFunctionRow ticks{"", "GetTickCount"};
  const auto before = GetTickCount();
  EXPECT_LE(static_cast<DWORD>(RowCall(ticks, {})) - before, 1000u);
  DeclaredFunctionRowRelease(mulDiv);
  DeclaredFunctionRowRelease(ticks);
}

TEST_F(DeclaredFunctions, TheProgramTableCachesRowsOneAndTenSeparatelyAndReleasesAtEnd) {
  DeclaredFunctionModulesRelease();
  const auto block = DeclaredFunctionCall(kDeclaredGlobalAlloc, GMEM_FIXED, 16);
  ASSERT_NE(block, 0);
  EXPECT_EQ(DeclaredFunctionCall(kDeclaredGlobalFree, block), 0);
  EXPECT_EQ(DeclaredFunctionTableRow(kDeclaredGlobalAlloc).address.load(),
            SystemAddress("kernel32.dll", "GlobalAlloc"));

  const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(static_cast<BOOL>(DeclaredFunctionCall(kDeclaredCloseHandle, event)), TRUE);
  EXPECT_NE(DeclaredFunctionTableRow(kDeclaredCloseHandle).address.load(), nullptr);
  EXPECT_EQ(DeclaredFunctionTableRow(kDeclaredCloseHandleAgain).address.load(), nullptr);
  const HANDLE another = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(static_cast<BOOL>(DeclaredFunctionCall(kDeclaredCloseHandleAgain, another)), TRUE);
  EXPECT_EQ(DeclaredFunctionTableRow(kDeclaredCloseHandleAgain).address.load(),
            DeclaredFunctionTableRow(kDeclaredCloseHandle).address.load());

  DeclaredFunctionModulesRelease();
  for (int index = 0; index < kDeclaredFunctionCount; ++index) {
    EXPECT_EQ(DeclaredFunctionTableRow(index).address.load(), nullptr) << index;
    EXPECT_EQ(DeclaredFunctionTableRow(index).module.load(), nullptr) << index;
  }
}

EE_CHILD_ROUTINE(MissingSystemExport) {
  DeclaredFunctionRow row{"", "NoSuchExportAnywhere"};
  DeclaredFunctionResolve(row);
  return 0;
}

EE_CHILD_ROUTINE(MissingLibrary) {
  DeclaredFunctionRow row{"NoSuchLibrary.dll", "Anything"};
  DeclaredFunctionResolve(row);
  return 0;
}

// GetTickCount takes no arguments: called with two, it leaves them on the stack.
EE_CHILD_ROUTINE(WrongArgumentCount) {
  DeclaredFunctionRow row{"", "GetTickCount"};
  RowCall(row, {1, 2});
  return 5;
}

TEST(DeclaredFunctionErrors, AFunctionThatCannotBeFoundEndsTheProgramNamingIt) {
  ChildProcess system("MissingSystemExport");
  ChildProcess named("MissingLibrary");
  ASSERT_TRUE(system.Started() && named.Started());
  for (auto* child : {&system, &named}) {
    const HWND box = child->DialogWait("错误", kTimeoutMs);
    ASSERT_NE(box, nullptr);
    const std::string text = DialogAnswerer::View(box).MessageText();
    if (child == &system) {
      EXPECT_EQ(text,
                "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件中的输出命令“NoSuchExportAnywhere”\r\n");
    } else {
      EXPECT_EQ(
          text,
          "运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“NoSuchLibrary.dll”中的输出命令“Anything”\r\n");
    }
    DialogAnswerer::PressButton(box, IDOK);
    EXPECT_EQ(child->Wait(kTimeoutMs), -1);
  }
}

TEST(DeclaredFunctionErrors, AnUnbalancedStackIsErrorSixOnThe32BitBuild) {
  ChildProcess child("WrongArgumentCount");
  ASSERT_TRUE(child.Started());
#if defined(_M_IX86) || defined(__i386__)
  const HWND box = child.DialogWait("错误", kTimeoutMs);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(DialogAnswerer::View(box).MessageText(),
            "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：调用DLL命令后发现堆栈错误\r\n");
  DialogAnswerer::PressButton(box, IDOK);
  EXPECT_EQ(child.Wait(kTimeoutMs), -1);
#else
  // The 64-bit caller removes the arguments itself: extra ones are harmless.
  EXPECT_EQ(child.Wait(kTimeoutMs), 5);
#endif
}
