// Texture and image calls that read or write picture files.
#include "engine/engine.h"
#include "engine/engine_internal.h"

using namespace kestrum::engine_detail;

EngineHandle iLoadTexture(const std::string& path) {
  EngineState& s = state();
  if (path.empty()) {
    s.lastLoadError = "no file name given";
    return 0;
  }
  // A path already loaded gives the texture made from it, not a second copy.
  if (EngineHandle existing = iFindTexture(path)) return existing;
  std::string error;
  std::optional<kestrum::Image> image = kestrum::loadImage(path, &error);
  if (!image) {
    s.lastLoadError = path + ": " + error;
    return 0;
  }
  const int width = image->width, height = image->height;
  return makeTexture(path, std::move(*image), width, height);
}

EngineHandle iLoadImage(const std::string& path) {
  EngineState& s = state();
  std::string error;
  std::optional<kestrum::Image> image = kestrum::loadImage(path, &error);
  if (!image) {
    s.lastLoadError = path + ": " + error;
    return 0;
  }
  const EngineHandle handle = newHandle();
  if (handle == 0) return 0;
  s.images[handle] = std::move(*image);
  return handle;
}

bool iSaveImage(EngineHandle image, const std::string& path, int /*flags*/) {
  EngineState& s = state();
  auto it = image ? s.images.find(image) : s.images.end();
  if (it == s.images.end()) return false;
  std::string error;
  if (!kestrum::saveImage(it->second, path, {}, &error)) {
    s.lastLoadError = path + ": " + error;
    return false;
  }
  return true;
}
