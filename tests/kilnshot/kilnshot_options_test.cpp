// kilnshot's shot options run as a user would: transparent pictures, the floor reflection, the
// series overrides, turntables and the command line's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"
#include "kilnshot/kilnshot.h"
#include "persist/session_record.h"
#include "system/system.h"
#include "viewport/viewport.h"

#include "kilnshot_fixture.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

class KilnshotOptions : public KilnshotRun {
 protected:
  // Renders `r` with `args` to `name` and loads the picture.
  Image shot(const SessionRecord& r, std::vector<std::string> args, const std::string& name) {
    std::string session = save(r, name + ".ksm");
    args.insert(args.end(), {"-o", (dir / name).string(), session});
    EXPECT_EQ(run(args), 0) << name << ": " << printed;
    return load(dir / name);
  }
  std::string gradientCover(const std::string& name, uint32_t topRgba, uint32_t bottomRgba) {
    Image im = makeImage(64, 64, topRgba);
    Image lower = makeImage(64, 32, bottomRgba);
    std::copy(lower.pixels.begin(), lower.pixels.end(), im.pixels.begin() + 64 * 32 * 4);
    std::string path = (dir / name).string();
    EXPECT_TRUE(saveImage(im, path));
    return path;
  }
};

// How far two pictures of one size are apart: the largest channel difference and the share of
// pixels that differ by more than `tolerance` in any channel, over the pixels `where` picks.
struct Difference {
  int largest = 0;
  double share = 0;
  int counted = 0;
};
template <typename Pick>
Difference compare(const Image& a, const Image& b, int tolerance, Pick where) {
  Difference d;
  int off = 0;
  EXPECT_EQ(a.width, b.width);
  EXPECT_EQ(a.height, b.height);
  if (a.width != b.width || a.height != b.height) return {255, 1.0, 0};
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      if (!where(x, y)) continue;
      int worst = 0;
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(a.pixel(x, y)[c] - b.pixel(x, y)[c]));
      d.largest = std::max(d.largest, worst);
      off += worst > tolerance;
      ++d.counted;
    }
  d.share = d.counted ? double(off) / d.counted : 0;
  return d;
}
Difference compare(const Image& a, const Image& b, int tolerance = 0) {
  return compare(a, b, tolerance, [](int, int) { return true; });
}

// Straight-alpha `top` laid over an opaque colour.
Image over(const Image& top, uint8_t level) {
  Image out = top;
  for (size_t i = 0; i < out.pixels.size(); i += 4) {
    double a = top.pixels[i + 3] / 255.0;
    for (int c = 0; c < 3; ++c)
      out.pixels[i + c] =
          static_cast<uint8_t>(std::lround(top.pixels[i + c] * a + level * (1 - a)));
    out.pixels[i + 3] = 255;
  }
  out.hasAlpha = false;
  return out;
}

bool greenish(const uint8_t* p) {
  return p[1] > p[0] + 40 && p[1] > p[2] + 40;
}
bool blueish(const uint8_t* p) {
  return p[2] > p[0] + 40 && p[2] > p[1] + 40;
}

// The lowest row in column x that is not pure white; -1 for none.
int lowestContent(const Image& im, int x) {
  for (int y = im.height - 1; y >= 0; --y) {
    const uint8_t* p = im.pixel(x, y);
    if (p[0] != 255 || p[1] != 255 || p[2] != 255) return y;
  }
  return -1;
}

}  // namespace

TEST_F(KilnshotOptions, TransparentShotOverWhiteAndBlackMatchesTheOpaqueRenders) {
  SessionRecord r = smallSession();
  r.CoverPaths[0] = gradientCover("cover.png", 0xFF2080E0u, 0xFF10C0F0u);
  Image clear = shot(r, {"--transparent"}, "clear.png");
  Image white = shot(r, {}, "white.png");
  r.Background = 1;
  Image black = shot(r, {}, "black.png");
  ASSERT_TRUE(clear.hasAlpha);

  // The background is fully transparent, the model opaque, its edges and the shadow in between.
  int transparent = 0, opaque = 0, partial = 0;
  for (size_t i = 3; i < clear.pixels.size(); i += 4) {
    transparent += clear.pixels[i] == 0;
    opaque += clear.pixels[i] == 255;
    partial += clear.pixels[i] > 0 && clear.pixels[i] < 255;
  }
  EXPECT_EQ(clear.pixel(0, 0)[3], 0);
  EXPECT_GT(transparent, clear.width * clear.height / 3);
  EXPECT_GT(opaque, clear.width * clear.height / 20);
  EXPECT_GT(partial, 100);

  // Over white: the white render, shadow and anti-aliased edges included.
  Difference onWhite = compare(over(clear, 255), white, 6);
  std::printf("over white: largest %d, share %.5f; ", onWhite.largest, onWhite.share);
  EXPECT_LE(onWhite.largest, 12);
  EXPECT_LT(onWhite.share, 0.002);
  // Over black, where the model is: the black render (no bright fringe at the edges either).
  Difference onBlack = compare(over(clear, 0), black, 6, [&](int x, int y) {
    return black.pixel(x, y)[3] == 255 &&
           !(black.pixel(x, y)[0] == 0 && black.pixel(x, y)[1] == 0 && black.pixel(x, y)[2] == 0);
  });
  std::printf("over black: largest %d, share %.5f of %d\n", onBlack.largest, onBlack.share,
              onBlack.counted);
  EXPECT_GT(onBlack.counted, 1000);
  EXPECT_LE(onBlack.largest, 8);
  EXPECT_LT(onBlack.share, 0.01);
}

