// kilnshot as installed: started from a folder that holds no data, it finds the models in
// ../share/kestrum beside its executable and renders the default session.
#include <algorithm>
#include <iterator>

#include "image/image.h"
#include "install_support.h"

using namespace releasetest;

TEST(InstalledKilnshot, LayoutHoldsTheProgramsAndTheirData) {
  fs::path prefix = installIntoFreshPrefix("installed_layout") / "prefix";
  for (const char* file : {"bin/kilnshot", "share/kestrum/bin/shadow.a3d",
                           "share/kestrum/bin/box_curved.a3d", "share/kestrum/bin/shad20.png",
                           "share/kestrum/bin/front.png", "share/kestrum/help/manual.html"})
    EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
  int models = 0;
  for (const auto& entry : fs::directory_iterator(prefix / "share/kestrum/bin"))
    if (entry.path().extension() == ".a3d") ++models;
  EXPECT_EQ(models, 21) << "twenty box models and the shadow";
  // "Render Image" starts kilnshot from the program's data folder.
  EXPECT_TRUE(fs::is_symlink(prefix / "share/kestrum/kilnshot"));
  EXPECT_TRUE(fs::equivalent(prefix / "share/kestrum/kilnshot", prefix / "bin/kilnshot"));
}

TEST(InstalledKilnshot, RendersTheDefaultSessionFromAnyFolder) {
  fs::path folder = installIntoFreshPrefix("installed_kilnshot");
  fs::path elsewhere = folder / "elsewhere";
  fs::create_directories(elsewhere);
  fs::path shot = elsewhere / "shot.png";
  Result help =
      run("cd " + quoted(elsewhere) + " && " + quoted(folder / "prefix/bin/kilnshot") + " --help");
  EXPECT_EQ(help.status, 0) << help.output;
  Result render =
      run("cd " + quoted(elsewhere) + " && " + quoted(folder / "prefix/bin/kilnshot") +
          " --size 320x334 -o shot.png '" + KESTRUM_SOURCE_DIR + "/examples/default.ksm'");
  ASSERT_EQ(render.status, 0) << render.output;

  std::string error;
  auto picture = kestrum::loadImage(shot.string(), &error);
  ASSERT_TRUE(picture) << error;
  EXPECT_EQ(picture->width, 320);
  EXPECT_EQ(picture->height, 334);
  // The box stands out from the background in many shades; a render without models is flat.
  bool shades[256] = {};
  int dark = 0;
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < picture->width; ++x) {
      const uint8_t* p = picture->pixel(x, y);
      shades[(p[0] * 299 + p[1] * 587 + p[2] * 114) / 1000] = true;
      if (std::min({p[0], p[1], p[2]}) < 200) ++dark;
    }
  EXPECT_GT(std::count(std::begin(shades), std::end(shades), true), 40);
  EXPECT_GT(dark, picture->width * picture->height / 20);
}
