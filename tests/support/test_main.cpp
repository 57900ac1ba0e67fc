// Entry point of the in-process Windows tests: the runtime is started as
// the program starts it, so the tests see the same process state.
#include <gtest/gtest.h>

#include "runtime/core/program.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  RuntimeStart();
  return RUN_ALL_TESTS();
}
