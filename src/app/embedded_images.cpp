// The embedded pictures, found by the names the build compiled in.
#include "app/embedded_images.h"

#include "state/app_state.h"
#include "toolkit/toolkit.h"

namespace {

// KESTRUM_EMBEDDED_IMAGE_NAMES: a comma-separated list of string literals, in index order,
// written by the build from assets/images.
#include "app/embedded_image_names.inc"

}  // namespace

const std::vector<std::string>& EmbeddedImagePaths() {
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> list;
    for (const char* name : {KESTRUM_EMBEDDED_IMAGE_NAMES})
      list.push_back(std::string(":/images/") + name);
    return list;
  }();
  return paths;
}

int DecodeEmbeddedImages() {
  const std::vector<std::string>& paths = EmbeddedImagePaths();
  int decoded = 0;
  for (int i = 0; i < kEmbeddedImageCount; ++i) {
    App.EmbeddedImages[i] = i < static_cast<int>(paths.size()) ? tkLoadImage(paths[i]) : 0;
    if (App.EmbeddedImages[i] != 0) ++decoded;
  }
  return decoded;
}
