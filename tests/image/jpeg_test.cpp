#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <cmath>

#include "fixtures.h"
#include "image/image.h"

namespace kestrum {
namespace {

double meanError(const Image& a, const Image& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    if (i % 4 != 3) sum += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
  }
  return sum / double(a.pixels.size() / 4 * 3);
}

TEST(Jpeg, RoundTripWithinTolerance) {
  struct Case {
    int width, height, quality;
    double meanLimit;
  };
  const Case cases[] = {{64, 48, 95, 1.0}, {17, 9, 90, 2.0}, {1, 1, 90, 2.0}, {40, 40, 50, 3.0}};
  for (const Case& c : cases) {
    const Image source = test::smoothImage(c.width, c.height, false);
    std::string error;
    const auto bytes = encodeJpeg(source, c.quality, &error);
    ASSERT_TRUE(bytes) << error;
    const auto decoded = decodeJpeg(bytes->data(), bytes->size(), &error);
    ASSERT_TRUE(decoded) << error;
    ASSERT_EQ(decoded->width, c.width);
    ASSERT_EQ(decoded->height, c.height);
    EXPECT_FALSE(decoded->hasAlpha);
    EXPECT_LT(meanError(*decoded, source), c.meanLimit) << c.width << "x" << c.height;
    std::string why;
    EXPECT_TRUE(test::sameImage(*decoded, source, 12, &why)) << why;
  }
}

TEST(Jpeg, AlphaIsDropped) {
  const Image source = test::smoothImage(16, 16, true);
  const auto bytes = encodeJpeg(source, 95);
  ASSERT_TRUE(bytes);
  const auto decoded = decodeJpeg(bytes->data(), bytes->size());
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->hasAlpha);
  for (size_t i = 3; i < decoded->pixels.size(); i += 4) ASSERT_EQ(decoded->pixels[i], 255);
  EXPECT_LT(meanError(*decoded, source), 1.5);
}

TEST(Jpeg, QualityChangesSize) {
  const Image source = test::patternImage(64, 64, false);
  const auto low = encodeJpeg(source, 10);
  const auto high = encodeJpeg(source, 100);
  ASSERT_TRUE(low && high);
  EXPECT_LT(low->size() * 2, high->size());
  // Out-of-range qualities are clamped rather than refused.
  EXPECT_TRUE(encodeJpeg(source, 0));
  EXPECT_TRUE(encodeJpeg(source, 1000));
}

TEST(Jpeg, GreyBecomesRgb) {
  const int w = 16, h = 8;
  std::vector<uint8_t> grey(size_t(w) * h);
  for (int i = 0; i < w * h; ++i) grey[size_t(i)] = uint8_t(30 + i);
  const auto file = test::writeJpeg(w, h, 1, JCS_GRAYSCALE, grey, 100);
  ASSERT_FALSE(file.empty());
  std::string error;
  const auto image = decodeJpeg(file.data(), file.size(), &error);
  ASSERT_TRUE(image) << error;
  ASSERT_EQ(image->width, w);
  for (int i = 0; i < w * h; ++i) {
    const uint8_t* p = image->pixels.data() + size_t(i) * 4;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_NEAR(p[0], grey[size_t(i)], 3);
    EXPECT_EQ(p[3], 255);
  }
}

TEST(Jpeg, CmykIsConvertedToRgb) {
  // Ink amounts c, m, y, k as fractions; red = (1-c)(1-k) and so on.
  struct Ink {
    uint8_t c, m, y, k;
    uint8_t r, g, b;
  };
  const Ink inks[] = {
      {0, 0, 0, 0, 255, 255, 255},    // paper
      {255, 0, 0, 0, 0, 255, 255},    // cyan
      {0, 255, 255, 0, 255, 0, 0},    // red
      {0, 0, 0, 255, 0, 0, 0},        // black
      {0, 0, 0, 128, 127, 127, 127},  // half black
      {128, 0, 255, 0, 127, 255, 0},  // half cyan + yellow
  };
  const int w = 8 * int(std::size(inks)), h = 8;  // 8x8 blocks of flat colour
  for (bool adobe : {true, false}) {
    SCOPED_TRACE(adobe ? "Adobe (inverted) CMYK" : "plain CMYK");
    std::vector<uint8_t> samples;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const Ink& ink = inks[size_t(x / 8)];
        for (uint8_t v : {ink.c, ink.m, ink.y, ink.k}) {
          samples.push_back(adobe ? uint8_t(255 - v) : v);
        }
      }
    }
    const auto file = test::writeJpeg(w, h, 4, JCS_CMYK, samples, 100, adobe);
    ASSERT_FALSE(file.empty());
    std::string error;
    const auto image = decodeJpeg(file.data(), file.size(), &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->width, w);
    EXPECT_FALSE(image->hasAlpha);
    for (size_t i = 0; i < std::size(inks); ++i) {
      const uint8_t* p = image->pixel(int(i) * 8 + 4, 4);
      EXPECT_NEAR(p[0], inks[i].r, 4) << "ink " << i;
      EXPECT_NEAR(p[1], inks[i].g, 4) << "ink " << i;
      EXPECT_NEAR(p[2], inks[i].b, 4) << "ink " << i;
      EXPECT_EQ(p[3], 255);
    }
  }
}

TEST(Jpeg, ProgressiveDecodesAndRefusesMissingScans) {
  const int w = 48, h = 32;
  const Image source = test::smoothImage(w, h, false);
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < source.pixels.size(); ++i) {
    if (i % 4 != 3) rgb.push_back(source.pixels[i]);
  }
  const auto file = test::writeJpeg(w, h, 3, JCS_RGB, rgb, 95, false, true);
  ASSERT_FALSE(file.empty());
  std::string error;
  const auto image = decodeJpeg(file.data(), file.size(), &error);
  ASSERT_TRUE(image) << error;
  EXPECT_LT(meanError(*image, source), 1.5);

  // Cut at each later scan's start: the earlier scans alone would give a blurred picture.
  int scans = 0;
  for (size_t i = 2; i + 1 < file.size(); ++i) {
    if (file[i] != 0xff || file[i + 1] != 0xda) continue;
    if (++scans == 1) continue;
    const std::vector<uint8_t> part(file.begin(), file.begin() + long(i));
    error.clear();
    EXPECT_FALSE(decodeJpeg(part.data(), part.size(), &error)) << "cut before scan " << scans;
    EXPECT_EQ(error, "truncated JPEG data");
  }
  EXPECT_GT(scans, 2);

  // All scans there and only the end marker missing: the picture is whole.
  ASSERT_EQ(file[file.size() - 1], 0xd9);
  const std::vector<uint8_t> noEnd(file.begin(), file.end() - 2);
  const auto whole = decodeJpeg(noEnd.data(), noEnd.size(), &error);
  ASSERT_TRUE(whole) << error;
  std::string why;
  EXPECT_TRUE(test::sameImage(*whole, *image, 0, &why)) << why;
}

TEST(Jpeg, FileCutAfterTheLastScanStillLoads) {
  auto bytes = encodeJpeg(test::smoothImage(24, 24, false), 90);
  ASSERT_TRUE(bytes);
  ASSERT_EQ((*bytes)[bytes->size() - 1], 0xd9);
  bytes->resize(bytes->size() - 2);  // drop the end marker
  std::string error;
  EXPECT_TRUE(decodeJpeg(bytes->data(), bytes->size(), &error)) << error;
}

}  // namespace
}  // namespace kestrum
