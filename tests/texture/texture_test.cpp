#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "engine/engine.h"
#include "image/image.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "engine_queries.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

// Records what the progress window is asked to show.
struct FakeHost : ProgressWindowHost {
  bool openSucceeds = true;
  bool isOpen = false;
  int opens = 0, closes = 0;
  std::string title, label;
  int maximum = -1, value = -1;
  std::vector<int> values;          // every position set while open
  std::vector<std::string> labels;  // every label set while open

  bool open(const std::string& t) override {
    ++opens;
    if (!openSucceeds) return false;
    isOpen = true;
    title = t;
    return true;
  }
  void setMaximum(int m) override { maximum = m; }
  void setValue(int v) override {
    value = v;
    values.push_back(v);
  }
  void setText(const std::string& t) override {
    label = t;
    labels.push_back(t);
  }
  void raise(bool) override {}
  void close() override {
    ++closes;
    isOpen = false;
  }
};

class TextureTest : public testing::Test {
 protected:
  void SetUp() override {
    iInitEngine();
    App = AppState{};
    App.OptimizeTextures = 1;
    dir_ = test::freshTestFolder();
    fs::create_directories(dir_ / "profile");
    fs::create_directories(dir_ / "a");
    fs::create_directories(dir_ / "b");
    App.ProfileFolder = (dir_ / "profile").string() + "/";
    setProgressWindowHost(&host_);
  }
  void TearDown() override {
    CloseProgressWindow();
    setProgressWindowHost(nullptr);
  }

  // Writes a picture of the given size; the format follows the name's ending.
  std::string picture(const std::string& name, int width, int height, uint32_t rgba = 0xff2050a0u) {
    std::string path = (dir_ / name).string();
    SaveOptions options;
    options.pngLevel = 1;
    EXPECT_TRUE(saveImage(makeImage(width, height, rgba), path, options)) << path;
    return path;
  }

  std::vector<std::string> profileFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(dir_ / "profile"))
      files.push_back(entry.path().filename().string());
    return files;
  }

  fs::path dir_;
  FakeHost host_;
};

struct SizeCase {
  const char* label;
  int width, height;
  int side;   // the texture's side afterwards
  bool kept;  // used as loaded: no window, no resize
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SizeCase& c, std::ostream* os) {
  *os << c.label;
}