TEST_F(KilnshotOptions, ReflectionMirrorsTheFrontCoverBelowTheModel) {
  SessionRecord r = smallSession();
  r.Shadows = 0;
  r.OutputWidth = 200;
  r.OutputHeight = 300;
  r.CoverPaths[0] = gradientCover("gb.png", 0xFF00FF00u, 0xFFFF0000u);  // green over blue
  const std::vector<std::string> view = {"--camera", "middle center"};
  Image plain = shot(r, view, "plain.png");
  Image mirrored = shot(r, {"--camera", "middle center", "--reflection", "1"}, "mirror.png");
  Image none = shot(r, {"--camera", "middle center", "--reflection", "0"}, "none.png");
  EXPECT_EQ(compare(none, plain).largest, 0);

  const int x = plain.width / 2;
  int bottom = lowestContent(plain, x);
  ASSERT_GT(bottom, 0);
  ASSERT_LT(bottom, plain.height - 20);
  // On the model: green above blue.
  int modelGreen = -1, modelBlue = -1;
  for (int y = 0; y <= bottom; ++y) {
    if (modelGreen < 0 && greenish(plain.pixel(x, y))) modelGreen = y;
    if (modelBlue < 0 && blueish(plain.pixel(x, y))) modelBlue = y;
  }
  ASSERT_GE(modelGreen, 0);
  ASSERT_GT(modelBlue, modelGreen);
  // Below it, in the mirror image: blue first, then green.
  int mirrorGreen = -1, mirrorBlue = -1;
  for (int y = bottom + 1; y < mirrored.height; ++y) {
    if (mirrorGreen < 0 && greenish(mirrored.pixel(x, y))) mirrorGreen = y;
    if (mirrorBlue < 0 && blueish(mirrored.pixel(x, y))) mirrorBlue = y;
  }
  ASSERT_GT(mirrorBlue, bottom) << "no reflection below row " << bottom;
  EXPECT_GT(mirrorGreen, mirrorBlue);
  // The plain picture has nothing there.
  EXPECT_EQ(lowestContent(plain, x), bottom);
  // It fades: deep below the floor line it is fainter than just below it.
  const uint8_t* near = mirrored.pixel(x, mirrorBlue + 2);
  const uint8_t* far = mirrored.pixel(x, mirrorGreen + 2);
  EXPECT_LT(near[0] + near[1], far[0] + far[2]);  // near: strong blue; far: pale green

  // On black and transparent backgrounds the mirror image shows too.
  r.Background = 1;
  Image onBlack = shot(r, {"--camera", "middle center", "--reflection", "1"}, "black.png");
  EXPECT_TRUE(blueish(onBlack.pixel(x, mirrorBlue + 2)));
  r.Background = 0;
  Image clear =
      shot(r, {"--camera", "middle center", "--reflection", "0.5", "--transparent"}, "clear.png");
  EXPECT_GT(clear.pixel(x, mirrorBlue + 2)[3], 0);
  EXPECT_LT(clear.pixel(x, mirrorBlue + 2)[3], 255);
  EXPECT_EQ(clear.pixel(x, clear.height - 1)[3], 0);
}

