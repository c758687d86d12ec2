#include <gtest/gtest.h>

#include "image/image.h"

namespace kestrum {
namespace {

TEST(MakeImage, FillsWithTheColourValue) {
  // Colour values hold red in the low byte.
  const Image image = makeImage(3, 2, 0xff332211u);
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 2);
  ASSERT_EQ(image.pixels.size(), 3u * 2u * 4u);
  EXPECT_FALSE(image.hasAlpha);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const uint8_t* p = image.pixel(x, y);
      EXPECT_EQ(p[0], 0x11);
      EXPECT_EQ(p[1], 0x22);
      EXPECT_EQ(p[2], 0x33);
      EXPECT_EQ(p[3], 0xff);
    }
  }
  EXPECT_TRUE(makeImage(1, 1, 0x80000000u).hasAlpha);
}

TEST(MakeImage, RefusesSizesOutsideTheLimits) {
  const int sizes[][2] = {{0, 1}, {1, 0}, {-5, 5}, {kMaxImageSide + 1, 1}, {1, kMaxImageSide + 1}};
  for (const auto& s : sizes) {
    const Image image = makeImage(s[0], s[1]);
    EXPECT_TRUE(image.empty()) << s[0] << " x " << s[1];
    EXPECT_TRUE(image.pixels.empty());
  }
}

TEST(ImageSizeAllowed, SidesAndPixelCount) {
  struct Case {
    int64_t w, h;
    bool allowed;
  };
  const Case cases[] = {
      {1, 1, true},
      {kMaxImageSide, 1, true},
      {kMaxImageSide, kMaxImageSide, true},  // exactly kMaxImagePixels
      {kMaxImageSide + 1, 1, false},
      {1, kMaxImageSide + 1, false},
      {0, 10, false},
      {10, -1, false},
      {100000, 100000, false},
      {int64_t{1} << 40, 1, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(imageSizeAllowed(c.w, c.h), c.allowed) << c.w << " x " << c.h;
  }
}

TEST(FormatFromFileName, ByEndingInAnyCase) {
  struct Case {
    const char* name;
    ImageFormat format;
  };
  const Case cases[] = {
      {"cover.png", ImageFormat::Png},
      {"/home/a/COVER.PNG", ImageFormat::Png},
      {"x.jpg", ImageFormat::Jpeg},
      {"x.JpEg", ImageFormat::Jpeg},
      {"C:\\art\\back.Bmp", ImageFormat::Bmp},
      {"x.gif", ImageFormat::Unknown},
      {"png", ImageFormat::Unknown},
      {"folder.png/readme", ImageFormat::Unknown},
      {"folder.png\\readme", ImageFormat::Unknown},
      {"", ImageFormat::Unknown},
      {"x.png.txt", ImageFormat::Unknown},
      {"x.", ImageFormat::Unknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formatFromFileName(c.name), c.format) << c.name;
  }
}

TEST(DetectImageFormat, ByLeadingBytes) {
  struct Case {
    std::vector<uint8_t> bytes;
    ImageFormat format;
  };
  const Case cases[] = {
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0}, ImageFormat::Png},
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a}, ImageFormat::Unknown},
      {{0xff, 0xd8, 0xff, 0xe0}, ImageFormat::Jpeg},
      {{0xff, 0xd8}, ImageFormat::Jpeg},
      {{0xff, 0xd9}, ImageFormat::Unknown},
      {{0xff}, ImageFormat::Unknown},
      {{'B', 'M'}, ImageFormat::Bmp},
      {{'B'}, ImageFormat::Unknown},
      {{}, ImageFormat::Unknown},
      {{'G', 'I', 'F', '8', '9', 'a'}, ImageFormat::Unknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(detectImageFormat(c.bytes.data(), c.bytes.size()), c.format);
  }
  EXPECT_EQ(detectImageFormat(nullptr, 10), ImageFormat::Unknown);
}

}  // namespace
}  // namespace kestrum
