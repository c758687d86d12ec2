// The shortcuts that keep PrepareTexture's resize cheap, checked for giving exactly what the
// long way gives: the stored PNG writer, the memo of written pictures, and the engine's reuse of
// decoded pixels and of source files.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/engine.h"
#include "image/image.h"
#include "system/system.h"
#include "engine_queries.h"
#include "file_bytes.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

using namespace kestrum::test;

// A picture whose every byte differs from its neighbours, so a misplaced byte shows.
Image pattern(int width, int height, bool alpha) {
  Image image = makeImage(width, height);
  image.hasAlpha = alpha;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.pixel(x, y);
      p[0] = uint8_t(x * 7 + y);
      p[1] = uint8_t(y * 13 + x * 3);
      p[2] = uint8_t(x ^ y);
      p[3] = alpha ? uint8_t(255 - x - y) : 255;
    }
  }
  return image;
}

TEST(StoredPng, DecodesToThePicture) {
  const std::string dir = freshFolderPrefix("stored_png");
  struct Case {
    int width, height;
    bool alpha;
  };
  // Rows of 65537 bytes cross a stored block; 771 rows of 28 RGB pixels (85 bytes a row with its
  // filter byte) fill exactly one block of 65535 bytes.
  for (Case c : {Case{1, 1, false}, Case{3, 2, true}, Case{7, 5, false}, Case{16384, 2, true},
                 Case{28, 771, false}, Case{300, 700, false}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Image image = pattern(c.width, c.height, c.alpha);
    const std::string path = dir + "p.png";
    std::string error;
    ASSERT_TRUE(writeStoredPng(image, path, &error)) << error;
    std::vector<uint8_t> bytes = fileBytes(path);
    std::optional<Image> back = decodePng(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->width, c.width);
    EXPECT_EQ(back->height, c.height);
    EXPECT_EQ(back->hasAlpha, c.alpha);
    EXPECT_TRUE(back->pixels == image.pixels);
  }
}

TEST(StoredPng, FailsCleanlyWithoutAFolderOrAPicture) {
  const std::string dir = freshFolderPrefix("stored_png_fail");
  std::string error;
  EXPECT_FALSE(writeStoredPng(pattern(4, 4, false), dir + "missing/p.png", &error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_FALSE(writeStoredPng(Image{}, dir + "empty.png", &error));
  EXPECT_FALSE(sys::fileExists(dir + "empty.png"));
}

TEST(WrittenPictureMemo, NextLoadTakesItOnceAndOnlyWhileTheFileIsUnchanged) {
  const std::string dir = freshFolderPrefix("memo");
  const std::string path = dir + "kept.png";
  Image real = pattern(6, 4, false);
  ASSERT_TRUE(saveImage(real, path));
  // A picture kept for the file is what the next load gives (here it differs from the file, to
  // show where the load's answer came from).
  Image other = pattern(6, 4, true);
  keepWrittenPicture(path, other);
  std::optional<Image> first = loadImage(path);
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->pixels == other.pixels);
  std::optional<Image> second = loadImage(path);
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->pixels == real.pixels);
  // A file written again after the picture was kept is read as it is.
  keepWrittenPicture(path, other);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(saveImage(real, path));
  std::optional<Image> third = loadImage(path);
  ASSERT_TRUE(third);
  EXPECT_TRUE(third->pixels == real.pixels);
  // A deleted file is not there to load, whatever was kept.
  keepWrittenPicture(path, other);
  ASSERT_TRUE(sys::deleteFile(path));
  EXPECT_FALSE(loadImage(path));
  forgetWrittenPictures();
}

TEST(EngineFastPaths, TextureScaledOnlyWhenDrawnReportsItsMadeSize) {
  const std::string dir = freshFolderPrefix("made_size");
  iInitEngine();
  ASSERT_TRUE(saveImage(pattern(600, 400, false), dir + "p.png"));
  iFlagCreationTexture(kTextureKeepSize, false);
  EngineHandle scaled = iLoadTexture(dir + "p.png");
  iFlagCreationTexture(kTextureKeepSize, true);
  EngineHandle kept = iAddTexture("kept", pattern(600, 400, false));
  EXPECT_EQ(textureSizeOf(scaled), (PixelSize{1024, 512}));
  EXPECT_EQ(originalSizeOf(scaled), (PixelSize{600, 400}));
  EXPECT_EQ(textureSizeOf(kept).width, 600);
  iFlagCreationTexture(kTextureKeepSize, false);
  iInitEngine();
}

TEST(EngineFastPaths, ImageOfAFreshTextureFileHasTheDecodedPixels) {
  const std::string dir = freshFolderPrefix("image_reuse");
  iInitEngine();
  Image picture = pattern(30, 20, true);
  const std::string path = dir + "p.png";
  ASSERT_TRUE(saveImage(picture, path));
  ASSERT_GT(iLoadTexture(path), 0);
  EngineHandle image = iLoadImage(path);
  ASSERT_TRUE(iSaveImage(image, dir + "copy.bmp", 0));  // another format: encoded from pixels
  std::optional<Image> back = loadImage(dir + "copy.bmp");
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->pixels == picture.pixels);
  iFreeImage(image);
  // The file changed after the texture was made: the image comes from the file, not the texture.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Image changed = pattern(30, 20, false);
  ASSERT_TRUE(saveImage(changed, path));
  image = iLoadImage(path);
  ASSERT_TRUE(iSaveImage(image, dir + "copy2.bmp", 0));
  back = loadImage(dir + "copy2.bmp");
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->pixels == changed.pixels);
  iInitEngine();
}

TEST(EngineFastPaths, SavingInTheSourceFormatCopiesTheSourceFile) {
  const std::string dir = freshFolderPrefix("verbatim");
  iInitEngine();
  const std::string jpeg = dir + "photo.jpg";
  ASSERT_TRUE(saveImage(pattern(40, 30, false), jpeg));
  EngineHandle image = iLoadImage(jpeg);
  ASSERT_TRUE(iSaveImage(image, dir + "temp_photo.jpg", 0));
  EXPECT_EQ(fileBytes(dir + "temp_photo.jpg"), fileBytes(jpeg));
  // Freed after the save, its pixels serve the next load of the copy: the same pixels a decode
  // of the copy gives.
  std::optional<Image> decoded = decodeImage(fileBytes(jpeg).data(), fileBytes(jpeg).size());
  iFreeImage(image);
  std::optional<Image> loaded = loadImage(dir + "temp_photo.jpg");
  ASSERT_TRUE(decoded && loaded);
  EXPECT_TRUE(loaded->pixels == decoded->pixels);
  // A PNG name for a JPEG source is encoded as PNG.
  image = iLoadImage(jpeg);
  ASSERT_TRUE(iSaveImage(image, dir + "as.png", 0));
  std::vector<uint8_t> png = fileBytes(dir + "as.png");
  EXPECT_EQ(detectImageFormat(png.data(), png.size()), ImageFormat::Png);
  iFreeImage(image);
  forgetWrittenPictures();
  iInitEngine();
}

}  // namespace