TEST_F(KilnshotOptions, EachOverrideActsAsTheSessionChangedTheSameWay) {
  const std::string red = (dir / "red.png").string();
  ASSERT_TRUE(saveImage(makeImage(64, 64, 0xFF0000FFu), red));
  struct Case {
    const char* name;
    std::vector<std::string> args;
    void (*change)(SessionRecord&, const std::string&);
  } cases[] = {
      {"style", {"--style", "20"}, [](SessionRecord& r, const std::string&) { r.Style = 20; }},
      {"camera by name",
       {"--camera", "top-left"},
       [](SessionRecord& r, const std::string&) {
         r.PivotRotationX = CameraPresetTable[1].X;
         r.PivotRotationY = CameraPresetTable[1].Y;
       }},
      {"camera by index",
       {"--camera", "9"},
       [](SessionRecord& r, const std::string&) {
         r.PivotRotationX = CameraPresetTable[9].X;
         r.PivotRotationY = CameraPresetTable[9].Y;
       }},
      {"cover",
       {"--cover", "FRONT=" + red},
       [](SessionRecord& r, const std::string& path) { r.CoverPaths[0] = path; }},
  };
  SessionRecord base = smallSession();
  base.PivotRotationY = 25;
  base.CameraZ = -6.0f;  // a stored zoom that a preset puts back home
  Image plain = shot(base, {}, "plain.png");
  for (const auto& c : cases) {
    Image overridden = shot(base, c.args, "override.png");
    SessionRecord changed = base;
    c.change(changed, red);
    if (c.args[0] == "--camera") changed.CameraZ = -5.0f;
    Image expected = shot(changed, {}, "expected.png");
    EXPECT_EQ(compare(overridden, expected).largest, 0) << c.name;
    EXPECT_GT(compare(overridden, plain, 8).share, 0.02) << c.name;
  }
  // The red cover shows on the front face.
  base.CoverPaths[0].clear();
  base.PivotRotationY = 0;
  base.CameraZ = -5.0f;
  Image covered = shot(base, {"--cover", "front=" + red}, "red.png");
  const uint8_t* p = covered.pixel(covered.width * 47 / 100, covered.height / 2);
  EXPECT_GT(p[0], 100);
  EXPECT_LT(p[1], p[0] / 3);
  // Camera names are found however they are written.
  for (const char* name : {"Top Left", "top-left", "TOP_LEFT", "topleft", "1"})
    EXPECT_EQ(cameraPresetFromText(name), 1) << name;
  EXPECT_EQ(cameraPresetFromText("middle center"), 5);
  EXPECT_EQ(cameraPresetFromText("default"), 0);
  for (const char* name : {"", "10", "left", "top-lef", "-1"})
    EXPECT_EQ(cameraPresetFromText(name), -1) << name;
}

TEST_F(KilnshotOptions, FormatWinsOverTheNameAndAdjustsTheEnding) {
  SessionRecord r = smallSession();
  r.OutputPath = (dir / "stored.png").string();
  std::string session = save(r, "s.ksm");
  struct Case {
    std::vector<std::string> args;
    const char* file;
    ImageFormat format;
  } cases[] = {
      {{"--format", "jpg", "-o", (dir / "named.png").string()}, "named.png", ImageFormat::Jpeg},
      {{"--format", "BMP", "-o", (dir / "named.jpg").string()}, "named.jpg", ImageFormat::Bmp},
      {{"--format", "jpeg"}, "stored.jpg", ImageFormat::Jpeg},
      {{"--format", "bmp"}, "stored.bmp", ImageFormat::Bmp},
      {{"--format", "png", "--transparent"}, "stored.png", ImageFormat::Png},
  };
  for (const auto& c : cases) {
    fs::remove(dir / c.file);
    std::vector<std::string> args = c.args;
    args.push_back(session);
    ASSERT_EQ(run(args), 0) << c.file << ": " << printed;
    auto bytes = sys::readFile((dir / c.file).string());
    ASSERT_TRUE(bytes) << c.file;
    EXPECT_EQ(detectImageFormat(bytes->data(), bytes->size()), c.format) << c.file;
  }
  EXPECT_FALSE(fs::exists(dir / "stored.jpg.png"));
}

TEST_F(KilnshotOptions, TurntableWritesNumberedFramesThatTurnFromTheStoredView) {
  SessionRecord r = smallSession();
  r.OutputWidth = 120;
  r.OutputHeight = 90;
  Image plain = shot(r, {}, "spin.png");
  fs::remove(dir / "spin.png");
  std::string session = save(r, "spin.ksm");
  ASSERT_EQ(run({"--turntable", "4", "-o", (dir / "spin.png").string(), session}), 0) << printed;
  std::vector<Image> frames;
  for (const char* name : {"spin_001.png", "spin_002.png", "spin_003.png", "spin_004.png"}) {
    frames.push_back(load(dir / name));
    EXPECT_EQ(frames.back().width, 120) << name;
    EXPECT_EQ(frames.back().height, 90) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "spin_005.png"));
  EXPECT_FALSE(fs::exists(dir / "spin.png"));
  EXPECT_EQ(compare(frames[0], plain).largest, 0);
  for (int i = 1; i < 4; ++i) EXPECT_GT(compare(frames[i], frames[0], 8).share, 0.02) << i;
  // A full turn later it is the plain picture again, and the next session starts unturned.
  SessionRecord other = r;
  other.Style = 9;
  std::string second = save(other, "second.ksm");
  ASSERT_EQ(run({"--turntable", "3", "--format", "bmp", session, second}), 0) << printed;
  Image again = load(dir / "spin_001.bmp");
  EXPECT_EQ(compare(again, plain).largest, 0);
  Image secondPlain = shot(other, {"--format", "bmp"}, "second_plain.bmp");
  EXPECT_EQ(compare(load(dir / "second_001.bmp"), secondPlain).largest, 0);
  EXPECT_TRUE(fs::exists(dir / "second_003.bmp"));
  EXPECT_FALSE(fs::exists(dir / "second_004.bmp"));
}

