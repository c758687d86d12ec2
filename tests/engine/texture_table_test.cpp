// The texture and image tables: lookup by exact path, freeing, sizes as made, files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "image/image.h"
#include "engine_queries.h"
#include "file_bytes.h"
#include "scratch_folder.h"

namespace {

using namespace kestrum::test;

class TextureTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    iInitEngine();
    iFlagCreationTexture(kTextureKeepSize, false);
    iFlagCreationTexture(kTextureMipmaps | kTextureQuality, true);
    dir_ = freshTestFolder().string();
  }
  std::string dir_;
};

TEST_F(TextureTableTest, FoundByItsExactPathOnly) {
  const EngineHandle front = iAddTexture("bin/front.png", kestrum::makeImage(8, 8));
  const EngineHandle back = iAddTexture("bin/back.png", kestrum::makeImage(8, 8));
  ASSERT_NE(front, 0);
  ASSERT_NE(back, 0);
  EXPECT_NE(front, back);
  EXPECT_EQ(iFindTexture("bin/front.png"), front);
  EXPECT_EQ(iFindTexture("bin/back.png"), back);
  for (const char* other :
       {"front.png", "bin/Front.png", "./bin/front.png", "bin\\front.png", "bin/front.png ", ""}) {
    EXPECT_EQ(iFindTexture(other), 0) << other;
  }
  EXPECT_EQ(iTextureName(front), "bin/front.png");
  EXPECT_EQ(iTextureCount(), 2);
}

TEST_F(TextureTableTest, FreedTextureIsNotFoundAndItsNameIsFree) {
  const EngineHandle first = iAddTexture("cover.png", kestrum::makeImage(8, 8));
  const EngineHandle mesh = iCreateEmptyMesh(0);
  iMaterialTextureNode(mesh, first, 0);
  iFreeTexture(first);
  EXPECT_EQ(iFindTexture("cover.png"), 0);
  EXPECT_EQ(iTextureCount(), 0);
  EXPECT_EQ(iNodeMaterial(mesh).textures[0], 0);  // no dangling layer
  iFreeTexture(first);                            // twice: nothing happens
  const EngineHandle second = iAddTexture("cover.png", kestrum::makeImage(8, 8));
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(iFindTexture("cover.png"), second);
}

TEST_F(TextureTableTest, TakenNameAndEmptyPictureAreRefused) {
  ASSERT_NE(iAddTexture("a.png", kestrum::makeImage(4, 4)), 0);
  EXPECT_EQ(iAddTexture("a.png", kestrum::makeImage(4, 4)), 0);
  EXPECT_NE(iLastLoadError().find("already"), std::string::npos);
  EXPECT_EQ(iAddTexture("b.png", kestrum::Image{}), 0);
  EXPECT_EQ(iTextureCount(), 1);
}

struct SizeCase {
  int width, height;
  bool keepSize;
  int madeWidth, madeHeight;
};

class MadeSize : public TextureTableTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(MadeSize, OriginalSizeIsThePicturesAndMadeSizeFollowsTheFlags) {
  const SizeCase& c = GetParam();
  iFlagCreationTexture(kTextureKeepSize, c.keepSize);
  kestrum::Image picture = kestrum::makeImage(c.width, c.height, 0xFF3366CCu);
  const EngineHandle t = iAddTexture("picture", picture);
  ASSERT_NE(t, 0);
  EXPECT_EQ(originalSizeOf(t), (PixelSize{c.width, c.height}));
  EXPECT_EQ(textureSizeOf(t), (PixelSize{c.madeWidth, c.madeHeight}));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MadeSize,
    ::testing::Values(SizeCase{256, 256, false, 256, 256}, SizeCase{600, 400, false, 1024, 512},
                      SizeCase{7, 7, false, 8, 8}, SizeCase{513, 1, false, 1024, 1},
                      SizeCase{1, 3, false, 1, 4}, SizeCase{600, 400, true, 600, 400},
                      SizeCase{7, 5, true, 7, 5}));

TEST_F(TextureTableTest, LoadTextureReadsTheFileOnceAndKeepsItsSize) {
  const std::string path = dir_ + "/cover_600x400.png";
  ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(600, 400, 0xFF2040F0u), path));
  const EngineHandle t = iLoadTexture(path);
  ASSERT_NE(t, 0) << iLastLoadError();
  EXPECT_EQ(iFindTexture(path), t);
  EXPECT_EQ(iLoadTexture(path), t);  // same path: the same texture
  EXPECT_EQ(iTextureCount(), 1);
  EXPECT_EQ(originalSizeOf(t), (PixelSize{600, 400}));
  EXPECT_EQ(textureSizeOf(t), (PixelSize{1024, 512}));
}

