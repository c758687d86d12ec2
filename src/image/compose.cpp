// Compositing of RGBA pictures: premultiplying alpha and laying one picture over another.
#include <algorithm>

#include "image/image.h"

namespace kestrum {

void premultiplyAlpha(Image& im) {
  for (size_t i = 0; i + 3 < im.pixels.size(); i += 4) {
    unsigned a = im.pixels[i + 3];
    for (int c = 0; c < 3; ++c)
      im.pixels[i + c] = static_cast<uint8_t>((im.pixels[i + c] * a + 127) / 255);
  }
}

void unpremultiplyAlpha(Image& im) {
  for (size_t i = 0; i + 3 < im.pixels.size(); i += 4) {
    unsigned a = im.pixels[i + 3];
    for (int c = 0; c < 3; ++c) {
      im.pixels[i + c] =
          a == 0 ? 0 : static_cast<uint8_t>(std::min(255u, (im.pixels[i + c] * 255 + a / 2) / a));
    }
  }
}

void overPremultiplied(Image& bottom, const Image& top) {
  if (bottom.width != top.width || bottom.height != top.height) return;
  for (size_t i = 0; i + 3 < bottom.pixels.size(); i += 4) {
    unsigned keep = 255 - top.pixels[i + 3];
    for (int c = 0; c < 4; ++c) {
      bottom.pixels[i + c] =
          static_cast<uint8_t>(top.pixels[i + c] + (bottom.pixels[i + c] * keep + 127) / 255);
    }
  }
}

void compositeOver(Image& bottom, const Image& top) {
  if (bottom.width != top.width || bottom.height != top.height) return;
  Image upper = top;
  premultiplyAlpha(bottom);
  premultiplyAlpha(upper);
  overPremultiplied(bottom, upper);
  unpremultiplyAlpha(bottom);
  bottom.hasAlpha = true;
}

}  // namespace kestrum
