// Entry point of the in-process Windows tests: the runtime is started as
// the program starts it, so the tests see the same process state.
#include <gtest/gtest.h>

#include "runtime/core/program.h"
#include "tests/support/child_process.h"

int main(int argc, char** argv) {
  RuntimeStart();
  // A copy started by a test to run code that ends the process.
  if (const auto childExit = ChildRoutineRunFromCommandLine(argc, argv)) return *childExit;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
