// Codec entry points until the real codecs land: every call fails with a reason.
#include "image/image.h"
#include "image/image_internal.h"

namespace kestrum {
using image_detail::setError;

std::optional<Image> decodePng(const uint8_t*, size_t, std::string* error) {
  setError(error, "PNG decoding not available yet");
  return std::nullopt;
}
std::optional<Image> decodeJpeg(const uint8_t*, size_t, std::string* error) {
  setError(error, "JPEG decoding not available yet");
  return std::nullopt;
}
std::optional<Image> decodeBmp(const uint8_t*, size_t, std::string* error) {
  setError(error, "BMP decoding not available yet");
  return std::nullopt;
}
bool readImageSize(const std::string&, int*, int*, std::string* error) {
  setError(error, "picture headers not readable yet");
  return false;
}
std::optional<std::vector<uint8_t>> encodePng(const Image&, int, std::string* error) {
  setError(error, "PNG encoding not available yet");
  return std::nullopt;
}
std::optional<std::vector<uint8_t>> encodeJpeg(const Image&, int, std::string* error) {
  setError(error, "JPEG encoding not available yet");
  return std::nullopt;
}
std::optional<std::vector<uint8_t>> encodeBmp(const Image&, std::string* error) {
  setError(error, "BMP encoding not available yet");
  return std::nullopt;
}

}  // namespace kestrum
