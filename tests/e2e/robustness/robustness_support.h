// What the robustness tests share: the program started with a class chosen,
// folder listings and the GBK form of the sandbox's paths.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/session/main_window_parts.h"

namespace e2e {

// Files (not folders) directly inside a folder.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const std::wstring& name : FolderList(folder)) {
    if (FileExists(folder + L"\\" + name)) names.push_back(name);
  }
  return names;
}

// The save folder's files besides the program and its settings.
inline std::vector<std::wstring> SavedFiles(const ProgramUnderTest& program) {
  std::vector<std::wstring> saved;
  const std::wstring exe = FileNameOf(program.ExecutablePath());
  for (const std::wstring& name : FilesIn(program.ProgramFolder())) {
    if (name != exe && name != L"setting.ini") saved.push_back(name);
  }
  return saved;
}

// The program started with its first run done and the main window found.
class RunningProgram : public testing::Test {
 protected:
  void SetUp() override {
    ProgramSetup setup;
    setup.executable = ProductExecutable();
    ASSERT_TRUE(program.Start(setup)) << program.Error();
    main = program.WaitWindow(kMainCaption);
    ASSERT_TRUE(main);
  }

  MainWindowParts Parts() const { return MainWindowParts(main); }

  bool Watching() const {
    return Parts().Stop().IsEnabled() && !Parts().Start().IsEnabled() && !Parts().WatchedBox().IsEnabled();
  }
  bool Idle() const {
    return Parts().Start().IsEnabled() && !Parts().Stop().IsEnabled() && Parts().WatchedBox().IsEnabled() &&
           Parts().Video().IsEnabled();
  }

  // Presses exit and expects the process to end with code 0.
  void ExitAndExpectCodeZero() {
    ASSERT_TRUE(Parts().Button("退出").Click());
    const std::optional<int> code = program.WaitForExit();
    ASSERT_TRUE(code) << "still running after exit was pressed";
    EXPECT_EQ(*code, 0);
  }

  ProgramUnderTest program;
  Window main;
};

}  // namespace e2e
