#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "image/image.h"

namespace kestrum {
namespace {

// A picture from a list of RGBA quadruples, row by row.
Image pictureOf(int width, int height, std::initializer_list<uint8_t> rgba, bool alpha = false) {
  Image image;
  image.width = width;
  image.height = height;
  image.hasAlpha = alpha;
  image.pixels.assign(rgba.begin(), rgba.end());
  EXPECT_EQ(image.pixels.size(), size_t(width) * size_t(height) * 4);
  return image;
}

void expectPixel(const Image& image, int x, int y, std::initializer_list<int> rgba, int tol = 0) {
  const uint8_t* p = image.pixel(x, y);
  int c = 0;
  for (int v : rgba) {
    EXPECT_NEAR(int(p[c]), v, tol) << "pixel " << x << "," << y << " channel " << c;
    ++c;
  }
}

TEST(ResampleArea, HalvingAveragesPairs) {
  const Image source =
      pictureOf(4, 1, {10, 100, 200, 255, 30, 120, 0, 255, 7, 8, 9, 255, 17, 18, 29, 255});
  const Image out = resampleArea(source, 2, 1);
  ASSERT_EQ(out.width, 2);
  ASSERT_EQ(out.height, 1);
  expectPixel(out, 0, 0, {20, 110, 100, 255});
  expectPixel(out, 1, 0, {12, 13, 19, 255});
}

TEST(ResampleArea, ThreeToTwoWeighsByOverlap) {
  // Target 0 covers source 0 whole and half of source 1: weights 2/3 and 1/3.
  const Image source = pictureOf(3, 1, {0, 90, 30, 255, 150, 0, 60, 255, 240, 30, 3, 255});
  const Image out = resampleArea(source, 2, 1);
  ASSERT_EQ(out.width, 2);
  expectPixel(out, 0, 0, {50, 60, 40, 255});
  expectPixel(out, 1, 0, {210, 20, 22, 255});
}

TEST(ResampleArea, TwoDimensionalBoxAverage) {
  // 2 x 2 to 1 x 1 averages all four; 3 x 3 to 2 x 2 gives corner weights 4/9, 2/9, 2/9, 1/9.
  const Image square =
      pictureOf(2, 2, {0, 0, 0, 255, 100, 0, 0, 255, 0, 200, 0, 255, 0, 0, 40, 255});
  expectPixel(resampleArea(square, 1, 1), 0, 0, {25, 50, 10, 255});

  Image grid = makeImage(3, 3, 0xff000000u);
  grid.pixel(0, 0)[0] = 90;   // weight 4/9 in target (0,0)
  grid.pixel(1, 0)[0] = 180;  // 2/9
  grid.pixel(0, 1)[0] = 27;   // 2/9
  grid.pixel(1, 1)[0] = 255;  // 1/9
  const Image out = resampleArea(grid, 2, 2);
  ASSERT_EQ(out.width, 2);
  ASSERT_EQ(out.height, 2);
  // (4*90 + 2*180 + 2*27 + 255) / 9 = 114.33
  EXPECT_EQ(out.pixel(0, 0)[0], 114);
  // Target (1,1) covers a quarter of source (1,1), weight 1/9, and black elsewhere: 28.3
  EXPECT_EQ(out.pixel(1, 1)[0], 28);
}

TEST(ResampleArea, FlatColourStaysFlat) {
  struct Case {
    int sw, sh, tw, th;
  };
  const Case cases[] = {{7, 5, 3, 2}, {7, 5, 16, 16}, {3, 11, 8, 8}, {13, 1, 4, 4}, {1, 13, 5, 3}};
  for (const Case& c : cases) {
    const Image source = makeImage(c.sw, c.sh, 0xff2b7d13u);
    const Image out = resampleArea(source, c.tw, c.th);
    ASSERT_EQ(out.width, c.tw);
    ASSERT_EQ(out.height, c.th);
    for (int y = 0; y < c.th; ++y) {
      for (int x = 0; x < c.tw; ++x) expectPixel(out, x, y, {0x13, 0x7d, 0x2b, 0xff});
    }
  }
}

TEST(ResampleArea, UpscaleOfOnePixelKeepsItsColour) {
  const Image source = pictureOf(1, 1, {200, 100, 50, 128}, true);
  const Image out = resampleArea(source, 64, 32);
  ASSERT_EQ(out.width, 64);
  ASSERT_EQ(out.height, 32);
  EXPECT_TRUE(out.hasAlpha);
  for (int y = 0; y < 32; y += 7) {
    for (int x = 0; x < 64; x += 5) expectPixel(out, x, y, {200, 100, 50, 128});
  }
}

TEST(ResampleArea, UpscaleSplitsBoundaryPixels) {
  // 2 -> 3: target 1 covers the second half of source 0 and the first half of source 1.
  const Image source = pictureOf(2, 1, {0, 0, 0, 255, 200, 100, 50, 255});
  const Image out = resampleArea(source, 3, 1);
  expectPixel(out, 0, 0, {0, 0, 0, 255});
  expectPixel(out, 1, 0, {100, 50, 25, 255});
  expectPixel(out, 2, 0, {200, 100, 50, 255});
}

TEST(ResampleArea, TransparentPixelsDoNotTint) {
  // A fully transparent red pixel beside an opaque blue one: the average is blue at half alpha.
  const Image source = pictureOf(2, 1, {255, 0, 0, 0, 0, 0, 255, 255}, true);
  const Image out = resampleArea(source, 1, 1);
  ASSERT_EQ(out.width, 1);
  EXPECT_TRUE(out.hasAlpha);
  expectPixel(out, 0, 0, {0, 0, 255, 128}, 1);

  // Partly transparent: colour weighted by alpha. (255*64 + 0*192) / 256 = 63.75 red.
  const Image mixed = pictureOf(2, 1, {255, 0, 0, 64, 0, 0, 0, 192}, true);
  expectPixel(resampleArea(mixed, 1, 1), 0, 0, {64, 0, 0, 128}, 1);
}

TEST(ResampleArea, FullyTransparentAreaKeepsItsColour) {
  const Image source = pictureOf(2, 1, {100, 50, 0, 0, 200, 150, 0, 0}, true);
  const Image out = resampleArea(source, 1, 1);
  expectPixel(out, 0, 0, {150, 100, 0, 0});
}

TEST(ResampleArea, AnyAspect) {
  // A horizontal ramp keeps its ramp under non-uniform scaling; columns stay uniform.
  Image source = makeImage(100, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 100; ++x) source.pixel(x, y)[0] = uint8_t(x * 2);
  }
  const Image out = resampleArea(source, 10, 37);
  ASSERT_EQ(out.width, 10);
  ASSERT_EQ(out.height, 37);
  for (int x = 0; x < 10; ++x) {
    // Mean of 2 * (10x .. 10x+9) = 20x + 9.
    for (int y = 0; y < 37; ++y) EXPECT_EQ(out.pixel(x, y)[0], 20 * x + 9) << x << "," << y;
  }
}

TEST(ResampleArea, BadSizesGiveEmpty) {
  const Image source = makeImage(4, 4);
  EXPECT_TRUE(resampleArea(source, 0, 4).empty());
  EXPECT_TRUE(resampleArea(source, 4, -1).empty());
  EXPECT_TRUE(resampleArea(source, kMaxImageSide + 1, 4).empty());
  EXPECT_TRUE(resampleArea(Image{}, 4, 4).empty());
  Image broken = source;
  broken.pixels.resize(10);  // fewer bytes than its size claims
  EXPECT_TRUE(resampleArea(broken, 2, 2).empty());
}

}  // namespace
}  // namespace kestrum
