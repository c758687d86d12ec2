// Starts the toolkit on the platform the test executable is meant for, then runs the tests.
// The display tests need an X server: without one they run themselves again under xvfb-run.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "toolkit/toolkit.h"

namespace {

#ifdef KESTRUM_XVFB_RUN
void runUnderXvfbIfNoDisplay(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  if ((display && *display) || std::getenv("KESTRUM_TEST_UNDER_XVFB")) return;
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == "--gtest_list_tests") return;  // listing needs no display
  setenv("KESTRUM_TEST_UNDER_XVFB", "1", 1);
  std::vector<std::string> words = {KESTRUM_XVFB_RUN, "-a", "-s", "-screen 0 1280x1024x24"};
  for (int i = 0; i < argc; ++i) words.emplace_back(argv[i]);
  std::vector<char*> args;
  for (auto& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  execv(args[0], args.data());
  std::perror("cannot run xvfb-run");  // carry on: tkInit reports the missing display
}
#endif

}  // namespace

// Leak reports from the system's libraries (fontconfig keeps caches for the process's life) are
// not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libEGL_mesa.so\nleak:libGLX_mesa.so\nleak:swrast_dri.so\n"
         "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
#ifdef KESTRUM_XVFB_RUN
  runUnderXvfbIfNoDisplay(argc, argv);
#endif
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  setenv("QT_QPA_PLATFORM", KESTRUM_TK_PLATFORM, 1);
  if (!tkInit()) {
    std::fprintf(stderr, "cannot start the toolkit: %s\n", tkLastError().c_str());
    return 1;
  }
  return RUN_ALL_TESTS();
}
