// JPEG reading and writing through libjpeg(-turbo). libjpeg reports errors through an error
// manager whose exit we turn into a longjmp back to the one function that calls the library; that
// function keeps no C++ objects with destructors, and the decompressor or compressor is destroyed
// on every way out.
#include <cstdio>  // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include "image/image.h"
#include "image_internal.h"

namespace kestrum {
namespace {

using image_detail::setError;

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void onJpegError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->message);
  std::longjmp(e->jump, 1);
}

// Warnings that mean the pixels would come out damaged (grey bands, garbage) end the decode;
// harmless ones (stray bytes between markers, odd version numbers) are ignored.
void onJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
      onJpegError(cinfo);
    default:
      break;
  }
}

void installErrorManager(JpegError& e, jpeg_error_mgr** slot) {
  *slot = jpeg_std_error(&e.pub);
  e.pub.error_exit = onJpegError;
  e.pub.emit_message = onJpegMessage;
  e.message[0] = '\0';
}

// Serves the file from memory. At its end it supplies one end-of-image marker, so that a file
// cut right after its last scan (missing only that marker) decodes; libjpeg notices if pixel
// data is still missing then, and asking for more after that is a truncated file.
struct JpegSource {
  jpeg_source_mgr pub;
  bool suppliedEnd = false;
};

void sourceInit(j_decompress_ptr) {}

boolean sourceFill(j_decompress_ptr cinfo) {
  static const JOCTET kEndMarker[2] = {0xff, JPEG_EOI};
  auto* s = reinterpret_cast<JpegSource*>(cinfo->src);
  if (s->suppliedEnd) {
    cinfo->err->msg_code = JWRN_JPEG_EOF;
    (*cinfo->err->emit_message)(reinterpret_cast<j_common_ptr>(cinfo), -1);
  }
  s->suppliedEnd = true;
  s->pub.next_input_byte = kEndMarker;
  s->pub.bytes_in_buffer = 2;
  return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count) {
  auto* s = reinterpret_cast<JpegSource*>(cinfo->src);
  if (count <= 0) return;
  while (size_t(count) > s->pub.bytes_in_buffer) {
    count -= long(s->pub.bytes_in_buffer);
    sourceFill(cinfo);
  }
  s->pub.next_input_byte += count;
  s->pub.bytes_in_buffer -= size_t(count);
}

void sourceTerm(j_decompress_ptr) {}

enum class DecodeFailure { None, Library, TooLarge, OutOfMemory, ColourSpace };

struct JpegDecode {
  JpegError error;
  jpeg_decompress_struct cinfo{};
  JpegSource source;
  DecodeFailure failure = DecodeFailure::None;
  int64_t width = 0;
  int64_t height = 0;
  int colourSpace = 0;
  Image image;
  std::vector<uint8_t> cmykRow;
};