class SizeTest : public TextureTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(SizeTest, ResamplesToThePowerOfTwoSquareOfTheTable) {
  const SizeCase& c = GetParam();
  std::string path = picture(std::string(c.label) + ".png", c.width, c.height);
  EngineHandle texture = PrepareTexture(path);
  ASSERT_GT(texture, 0) << iLastLoadError();
  const test::PixelSize size = test::originalSizeOf(texture);
  if (c.kept) {
    EXPECT_EQ(size, (test::PixelSize{c.width, c.height}));
    EXPECT_EQ(iTextureName(texture), path);
    EXPECT_EQ(App.ProgressShown, 0);
    EXPECT_EQ(host_.opens, 0);
  } else {
    EXPECT_EQ(size, (test::PixelSize{c.side, c.side}));
    EXPECT_EQ(iTextureName(texture), resizedCopyPath(path));
    EXPECT_EQ(iFindTexture(path), 0);  // the first texture was freed
    EXPECT_EQ(App.ProgressShown, 1);
    EXPECT_EQ(host_.title, "Please Wait...");
    EXPECT_EQ(host_.label, "Preparing textures...");
    EXPECT_EQ(host_.value, 10);
  }
  EXPECT_TRUE(profileFiles().empty());
  EXPECT_EQ(iTextureCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Table, SizeTest,
                         testing::Values(SizeCase{"Tiny7x7", 7, 7, 8, false},
                                         SizeCase{"Wide512x256", 512, 256, 512, false},
                                         SizeCase{"Down600x400", 600, 400, 512, false},
                                         SizeCase{"Up641x100", 641, 100, 1024, false},
                                         SizeCase{"Tall100x2049", 100, 2049, 4096, false},
                                         SizeCase{"Photo5000x3000", 5000, 3000, 4096, false},
                                         SizeCase{"Huge8192x8192", 8192, 8192, 4096, false},
                                         SizeCase{"Small4x4", 4, 4, 8, false},
                                         SizeCase{"Kept8x8", 8, 8, 8, true},
                                         SizeCase{"Kept256x256", 256, 256, 256, true},
                                         SizeCase{"Kept4096x4096", 4096, 4096, 4096, true}),
                         [](const testing::TestParamInfo<SizeCase>& p) { return p.param.label; });

TEST(TextureTargetSide, FollowsTheTable) {
  struct Case {
    int s, side;
  };
  for (Case c :
       {Case{0, 8},       Case{1, 8},        Case{8, 8},       Case{9, 16},      Case{16, 16},
        Case{17, 32},     Case{33, 64},      Case{64, 64},     Case{65, 128},    Case{129, 256},
        Case{256, 256},   Case{257, 512},    Case{512, 512},   Case{513, 512},   Case{640, 512},
        Case{641, 1024},  Case{1024, 1024},  Case{1025, 2048}, Case{2048, 2048}, Case{2049, 4096},
        Case{5000, 4096}, Case{100000, 4096}})
    EXPECT_EQ(textureTargetSide(c.s), c.side) << c.s;
  EXPECT_TRUE(isTextureSizeKept(8, 8));
  EXPECT_TRUE(isTextureSizeKept(4096, 4096));
  EXPECT_FALSE(isTextureSizeKept(4, 4));
  EXPECT_FALSE(isTextureSizeKept(8192, 8192));
  EXPECT_FALSE(isTextureSizeKept(96, 96));
  EXPECT_FALSE(isTextureSizeKept(256, 128));
}

TEST_F(TextureTest, OptimizeOffKeepsTheSize) {
  App.OptimizeTextures = 0;
  std::string path = picture("photo.png", 600, 400);
  EngineHandle texture = PrepareTexture(path);
  ASSERT_GT(texture, 0);
  EXPECT_EQ(test::originalSizeOf(texture), (test::PixelSize{600, 400}));
  EXPECT_EQ(App.ProgressShown, 0);
  EXPECT_EQ(host_.opens, 0);
}

TEST_F(TextureTest, SamePathGivesTheSameHandleWithoutLoadingAgain) {
  for (auto [name, width, height] : {std::tuple{"square.png", 64, 64}, {"photo.jpg", 600, 400}}) {
    SCOPED_TRACE(name);
    std::string path = picture(name, width, height);
    EngineHandle first = PrepareTexture(path);
    ASSERT_GT(first, 0);
    int textures = iTextureCount();
    CloseProgressWindow();
    int opens = host_.opens;
    // The file is gone: only the texture already loaded can answer.
    ASSERT_TRUE(sys::deleteFile(path));
    EXPECT_EQ(PrepareTexture(path), first);
    EXPECT_EQ(iTextureCount(), textures);
    EXPECT_EQ(host_.opens, opens);
  }
}

TEST_F(TextureTest, MissingFileGivesZeroAndNoWindow) {
  EXPECT_EQ(PrepareTexture((dir_ / "missing.png").string()), 0);
  EXPECT_EQ(PrepareTexture(""), 0);
  std::string notAPicture = (dir_ / "text.png").string();
  std::string text = "not a picture";
  ASSERT_TRUE(sys::writeFileAtomic(notAPicture, text.data(), text.size()));
  EXPECT_EQ(PrepareTexture(notAPicture), 0);
  EXPECT_EQ(App.ProgressShown, 0);
  EXPECT_EQ(host_.opens, 0);
  EXPECT_EQ(iTextureCount(), 0);
}

TEST_F(TextureTest, TemporaryNamesAreValidStableAndDistinct) {
  const std::vector<std::string> paths = {"x.png",           "a/x.png",      "b/x.png",
                                          "a\\x.png",        "/abs/a/x.png", "/abs/b/x.png",
                                          "C:\\pics\\x.png", "../up/x.png",  "x.PNG"};
  std::vector<std::string> names;
  for (const std::string& path : paths) {
    std::string name = temporaryImageName(path);
    EXPECT_EQ(name, temporaryImageName(path));
    EXPECT_EQ(name.rfind("temp_", 0), 0u) << name;
    EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
    EXPECT_EQ(name.size(), 5u + 16u + 1u + std::string(sys::fileNamePart(path)).size()) << name;
    EXPECT_EQ(name.substr(name.size() - std::string(sys::fileNamePart(path)).size()),
              sys::fileNamePart(path));
    names.push_back(name);
  }
  std::vector<std::string> unique = names;
  std::sort(unique.begin(), unique.end());
  EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());

