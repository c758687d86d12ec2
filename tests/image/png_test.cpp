#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <functional>

#include "fixtures.h"
#include "image/image.h"

namespace kestrum {
namespace {

using test::PngSpec;

TEST(Png, RoundTripIsExact) {
  struct Case {
    int width, height;
    bool alpha;
    int level;
  };
  const Case cases[] = {{1, 1, false, 6},  {7, 5, false, 1},  {7, 5, true, 6},
                        {33, 17, true, 0}, {64, 3, false, 9}, {3, 40, true, 2}};
  for (const Case& c : cases) {
    const Image source = test::patternImage(c.width, c.height, c.alpha);
    std::string error;
    const auto bytes = encodePng(source, c.level, &error);
    ASSERT_TRUE(bytes) << error;
    const auto decoded = decodePng(bytes->data(), bytes->size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->hasAlpha, c.alpha);
    std::string why;
    EXPECT_TRUE(test::sameImage(*decoded, source, 0, &why)) << why;
  }
}

TEST(Png, OpaquePicturesAreWrittenWithoutAlpha) {
  const auto opaque = encodePng(test::patternImage(4, 4, false));
  const auto withAlpha = encodePng(test::patternImage(4, 4, true));
  ASSERT_TRUE(opaque && withAlpha);
  // IHDR's colour type byte: 2 = RGB, 6 = RGBA.
  EXPECT_EQ((*opaque)[25], 2);
  EXPECT_EQ((*withAlpha)[25], 6);
}

// A variant written by libpng, and the RGBA pixels it must decode to.
struct Variant {
  const char* name;
  std::function<PngSpec()> make;
  bool hasAlpha;
  std::function<uint32_t(int x, int y)> expected;  // 0xAABBGGRR
};

uint32_t rgba(unsigned r, unsigned g, unsigned b, unsigned a = 255) {
  return r | g << 8 | b << 16 | a << 24;
}

uint8_t scale16(unsigned v) {
  return uint8_t((v * 255 + 32767) / 65535);
}

std::vector<Variant> variants() {
  std::vector<Variant> list;
  list.push_back({"palette with tRNS",
                  [] {
                    PngSpec s{3, 2, 8, PNG_COLOR_TYPE_PALETTE};
                    s.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
                    s.transparent = {0, 128};
                    s.rows = {{0, 1, 2}, {2, 1, 0}};
                    return s;
                  },
                  true,
                  [](int x, int y) {
                    const int index = y == 0 ? x : 2 - x;
                    const uint32_t colours[] = {rgba(255, 0, 0, 0), rgba(0, 255, 0, 128),
                                                rgba(0, 0, 255, 255)};
                    return colours[index];
                  }});
  list.push_back({"4-bit palette, opaque",
                  [] {
                    PngSpec s{4, 1, 4, PNG_COLOR_TYPE_PALETTE};
                    s.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
                    s.rows = {{0x01, 0x23}};
                    return s;
                  },
                  false, [](int x, int) { return rgba(10 + 30 * x, 20 + 30 * x, 30 + 30 * x); }});
  list.push_back({"grey 8-bit",
                  [] {
                    PngSpec s{4, 2, 8, PNG_COLOR_TYPE_GRAY};
                    s.rows = {{0, 50, 100, 255}, {7, 8, 9, 10}};
                    return s;
                  },
                  false,
                  [](int x, int y) {
                    const unsigned v[2][4] = {{0, 50, 100, 255}, {7, 8, 9, 10}};
                    return rgba(v[y][x], v[y][x], v[y][x]);
                  }});
  list.push_back({"grey 1-bit",
                  [] {
                    PngSpec s{10, 1, 1, PNG_COLOR_TYPE_GRAY};
                    s.rows = {{0xa5, 0x80}};  // 1010 0101 10
                    return s;
                  },
                  false,
                  [](int x, int) {
                    const bool on = (x < 8 ? (0xa5 >> (7 - x)) : (0x80 >> (15 - x))) & 1;
                    return on ? rgba(255, 255, 255) : rgba(0, 0, 0);
                  }});
  list.push_back({"grey with transparent value",
                  [] {
                    PngSpec s{3, 1, 8, PNG_COLOR_TYPE_GRAY};
                    s.transparentGrey = 7;
                    s.rows = {{6, 7, 8}};
                    return s;
                  },
                  true, [](int x, int) { return rgba(6 + x, 6 + x, 6 + x, x == 1 ? 0 : 255); }});
  list.push_back({"grey and alpha",
                  [] {
                    PngSpec s{2, 2, 8, PNG_COLOR_TYPE_GRAY_ALPHA};
                    s.rows = {{10, 0, 20, 100}, {30, 200, 40, 255}};
                    return s;
                  },
                  true,
                  [](int x, int y) {
                    const unsigned v = 10 + 10 * (y * 2 + x);
                    const unsigned a[4] = {0, 100, 200, 255};
                    return rgba(v, v, v, a[y * 2 + x]);
                  }});
  list.push_back({"16-bit RGB",
                  [] {
                    PngSpec s{2, 1, 16, PNG_COLOR_TYPE_RGB};
                    s.rows = {{0xab, 0xcd, 0x00, 0x80, 0xff, 0xff, 0x12, 0x34, 0x80, 0x7f, 0, 0}};
                    return s;
                  },
                  false,
                  [](int x, int) {
                    return x == 0 ? rgba(scale16(0xabcd), scale16(0x0080), scale16(0xffff))
                                  : rgba(scale16(0x1234), scale16(0x807f), 0);
                  }});
  list.push_back({"16-bit RGBA",
                  [] {
                    PngSpec s{1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA};
                    s.rows = {{0x01, 0x00, 0x7f, 0xff, 0xfe, 0x00, 0x80, 0x80}};
                    return s;
                  },
                  true,
                  [](int, int) {
                    return rgba(scale16(0x0100), scale16(0x7fff), scale16(0xfe00), scale16(0x8080));
                  }});
  list.push_back({"interlaced RGB",
                  [] {
                    PngSpec s{9, 7, 8, PNG_COLOR_TYPE_RGB};
                    s.interlaced = true;
                    for (int y = 0; y < 7; ++y) {
                      std::vector<uint8_t> row;
                      for (int x = 0; x < 9; ++x) {
                        row.insert(row.end(), {uint8_t(x * 20), uint8_t(y * 30), uint8_t(x * y)});
                      }
                      s.rows.push_back(row);
                    }
                    return s;
                  },
                  false, [](int x, int y) { return rgba(x * 20, y * 30, x * y); }});
  list.push_back(
      {"interlaced palette with tRNS",
       [] {
         PngSpec s{5, 5, 2, PNG_COLOR_TYPE_PALETTE};
         s.interlaced = true;
         s.palette = {0, 0, 0, 255, 255, 255, 200, 100, 0};
         s.transparent = {0};
         for (int y = 0; y < 5; ++y) {
           uint8_t packed[2] = {0, 0};
           for (int x = 0; x < 5; ++x) {
             const int index = (x + y) % 3;
             packed[x / 4] |= uint8_t(index << (6 - 2 * (x % 4)));
           }
           s.rows.push_back({packed[0], packed[1]});
         }
         return s;
       },
       true,
       [](int x, int y) {
         const uint32_t colours[] = {rgba(0, 0, 0, 0), rgba(255, 255, 255), rgba(200, 100, 0)};
         return colours[(x + y) % 3];
       }});
  return list;
}

TEST(Png, DecodesEveryVariantToRgba) {
  for (const Variant& v : variants()) {
    SCOPED_TRACE(v.name);
    const PngSpec spec = v.make();
    const std::vector<uint8_t> file = test::writePng(spec);
    ASSERT_FALSE(file.empty());
    std::string error;
    const auto image = decodePng(file.data(), file.size(), &error);
    ASSERT_TRUE(image) << error;
    ASSERT_EQ(image->width, spec.width);
    ASSERT_EQ(image->height, spec.height);
    EXPECT_EQ(image->hasAlpha, v.hasAlpha);
    for (int y = 0; y < spec.height; ++y) {
      for (int x = 0; x < spec.width; ++x) {
        const uint8_t* p = image->pixel(x, y);
        const uint32_t got = p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
        EXPECT_EQ(got, v.expected(x, y)) << "pixel " << x << "," << y << std::hex;
      }
    }
  }
}

TEST(Png, FileCutAfterThePixelsStillLoads) {
  const Image source = test::patternImage(6, 6, true);
  auto bytes = encodePng(source);
  ASSERT_TRUE(bytes);
  bytes->resize(bytes->size() - 12);  // drop IEND
  std::string error;
  const auto decoded = decodePng(bytes->data(), bytes->size(), &error);
  ASSERT_TRUE(decoded) << error;
  std::string why;
  EXPECT_TRUE(test::sameImage(*decoded, source, 0, &why)) << why;
}

TEST(Png, TextChunksAreIgnored) {
  // A tEXt chunk before IDAT must not disturb decoding.
  const auto plain = encodePng(test::patternImage(3, 3, false));
  ASSERT_TRUE(plain);
  std::vector<uint8_t> chunk = {0, 0, 0, 5, 't', 'E', 'X', 't', 'a', 0, 'b', 'c', 'd'};
  const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), chunk.data() + 4, 9));
  for (int i = 3; i >= 0; --i) chunk.push_back(uint8_t(crc >> (8 * i)));
  std::vector<uint8_t> file(plain->begin(), plain->begin() + 33);  // signature and IHDR
  file.insert(file.end(), chunk.begin(), chunk.end());
  file.insert(file.end(), plain->begin() + 33, plain->end());
  std::string error;
  EXPECT_TRUE(decodePng(file.data(), file.size(), &error)) << error;
}

}  // namespace
}  // namespace kestrum