// Sizes the picture and, for CMYK sources, a row buffer; false when memory runs out.
bool preparePixels(JpegDecode& d, int width, int height, bool cmyk) {
  if (!image_detail::allocatePixels(d.image, width, height, nullptr)) return false;
  if (!cmyk) return true;
  try {
    d.cmykRow.resize(size_t(width) * 4);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// CMYK to RGB by the simple ink model. Adobe's writers store CMYK inverted (255 = no ink),
// which an Adobe marker tells us.
void cmykToRgba(const uint8_t* cmyk, uint8_t* rgba, int width, bool inverted) {
  for (int x = 0; x < width; ++x, cmyk += 4, rgba += 4) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    rgba[0] = uint8_t((c * k + 127) / 255);
    rgba[1] = uint8_t((m * k + 127) / 255);
    rgba[2] = uint8_t((y * k + 127) / 255);
    rgba[3] = 255;
  }
}

bool decodeWithLibjpeg(JpegDecode& d, const uint8_t* data, size_t size, int64_t mostPixels) {
  installErrorManager(d.error, &d.cinfo.err);
  if (setjmp(d.error.jump)) {
    jpeg_destroy_decompress(&d.cinfo);
    if (d.failure == DecodeFailure::None) d.failure = DecodeFailure::Library;
    return false;
  }
  jpeg_create_decompress(&d.cinfo);
  d.source.pub.init_source = sourceInit;
  d.source.pub.fill_input_buffer = sourceFill;
  d.source.pub.skip_input_data = sourceSkip;
  d.source.pub.resync_to_restart = jpeg_resync_to_restart;
  d.source.pub.term_source = sourceTerm;
  d.source.pub.next_input_byte = data;
  d.source.pub.bytes_in_buffer = size;
  d.cinfo.src = &d.source.pub;
  jpeg_read_header(&d.cinfo, TRUE);
  d.width = d.cinfo.image_width;
  d.height = d.cinfo.image_height;
  if (!imageSizeAllowed(d.width, d.height) || d.width * d.height > mostPixels) {
    d.failure = DecodeFailure::TooLarge;
    jpeg_destroy_decompress(&d.cinfo);
    return false;
  }
  d.colourSpace = d.cinfo.jpeg_color_space;
  bool cmyk = false;
  switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      d.cinfo.out_color_space = JCS_EXT_RGBA;  // libjpeg-turbo fills alpha with 255
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      d.cinfo.out_color_space = JCS_CMYK;  // YCCK is turned into CMYK by the library
      cmyk = true;
      break;
    default:
      d.failure = DecodeFailure::ColourSpace;
      jpeg_destroy_decompress(&d.cinfo);
      return false;
  }
  jpeg_start_decompress(&d.cinfo);
  const int width = int(d.cinfo.output_width);
  const int height = int(d.cinfo.output_height);
  if (!preparePixels(d, width, height, cmyk)) {
    d.failure = DecodeFailure::OutOfMemory;
    jpeg_destroy_decompress(&d.cinfo);
    return false;
  }
  const bool inverted = d.cinfo.saw_Adobe_marker;
  const size_t rowBytes = size_t(width) * 4;
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    const JDIMENSION y = d.cinfo.output_scanline;
    if (cmyk) {
      JSAMPROW row = d.cmykRow.data();
      if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) break;
      cmykToRgba(d.cmykRow.data(), d.image.pixels.data() + y * rowBytes, width, inverted);
    } else {
      JSAMPROW rows[4];
      const JDIMENSION count = std::min<JDIMENSION>(4, d.cinfo.output_height - y);
      for (JDIMENSION i = 0; i < count; ++i) rows[i] = d.image.pixels.data() + (y + i) * rowBytes;
      if (jpeg_read_scanlines(&d.cinfo, rows, count) == 0) break;
    }
  }
  // A multi-scan file that ran out of data between scans still gives whole rows, made only
  // from its first scans: that is a truncated file too, unless a progressive file's scans
  // brought every coefficient of every component to full precision.
  bool complete = d.cinfo.output_scanline == d.cinfo.output_height;
  if (complete && d.source.suppliedEnd && jpeg_has_multiple_scans(&d.cinfo)) {
    complete = d.cinfo.progressive_mode && d.cinfo.coef_bits;
    for (int c = 0; complete && c < d.cinfo.num_components; ++c) {
      for (int k = 0; k < DCTSIZE2; ++k) complete = complete && d.cinfo.coef_bits[c][k] == 0;
    }
  }
  jpeg_destroy_decompress(&d.cinfo);
  if (!complete) {
    d.failure = DecodeFailure::Library;
    return false;
  }
  return true;
}

// A growing malloc'd output buffer for the compressor; freed by the caller on every path.
struct JpegSink {
  jpeg_destination_mgr pub;
  unsigned char* buffer = nullptr;
  size_t capacity = 0;
  size_t size = 0;
  size_t initialCapacity = 0;
};

