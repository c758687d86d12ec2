// Our own BMP reader and writer. The reader takes the core (12-byte) header and the info header
// with its later extensions; 1, 4 and 8 bits with a palette, RLE8 and RLE4, 16 and 32 bits with
// or without bit masks, and 24 bits; rows bottom-up or top-down. Every read is checked against
// the end of the data.
#include <algorithm>
#include <cstring>
#include <new>

#include "image/image.h"
#include "image_internal.h"

namespace kestrum {
namespace {

using image_detail::setError;

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiJpeg = 4;
constexpr uint32_t kBiPng = 5;
constexpr uint32_t kBiAlphaBitfields = 6;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kV4HeaderSize = 108;

uint16_t le16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct BmpHeader {
  int64_t width = 0;
  int64_t height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  uint32_t headerSize = 0;
  int bitsPerPixel = 0;
  uint32_t compression = kBiRgb;
  uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t paletteOffset = 0;
  int paletteEntrySize = 4;
  int paletteCount = 0;
  size_t dataOffset = 0;
};

// Reads the file header and the info header up to the picture size; with `full`, also checks
// the size against the limits and reads the layout, masks, palette and pixel data offset.
bool parseHeader(const uint8_t* data, size_t size, BmpHeader& h, bool full, std::string* error) {
  if (detectImageFormat(data, size) != ImageFormat::Bmp) {
    setError(error, size == 0 ? "empty file" : "not a BMP file");
    return false;
  }
  if (size < kFileHeaderSize + 4) {
    setError(error, "truncated BMP data");
    return false;
  }
  h.headerSize = le32(data + 14);
  if (h.headerSize != kCoreHeaderSize && (h.headerSize < kInfoHeaderSize || h.headerSize > 4096)) {
    setError(error, "unsupported BMP header (" + std::to_string(h.headerSize) + " bytes)");
    return false;
  }
  if (size < kFileHeaderSize + h.headerSize) {
    setError(error, "truncated BMP data");
    return false;
  }
  const uint8_t* info = data + kFileHeaderSize;
  uint32_t coloursUsed = 0;
  if (h.headerSize == kCoreHeaderSize) {
    h.width = le16(info + 4);
    h.height = le16(info + 6);
    h.bitsPerPixel = le16(info + 10);
    h.paletteEntrySize = 3;
  } else {
    h.width = int32_t(le32(info + 4));
    const int64_t height = int32_t(le32(info + 8));
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.bitsPerPixel = le16(info + 14);
    h.compression = le32(info + 16);
    coloursUsed = le32(info + 32);
  }
  if (h.width <= 0 || h.height <= 0) {
    setError(error, "corrupt BMP file: bad size " + std::to_string(h.width) + " x " +
                        std::to_string(h.height));
    return false;
  }
  if (!full) return true;
  // Refuse absurd sizes before anything is allocated for the pixels.
  if (!image_detail::checkSize(h.width, h.height, error)) return false;

  // Which layouts we read.
  const int bpp = h.bitsPerPixel;
  bool supported = false;
  switch (h.compression) {
    case kBiRgb:
      supported = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
      break;
    case kBiRle8:
      supported = bpp == 8;
      break;
    case kBiRle4:
      supported = bpp == 4;
      break;
    case kBiBitfields:
    case kBiAlphaBitfields:
      // A 64-byte header is the OS/2 one, where 3 means Huffman coding.
      supported = (bpp == 16 || bpp == 32) && h.headerSize != 64;
      break;
    case kBiJpeg:
    case kBiPng:
      setError(error, "unsupported BMP file: embedded JPEG or PNG data");
      return false;
    default:
      break;
  }
  if (!supported) {
    setError(error, "unsupported BMP format (" + std::to_string(bpp) + " bits, compression " +
                        std::to_string(h.compression) + ")");
    return false;
  }

  size_t afterHeader = kFileHeaderSize + h.headerSize;
  if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
    const int count = h.compression == kBiAlphaBitfields ? 4 : 3;
    if (h.headerSize >= 52) {
      // The masks are part of the header (an alpha mask too from 56 bytes on).
      const int inHeader = h.headerSize >= 56 ? 4 : 3;
      for (int i = 0; i < inHeader; ++i) h.masks[i] = le32(info + 40 + 4 * i);
      if (h.compression == kBiBitfields && inHeader == 3) h.masks[3] = 0;
    } else {
      if (size < afterHeader + 4 * size_t(count)) {
        setError(error, "truncated BMP data");
        return false;
      }
      for (int i = 0; i < count; ++i) h.masks[i] = le32(data + afterHeader + 4 * i);
      afterHeader += 4 * size_t(count);
    }
  } else if (bpp == 16) {
    h.masks[0] = 0x7c00;
    h.masks[1] = 0x03e0;
    h.masks[2] = 0x001f;
  } else if (bpp == 32) {
    // Plain 32-bit pixels are blue, green, red and an unused byte.
    h.masks[0] = 0x00ff0000;
    h.masks[1] = 0x0000ff00;
    h.masks[2] = 0x000000ff;
  }

