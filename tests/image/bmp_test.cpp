#include <gtest/gtest.h>

#include <functional>

#include "fixtures.h"
#include "image/image.h"

namespace kestrum {
namespace {

using test::BmpSpec;
using test::padRows;

TEST(Bmp, RoundTripIsExact) {
  struct Case {
    int width, height;
    bool alpha;
  };
  const Case cases[] = {{1, 1, false}, {3, 2, false}, {5, 7, true}, {4, 4, false}, {13, 3, true}};
  for (const Case& c : cases) {
    const Image source = test::patternImage(c.width, c.height, c.alpha);
    std::string error;
    const auto bytes = encodeBmp(source, &error);
    ASSERT_TRUE(bytes) << error;
    EXPECT_EQ((*bytes)[28], c.alpha ? 32 : 24);  // bits a pixel
    const auto decoded = decodeBmp(bytes->data(), bytes->size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->hasAlpha, c.alpha);
    std::string why;
    EXPECT_TRUE(test::sameImage(*decoded, source, 0, &why)) << why;
  }
}

// The colours used by the hand-made files below.
constexpr uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff, kWhite = 0xffffff,
                   kGrey = 0x808080, kBlack = 0;
// The expected picture, top row first, as 0xRRGGBB with full alpha unless `alpha` lists it.
struct Expected {
  std::vector<std::vector<uint32_t>> rows;
  std::vector<std::vector<int>> alpha;  // empty: all 255
};

struct Variant {
  const char* name;
  BmpSpec spec;
  Expected expected;
  bool hasAlpha = false;
};

std::vector<Variant> variants() {
  std::vector<Variant> list;
  // 1 bit, bottom-up: the file's first row is the picture's bottom row.
  list.push_back({"1-bit bottom-up",
                  {3, 2, 1, 0, 40, {kBlack, kWhite}, {}, padRows({{0xa0}, {0x60}})},
                  {{{kBlack, kWhite, kWhite}, {kWhite, kBlack, kWhite}}}});
  list.push_back(
      {"4-bit top-down",
       {3, -2, 4, 0, 40, {kRed, kGreen, kBlue}, {}, padRows({{0x01, 0x20}, {0x22, 0x10}})},
       {{{kRed, kGreen, kBlue}, {kBlue, kBlue, kGreen}}}});
  list.push_back(
      {"8-bit bottom-up with row padding",
       {3, 2, 8, 0, 40, {kRed, kGreen, kBlue, kGrey}, {}, padRows({{3, 2, 1}, {0, 1, 2}})},
       {{{kRed, kGreen, kBlue}, {kGrey, kBlue, kGreen}}}});
  list.push_back({"8-bit index past the palette shows black",
                  {2, 1, 8, 0, 40, {kWhite}, {}, padRows({{0, 200}})},
                  {{{kWhite, kBlack}}}});
  list.push_back({"24-bit bottom-up",
                  {2,
                   2,
                   24,
                   0,
                   40,
                   {},
                   {},
                   padRows({{0xff, 0, 0, 0, 0xff, 0}, {0, 0, 0xff, 0x10, 0x20, 0x30}})},
                  {{{kRed, 0x302010}, {kBlue, kGreen}}}});
  list.push_back({"24-bit top-down",
                  {2,
                   -2,
                   24,
                   0,
                   40,
                   {},
                   {},
                   padRows({{0xff, 0, 0, 0, 0xff, 0}, {0, 0, 0xff, 0x10, 0x20, 0x30}})},
                  {{{kBlue, kGreen}, {kRed, 0x302010}}}});
  list.push_back({"24-bit core header",
                  {1, 2, 24, 0, 12, {}, {}, padRows({{1, 2, 3}, {4, 5, 6}})},
                  {{{0x060504}, {0x030201}}}});
  list.push_back({"8-bit core header (3-byte palette)",
                  {2, 1, 8, 0, 12, {kGreen, kGrey}, {}, padRows({{1, 0}})},
                  {{{kGrey, kGreen}}}});
  list.push_back({"32-bit plain ignores the fourth byte",
                  {2, 1, 32, 0, 40, {}, {}, {0x10, 0x20, 0x30, 0x00, 0xff, 0xff, 0xff, 0x7f}},
                  {{{0x302010, kWhite}}}});
  list.push_back({"32-bit bitfields with alpha (V5 header)",
                  {2,
                   1,
                   32,
                   3,
                   124,
                   {},
                   {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
                   {0x10, 0x20, 0x30, 0x80, 0xff, 0xff, 0xff, 0x00}},
                  {{{0x302010, kWhite}}, {{128, 0}}},
                  true});
  list.push_back({"32-bit bitfields, alpha mask but all alpha 0 is opaque",
                  {1,
                   1,
                   32,
                   3,
                   108,
                   {},
                   {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
                   {0x10, 0x20, 0x30, 0x00}},
                  {{{0x302010}}}});
  list.push_back({"32-bit alpha bitfields after a 40-byte header, odd layout",
                  {1,
                   1,
                   32,
                   6,
                   40,
                   {},
                   {0x000000ff, 0x0000ff00, 0x00ff0000, 0xff000000},
                   {0x11, 0x22, 0x33, 0x44}},
                  {{{0x112233}}, {{0x44}}},
                  true});
  // 5-5-5: 0x7c00 red, 0x03e0 green, 0x001f blue. 0x4210 = 16,16,16 of 31 -> 132.
  list.push_back({"16-bit 5-5-5",
                  {3, 1, 16, 0, 40, {}, {}, padRows({{0x00, 0x7c, 0xe0, 0x03, 0x10, 0x42}})},
                  {{{kRed, kGreen, 0x848484}}}});
  // 5-6-5 through bit masks after the header: 0x07e0 is full green, 0x001f full blue.
  list.push_back({"16-bit 5-6-5 bitfields",
                  {2, 1, 16, 3, 40, {}, {0xf800, 0x07e0, 0x001f}, {0xe0, 0x07, 0x1f, 0x00}},
                  {{{kGreen, kBlue}}}});
  // RLE8, bottom-up 4x3: row 0 (bottom) "run of 3 red, end of line"; row 1 "literal
  // green,blue,green,blue, end of line"; row 2 "delta 1 right, run of 2 white, end of picture".
  // Pixels skipped (row 0 x 3, row 2 x 0 and 3) stay transparent.
  list.push_back(
      {"RLE8 with runs, literal, delta and end of line",
       {4, 3, 8, 1, 40, {kRed, kGreen, kBlue, kWhite}, {}, {3, 0, 0, 0, 0, 4, 1, 2, 1, 2,
                                                            0, 0, 0, 2, 1, 0, 2, 3, 0, 1}},
       {{{0, kWhite, kWhite, 0}, {kGreen, kBlue, kGreen, kBlue}, {kRed, kRed, kRed, 0}},
        {{0, 255, 255, 0}, {255, 255, 255, 255}, {255, 255, 255, 0}}},
       true});
  // Delta (2, 1) from (1, 0) lands on (3, 1).
  list.push_back({"RLE8 delta across rows",
                  {4, 2, 8, 1, 40, {kRed, kGreen, kBlue}, {}, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}},
                  {{{0, 0, 0, kBlue}, {kGreen, 0, 0, 0}}, {{0, 0, 0, 255}, {255, 0, 0, 0}}},
                  true});
  list.push_back({"RLE8 fully covered is opaque, odd literal padded",
                  {3, 1, 8, 1, 40, {kRed, kGreen, kBlue}, {}, {0, 3, 2, 1, 0, 0, 0, 0, 0, 1}},
                  {{{kBlue, kGreen, kRed}}}});
  // RLE4 top-down 5x2: row 0 "run of 5 alternating 1,2"; row 1 "literal 3 nibbles 0,1,2 then
  // run of 2 of 3,3".
  list.push_back(
      {"RLE4 top-down with runs and literal",
       {5,
        -2,
        4,
        2,
        40,
        {kRed, kGreen, kBlue, kWhite},
        {},
        {5, 0x12, 0, 0, 0, 3, 0x01, 0x20, 2, 0x33, 0, 1}},
       {{{kGreen, kBlue, kGreen, kBlue, kGreen}, {kRed, kGreen, kBlue, kWhite, kWhite}}}});
  return list;
}

TEST(Bmp, DecodesEveryVariant) {
  for (const Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    const std::vector<uint8_t> file = test::writeBmp(v.spec);
    std::string error;
    const auto image = decodeBmp(file.data(), file.size(), &error);
    ASSERT_TRUE(image) << error;
    const int height = int(v.expected.rows.size());
    ASSERT_EQ(image->height, height);
    ASSERT_EQ(image->width, int(v.expected.rows[0].size()));
    EXPECT_EQ(image->hasAlpha, v.hasAlpha);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < image->width; ++x) {
        const uint32_t c = v.expected.rows[size_t(y)][size_t(x)];
        const int a = v.expected.alpha.empty() ? 255 : v.expected.alpha[size_t(y)][size_t(x)];
        const uint8_t* p = image->pixel(x, y);
        if (a == 0) {
          EXPECT_EQ(p[3], 0) << "pixel " << x << "," << y;
          continue;
        }
        EXPECT_EQ(p[0], (c >> 16) & 0xff) << "pixel " << x << "," << y;
        EXPECT_EQ(p[1], (c >> 8) & 0xff) << "pixel " << x << "," << y;
        EXPECT_EQ(p[2], c & 0xff) << "pixel " << x << "," << y;
        EXPECT_EQ(p[3], a) << "pixel " << x << "," << y;
      }
    }
  }
}

TEST(Bmp, LastRowWithoutPaddingStillLoads) {
  BmpSpec spec{1, 2, 24, 0, 40, {}, {}, padRows({{1, 2, 3}, {4, 5, 6}})};
  spec.pixelData.pop_back();  // the final padding byte
  const auto file = test::writeBmp(spec);
  std::string error;
  const auto image = decodeBmp(file.data(), file.size(), &error);
  ASSERT_TRUE(image) << error;
  EXPECT_EQ(image->pixel(0, 0)[0], 6);
}

}  // namespace
}  // namespace kestrum
