// Loading, probing and saving picture files.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_bytes.h"
#include "fixtures.h"
#include "image/image.h"
#include "scratch_folder.h"

namespace kestrum {
namespace {

TEST(ImageFiles, SaveByEndingAndLoadBack) {
  const std::string folder = test::freshFolderPrefix("save_by_ending");
  struct Case {
    const char* name;
    bool alpha;
    ImageFormat stored;
    int tolerance;
  };
  const Case cases[] = {
      {"a.png", true, ImageFormat::Png, 0},    {"b.PNG", false, ImageFormat::Png, 0},
      {"c.bmp", false, ImageFormat::Bmp, 0},   {"d.bmp", true, ImageFormat::Bmp, 0},
      {"e.jpg", false, ImageFormat::Jpeg, 12}, {"f.JPEG", false, ImageFormat::Jpeg, 12},
      {"g.tga", true, ImageFormat::Png, 0},    {"noext", false, ImageFormat::Png, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Image source = c.stored == ImageFormat::Jpeg ? test::smoothImage(9, 6, false)
                                                       : test::patternImage(9, 6, c.alpha);
    const std::string path = folder + c.name;
    std::string error;
    ASSERT_TRUE(saveImage(source, path, {}, &error)) << error;
    const auto bytes = test::fileBytes(path);
    EXPECT_EQ(detectImageFormat(bytes.data(), bytes.size()), c.stored);
    const auto loaded = loadImage(path, &error);
    ASSERT_TRUE(loaded) << error;
    std::string why;
    EXPECT_TRUE(test::sameImage(*loaded, source, c.tolerance, &why)) << why;
    int w = 0, h = 0;
    ASSERT_TRUE(readImageSize(path, &w, &h, &error)) << error;
    EXPECT_EQ(w, 9);
    EXPECT_EQ(h, 6);
  }
}

TEST(ImageFiles, ExplicitFormatWinsOverTheEnding) {
  const std::string path = test::freshFolderPrefix("explicit_format") + "picture.png";
  SaveOptions options;
  options.format = ImageFormat::Bmp;
  ASSERT_TRUE(saveImage(test::patternImage(3, 3, false), path, options));
  const auto bytes = test::fileBytes(path);
  EXPECT_EQ(detectImageFormat(bytes.data(), bytes.size()), ImageFormat::Bmp);
}

TEST(ImageFiles, SaveOptionsReachTheEncoders) {
  const std::string folder = test::freshFolderPrefix("save_options");
  const Image source = test::patternImage(64, 64, false);
  SaveOptions low, high;
  low.jpegQuality = 10;
  high.jpegQuality = 100;
  low.pngLevel = 0;
  high.pngLevel = 9;
  ASSERT_TRUE(saveImage(source, folder + "low.jpg", low));
  ASSERT_TRUE(saveImage(source, folder + "high.jpg", high));
  ASSERT_TRUE(saveImage(source, folder + "low.png", low));
  ASSERT_TRUE(saveImage(source, folder + "high.png", high));
  EXPECT_LT(test::fileBytes(folder + "low.jpg").size(),
            test::fileBytes(folder + "high.jpg").size());
  EXPECT_GT(test::fileBytes(folder + "low.png").size(),
            test::fileBytes(folder + "high.png").size());
}

TEST(ImageFiles, FailedSaveKeepsTheEarlierFile) {
  const std::string folder = test::freshFolderPrefix("failed_save");
  const std::string path = folder + "keep.png";
  ASSERT_TRUE(saveImage(test::patternImage(4, 4, false), path));
  const auto before = test::fileBytes(path);
  std::string error;
  EXPECT_FALSE(saveImage(Image{}, path, {}, &error));
  EXPECT_NE(error.find("empty"), std::string::npos) << error;
  EXPECT_EQ(test::fileBytes(path), before);
  // Nothing else was left in the folder.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);

  error.clear();
  EXPECT_FALSE(saveImage(test::patternImage(2, 2, false), folder + "missing/x.png", {}, &error));
  EXPECT_FALSE(error.empty());
}

TEST(ImageFiles, LoadFailuresHaveReasons) {
  const std::string folder = test::freshFolderPrefix("load_failures");
  std::string error;
  EXPECT_FALSE(loadImage(folder + "nothing-here.png", &error));
  EXPECT_FALSE(error.empty());

  test::writeBytes(folder + "notes.png", {'n', 'o', 't', 'e', 's'});
  error.clear();
  EXPECT_FALSE(loadImage(folder + "notes.png", &error));
  EXPECT_NE(error.find("not a PNG, JPEG or BMP"), std::string::npos) << error;

  error.clear();
  EXPECT_FALSE(loadImage(folder, &error));  // a folder
  EXPECT_FALSE(error.empty());
}

TEST(ImageFiles, ReadImageSizeReadsHeadersOnly) {
  const std::string folder = test::freshFolderPrefix("read_size");
  // A PNG whose header is sound but whose pixels are missing still has a size.
  auto png = *encodePng(test::patternImage(300, 20, false));
  png.resize(40);
  test::writeBytes(folder + "cut.png", png);
  int w = 0, h = 0;
  std::string error;
  ASSERT_TRUE(readImageSize(folder + "cut.png", &w, &h, &error)) << error;
  EXPECT_EQ(w, 300);
  EXPECT_EQ(h, 20);

  // A JPEG frame header behind 200 KB of metadata segments.
  const auto jpeg = *encodeJpeg(test::patternImage(33, 44, false), 80);
  std::vector<uint8_t> padded(jpeg.begin(), jpeg.begin() + 2);
  for (int i = 0; i < 3; ++i) {
    padded.insert(padded.end(), {0xff, 0xe1, 0xff, 0xff});
    padded.insert(padded.end(), 0xffff - 2, uint8_t(i));
  }
  padded.insert(padded.end(), {0, 0, 0});  // stray bytes, which libjpeg skips too
  padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
  test::writeBytes(folder + "meta.jpg", padded);
  ASSERT_TRUE(readImageSize(folder + "meta.jpg", &w, &h, &error)) << error;
  EXPECT_EQ(w, 33);
  EXPECT_EQ(h, 44);
  // The decoder skips the same segments.
  const auto decoded = decodeJpeg(padded.data(), padded.size(), &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->width, 33);

  struct Failure {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  std::vector<uint8_t> huge = *encodePng(test::patternImage(2, 2, false));
  huge[16] = huge[20] = 0x01;  // 2^24 + 2 a side; CRC not checked by the header reader
  const Failure failures[] = {
      {"empty.png", {}, "empty"},
      {"text.jpg", {'a', 'b', 'c'}, "not a PNG, JPEG or BMP"},
      {"soi.jpg", {0xff, 0xd8, 0xff}, "truncated JPEG"},
      {"huge.png", huge, "too large"},
      {"cut.bmp", {'B', 'M', 0, 0}, "truncated BMP"},
  };
  for (const Failure& f : failures) {
    SCOPED_TRACE(f.name);
    test::writeBytes(folder + f.name, f.bytes);
    error.clear();
    EXPECT_FALSE(readImageSize(folder + f.name, &w, &h, &error));
    EXPECT_NE(error.find(f.reason), std::string::npos) << error;
  }
  error.clear();
  EXPECT_FALSE(readImageSize(folder + "absent.png", &w, &h, &error));
  EXPECT_FALSE(error.empty());
}

TEST(ImageFiles, EncodersRefuseEmptyPictures) {
  std::string error;
  EXPECT_FALSE(encodePng(Image{}, 6, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(encodeJpeg(Image{}, 90, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(encodeBmp(Image{}, &error));
  EXPECT_FALSE(error.empty());
  Image broken = makeImage(4, 4);
  broken.pixels.resize(8);
  EXPECT_FALSE(encodePng(broken));
  EXPECT_FALSE(encodeJpeg(broken));
  EXPECT_FALSE(encodeBmp(broken));
}

}  // namespace
}  // namespace kestrum
