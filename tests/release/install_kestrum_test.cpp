// The installed `kestrum` launcher started from an unrelated folder in a virtual X server: the
// program finds its data in share/kestrum, stays up, and draws the box in its preview.
#include <algorithm>
#include <iterator>

#include "image/image.h"
#include "install_support.h"

using namespace releasetest;

TEST(InstalledKestrum, LauncherStartsTheProgramWithItsData) {
  fs::path folder = installIntoFreshPrefix("installed_kestrum");
  fs::path prefix = folder / "prefix";
  ASSERT_TRUE(fs::is_regular_file(prefix / "libexec/kestrum/kestrum"));
  for (const char* file : {"share/applications/io.kestrum.Kestrum.desktop",
                           "share/metainfo/io.kestrum.Kestrum.metainfo.xml",
                           "share/icons/hicolor/48x48/apps/io.kestrum.Kestrum.png",
                           "share/icons/hicolor/256x256/apps/io.kestrum.Kestrum.png"})
    EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;

  fs::path shot = folder / "screen.png";
  // Started through a link, as a package manager's alternatives or a user's ~/bin would.
  fs::create_symlink(prefix / "bin/kestrum", folder / "kestrum-link");
  Result result = run(std::string(KESTRUM_XVFB_RUN) +
                      " -a -s '-screen 0 1280x1024x24' sh -c 'cd / && { \"$0\" & pid=$!; sleep "
                      "5; " +
                      KESTRUM_IMPORT +
                      " -window root \"$1\"; if kill $pid; then echo running; fi; wait $pid; }' " +
                      quoted(folder / "kestrum-link") + " " + quoted(shot));
  EXPECT_NE(result.output.find("running"), std::string::npos) << "the program was gone:\n"
                                                              << result.output;

  std::string error;
  auto screen = kestrum::loadImage(shot.string(), &error);
  ASSERT_TRUE(screen) << error << "\n" << result.output;
  // The program's window is what is not the root window's black; its preview shows the box in
  // many shades (a program without its models would show a flat view or no window at all).
  int left = screen->width, top = screen->height;
  for (int y = 0; y < screen->height; ++y)
    for (int x = 0; x < screen->width; ++x) {
      const uint8_t* p = screen->pixel(x, y);
      if (p[0] + p[1] + p[2] == 0) continue;
      left = std::min(left, x);
      top = std::min(top, y);
    }
  ASSERT_LT(left + 300, screen->width) << "no window on the screen";
  ASSERT_LT(top + 400, screen->height);
  bool shades[256] = {};
  for (int y = top + 130; y < top + 380; ++y)
    for (int x = left + 60; x < left + 290; ++x) {
      const uint8_t* p = screen->pixel(x, y);
      shades[(p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000] = true;
    }
  EXPECT_GT(std::count(std::begin(shades), std::end(shades), true), 40) << "the preview is flat";
}

TEST(InstalledKestrum, LauncherWithoutItsDataSaysWhyAndEnds) {
  fs::path folder = installIntoFreshPrefix("installed_kestrum_nodata");
  fs::remove_all(folder / "prefix/share/kestrum");
  Result result = run(quoted(folder / "prefix/bin/kestrum"));
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find("kestrum: cannot find the program's data"), std::string::npos)
      << result.output;
}