  const uint32_t offset = le32(data + 10);
  if (offset >= size && offset >= afterHeader && offset < le32(data + 2)) {
    // The header's own file size says the pixels should be there: the file was cut short.
    setError(error, "truncated BMP data");
    return false;
  }
  if (offset < afterHeader || offset >= size) {
    setError(error, "corrupt BMP file: bad pixel data offset " + std::to_string(offset));
    return false;
  }
  h.dataOffset = offset;

  if (bpp <= 8) {
    const int most = 1 << bpp;
    int count = (coloursUsed == 0 || coloursUsed > uint32_t(most)) ? most : int(coloursUsed);
    h.paletteOffset = afterHeader;
    const size_t room = (h.dataOffset - h.paletteOffset) / size_t(h.paletteEntrySize);
    count = int(std::min<size_t>(size_t(count), room));
    if (count == 0) {
      setError(error, "corrupt BMP file: missing palette");
      return false;
    }
    h.paletteCount = count;
  }
  return true;
}

// One channel of a masked pixel value, scaled to 0..255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;

  explicit Channel(uint32_t m) : mask(m) {
    if (!mask) return;
    while (!((mask >> shift) & 1u)) ++shift;
    max = mask >> shift;
  }
  uint8_t get(uint32_t value, uint8_t absent) const {
    if (!max) return absent;
    return uint8_t((uint64_t((value & mask) >> shift) * 255 + max / 2) / max);
  }
};

struct Palette {
  uint8_t rgba[256][4] = {};
  int count = 0;
};

Palette readPalette(const uint8_t* data, const BmpHeader& h) {
  Palette palette;
  palette.count = h.paletteCount;
  const uint8_t* p = data + h.paletteOffset;
  for (int i = 0; i < h.paletteCount; ++i, p += h.paletteEntrySize) {
    palette.rgba[i][0] = p[2];
    palette.rgba[i][1] = p[1];
    palette.rgba[i][2] = p[0];
    palette.rgba[i][3] = 255;
  }
  // Indices past the palette show as opaque black.
  for (int i = h.paletteCount; i < 256; ++i) palette.rgba[i][3] = 255;
  return palette;
}

bool decodeUncompressed(const uint8_t* data, size_t size, const BmpHeader& h, Image& image,
                        std::string* error) {
  const int64_t rowBits = h.width * h.bitsPerPixel;
  const int64_t stride = (rowBits + 31) / 32 * 4;
  // The last row may lack its padding.
  const int64_t needed = stride * (h.height - 1) + (rowBits + 7) / 8;
  if (int64_t(size - h.dataOffset) < needed) {
    setError(error, "truncated BMP data");
    return false;
  }
  const int width = int(h.width);
  const int height = int(h.height);
  const int bpp = h.bitsPerPixel;
  const Palette palette = bpp <= 8 ? readPalette(data, h) : Palette{};
  const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
  const bool plain32 = bpp == 32 && h.masks[0] == 0x00ff0000 && h.masks[1] == 0x0000ff00 &&
                       h.masks[2] == 0x000000ff && (h.masks[3] == 0 || h.masks[3] == 0xff000000);

  for (int r = 0; r < height; ++r) {
    const uint8_t* src = data + h.dataOffset + size_t(r) * size_t(stride);
    uint8_t* out = image.pixel(0, h.topDown ? r : height - 1 - r);
    switch (bpp) {
      case 1:
      case 4:
      case 8: {
        const int perByte = 8 / bpp;
        const unsigned valueMask = (1u << bpp) - 1;
        for (int x = 0; x < width; ++x, out += 4) {
          const int shift = 8 - bpp * (x % perByte + 1);
          std::memcpy(out, palette.rgba[(src[x / perByte] >> shift) & valueMask], 4);
        }
        break;
      }
      case 24:
        for (int x = 0; x < width; ++x, out += 4, src += 3) {
          out[0] = src[2];
          out[1] = src[1];
          out[2] = src[0];
          out[3] = 255;
        }
        break;
      case 16:
      case 32:
        if (plain32) {
          const bool withAlpha = h.masks[3] != 0;
          for (int x = 0; x < width; ++x, out += 4, src += 4) {
            out[0] = src[2];
            out[1] = src[1];
            out[2] = src[0];
            out[3] = withAlpha ? src[3] : 255;
          }
          break;
        }
        for (int x = 0; x < width; ++x, out += 4) {
          const uint32_t v = bpp == 16 ? le16(src + size_t(x) * 2) : le32(src + size_t(x) * 4);
          out[0] = red.get(v, 0);
          out[1] = green.get(v, 0);
          out[2] = blue.get(v, 0);
          out[3] = alpha.get(v, 255);
        }
        break;
    }
  }
  if (h.masks[3] != 0 && bpp >= 16) {
    // Many writers declare an alpha mask but leave every alpha at 0: such a picture is meant
    // to be opaque, not invisible.
    bool anyAlpha = false;
    for (size_t i = 3; i < image.pixels.size() && !anyAlpha; i += 4) anyAlpha = image.pixels[i];
    if (anyAlpha) {
      image.hasAlpha = true;
    } else {
      for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
    }
  }
  return true;
}

