// Damaged, truncated and hostile files: each must fail cleanly with a reason.
#include <gtest/gtest.h>

#include <zlib.h>

#include <functional>

#include "fixtures.h"
#include "image/image.h"

namespace kestrum {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes goodPng() {
  return *encodePng(test::patternImage(8, 8, true));
}
Bytes goodJpeg() {
  return *encodeJpeg(test::patternImage(16, 16, false), 90);
}
Bytes goodBmp() {
  return *encodeBmp(test::patternImage(5, 5, false));
}

Bytes cut(Bytes b, size_t size) {
  b.resize(std::min(size, b.size()));
  return b;
}

void putBigEndian32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
void putLittleEndian32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Recomputes the CRC of the PNG chunk starting at `at` (its length field).
void fixCrc(Bytes& b, size_t at) {
  const uint32_t length =
      uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
  const uint32_t crc = uint32_t(crc32(crc32(0, nullptr, 0), b.data() + at + 4, length + 4));
  putBigEndian32(b, at + 8 + length, crc);
}

Bytes pngWithSize(uint32_t width, uint32_t height) {
  Bytes b = goodPng();
  putBigEndian32(b, 16, width);
  putBigEndian32(b, 20, height);
  fixCrc(b, 8);
  return b;
}

// The first IDAT chunk's data offset.
size_t idatData(const Bytes& b) {
  for (size_t i = 8; i + 8 < b.size();) {
    const uint32_t length =
        uint32_t(b[i]) << 24 | uint32_t(b[i + 1]) << 16 | uint32_t(b[i + 2]) << 8 | b[i + 3];
    if (std::equal(b.begin() + long(i) + 4, b.begin() + long(i) + 8, "IDAT")) return i + 8;
    i += 12 + length;
  }
  return 0;
}

Bytes pngIdatCrcFlipped() {
  Bytes b = goodPng();
  const size_t at = idatData(b);
  const uint32_t length =
      uint32_t(b[at - 8]) << 24 | uint32_t(b[at - 7]) << 16 | uint32_t(b[at - 6]) << 8 | b[at - 5];
  b[at + length] ^= 0x10;
  return b;
}

Bytes pngIdatFlipped(bool fixChecksum) {
  Bytes b = goodPng();
  const size_t at = idatData(b);
  for (size_t i = at + 2; i < at + 12; ++i) b[i] ^= 0x5a;
  if (fixChecksum) fixCrc(b, at - 8);
  return b;
}

size_t jpegMarker(const Bytes& b, uint8_t marker) {
  for (size_t i = 2; i + 1 < b.size(); ++i) {
    if (b[i] == 0xff && b[i + 1] == marker) return i;
  }
  return 0;
}

Bytes jpegWithSize(uint16_t width, uint16_t height) {
  Bytes b = goodJpeg();
  const size_t sof = jpegMarker(b, 0xc0);
  b[sof + 5] = uint8_t(height >> 8);
  b[sof + 6] = uint8_t(height);
  b[sof + 7] = uint8_t(width >> 8);
  b[sof + 8] = uint8_t(width);
  return b;
}

Bytes jpegBadHuffmanTable() {
  Bytes b = goodJpeg();
  const size_t dht = jpegMarker(b, 0xc4);
  for (size_t i = dht + 5; i < dht + 21; ++i) b[i] = 0xff;  // code counts far past 256
  return b;
}

Bytes bmpWith(size_t at, uint32_t value) {
  Bytes b = goodBmp();
  putLittleEndian32(b, at, value);
  return b;
}

Bytes bmpBits(uint16_t bits, uint32_t compression) {
  Bytes b = goodBmp();
  b[28] = uint8_t(bits);
  b[29] = uint8_t(bits >> 8);
  putLittleEndian32(b, 30, compression);
  return b;
}

Bytes rleWithoutEnd() {
  test::BmpSpec spec{4, 2, 8, 1, 40, {0xff0000}, {}, {4, 0, 0, 0, 2, 0}};
  return test::writeBmp(spec);
}

Bytes paletteMissing() {
  test::BmpSpec spec{2, 1, 8, 0, 40, {}, {}, {0, 0, 0, 0}};
  return test::writeBmp(spec);
}

struct BadFile {
  const char* name;
  std::function<Bytes()> make;
  const char* reason;  // a part of the expected reason
};

TEST(BadFiles, FailWithAReason) {
  const size_t pngSize = goodPng().size();
  const size_t jpegSize = goodJpeg().size();
  const size_t bmpSize = goodBmp().size();
  const BadFile cases[] = {
      {"empty", [] { return Bytes{}; }, "empty"},
      {"one byte", [] { return Bytes{0x89}; }, "not a PNG, JPEG or BMP"},
      {"text",
       [] {
         return Bytes{'h', 'e', 'l', 'l', 'o'};
       },
       "not a PNG, JPEG or BMP"},
      {"PNG signature only", [] { return cut(goodPng(), 8); }, "truncated PNG"},
      {"PNG cut in IHDR", [] { return cut(goodPng(), 20); }, "truncated PNG"},
      {"PNG cut after IHDR", [] { return cut(goodPng(), 33); }, "truncated PNG"},
      {"PNG cut in IDAT header", [] { return cut(goodPng(), 38); }, "truncated PNG"},
      {"PNG cut in the middle", [pngSize] { return cut(goodPng(), pngSize / 2); }, "truncated PNG"},
      {"PNG cut in the last checksum", [pngSize] { return cut(goodPng(), pngSize - 14); },
       "truncated PNG"},
      {"PNG bad IHDR CRC",
       [] {
         auto b = goodPng();
         b[30] ^= 1;
         return b;
       },
       "CRC"},
      {"PNG bad IDAT CRC", pngIdatCrcFlipped, "CRC"},
      {"PNG damaged IDAT, CRC left", [] { return pngIdatFlipped(false); }, "corrupt PNG"},
      {"PNG corrupt compressed data", [] { return pngIdatFlipped(true); }, "corrupt PNG"},
      {"PNG IHDR not first",
       [] {
         auto b = goodPng();
         b[12] = 'X';
         return b;
       },
       "IHDR"},
      {"PNG 100000 x 100000", [] { return pngWithSize(100000, 100000); }, "too large"},
      {"PNG 16385 x 1", [] { return pngWithSize(16385, 1); }, "too large"},
      {"PNG 2^31 wide", [] { return pngWithSize(0x80000000u, 1); }, "too large"},
      {"PNG zero wide", [] { return pngWithSize(0, 4); }, "no pixels"},
      {"JPEG start marker only", [] { return cut(goodJpeg(), 2); }, "truncated JPEG"},
      {"JPEG cut in a marker", [] { return cut(goodJpeg(), 5); }, "truncated JPEG"},
      {"JPEG cut in the tables", [] { return cut(goodJpeg(), 30); }, "truncated JPEG"},
      {"JPEG cut in the scan", [jpegSize] { return cut(goodJpeg(), jpegSize / 2); },
       "truncated JPEG"},
      {"JPEG cut near the end", [jpegSize] { return cut(goodJpeg(), jpegSize - 20); },
       "truncated JPEG"},
      {"JPEG bad Huffman table", jpegBadHuffmanTable, "Huffman"},
      {"JPEG 65000 x 65000", [] { return jpegWithSize(65000, 65000); }, "too large"},
      {"JPEG zero high", [] { return jpegWithSize(16, 0); }, "corrupt JPEG"},
      {"BMP signature only", [] { return cut(goodBmp(), 2); }, "truncated BMP"},
      {"BMP cut in file header", [] { return cut(goodBmp(), 10); }, "truncated BMP"},
      {"BMP cut in info header", [] { return cut(goodBmp(), 30); }, "truncated BMP"},
      {"BMP cut at the pixels", [] { return cut(goodBmp(), 54); }, "truncated BMP"},
      {"BMP cut in the pixels", [bmpSize] { return cut(goodBmp(), bmpSize - 10); },
       "truncated BMP"},
      {"BMP absurd pixel offset", [] { return bmpWith(10, 0xfffffff0u); }, "pixel data offset"},
      {"BMP pixel offset inside header", [] { return bmpWith(10, 20); }, "pixel data offset"},
      {"BMP absurd header size", [] { return bmpWith(14, 0xffffffffu); }, "BMP header"},
      {"BMP header larger than file", [] { return bmpWith(14, 4000); }, "truncated BMP"},
      {"BMP 100000 x 100000", [] { return bmpWith(22, 100000); }, "too large"},
      {"BMP 16384 x 16385",
       [] {
         auto b = bmpWith(18, 16384);
         putLittleEndian32(b, 22, 16385);
         return b;
       },
       "too large"},
      {"BMP most negative height", [] { return bmpWith(22, 0x80000000u); }, "too large"},
      {"BMP top-down too tall", [] { return bmpWith(22, uint32_t(-20000)); }, "too large"},
      {"BMP negative width", [] { return bmpWith(18, uint32_t(-5)); }, "bad size"},
      {"BMP zero height", [] { return bmpWith(22, 0); }, "bad size"},
      {"BMP 7 bits", [] { return bmpBits(7, 0); }, "unsupported BMP"},
      {"BMP RLE8 with 24 bits", [] { return bmpBits(24, 1); }, "unsupported BMP"},
      {"BMP embedded PNG", [] { return bmpBits(24, 5); }, "embedded"},
      {"BMP RLE without end", rleWithoutEnd, "truncated BMP"},
      {"BMP palette missing", paletteMissing, "palette"},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = c.make();
    std::string error;
    const auto image = decodeImage(file.data(), file.size(), &error);
    EXPECT_FALSE(image);
    EXPECT_NE(error.find(c.reason), std::string::npos) << "reason: " << error;
  }
}

TEST(BadFiles, DecodersRefuseOtherFormats) {
  const Bytes png = goodPng(), jpeg = goodJpeg(), bmp = goodBmp();
  std::string error;
  EXPECT_FALSE(decodePng(jpeg.data(), jpeg.size(), &error));
  EXPECT_EQ(error, "not a PNG file");
  EXPECT_FALSE(decodeJpeg(bmp.data(), bmp.size(), &error));
  EXPECT_EQ(error, "not a JPEG file");
  EXPECT_FALSE(decodeBmp(png.data(), png.size(), &error));
  EXPECT_EQ(error, "not a BMP file");
  EXPECT_FALSE(decodeBmp(nullptr, 0, &error));
  EXPECT_EQ(error, "empty file");
}

// Every prefix of a small file of each format fails cleanly or decodes; none crash or read
// past the end (the sanitizer build checks the latter).
TEST(BadFiles, EveryPrefixIsSafe) {
  for (const Bytes& whole : {goodPng(), goodJpeg(), goodBmp()}) {
    for (size_t n = 0; n < whole.size(); ++n) {
      const Bytes part(whole.begin(), whole.begin() + long(n));
      std::string error;
      const auto image = decodeImage(part.data(), part.size(), &error);
      if (!image) {
        EXPECT_FALSE(error.empty()) << n;
      }
    }
  }
}

}  // namespace
}  // namespace kestrum
