#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image/image.h"
#include "kilnshot/kilnshot.h"
#include "persist/session_record.h"
#include "system/system.h"

#include "kilnshot_fixture.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

// A small session without anti-aliasing: these tests look at colours and places, not edges.
SessionRecord freshSession() {
  SessionRecord r = smallSession();
  r.AntiAlias = 0;
  return r;
}

class Kilnshot : public KilnshotRun {};

// Mean colour of a small block centred at fractions (fx, fy) of the picture.
std::array<double, 3> meanAround(const Image& im, double fx, double fy, int half = 3) {
  std::array<double, 3> sum{};
  int n = 0;
  int cx = static_cast<int>(fx * im.width), cy = static_cast<int>(fy * im.height);
  for (int y = cy - half; y <= cy + half; ++y)
    for (int x = cx - half; x <= cx + half; ++x) {
      const uint8_t* p = im.pixel(x, y);
      for (int c = 0; c < 3; ++c) sum[c] += p[c];
      ++n;
    }
  for (double& s : sum) s /= n;
  return sum;
}

bool isBackground(const uint8_t* p, uint8_t level) {
  return p[0] == level && p[1] == level && p[2] == level;
}

// Rows [top, bottom) of the picture that hold anything but the background.
std::pair<int, int> contentRows(const Image& im, uint8_t level) {
  int top = -1, bottom = -1;
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x)
      if (!isBackground(im.pixel(x, y), level)) {
        if (top < 0) top = y;
        bottom = y + 1;
        break;
      }
  return {top, bottom};
}

}  // namespace

TEST_F(Kilnshot, FrontCoverColourShowsOnTheFrontFace) {
  ASSERT_TRUE(saveImage(makeImage(64, 64, 0xFF0000FFu), (dir / "red.png").string()));
  SessionRecord r = freshSession();
  r.CoverPaths[0] = (dir / "red.png").string();
  r.OutputPath = (dir / "shot.png").string();
  ASSERT_EQ(run({save(r, "red.ksm")}), 0) << printed;
  Image shot = load(dir / "shot.png");
  auto front = meanAround(shot, 0.47, 0.5);
  EXPECT_GT(front[0], 100);
  EXPECT_LT(front[1], front[0] * 0.35);
  EXPECT_LT(front[2], front[0] * 0.35);
  // With the stock cover the same place is grey, not red.
  r.CoverPaths[0].clear();
  ASSERT_EQ(run({save(r, "stock.ksm")}), 0) << printed;
  auto stock = meanAround(load(dir / "shot.png"), 0.47, 0.5);
  EXPECT_LT(std::abs(stock[0] - stock[2]), 40);
}

TEST_F(Kilnshot, PictureHasTheStoredSizeInEachFormat) {
  struct Case {
    const char* name;
    int w, h;
  } cases[] = {
      {"odd.png", 333, 257}, {"tall.jpg", 121, 400}, {"wide.bmp", 401, 99}, {"other.tif", 64, 64}};
  for (const auto& c : cases) {
    SessionRecord r = freshSession();
    r.OutputWidth = c.w;
    r.OutputHeight = c.h;
    r.OutputPath = (dir / c.name).string();
    ASSERT_EQ(run({save(r, "size.ksm")}), 0) << printed;
    auto bytes = sys::readFile((dir / c.name).string());
    ASSERT_TRUE(bytes) << c.name;
    ImageFormat expected = formatFromFileName(c.name);
    if (expected == ImageFormat::Unknown) expected = ImageFormat::Png;
    EXPECT_EQ(detectImageFormat(bytes->data(), bytes->size()), expected) << c.name;
    Image shot = load(dir / c.name);
    EXPECT_EQ(shot.width, c.w) << c.name;
    EXPECT_EQ(shot.height, c.h) << c.name;
  }
}

