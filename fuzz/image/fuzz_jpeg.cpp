// libFuzzer target: the JPEG header reader and decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/image.h"
#include "image_internal.h"

// Pictures above this many pixels are legal but only slow the fuzzer down; the size limits
// themselves are covered by the unit tests.
constexpr int64_t kMostFuzzPixels = int64_t{1} << 22;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrum;
  int64_t width = 0, height = 0;
  image_detail::jpegHeaderSize(data, size, &width, &height, nullptr);
  std::string error;
  const auto image = image_detail::decodeJpegAtMost(data, size, kMostFuzzPixels, &error);
  if (image && image->pixels.size() != size_t(image->width) * size_t(image->height) * 4) {
    __builtin_trap();
  }
  if (!image && error.empty()) __builtin_trap();
  return 0;
}
