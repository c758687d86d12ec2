// Small pictures and files made in the tests: libpng and libjpeg writers for the variants our
// own encoders never produce, and a byte writer for hand-made BMP files.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/image.h"

namespace kestrum::test {

// A picture whose every pixel differs, with alpha when `alpha` is set.
Image patternImage(int width, int height, bool alpha);

// A smooth gradient (with an alpha ramp when `alpha` is set): JPEG keeps it within a few levels.
Image smoothImage(int width, int height, bool alpha);

// True when every pixel of `a` is within `tolerance` of `b` (same size required); explains the
// first difference in `why`.
bool sameImage(const Image& a, const Image& b, int tolerance, std::string* why);

// A PNG made with libpng's writer. `rows` are the raw rows in libpng's layout for the given
// colour type and bit depth (packed for depths below 8, big-endian for 16).
struct PngSpec {
  int width = 0;
  int height = 0;
  int bitDepth = 8;
  int colourType = 0;  // PNG_COLOR_TYPE_*
  bool interlaced = false;
  std::vector<uint8_t> palette;      // r, g, b triples
  std::vector<uint8_t> transparent;  // palette alpha values
  int transparentGrey = -1;          // grey value made transparent by tRNS
  std::vector<std::vector<uint8_t>> rows;
};
std::vector<uint8_t> writePng(const PngSpec& spec);

// A JPEG made with libjpeg's compressor from `components` bytes a pixel in `colourSpace`
// (a J_COLOR_SPACE value). `adobeMarker` controls the APP14 marker (libjpeg writes one for
// CMYK by default); `progressive` writes several scans.
std::vector<uint8_t> writeJpeg(int width, int height, int components, int colourSpace,
                               const std::vector<uint8_t>& samples, int quality,
                               bool adobeMarker = true, bool progressive = false);

// Little-endian byte writer for hand-made BMP files.
struct Bytes {
  std::vector<uint8_t> data;
  void u8(unsigned v) { data.push_back(uint8_t(v)); }
  void u16(unsigned v) {
    u8(v & 0xff);
    u8((v >> 8) & 0xff);
  }
  void u32(uint32_t v) {
    u16(v & 0xffff);
    u16(v >> 16);
  }
  void put(std::initializer_list<uint8_t> bytes) { data.insert(data.end(), bytes); }
  void zeros(size_t n) { data.insert(data.end(), n, 0); }
};

struct BmpSpec {
  int32_t width = 0;
  int32_t height = 0;  // negative: top-down
  int bitsPerPixel = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;        // 12, 40, 52, 56, 108 or 124
  std::vector<uint32_t> palette;   // 0xRRGGBB
  std::vector<uint32_t> masks;     // written after a 40-byte header, or inside a longer one
  std::vector<uint8_t> pixelData;  // exactly as stored in the file
};
std::vector<uint8_t> writeBmp(const BmpSpec& spec);

// Pixel rows for BMP files: each row padded to a multiple of four bytes.
std::vector<uint8_t> padRows(const std::vector<std::vector<uint8_t>>& rows);

}  // namespace kestrum::test