TEST_F(Kilnshot, BlackBackgroundHidesTheShadow) {
  SessionRecord r = freshSession();
  r.OutputPath = (dir / "white.png").string();
  ASSERT_EQ(run({save(r, "w.ksm")}), 0) << printed;
  r.Background = 1;
  r.OutputPath = (dir / "black.png").string();
  ASSERT_EQ(run({save(r, "b.ksm")}), 0) << printed;
  r.Background = 0;
  r.Shadows = 0;
  r.OutputPath = (dir / "noshadow.png").string();
  ASSERT_EQ(run({save(r, "n.ksm")}), 0) << printed;
  Image white = load(dir / "white.png"), black = load(dir / "black.png"),
        plain = load(dir / "noshadow.png");
  // Below the model: the shadow darkens the white floor; black and shadowless have none.
  int shaded = 0, blackLit = 0, plainShaded = 0;
  auto [top, bottom] = contentRows(plain, 255);
  ASSERT_GT(bottom, 0);
  for (int y = bottom; y < std::min(bottom + 20, white.height); ++y)
    for (int x = 0; x < white.width; ++x) {
      shaded += white.pixel(x, y)[0] < 250;
      blackLit += !isBackground(black.pixel(x, y), 0);
      plainShaded += plain.pixel(x, y)[0] < 250;
    }
  EXPECT_GT(shaded, 20);
  EXPECT_EQ(blackLit, 0);
  EXPECT_EQ(plainShaded, 0);
  EXPECT_TRUE(isBackground(black.pixel(0, 0), 0));
  EXPECT_TRUE(isBackground(white.pixel(0, 0), 255));
}

TEST_F(Kilnshot, AntiAliasingBlendsTheSilhouette) {
  // On black, a pixel on the silhouette is either background or model without anti-aliasing;
  // with it, edge pixels take in-between levels. Compare the steps across each row's left edge.
  auto edgeBlend = [&](int antiAlias) {
    SessionRecord r = freshSession();
    r.Background = 1;
    r.AntiAlias = antiAlias;
    r.OutputPath = (dir / "aa.png").string();
    EXPECT_EQ(run({save(r, "aa.ksm")}), 0) << printed;
    Image im = load(dir / "aa.png");
    int blended = 0;
    for (int y = 0; y < im.height; ++y) {
      for (int x = 0; x + 1 < im.width; ++x) {
        if (!isBackground(im.pixel(x, y), 0)) {
          // The first lit pixel of the row, and its neighbour inside the model.
          int first = im.pixel(x, y)[1], inner = im.pixel(x + 1, y)[1];
          if (first > 0 && inner > 8 && first < inner * 0.8) ++blended;
          break;
        }
      }
    }
    return blended;
  };
  int without = edgeBlend(0), with = edgeBlend(1);
  EXPECT_GT(with, 30) << "without: " << without;
  EXPECT_GT(with, 2 * without) << with;
}

TEST_F(Kilnshot, WiderPicturesKeepTheHeightAndNarrowerOnesTheWidth) {
  auto extent = [&](int w, int h) {
    SessionRecord r = freshSession();
    r.OutputWidth = w;
    r.OutputHeight = h;
    r.Shadows = 0;
    r.OutputPath = (dir / "frame.png").string();
    EXPECT_EQ(run({save(r, "frame.ksm")}), 0) << printed;
    Image im = load(dir / "frame.png");
    auto [top, bottom] = contentRows(im, 255);
    int left = im.width, right = -1;
    for (int y = 0; y < im.height; ++y)
      for (int x = 0; x < im.width; ++x)
        if (!isBackground(im.pixel(x, y), 255)) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return std::array<double, 2>{double(right + 1 - left) / w, double(bottom - top) / h};
  };
  auto base = extent(335, 350);
  auto wide = extent(700, 350);    // same height: same vertical extent
  auto narrow = extent(200, 350);  // narrower: the model keeps its width in the picture
  EXPECT_NEAR(wide[1], base[1], 0.02);
  EXPECT_NEAR(narrow[0], base[0], 0.03);
  EXPECT_LT(narrow[1], base[1]);
}