TEST_F(TextureTableTest, MissingOrBrokenFileGivesZeroAndAReason) {
  EXPECT_EQ(iLoadTexture(dir_ + "/missing.png"), 0);
  EXPECT_NE(iLastLoadError().find("missing.png"), std::string::npos);
  const std::string broken = dir_ + "/broken.png";
  {
    FILE* f = std::fopen(broken.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("\x89PNG\r\n\x1a\n not really", f);
    std::fclose(f);
  }
  EXPECT_EQ(iLoadTexture(broken), 0);
  EXPECT_EQ(iLoadImage(broken), 0);
  EXPECT_FALSE(iLastLoadError().empty());
  EXPECT_EQ(iTextureCount(), 0);
  EXPECT_EQ(iLoadTexture(""), 0);
}

TEST_F(TextureTableTest, ImagesLoadMeasureSaveAndFree) {
  const std::string path = dir_ + "/image_5x3.png";
  kestrum::Image picture = kestrum::makeImage(5, 3, 0xFF0000FFu);
  picture.pixel(4, 2)[1] = 200;
  ASSERT_TRUE(kestrum::saveImage(picture, path));
  const EngineHandle image = iLoadImage(path);
  ASSERT_NE(image, 0) << iLastLoadError();
  EXPECT_EQ(imageSizeOf(image), (PixelSize{5, 3}));

  const std::string copy = dir_ + "/temp_image_5x3.png";
  ASSERT_TRUE(iSaveImage(image, copy, 0));
  std::optional<kestrum::Image> back = kestrum::loadImage(copy);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width, 5);
  EXPECT_EQ(back->pixels, picture.pixels);
  EXPECT_FALSE(iSaveImage(image, dir_ + "/no/such/folder/x.png", 0));

  iFreeImage(image);
  EXPECT_EQ(imageSizeOf(image).width, 0);
  EXPECT_FALSE(iSaveImage(image, copy, 0));
}

TEST_F(TextureTableTest, ImageLoadedAfterATextureOfTheSameFileFollowsChangesToTheFile) {
  iFlagCreationTexture(kTextureKeepSize, true);
  const std::string path = dir_ + "/changing.png";
  ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(6, 4, 0xFF0000FFu), path));
  ASSERT_NE(iLoadTexture(path), 0);
  const EngineHandle first = iLoadImage(path);
  EXPECT_EQ(imageSizeOf(first), (PixelSize{6, 4}));
  // The file is replaced while the texture stays loaded: a new image shows the new file.
  ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(5, 7, 0xFF00FF00u), path));
  const EngineHandle second = iLoadImage(path);
  EXPECT_EQ(imageSizeOf(second), (PixelSize{5, 7}));
  const std::string copy = dir_ + "/changing_copy.png";
  ASSERT_TRUE(iSaveImage(second, copy, 0));
  std::optional<kestrum::Image> back = kestrum::loadImage(copy);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->pixel(2, 3)[1], 255);
  EXPECT_EQ(back->pixel(2, 3)[0], 0);
}

TEST_F(TextureTableTest, SavedImageIsTheFileItCameFromOrAFaithfulEncoding) {
  const std::string path = dir_ + "/source.png";
  kestrum::Image picture = kestrum::makeImage(9, 5, 0xFF336699u);
  picture.pixel(8, 4)[0] = 17;
  ASSERT_TRUE(kestrum::saveImage(picture, path));
  const EngineHandle image = iLoadImage(path);
  ASSERT_NE(image, 0);

  // Same format: the file's own bytes.
  const std::string samePng = dir_ + "/temp_source.png";
  ASSERT_TRUE(iSaveImage(image, samePng, 0));
  EXPECT_EQ(fileBytes(samePng), fileBytes(path));
  // Another format: encoded from the pixels.
  const std::string bmp = dir_ + "/temp_source.bmp";
  ASSERT_TRUE(iSaveImage(image, bmp, 0));
  std::optional<kestrum::Image> fromBmp = kestrum::loadImage(bmp);
  ASSERT_TRUE(fromBmp.has_value());
  EXPECT_EQ(fromBmp->pixels, picture.pixels);
  EXPECT_NE(fileBytes(bmp), fileBytes(path));
  // The source changed on disk since the image was loaded: the image's own pixels are saved.
  ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(2, 2), path));
  const std::string afterChange = dir_ + "/temp_after_change.png";
  ASSERT_TRUE(iSaveImage(image, afterChange, 0));
  std::optional<kestrum::Image> back = kestrum::loadImage(afterChange);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->width, 9);
  EXPECT_EQ(back->pixels, picture.pixels);
  iFreeImage(image);
}

}  // namespace
