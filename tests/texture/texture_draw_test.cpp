// Textures that PrepareTexture hands back draw their picture, also after the engine image that
// PrepareTexture loaded from the same file took the texture's decoded pixels. Needs an OpenGL 3.3
// context (headless EGL; Mesa's llvmpipe will do).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "image/image.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "engine_queries.h"
#include "headless_gl.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

constexpr uint32_t kOrange = 0xFF2080F0u;  // r 0xF0, g 0x80, b 0x20

class TextureDrawTest : public test::HeadlessGlTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(HeadlessGlTest::SetUp());
    iInitEngine();
    App = AppState{};
    App.OptimizeTextures = 1;
    dir_ = test::freshTestFolder();
    fs::create_directories(dir_ / "pictures");
    App.ProfileFolder = (dir_ / "profile").string() + "/";
    fs::create_directories(dir_ / "profile");
    startDir_ = sys::currentDirectory();
  }
  void TearDown() override {
    CloseProgressWindow();
    sys::setCurrentDirectory(startDir_);
  }

  // The colour in the middle of a quad that fills the middle of the view, showing `texture`
  // unlit.
  std::array<int, 3> middleColour(EngineHandle texture) {
    iCreateCamera(0);
    EngineHandle mesh = iCreateEmptyMesh(0);
    iAddBufferMesh(mesh, 1);
    const float corners[4][2] = {{-2, 2}, {2, 2}, {2, -2}, {-2, -2}};
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) {
      EngineVertex v{corners[i][0], corners[i][1], 5,        0,        0,       -1,
                     0xFFFFFFFFu,   uv[i][0],      uv[i][1], uv[i][0], uv[i][1]};
      iAddMVerticesMesh(mesh, &v, 1, 0);
    }
    iAddFaceMesh(mesh, 0, 1, 2, 0);
    iAddFaceMesh(mesh, 0, 2, 3, 0);
    iMaterialFlagNode(mesh, kFlagLighting, false);
    iMaterialTextureNode(mesh, texture, 0);
    OffscreenOptions options;
    options.clearColour = 0xFF000000u;
    std::string error;
    std::optional<Image> frame = renderer().render(32, 32, options, &error);
    EXPECT_TRUE(frame) << error;
    if (!frame) return {-1, -1, -1};
    const uint8_t* p = frame->pixel(16, 16);
    return {p[0], p[1], p[2]};
  }

  fs::path dir_;
  std::string startDir_;
};

const std::array<int, 3> kOrangeRgb = {0xF0, 0x80, 0x20};

TEST_F(TextureDrawTest, TextureWhoseImageTookItsPixelsStillDraws) {
  ASSERT_TRUE(saveImage(makeImage(20, 10, kOrange), (dir_ / "pictures" / "p.png").string()));
  // Loaded by a relative name from another working directory than the one it is drawn in.
  ASSERT_TRUE(sys::setCurrentDirectory((dir_ / "pictures").string()));
  EngineHandle texture = iLoadTexture("p.png");
  ASSERT_GT(texture, 0);
  EngineHandle image = iLoadImage("p.png");
  EXPECT_EQ(test::imageSizeOf(image).width, 20);
  iFreeImage(image);
  ASSERT_TRUE(sys::setCurrentDirectory(startDir_));
  EXPECT_EQ(middleColour(texture), kOrangeRgb);
}

TEST_F(TextureDrawTest, TextureKeptAtItsSizeWhenTheCopyCannotBeMadeDraws) {
  App.ProfileFolder = (dir_ / "no_such_folder").string() + "/";
  const std::string path = (dir_ / "pictures" / "photo.jpg").string();
  ASSERT_TRUE(saveImage(makeImage(60, 40, kOrange), path));
  EngineHandle texture = PrepareTexture(path);
  ASSERT_GT(texture, 0);
  EXPECT_EQ(iTextureName(texture), path);
  std::array<int, 3> colour = middleColour(texture);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(colour[i], kOrangeRgb[i], 3) << i;  // JPEG
}

TEST_F(TextureDrawTest, ResizedTextureDraws) {
  const std::string path = (dir_ / "pictures" / "wide.png").string();
  ASSERT_TRUE(saveImage(makeImage(300, 100, kOrange), path));
  EngineHandle texture = PrepareTexture(path);
  EXPECT_EQ(test::originalSizeOf(texture).width, 512);
  EXPECT_EQ(middleColour(texture), kOrangeRgb);
}

}  // namespace
