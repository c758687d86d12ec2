// PNG reading and writing through libpng. libpng reports errors by longjmp, so the functions
// that call it keep no C++ objects with destructors of their own: everything they fill lives in
// a context struct owned by the caller, and every libpng structure is freed on every way out.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include "image/image.h"
#include "image_internal.h"

namespace kestrum {
namespace {

using image_detail::setError;

// Ancillary chunks that may carry large compressed payloads are capped at this size.
constexpr size_t kMaxChunkBytes = size_t{8} << 20;
// At most this many text, sPLT and unknown chunks are kept before the file is refused.
constexpr png_uint_32 kMaxCachedChunks = 1000;

struct PngErrorState {
  char message[200] = {};
};

void storeMessage(PngErrorState* state, const char* text) {
  if (!state || !text) return;
  std::strncpy(state->message, text, sizeof(state->message) - 1);
  state->message[sizeof(state->message) - 1] = '\0';
}

void onPngError(png_structp png, png_const_charp text) {
  storeMessage(static_cast<PngErrorState*>(png_get_error_ptr(png)), text);
  png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

struct PngDecode {
  PngErrorState errorState;
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  bool outOfMemory = false;
  Image image;
  std::vector<png_bytep> rows;
};

void readFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* d = static_cast<PngDecode*>(png_get_io_ptr(png));
  if (length > d->size - d->pos) png_error(png, "truncated PNG data");
  std::memcpy(out, d->data + d->pos, length);
  d->pos += length;
}

uint32_t bigEndian32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Allocates the picture and its row table; runs outside libpng's error path, so it may use
// C++ containers freely and reports running out of memory as false.
bool preparePixels(PngDecode& d, int width, int height) {
  if (!image_detail::allocatePixels(d.image, width, height, nullptr)) return false;
  try {
    d.rows.resize(size_t(height));
  } catch (const std::bad_alloc&) {
    return false;
  }
  const size_t rowBytes = size_t(width) * 4;
  for (int y = 0; y < height; ++y) d.rows[size_t(y)] = d.image.pixels.data() + size_t(y) * rowBytes;
  return true;
}

// Decodes into d.image. On failure d.errorState holds libpng's message.
bool decodeWithLibpng(PngDecode& d) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.errorState, onPngError, onPngWarning);
  if (!png) {
    d.outOfMemory = true;
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    d.outOfMemory = true;
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &d, readFromMemory);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // Let the fuzzer past the checksums, which random mutations almost always break.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  // Only the chunks that make the pixels matter (IHDR, PLTE, tRNS, IDAT, IEND); text, colour
  // profiles and the rest are skipped without being decompressed or stored.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  if (!imageSizeAllowed(width, height)) png_error(png, "picture too large");

  d.image.hasAlpha =
      (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  if (bitDepth == 16) png_set_scale_16(png);
  if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  if (!d.image.hasAlpha) png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected row layout");

  if (!preparePixels(d, int(width), int(height))) {
    d.outOfMemory = true;
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_read_image(png, d.rows.data());
  // The pixels are complete (the last IDAT chunk's checksum has been checked): what follows,
  // normally just IEND, is not read, so a file cut right after its pixels still loads.
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

struct PngEncode {
  PngErrorState errorState;
  std::vector<uint8_t>* out = nullptr;
  bool outOfMemory = false;
};

void writeToMemory(png_structp png, png_bytep data, size_t length) {
  auto* e = static_cast<PngEncode*>(png_get_io_ptr(png));
  try {
    e->out->insert(e->out->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    e->outOfMemory = true;
  }
  if (e->outOfMemory) png_error(png, "out of memory");
}

void flushMemory(png_structp) {}

bool encodeWithLibpng(PngEncode& e, const Image& image, int level, png_bytep* rows) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &e.errorState, onPngError, onPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &e, writeToMemory, flushMemory);
  png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8,
               image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, level);
  png_set_compression_buffer_size(png, 256 * 1024);
  // Adaptive filtering costs more than it gains at the fast levels used for temporary copies:
  // Sub alone is much quicker and compresses photographs almost as well.
  if (level == 0) {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  } else if (level <= 2) {
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  }
  png_write_info(png, info);
  if (!image.hasAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drop the opaque alpha byte
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

namespace image_detail {

bool pngHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                   std::string* error) {
  if (detectImageFormat(data, size) != ImageFormat::Png) {
    setError(error, size == 0 ? "empty file" : "not a PNG file");
    return false;
  }
  // Signature, then the IHDR chunk: length, type, width, height.
  if (size < 8 + 8 + 8) {
    setError(error, "truncated PNG data");
    return false;
  }
  if (std::memcmp(data + 12, "IHDR", 4) != 0 || bigEndian32(data + 8) != 13) {
    setError(error, "corrupt PNG file: missing IHDR");
    return false;
  }
  *width = bigEndian32(data + 16);
  *height = bigEndian32(data + 20);
  return true;
}

}  // namespace image_detail

std::optional<Image> decodePng(const uint8_t* data, size_t size, std::string* error) {
  int64_t width = 0, height = 0;
  if (!image_detail::pngHeaderSize(data, size, &width, &height, error)) return std::nullopt;
  // Refuse absurd sizes here, before libpng or we allocate anything for the rows.
  if (!image_detail::checkSize(width, height, error)) return std::nullopt;

  PngDecode d;
  d.data = data;
  d.size = size;
  if (!decodeWithLibpng(d)) {
    if (d.outOfMemory) {
      setError(error, "out of memory for a " + std::to_string(width) + " x " +
                          std::to_string(height) + " picture");
    } else if (std::strcmp(d.errorState.message, "truncated PNG data") == 0) {
      setError(error, "truncated PNG data");
    } else {
      setError(error, std::string("corrupt PNG file: ") + d.errorState.message);
    }
    return std::nullopt;
  }
  return std::move(d.image);
}

std::optional<std::vector<uint8_t>> encodePng(const Image& image, int level, std::string* error) {
  if (image.empty() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4) {
    setError(error, "nothing to encode: the picture is empty");
    return std::nullopt;
  }
  level = std::clamp(level, 0, 9);
  std::vector<uint8_t> out;
  std::vector<png_bytep> rows;
  try {
    // A rough guess of the compressed size saves most of the regrowing.
    out.reserve(std::min(size_t(image.width) * size_t(image.height), size_t{64} << 20) + 1024);
    rows.resize(size_t(image.height));
  } catch (const std::bad_alloc&) {
    setError(error, "out of memory while encoding PNG");
    return std::nullopt;
  }
  // libpng only reads through the row pointers; it wants them non-const.
  auto* base = const_cast<uint8_t*>(image.pixels.data());
  for (int y = 0; y < image.height; ++y) {
    rows[size_t(y)] = base + size_t(y) * size_t(image.width) * 4;
  }
  PngEncode e;
  e.out = &out;
  if (!encodeWithLibpng(e, image, level, rows.data())) {
    setError(error, e.outOfMemory ? std::string("out of memory while encoding PNG")
                                  : std::string("PNG encoding failed: ") + e.errorState.message);
    return std::nullopt;
  }
  return out;
}

}  // namespace kestrum