void sinkInit(j_compress_ptr cinfo) {
  auto* s = reinterpret_cast<JpegSink*>(cinfo->dest);
  if (!s->buffer) {
    s->capacity = std::max<size_t>(s->initialCapacity, 64 * 1024);
    s->buffer = static_cast<unsigned char*>(std::malloc(s->capacity));
    if (!s->buffer) {
      cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
      (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
  }
  s->pub.next_output_byte = s->buffer;
  s->pub.free_in_buffer = s->capacity;
}

boolean sinkGrow(j_compress_ptr cinfo) {
  auto* s = reinterpret_cast<JpegSink*>(cinfo->dest);
  const size_t used = s->capacity;  // the library calls this only when the buffer is full
  const size_t bigger = s->capacity * 2;
  auto* grown = static_cast<unsigned char*>(std::realloc(s->buffer, bigger));
  if (!grown) {
    cinfo->err->msg_code = JERR_OUT_OF_MEMORY;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
  }
  s->buffer = grown;
  s->capacity = bigger;
  s->pub.next_output_byte = s->buffer + used;
  s->pub.free_in_buffer = bigger - used;
  return TRUE;
}

void sinkTerm(j_compress_ptr cinfo) {
  auto* s = reinterpret_cast<JpegSink*>(cinfo->dest);
  s->size = s->capacity - s->pub.free_in_buffer;
}

struct JpegEncode {
  JpegError error;
  jpeg_compress_struct cinfo{};
  JpegSink sink;
};

bool encodeWithLibjpeg(JpegEncode& e, const Image& image, int quality) {
  installErrorManager(e.error, &e.cinfo.err);
  if (setjmp(e.error.jump)) {
    jpeg_destroy_compress(&e.cinfo);
    return false;
  }
  jpeg_create_compress(&e.cinfo);
  e.sink.pub.init_destination = sinkInit;
  e.sink.pub.empty_output_buffer = sinkGrow;
  e.sink.pub.term_destination = sinkTerm;
  e.sink.initialCapacity = size_t(image.width) * size_t(image.height) / 4;
  e.cinfo.dest = &e.sink.pub;
  e.cinfo.image_width = JDIMENSION(image.width);
  e.cinfo.image_height = JDIMENSION(image.height);
  e.cinfo.input_components = 4;
  e.cinfo.in_color_space = JCS_EXT_RGBA;  // the alpha byte is skipped
  jpeg_set_defaults(&e.cinfo);
  jpeg_set_quality(&e.cinfo, quality, TRUE);
  jpeg_start_compress(&e.cinfo, TRUE);
  const size_t rowBytes = size_t(image.width) * 4;
  // libjpeg only reads through the row pointers; it wants them non-const.
  auto* base = const_cast<uint8_t*>(image.pixels.data());
  while (e.cinfo.next_scanline < e.cinfo.image_height) {
    JSAMPROW row = base + e.cinfo.next_scanline * rowBytes;
    jpeg_write_scanlines(&e.cinfo, &row, 1);
  }
  jpeg_finish_compress(&e.cinfo);
  jpeg_destroy_compress(&e.cinfo);
  return true;
}

uint16_t bigEndian16(const uint8_t* p) {
  return uint16_t(p[0] << 8 | p[1]);
}

}  // namespace

namespace image_detail {

HeaderResult jpegHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                            std::string* error) {
  if (detectImageFormat(data, size) != ImageFormat::Jpeg) {
    setError(error, size == 0 ? "empty file" : "not a JPEG file");
    return HeaderResult::Bad;
  }
  size_t pos = 2;
  while (true) {
    // Like libjpeg, skip stray bytes between segments; markers may be preceded by any number
    // of 0xff fill bytes, and 0xff 0x00 is no marker.
    while (pos < size && data[pos] != 0xff) ++pos;
    while (pos < size && data[pos] == 0xff) ++pos;
    if (pos >= size) return HeaderResult::NeedMore;
    const uint8_t marker = data[pos++];
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) continue;
    if (marker == 0xd9 || marker == 0xda) {
      setError(error, "corrupt JPEG file: no frame header");
      return HeaderResult::Bad;
    }
    if (pos + 2 > size) return HeaderResult::NeedMore;
    const size_t length = bigEndian16(data + pos);
    if (length < 2) {
      setError(error, "corrupt JPEG file: bad segment length");
      return HeaderResult::Bad;
    }
    const bool frame =
        marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
    if (frame) {
      // Length, precision, height, width.
      if (pos + 7 > size) return HeaderResult::NeedMore;
      if (length < 7) {
        setError(error, "corrupt JPEG file: bad frame header");
        return HeaderResult::Bad;
      }
      *height = bigEndian16(data + pos + 3);
      *width = bigEndian16(data + pos + 5);
      return HeaderResult::Ok;
    }
    pos += length;
  }
}

}  // namespace image_detail

std::optional<Image> decodeJpeg(const uint8_t* data, size_t size, std::string* error) {
  return image_detail::decodeJpegAtMost(data, size, kMaxImagePixels, error);
}

std::optional<Image> image_detail::decodeJpegAtMost(const uint8_t* data, size_t size,
                                                    int64_t mostPixels, std::string* error) {
  if (detectImageFormat(data, size) != ImageFormat::Jpeg) {
    setError(error, size == 0 ? "empty file" : "not a JPEG file");
    return std::nullopt;
  }
  JpegDecode d;
  if (decodeWithLibjpeg(d, data, size, mostPixels)) return std::move(d.image);
  switch (d.failure) {
    case DecodeFailure::TooLarge:
      if (image_detail::checkSize(d.width, d.height, error)) {
        setError(error, "picture too large: " + std::to_string(d.width) + " x " +
                            std::to_string(d.height) + " pixels");
      }
      break;
    case DecodeFailure::OutOfMemory:
      setError(error, "out of memory for a " + std::to_string(d.width) + " x " +
                          std::to_string(d.height) + " picture");
      break;
    case DecodeFailure::ColourSpace:
      setError(error, "unsupported JPEG colour space (" + std::to_string(d.colourSpace) + ")");
      break;
    case DecodeFailure::Library:
    case DecodeFailure::None: {
      const std::string message = d.error.message;
      if (d.source.suppliedEnd || message.find("Premature end") != std::string::npos) {
        setError(error, "truncated JPEG data");
      } else {
        setError(error, "corrupt JPEG file: " + message);
      }
      break;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> encodeJpeg(const Image& image, int quality,
                                               std::string* error) {
  if (image.empty() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4) {
    setError(error, "nothing to encode: the picture is empty");
    return std::nullopt;
  }
  if (image.width > 65500 || image.height > 65500) {
    setError(error, "picture too large for JPEG");
    return std::nullopt;
  }
  JpegEncode e;
  const bool ok = encodeWithLibjpeg(e, image, std::clamp(quality, 1, 100));
  std::optional<std::vector<uint8_t>> out;
  if (ok) {
    try {
      out.emplace(e.sink.buffer, e.sink.buffer + e.sink.size);
    } catch (const std::bad_alloc&) {
      out.reset();
      std::strcpy(e.error.message, "out of memory");
    }
  }
  std::free(e.sink.buffer);
  if (!out) setError(error, std::string("JPEG encoding failed: ") + e.error.message);
  return out;
}

}  // namespace kestrum
