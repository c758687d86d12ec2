// Runs the application tests on Qt's offscreen platform, in the run folder so that bin/ is found
// the way the program finds it.
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/app.h"
#include "toolkit/toolkit.h"

// Leak reports from the system's libraries (fontconfig keeps caches for the process's life) are
// not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libEGL_mesa.so\nleak:libGLX_mesa.so\nleak:swrast_dri.so\n"
         "leak:libdbus-1.so\n";
}

namespace {

// The tests share one running program; it is released once at the end.
class ReleaseAtEnd : public ::testing::Environment {
 public:
  void TearDown() override {
    if (tkWindowIsOpen()) ReleaseApplication();
  }
};

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (chdir(KESTRUM_RUN_DIR) != 0) {
    std::perror("cannot enter the run folder " KESTRUM_RUN_DIR);
    return 1;
  }
  ::testing::AddGlobalTestEnvironment(new ReleaseAtEnd);
  return RUN_ALL_TESTS();
}
