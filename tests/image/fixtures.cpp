#include "fixtures.h"

#include <png.h>
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <stdexcept>

namespace kestrum::test {

Image patternImage(int width, int height, bool alpha) {
  Image image = makeImage(width, height);
  image.hasAlpha = alpha;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.pixel(x, y);
      p[0] = uint8_t(x * 37 + y * 11);
      p[1] = uint8_t(x * 5 + y * 71 + 13);
      p[2] = uint8_t((x ^ y) * 29);
      p[3] = alpha ? uint8_t(x * 17 + y * 53 + 1) : 255;
    }
  }
  return image;
}

Image smoothImage(int width, int height, bool alpha) {
  Image image = makeImage(width, height);
  image.hasAlpha = alpha;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = image.pixel(x, y);
      p[0] = uint8_t(40 + x * 150 / width);
      p[1] = uint8_t(200 - y * 120 / height);
      p[2] = uint8_t(90 + (x + y) * 60 / (width + height));
      p[3] = alpha ? uint8_t(x * 255 / width) : 255;
    }
  }
  return image;
}

bool sameImage(const Image& a, const Image& b, int tolerance, std::string* why) {
  if (a.width != b.width || a.height != b.height) {
    *why = "size " + std::to_string(a.width) + "x" + std::to_string(a.height) + " vs " +
           std::to_string(b.width) + "x" + std::to_string(b.height);
    return false;
  }
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      for (int c = 0; c < 4; ++c) {
        const int d = int(a.pixel(x, y)[c]) - int(b.pixel(x, y)[c]);
        if (d > tolerance || d < -tolerance) {
          *why = "pixel " + std::to_string(x) + "," + std::to_string(y) + " channel " +
                 std::to_string(c) + ": " + std::to_string(a.pixel(x, y)[c]) + " vs " +
                 std::to_string(b.pixel(x, y)[c]);
          return false;
        }
      }
    }
  }
  return true;
}

namespace {

void pngAppend(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void pngFlush(png_structp) {}

struct JpegFailure {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
void jpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1);
}

}  // namespace

std::vector<uint8_t> writePng(const PngSpec& spec) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows;
  for (const auto& row : spec.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, pngAppend, pngFlush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colourType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < spec.palette.size(); i += 3) {
    palette.push_back({spec.palette[i], spec.palette[i + 1], spec.palette[i + 2]});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  png_color_16 grey{};
  if (!spec.transparent.empty()) {
    png_set_tRNS(png, info, spec.transparent.data(), int(spec.transparent.size()), nullptr);
  } else if (spec.transparentGrey >= 0) {
    grey.gray = png_uint_16(spec.transparentGrey);
    png_set_tRNS(png, info, nullptr, 0, &grey);
  }
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::vector<uint8_t> writeJpeg(int width, int height, int components, int colourSpace,
                               const std::vector<uint8_t>& samples, int quality, bool adobeMarker,
                               bool progressive) {
  jpeg_compress_struct cinfo{};
  JpegFailure failure;
  cinfo.err = jpeg_std_error(&failure.pub);
  failure.pub.error_exit = jpegFail;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = components;
  cinfo.in_color_space = J_COLOR_SPACE(colourSpace);
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.write_Adobe_marker = adobeMarker ? TRUE : FALSE;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(samples.data()) +
                   size_t(cinfo.next_scanline) * size_t(width) * size_t(components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

std::vector<uint8_t> writeBmp(const BmpSpec& spec) {
  const bool core = spec.headerSize == 12;
  const bool masksAfter = spec.headerSize == 40 && !spec.masks.empty();
  const size_t paletteBytes = spec.palette.size() * (core ? 3 : 4);
  const uint32_t offset =
      uint32_t(14 + spec.headerSize + (masksAfter ? 4 * spec.masks.size() : 0) + paletteBytes);
  Bytes b;
  b.put({'B', 'M'});
  b.u32(uint32_t(offset + spec.pixelData.size()));
  b.u32(0);
  b.u32(offset);
  b.u32(spec.headerSize);
  if (core) {
    b.u16(uint16_t(spec.width));
    b.u16(uint16_t(spec.height));
    b.u16(1);
    b.u16(uint16_t(spec.bitsPerPixel));
  } else {
    b.u32(uint32_t(spec.width));
    b.u32(uint32_t(spec.height));
    b.u16(1);
    b.u16(uint16_t(spec.bitsPerPixel));
    b.u32(spec.compression);
    b.u32(uint32_t(spec.pixelData.size()));
    b.u32(2835);
    b.u32(2835);
    b.u32(uint32_t(spec.palette.size()));
    b.u32(0);
    const size_t extra = spec.headerSize - 40;
    size_t written = 0;
    if (!masksAfter) {
      for (size_t i = 0; i < spec.masks.size() && written + 4 <= extra; ++i, written += 4) {
        b.u32(spec.masks[i]);
      }
    }
    b.zeros(extra - written);
    if (masksAfter) {
      for (uint32_t m : spec.masks) b.u32(m);
    }
  }
  for (uint32_t c : spec.palette) {
    b.put({uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
    if (!core) b.u8(0);
  }
  b.data.insert(b.data.end(), spec.pixelData.begin(), spec.pixelData.end());
  return b.data;
}

std::vector<uint8_t> padRows(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  for (const auto& row : rows) {
    out.insert(out.end(), row.begin(), row.end());
    out.insert(out.end(), (4 - row.size() % 4) % 4, 0);
  }
  return out;
}

}  // namespace kestrum::test
