// Helpers shared by the codecs of the image facility; not part of its public interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <optional>
#include <string>
#include <string_view>

#include "image/image.h"

namespace kestrum::image_detail {

// Puts `reason` into `error` when the caller asked for one.
void setError(std::string* error, std::string_view reason);

// Checks a size read from a header against the facility's limits, with a reason on failure.
bool checkSize(int64_t width, int64_t height, std::string* error);

// Sizes `image` to width x height RGBA (zeroed); false with a reason when memory runs out.
bool allocatePixels(Image& image, int width, int height, std::string* error);

// Header parsers: the picture size as its header states it, without decoding. They read only
// within [data, data + size).
enum class HeaderResult { Ok, NeedMore, Bad };
// PNG: the IHDR chunk, which must come first.
bool pngHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                   std::string* error);
// JPEG: walks the markers up to the first frame header; NeedMore when `data` ends before it.
HeaderResult jpegHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                            std::string* error);
// decodeJpeg with a lower pixel limit (for the fuzzer, where the header walk may give up but
// libjpeg still finds a frame).
std::optional<Image> decodeJpegAtMost(const uint8_t* data, size_t size, int64_t mostPixels,
                                      std::string* error);

// BMP: the file and info headers.
bool bmpHeaderSize(const uint8_t* data, size_t size, int64_t* width, int64_t* height,
                   std::string* error);

// The picture kept by keepWrittenPicture for this path, handed over once, when the file is still
// the one it was written as; otherwise empty.
std::optional<Image> takeWrittenPicture(const std::string& path);

}  // namespace kestrum::image_detail
