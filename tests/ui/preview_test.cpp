// The preview and the final renderer show the same scene: the engine view grabbed after a frame
// and kilnshot's picture of the saved session, both at the preview's size, differ only a little.
#include <cmath>
#include <cstdlib>

#include "image/image.h"
#include "persist/session_record.h"
#include "shot/shot.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

// A picture with bands of colour, so a misplaced or missing cover shows in the comparison.
void writeBands(const fs::path& path, uint32_t a, uint32_t b) {
  kestrum::Image image = kestrum::makeImage(64, 64, a);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if ((x / 16 + y / 16) % 2) {
        uint8_t* p = image.pixel(x, y);
        for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(b >> (8 * c));
      }
  ASSERT_TRUE(kestrum::saveImage(image, path.string()));
}

kestrum::Image fromRgba(std::vector<uint8_t> pixels, int width, int height) {
  kestrum::Image image;
  image.width = width;
  image.height = height;
  image.pixels = std::move(pixels);
  return image;
}

double meanAbsoluteDifference(const kestrum::Image& a, const kestrum::Image& b) {
  double sum = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      for (int c = 0; c < 3; ++c) sum += std::abs(int(a.pixel(x, y)[c]) - int(b.pixel(x, y)[c]));
  return sum / (double(a.width) * a.height * 3);
}

// Share of pixels that differ from the background by more than a little.
double coverage(const kestrum::Image& image, int background) {
  int count = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.pixel(x, y);
      int d =
          std::abs(p[0] - background) + std::abs(p[1] - background) + std::abs(p[2] - background);
      count += d > 30 ? 1 : 0;
    }
  return double(count) / (double(image.width) * image.height);
}

class Preview : public UiTest {};

TEST_F(Preview, PreviewAndFinalRendererAgree) {
  if (tkEngineViewDriver() != kTkDriverSoftware && tkEngineViewDriver() != kTkDriverOpenGL)
    GTEST_SKIP() << "no OpenGL context for the preview here";
  writeBands(tmp / "front.png", 0xFF1060F0u, 0xFF20D0FFu);
  writeBands(tmp / "back.png", 0xFF30B030u, 0xFFF0F0F0u);
  writeBands(tmp / "left.png", 0xFFC02080u, 0xFF202020u);
  answers = {(tmp / "front.png").string(), (tmp / "back.png").string(),
             (tmp / "left.png").string()};
  control(kFrontButton);
  control(kBackButton);
  control(kLeftButton);
  click(kAntiAliasCheck, 0);
  typeInto(kWidthField, "335");
  typeInto(kHeightField, "350");

  struct Case {
    const char* name;
    int style;
    int background;  // 0 white, 1 black
    int angle;
  };
  const Case cases[] = {{"curved box on white", 3, 0, 0},
                        {"dvd case on black", 9, 1, 200},
                        {"thick book turned", 1, 0, 90}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    click(kFirstStyleButton + c.style - 1, 1);
    click(c.background ? kBlackRadio : kWhiteRadio, 1);
    click(kAngleScroll, c.angle);
    fs::path session = tmp / (std::string("case") + std::to_string(c.style) + ".ksm");
    answers = {session.string()};
    menu(kMenuSaveAs);
    ASSERT_TRUE(fs::exists(session));

    DrawFrame();
    int width = 0, height = 0;
    std::vector<uint8_t> grabbed = tkGrabEngineView(&width, &height);
    ASSERT_EQ(width, 335);
    ASSERT_EQ(height, 350);
    kestrum::Image preview = fromRgba(std::move(grabbed), width, height);

    fs::path out = tmp / (std::string("final") + std::to_string(c.style) + ".png");
    int status = kestrum::sys::runProgramAndWait(std::string(KESTRUM_RUN_DIR) + "/kilnshot",
                                                 {"-q", "-o", out.string(), session.string()},
                                                 KESTRUM_RUN_DIR);
    ASSERT_EQ(status, 0);
    auto final = kestrum::loadImage(out.string());
    ASSERT_TRUE(final.has_value());
    ASSERT_EQ(final->width, 335);
    ASSERT_EQ(final->height, 350);
    ASSERT_TRUE(kestrum::saveImage(
        preview, (tmp / (std::string("preview") + std::to_string(c.style) + ".png")).string()));

    int background = c.background ? 0 : 255;
    EXPECT_GT(coverage(preview, background), 0.05);  // the box is in the picture
    EXPECT_GT(coverage(*final, background), 0.05);
    double difference = meanAbsoluteDifference(preview, *final);
    std::printf("[ figures  ] %s: mean absolute difference %.3f of 255\n", c.name, difference);
    EXPECT_LT(difference, 3.0);
  }
}

// A session's relative cover path names the same file in the window and in kilnshot: first in
// the start-up folder (the run folder), then beside the session file.
TEST_F(Preview, RelativeCoverPathsFindTheSameFileInBothPrograms) {
  if (tkEngineViewDriver() != kTkDriverSoftware && tkEngineViewDriver() != kTkDriverOpenGL)
    GTEST_SKIP() << "no OpenGL context for the preview here";
  fs::path folder = tmp / "sessions";
  fs::create_directories(folder / "art");
  fs::create_directories(folder / "bin");
  writeBands(folder / "art" / "front.png", 0xFF1060F0u, 0xFF20D0FFu);
  // A decoy beside the session: the run folder's own bin/front.png comes first.
  writeBands(folder / "bin" / "front.png", 0xFF0000F0u, 0xFF00F000u);

  struct Case {
    const char* stored;
    std::string found;  // what the window's slot holds after opening
  };
  const Case cases[] = {{"art/front.png", (folder / "art" / "front.png").string()},
                        {"bin/front.png", "bin/front.png"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    kestrum::SessionRecord record = kestrum::newSessionRecord();
    record.CoverPaths[kSlotFront] = c.stored;
    record.OutputWidth = kPreviewWidth;
    record.OutputHeight = kPreviewHeight;
    record.AntiAlias = 0;
    record.PivotRotationY = -40.0f;  // the front faces the camera
    fs::path session = folder / "relative.ksm";
    ASSERT_TRUE(kestrum::writeSessionFile(session.string(), record));

    answers = {session.string()};
    menu(kMenuOpen);
    EXPECT_EQ(App.Covers[kSlotFront].Path, c.found);
    EXPECT_NE(App.Covers[kSlotFront].Texture, 0);
    DrawFrame();
    int width = 0, height = 0;
    std::vector<uint8_t> grabbed = tkGrabEngineView(&width, &height);
    ASSERT_EQ(width, kPreviewWidth);
    kestrum::Image preview = fromRgba(std::move(grabbed), width, height);

    fs::path out = tmp / "relative.png";
    int status =
        kestrum::sys::runProgramAndWait(std::string(KESTRUM_RUN_DIR) + "/kilnshot",
                                        {"-q", "-o", out.string(), session.string()}, tmp.string());
    ASSERT_EQ(status, 0);
    auto final = kestrum::loadImage(out.string());
    ASSERT_TRUE(final.has_value());
    double difference = meanAbsoluteDifference(preview, *final);
    std::printf("[ figures  ] %s: mean absolute difference %.3f of 255\n", c.stored, difference);
    EXPECT_LT(difference, 3.0);
  }
}

}  // namespace
}  // namespace uitest
