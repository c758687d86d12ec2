#include <gtest/gtest.h>

#include <algorithm>
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

// Straight from the definition: the overlap of two intervals, in doubles.
double overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

Image referenceResample(const Image& src, int tw, int th) {
  Image out = makeImage(tw, th);
  const double sx = double(src.width) / tw, sy = double(src.height) / th;
  for (int y = 0; y < th; ++y) {
    for (int x = 0; x < tw; ++x) {
      double colour[3] = {0, 0, 0}, plain[3] = {0, 0, 0}, alpha = 0, area = 0;
      for (int j = 0; j < src.height; ++j) {
        const double wy = overlap(j, j + 1, y * sy, (y + 1) * sy);
        if (wy == 0) continue;
        for (int i = 0; i < src.width; ++i) {
          const double w = wy * overlap(i, i + 1, x * sx, (x + 1) * sx);
          if (w == 0) continue;
          const uint8_t* p = src.pixel(i, j);
          for (int c = 0; c < 3; ++c) {
            colour[c] += w * p[3] * p[c];
            plain[c] += w * p[c];
          }
          alpha += w * p[3];
          area += w;
        }
      }
      uint8_t* q = out.pixel(x, y);
      for (int c = 0; c < 3; ++c) {
        q[c] = uint8_t(std::lround(alpha > 0 ? colour[c] / alpha : plain[c] / area));
      }
      q[3] = uint8_t(std::lround(alpha / area));
    }
  }
  return out;
}

TEST(ResampleArea, MatchesTheDefinitionOnOddSizes) {
  struct Case {
    int sw, sh, tw, th;
    bool alpha;
  };
  const Case cases[] = {{37, 23, 16, 29, false}, {37, 23, 16, 29, true}, {13, 11, 50, 50, true},
                        {64, 9, 7, 3, false},    {5, 40, 12, 6, true},   {9, 9, 9, 9, true}};
  uint32_t seed = 7;
  for (const Case& c : cases) {
    Image source = makeImage(c.sw, c.sh);
    source.hasAlpha = c.alpha;
    for (uint8_t& v : source.pixels) {
      seed = seed * 1664525u + 1013904223u;
      v = uint8_t(seed >> 24);
    }
    if (!c.alpha) {
      for (size_t i = 3; i < source.pixels.size(); i += 4) source.pixels[i] = 255;
    } else {
      // Some fully transparent patches too.
      for (int x = 0; x < c.sw / 3; ++x) source.pixel(x, 0)[3] = 0;
    }
    const Image got = resampleArea(source, c.tw, c.th);
    const Image want = referenceResample(source, c.tw, c.th);
    ASSERT_EQ(got.width, c.tw);
    ASSERT_EQ(got.height, c.th);
    EXPECT_EQ(got.hasAlpha, c.alpha);
    for (int y = 0; y < c.th; ++y) {
      for (int x = 0; x < c.tw; ++x) {
        for (int k = 0; k < 4; ++k) {
          ASSERT_NEAR(got.pixel(x, y)[k], want.pixel(x, y)[k], 1)
              << c.sw << "x" << c.sh << " -> " << c.tw << "x" << c.th << " at " << x << "," << y
              << " channel " << k;
        }
      }
    }
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