  EXPECT_EQ(intermediateCopyPath("a/x.png"), App.ProfileFolder + temporaryImageName("a/x.png"));
  EXPECT_EQ(resizedCopyPath("a/x.png"), intermediateCopyPath("a/x.png") + ".png");
  // A very long name still makes a valid file name and keeps its ending.
  std::string longName = std::string(300, 'n') + ".jpg";
  std::string name = temporaryImageName(longName);
  EXPECT_LE(name.size() + 4, 255u);
  EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
}

TEST_F(TextureTest, EmptyProfileFolderFallsBackToTheSystemTemporaryFolder) {
  App.ProfileFolder.clear();
  std::string folder = textureTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(sys::isDirectory(folder));
  EXPECT_NE(folder, sys::withTrailingSeparator(sys::currentDirectory()));
  std::string path = picture("a/photo.png", 30, 20);
  EngineHandle texture = PrepareTexture(path);
  EXPECT_EQ(test::originalSizeOf(texture).width, 32);
  EXPECT_FALSE(sys::fileExists(resizedCopyPath(path)));
  EXPECT_FALSE(sys::fileExists(intermediateCopyPath(path)));
}

TEST_F(TextureTest, RelativeAndAbsolutePathsWithFoldersAreResized) {
  picture("a/x.png", 100, 50, 0xff0000ffu);
  picture("b/x.png", 100, 50, 0xff00ff00u);
  std::string saved = sys::currentDirectory();
  ASSERT_TRUE(sys::setCurrentDirectory(dir_.string()));
  EngineHandle a = PrepareTexture("a/x.png");
  EngineHandle b = PrepareTexture("b/x.png");
  EngineHandle absolute = PrepareTexture((dir_ / "a" / "x.png").string());
  ASSERT_TRUE(sys::setCurrentDirectory(saved));
  for (EngineHandle t : {a, b, absolute}) {
    EXPECT_EQ(test::originalSizeOf(t), (test::PixelSize{128, 128})) << t;
  }
  EXPECT_NE(a, b);
  EXPECT_NE(a, absolute);
  EXPECT_TRUE(profileFiles().empty());
}

TEST_F(TextureTest, IntermediateCopyThatCannotBeWrittenKeepsTheTextureAtItsSize) {
  App.ProfileFolder = (dir_ / "no_such_folder").string() + "/";
  std::string path = picture("photo.png", 600, 400);
  EngineHandle texture = PrepareTexture(path);
  ASSERT_GT(texture, 0);
  EXPECT_EQ(iTextureName(texture), path);
  EXPECT_EQ(test::originalSizeOf(texture), (test::PixelSize{600, 400}));
  EXPECT_EQ(App.ProgressShown, 1);  // the caller closes it
  EXPECT_EQ(PrepareTexture(path), texture);
}

TEST_F(TextureTest, AdvancingUpdatesStepByTenAndWrapPastTheMaximum) {
  OpenProgressWindow("Please Wait...");
  for (int i = 0; i < 12; ++i) UpdateProgressWindow(-1, 100, "Preparing textures...");
  std::vector<int> afterOpen(host_.values.begin() + 1, host_.values.end());  // open shows 0
  EXPECT_EQ(afterOpen, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0, 10}));
  EXPECT_EQ(App.ProgressValue, 10);
  // Another value is shown as it is and leaves the counter alone.
  UpdateProgressWindow(55, 60, "x");
  EXPECT_EQ(host_.value, 55);
  EXPECT_EQ(host_.maximum, 60);
  EXPECT_EQ(App.ProgressValue, 10);
  // The counter carries on in the next window; a smaller maximum wraps earlier.
  CloseProgressWindow();
  OpenProgressWindow("Please Wait...");
  UpdateProgressWindow(-1, 15, "x");
  UpdateProgressWindow(-1, 15, "x");
  EXPECT_EQ(host_.values.back(), 10);
  EXPECT_EQ(host_.values[host_.values.size() - 2], 0);
}

