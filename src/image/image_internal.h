// Helpers shared by the codecs of the image facility; not part of its public interface.
#pragma once

#include <cstdint>
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

}  // namespace kestrum::image_detail
