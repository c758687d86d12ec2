// Starts the toolkit on the platform the test executable is meant for, then runs the tests.
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include "toolkit/toolkit.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  setenv("QT_QPA_PLATFORM", KESTRUM_TK_PLATFORM, 1);
  if (!tkInit()) {
    std::fprintf(stderr, "cannot start the toolkit: %s\n", tkLastError().c_str());
    return 1;
  }
  return RUN_ALL_TESTS();
}