// RLE8 and RLE4. Pixels that the data skips over (by end-of-line, delta or an early end) are
// left fully transparent.
bool decodeRle(const uint8_t* data, size_t size, const BmpHeader& h, Image& image,
               std::string* error) {
  const Palette palette = readPalette(data, h);
  const bool four = h.compression == kBiRle4;
  const int64_t width = h.width, height = h.height;
  const uint8_t* p = data + h.dataOffset;
  const uint8_t* end = data + size;
  int64_t x = 0, row = 0;
  auto put = [&](unsigned index) {
    if (x < width && row < height) {
      std::memcpy(image.pixel(int(x), int(h.topDown ? row : height - 1 - row)), palette.rgba[index],
                  4);
    }
    ++x;
  };
  bool finished = false;
  while (!finished && row < height) {
    if (end - p < 2) break;
    const unsigned count = p[0], value = p[1];
    p += 2;
    if (count > 0) {
      // A run: one index repeated, or for RLE4 two indices alternating.
      for (unsigned i = 0; i < count && x < width; ++i) {
        put(four ? ((i & 1) ? value & 15 : value >> 4) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of picture
        finished = true;
        break;
      case 2:  // delta: skip right and on by whole rows
        if (end - p < 2) {
          p = end;
          break;
        }
        x += p[0];
        row += p[1];
        p += 2;
        break;
      default: {  // a literal stretch of `value` indices, padded to an even byte count
        const size_t bytes = four ? (value + 1) / 2 : value;
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (size_t(end - p) < bytes) {
          p = end;
          break;
        }
        for (unsigned i = 0; i < value; ++i) {
          put(four ? ((i & 1) ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
        }
        p += std::min(padded, size_t(end - p));
        break;
      }
    }
  }
  if (!finished && row < height) {
    setError(error, "truncated BMP data");
    return false;
  }
  for (size_t i = 3; i < image.pixels.size() && !image.hasAlpha; i += 4) {
    image.hasAlpha = image.pixels[i] == 0;
  }
  return true;
}

void put16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
  out[at] = uint8_t(v);
  out[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

namespace image_detail {

bool bmpHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                   std::string* error) {
  BmpHeader h;
  if (!parseHeader(data, size, h, false, error)) return false;
  *width = h.width;
  *height = h.height;
  return true;
}

}  // namespace image_detail

std::optional<Image> decodeBmp(const uint8_t* data, size_t size, std::string* error) {
  BmpHeader h;
  if (!parseHeader(data, size, h, true, error)) return std::nullopt;
  Image image;
  if (!image_detail::allocatePixels(image, int(h.width), int(h.height), error)) {
    return std::nullopt;
  }
  const bool ok = h.compression == kBiRle8 || h.compression == kBiRle4
                      ? decodeRle(data, size, h, image, error)
                      : decodeUncompressed(data, size, h, image, error);
  if (!ok) return std::nullopt;
  return image;
}

std::optional<std::vector<uint8_t>> encodeBmp(const Image& image, std::string* error) {
  if (image.empty() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4) {
    setError(error, "nothing to encode: the picture is empty");
    return std::nullopt;
  }
  const bool alpha = image.hasAlpha;
  const uint32_t headerSize = alpha ? kV4HeaderSize : kInfoHeaderSize;
  const size_t dataOffset = kFileHeaderSize + headerSize;
  const size_t stride =
      alpha ? size_t(image.width) * 4 : (size_t(image.width) * 3 + 3) & ~size_t{3};
  const size_t dataSize = stride * size_t(image.height);
  const size_t total = dataOffset + dataSize;
  if (total > 0xffffffffu) {
    setError(error, "picture too large for BMP");
    return std::nullopt;
  }
  std::vector<uint8_t> out;
  try {
    out.assign(total, 0);
  } catch (const std::bad_alloc&) {
    setError(error, "out of memory while encoding BMP");
    return std::nullopt;
  }
  out[0] = 'B';
  out[1] = 'M';
  put32(out, 2, uint32_t(total));
  put32(out, 10, uint32_t(dataOffset));
  put32(out, 14, headerSize);
  put32(out, 18, uint32_t(image.width));
  put32(out, 22, uint32_t(image.height));  // positive: bottom-up
  put16(out, 26, 1);
  put16(out, 28, alpha ? 32 : 24);
  put32(out, 30, alpha ? kBiBitfields : kBiRgb);
  put32(out, 34, uint32_t(dataSize));
  put32(out, 38, 2835);  // 72 dpi
  put32(out, 42, 2835);
  if (alpha) {
    put32(out, 54, 0x00ff0000);
    put32(out, 58, 0x0000ff00);
    put32(out, 62, 0x000000ff);
    put32(out, 66, 0xff000000);
    put32(out, 70, 0x73524742);  // 'sRGB'
  }
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* src = image.pixel(0, y);
    uint8_t* dst = out.data() + dataOffset + size_t(image.height - 1 - y) * stride;
    if (alpha) {
      for (int x = 0; x < image.width; ++x, src += 4, dst += 4) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        dst[3] = src[3];
      }
    } else {
      for (int x = 0; x < image.width; ++x, src += 4, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
  }
  return out;
}

}  // namespace kestrum