TEST_F(KilnshotOptions, BadValuesAreRefusedWithStatusTwoAndNothingIsWritten) {
  SessionRecord r = smallSession();
  r.OutputPath = (dir / "out.png").string();
  std::string session = save(r, "s.ksm");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--style", "0"}, "--style: bad style \"0\": give a number from 1 to 20"},
      {{"--style", "21"}, "from 1 to 20"},
      {{"--style", "3x"}, "--style"},
      {{"--camera", "sideways"}, "--camera: unknown preset \"sideways\""},
      {{"--camera", "10"}, "Bottom Right"},
      {{"--cover", "front"}, "--cover: bad value"},
      {{"--cover", "spine=a.png"}, "front, back, left, right, top or bottom"},
      {{"--cover", "front=/nonexistent/a.png"}, "--cover: no picture file"},
      {{"--format", "gif"}, "--format: unknown format \"gif\": give png, jpg or bmp"},
      {{"--reflection", "1.5"}, "--reflection: bad level"},
      {{"--reflection", "nan"}, "from 0 to 1"},
      {{"--turntable", "0"}, "--turntable: bad frame count"},
      {{"--turntable", "3601"}, "from 1 to 3600"},
      {{"--transparent", "--format", "jpg"}, "JPEG pictures have no transparency"},
      {{"--transparent", "-o", (dir / "x.jpg").string()}, "no transparency"},
      {{"--shiny"}, "unknown option --shiny"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(session);
    EXPECT_EQ(run(args), 2) << c.message;
    EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
    EXPECT_FALSE(fs::exists(dir / "out.png")) << c.message;
  }
  EXPECT_EQ(run({session, "--turntable"}), 2);
  EXPECT_NE(printed.find("--turntable needs a value"), std::string::npos) << printed;
  // A stored JPEG name with --transparent: that session is refused, the others go on.
  r.OutputPath = (dir / "stored.jpg").string();
  std::string jpeg = save(r, "jpeg.ksm");
  EXPECT_EQ(run({"--transparent", jpeg, session}), 1);
  EXPECT_NE(printed.find("no transparency"), std::string::npos) << printed;
  EXPECT_FALSE(fs::exists(dir / "stored.jpg"));
  EXPECT_TRUE(fs::exists(dir / "out.png"));
}

TEST(ShotWriter, WritesInOrderAndReportsFailures) {
  const fs::path dir = test::freshTestFolder();
  std::vector<std::string> done;
  std::vector<std::string> failures;
  {
    ShotWriter writer(1);
    for (int i = 0; i < 5; ++i) {
      std::string path = (dir / ("p" + std::to_string(i) + ".png")).string();
      if (i == 2) path = (dir / "missing" / "p2.png").string();
      writer.add(
          makeImage(16 + i, 8, 0xFF00FF00u), path, ImageFormat::Png,
          [&done, path](bool ok, const std::string&) { done.push_back((ok ? "+" : "-") + path); });
    }
    failures = writer.finish();
  }
  ASSERT_EQ(done.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_NE(done[i].find("p" + std::to_string(i)), std::string::npos);
  EXPECT_EQ(done[2][0], '-');
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_NE(failures[0].find("missing"), std::string::npos);
  auto four = loadImage((dir / "p4.png").string());
  ASSERT_TRUE(four);
  EXPECT_EQ(four->width, 20);
}

TEST(Compositing, OverKeepsStraightAlphaAndCoverage) {
  Image bottom = makeImage(1, 1, 0x80000000u);  // black at half coverage
  Image top = makeImage(1, 1, 0x800000FFu);     // red at half coverage
  compositeOver(bottom, top);
  const uint8_t* p = bottom.pixel(0, 0);
  EXPECT_NEAR(p[3], 192, 1);          // 1 - (1 - .5)(1 - .5)
  EXPECT_NEAR(p[0], 255 * 2 / 3, 2);  // red's share of the colour
  EXPECT_EQ(p[1], 0);
  Image clear = makeImage(1, 1, 0x00000000u);
  Image solid = makeImage(1, 1, 0xFF336699u);
  compositeOver(clear, solid);
  EXPECT_EQ(std::vector<uint8_t>(clear.pixels), std::vector<uint8_t>(solid.pixels));
}