TEST_F(TextureTest, PreparedResizesAdvanceTheBarInOneWindow) {
  std::vector<int> expected;
  for (int i = 1; i <= 12; ++i) {
    PrepareTexture(picture("p" + std::to_string(i) + ".png", 10 + i, 9));
    expected.push_back(i <= 10 ? i * 10 : (i - 11) * 10);
  }
  EXPECT_EQ(host_.opens, 1);
  std::vector<int> afterOpen(host_.values.begin() + 1, host_.values.end());
  EXPECT_EQ(afterOpen, expected);
  CloseProgressWindow();
  EXPECT_EQ(host_.closes, 1);
  EXPECT_EQ(App.ProgressShown, 0);
  EXPECT_EQ(App.ProgressValue, 10);
}

TEST_F(TextureTest, LabelIsSetOnlyWhenTheTextChanges) {
  OpenProgressWindow("Please Wait...");
  UpdateProgressWindow(-1, 100, "Preparing textures...");
  EXPECT_EQ(host_.label, "Preparing textures...");
  CloseProgressWindow();
  // A second window starts with an empty label; the same text is not set again.
  OpenProgressWindow("Please Wait...");
  EXPECT_EQ(host_.label, "");
  UpdateProgressWindow(-1, 100, "Preparing textures...");
  EXPECT_EQ(host_.label, "");
  EXPECT_EQ(App.ProgressText, "Preparing textures...");
  CloseProgressWindow();
  // Emptied in between (as the cover-image handler does), the text shows again.
  App.ProgressText.clear();
  OpenProgressWindow("Please Wait...");
  UpdateProgressWindow(-1, 100, "Preparing textures...");
  EXPECT_EQ(host_.label, "Preparing textures...");
}

TEST_F(TextureTest, OpenWhileShownKeepsTheWindowAndItsTitle) {
  OpenProgressWindow("First");
  OpenProgressWindow("Second");
  EXPECT_EQ(host_.opens, 1);
  EXPECT_EQ(host_.title, "First");
  EXPECT_EQ(host_.maximum, 100);
  EXPECT_EQ(host_.value, 0);
  CloseProgressWindow();
  CloseProgressWindow();
  EXPECT_EQ(host_.closes, 1);
  EXPECT_FALSE(host_.isOpen);
}

TEST_F(TextureTest, WindowThatFailsToOpenStillSetsTheFlagAndIgnoresUpdates) {
  for (bool withHost : {true, false}) {
    SCOPED_TRACE(withHost);
    host_.openSucceeds = false;
    setProgressWindowHost(withHost ? &host_ : nullptr);
    App.ProgressValue = 30;
    OpenProgressWindow("Please Wait...");
    EXPECT_EQ(App.ProgressShown, 1);
    UpdateProgressWindow(-1, 100, "Preparing textures...");
    EXPECT_EQ(App.ProgressValue, 30);
    EXPECT_EQ(App.ProgressText, "");
    EXPECT_TRUE(host_.values.empty());
    CloseProgressWindow();
    EXPECT_EQ(App.ProgressShown, 0);
    EXPECT_EQ(host_.closes, 0);
  }
}

TEST(StderrProgressHost, PrintsOneLinePerUpdate) {
  App = AppState{};
  StderrProgressHost host;
  setProgressWindowHost(&host);
  testing::internal::CaptureStderr();
  OpenProgressWindow("Please Wait...");
  UpdateProgressWindow(-1, 100, "Preparing textures...");
  UpdateProgressWindow(-1, 100, "Preparing textures...");
  CloseProgressWindow();
  std::string out = testing::internal::GetCapturedStderr();
  setProgressWindowHost(nullptr);
  EXPECT_EQ(out,
            "Please Wait...: Preparing textures... 10/100\n"
            "Please Wait...: Preparing textures... 20/100\n");
}

}  // namespace
