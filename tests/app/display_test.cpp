// The program started as a user starts it (working directory = the run folder), in a virtual X
// server: after a few seconds the screen is grabbed and the preview must show the box, not one
// flat colour. The window is saved as a picture for a person to look at.
#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "image/image.h"
#include "scratch_folder.h"

namespace {

// Runs a shell command; its standard output.
std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  std::array<char, 256> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe)) output += buffer.data();
  pclose(pipe);
  return output;
}

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive
};

// The area of the screen that is not the X server's black root window: the program's window.
Box windowArea(const kestrum::Image& screen) {
  Box box{screen.width, screen.height, -1, -1};
  for (int y = 0; y < screen.height; ++y)
    for (int x = 0; x < screen.width; ++x) {
      const uint8_t* p = screen.pixel(x, y);
      if (p[0] + p[1] + p[2] == 0) continue;
      box.left = std::min(box.left, x);
      box.top = std::min(box.top, y);
      box.right = std::max(box.right, x);
      box.bottom = std::max(box.bottom, y);
    }
  return box;
}

}  // namespace

TEST(Program, StartsAndDrawsThePreview) {
  const std::string folder = kestrum::test::freshFolderPrefix("app_display");
  const std::string shot = folder + "screen.png";
  const std::string command =
      std::string(KESTRUM_XVFB_RUN) + " -a -s '-screen 0 1280x1024x24' sh -c 'cd \"" +
      KESTRUM_RUN_DIR + "\" && { ./kestrum & pid=$!; sleep 6; " + KESTRUM_IMPORT +
      " -window root \"$0\"; if kill $pid; then echo running; fi; wait $pid; }' '" + shot +
      "' 2>&1";
  std::string output = run(command);
  EXPECT_NE(output.find("running"), std::string::npos) << "the program was gone:\n" << output;

  std::string error;
  auto screen = kestrum::loadImage(shot, &error);
  ASSERT_TRUE(screen) << error << "\n" << output;
  Box window = windowArea(*screen);
  ASSERT_GT(window.right - window.left, 700) << "no window on the screen";
  ASSERT_GT(window.bottom - window.top, 480);

  // The heart of the view (client 10..344 x 70..419, below a menu bar of unknown height): the
  // box stands out from the white background in many shades; a flat view has one colour.
  int marked = 0, total = 0;
  bool shades[256] = {};
  for (int y = window.top + 130; y < window.top + 380; ++y)
    for (int x = window.left + 60; x < window.left + 290; ++x) {
      const uint8_t* p = screen->pixel(x, y);
      if (std::min({p[0], p[1], p[2]}) < 200) ++marked;
      shades[(p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000] = true;
      ++total;
    }
  EXPECT_GT(marked, total / 10) << "the preview shows no box";
  EXPECT_GT(std::count(std::begin(shades), std::end(shades), true), 40) << "the preview is flat";

  // The window alone, for a person to look at.
  kestrum::Image crop =
      kestrum::makeImage(window.right - window.left + 1, window.bottom - window.top + 1);
  for (int y = 0; y < crop.height; ++y)
    std::copy_n(screen->pixel(window.left, window.top + y), crop.width * 4, crop.pixel(0, y));
  EXPECT_TRUE(kestrum::saveImage(crop, folder + "main_window.png"));
}

// With no display to open the window on, the program says why and ends with status 1 instead of
// waiting for events from a window nobody can see.
TEST(Program, WithoutADisplaySaysWhyAndEnds) {
  std::string output = run(std::string("cd \"") + KESTRUM_RUN_DIR +
                           "\" && env -u DISPLAY QT_QPA_PLATFORM=xcb timeout 60 ./kestrum 2>&1; "
                           "echo \"status $?\"");
  EXPECT_NE(output.find("kestrum: cannot start: "), std::string::npos) << output;
  EXPECT_NE(output.find("status 1"), std::string::npos) << output;
}
