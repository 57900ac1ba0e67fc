// The program started from a fresh sandbox with its first run done and its
// main window found: the starting point of most end-to-end tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "tests/e2e/session/main_window_parts.h"

namespace e2e {

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