TEST_F(Kilnshot, RefusesRecordsItCannotUseAndWritesNothing) {
  struct Case {
    const char* name;
    void (*change)(SessionRecord&);
    const char* message;
  } cases[] = {
      {"style 0", [](SessionRecord& r) { r.Style = 0; }, "box style 0"},
      {"style 999", [](SessionRecord& r) { r.Style = 999; }, "box style 999"},
      {"width 0", [](SessionRecord& r) { r.OutputWidth = 0; }, "picture size"},
      {"negative height", [](SessionRecord& r) { r.OutputHeight = -5; }, "picture size"},
      {"too wide", [](SessionRecord& r) { r.OutputWidth = 16385; }, "picture size"},
      {"filter 7", [](SessionRecord& r) { r.FilterType = 7; }, "texture filter 7"},
      {"no folder", [](SessionRecord& r) { r.OutputPath = "/nonexistent-folder/x.png"; },
       "does not exist"},
  };
  for (const auto& c : cases) {
    SessionRecord r = freshSession();
    r.OutputPath = (dir / "out.png").string();
    c.change(r);
    EXPECT_EQ(run({save(r, "bad.ksm")}), 1) << c.name;
    EXPECT_NE(printed.find(c.message), std::string::npos) << c.name << ": " << printed;
    EXPECT_FALSE(fs::exists(dir / "out.png")) << c.name;
    EXPECT_FALSE(fs::exists("/nonexistent-folder"));
  }
  // Unreadable jobs: missing, a folder.
  EXPECT_EQ(run({(dir / "missing.ksm").string()}), 1);
  EXPECT_NE(printed.find("cannot read the render job"), std::string::npos) << printed;
  EXPECT_EQ(run({dir.string()}), 1);
  EXPECT_NE(printed.find("cannot read the render job"), std::string::npos) << printed;
  // No file, temporary or not, is left in the output folder.
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".png") << entry.path();
}

TEST_F(Kilnshot, HandOffFileWithNoOutputPathWritesIntoTheProfileFolder) {
  SessionRecord r = freshSession();
  ASSERT_TRUE(writeSessionFile((dir / "home" / "kestrum.tmp").string(), r));
  ASSERT_EQ(run({}), 0) << printed;
  EXPECT_TRUE(fs::exists(dir / "home" / "kestrum_render.png"));
  EXPECT_NE(printed.find("kestrum_render.png"), std::string::npos) << printed;
  // Without a hand-off file there is nothing to render.
  fs::remove(dir / "home" / "kestrum.tmp");
  EXPECT_EQ(run({}), 1);
  EXPECT_NE(printed.find("kestrum.tmp"), std::string::npos) << printed;
}

TEST_F(Kilnshot, CommandLine) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(run({"--version"}), 0);
  EXPECT_EQ(run({"--frobnicate"}), 2);
  EXPECT_NE(printed.find("unknown option --frobnicate"), std::string::npos);
  EXPECT_EQ(run({"--size", "12x"}), 2);
  EXPECT_EQ(run({"--size", "0x10"}), 2);
  EXPECT_EQ(run({"--size"}), 2);
  EXPECT_EQ(run({"-o", "x.png", "a.ksm", "b.ksm"}), 2);

  // A batch: sessions without an output path land beside themselves; --size overrides; one bad
  // session makes the status 1 without stopping the others.
  SessionRecord r = freshSession();
  std::string a = save(r, "a.ksm");
  r.Style = 20;
  std::string b = save(r, "b.ksm");
  r.Style = 77;
  std::string bad = save(r, "bad.ksm");
  EXPECT_EQ(run({"--size", "120x90", a, bad, b}), 1);
  for (const char* name : {"a.png", "b.png"}) {
    Image im = load(dir / name);
    EXPECT_EQ(im.width, 120) << name;
    EXPECT_EQ(im.height, 90) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "bad.png"));
  EXPECT_EQ(run({"-q", "-o", (dir / "one.jpg").string(), a}), 0);
  EXPECT_TRUE(printed.empty()) << printed;
  EXPECT_TRUE(fs::exists(dir / "one.jpg"));
}

TEST(Framing, FieldOfViewWidensOnlyForNarrowerPictures) {
  EXPECT_FLOAT_EQ(framingFieldOfView(335.0f / 350.0f), 45.0f);
  EXPECT_FLOAT_EQ(framingFieldOfView(2.0f), 45.0f);
  EXPECT_GT(framingFieldOfView(0.5f), 45.0f);
  EXPECT_LT(framingFieldOfView(0.01f), 180.0f);
}

TEST(RenderRecord, CheckNamesTheProblem) {
  SessionRecord r = freshSession();
  EXPECT_EQ(checkRenderRecord(r), "");
  r.LightRange = std::numeric_limits<float>::quiet_NaN();
  EXPECT_NE(checkRenderRecord(r).find("not finite"), std::string::npos);
}
