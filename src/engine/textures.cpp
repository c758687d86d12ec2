// The texture and image tables (the picture files are read and written in engine_io.cpp).
#include <algorithm>

#include "engine/engine.h"
#include "engine_internal.h"

namespace kestrum::engine_detail {

namespace {

// Larger power-of-two sizes would cost too much memory for what a screen can show.
constexpr int kMaxPowerOfTwoSide = 8192;

int nextPowerOfTwo(int value) {
  int p = 1;
  while (p < value && p < kMaxPowerOfTwoSide) p *= 2;
  return p;
}

}  // namespace

void madeTextureSize(int width, int height, int flags, int* madeWidth, int* madeHeight) {
  if (flags & kTextureKeepSize) {
    *madeWidth = width;
    *madeHeight = height;
  } else {
    *madeWidth = nextPowerOfTwo(width);
    *madeHeight = nextPowerOfTwo(height);
  }
}

EngineHandle makeTexture(const std::string& name, Image image, int originalWidth,
                         int originalHeight) {
  EngineState& s = state();
  if (image.empty() || image.pixels.size() != size_t(image.width) * size_t(image.height) * 4) {
    s.lastLoadError = "no picture to make a texture from";
    return 0;
  }
  if (!name.empty() && s.textureByName.count(name)) {
    s.lastLoadError = "a texture named \"" + name + "\" is already loaded";
    return 0;
  }
  int width = 0, height = 0;
  madeTextureSize(image.width, image.height, s.textureFlags, &width, &height);
  const EngineHandle handle = newHandle();
  if (handle == 0) {
    s.lastLoadError = "out of handles";
    return 0;
  }
  Texture& texture = s.textures[handle];
  texture.name = name;
  texture.originalWidth = originalWidth;
  texture.originalHeight = originalHeight;
  texture.madeWidth = width;
  texture.madeHeight = height;
  texture.image = std::move(image);
  texture.mipmaps = (s.textureFlags & kTextureMipmaps) != 0;
  texture.quality = (s.textureFlags & kTextureQuality) != 0;
  if (!name.empty()) s.textureByName[name] = handle;
  return handle;
}

}  // namespace kestrum::engine_detail

using namespace kestrum::engine_detail;

void iFlagCreationTexture(int flag, bool on) {
  int& flags = state().textureFlags;
  if (on) {
    flags |= flag;
  } else {
    flags &= ~flag;
  }
}

EngineHandle iAddTexture(const std::string& name, const kestrum::Image& image) {
  return makeTexture(name, image, image.width, image.height);
}

EngineHandle iFindTexture(const std::string& path) {
  if (path.empty()) return 0;
  const auto& byName = state().textureByName;
  auto it = byName.find(path);
  return it == byName.end() ? 0 : it->second;
}

void iTextureOriginalSize(EngineHandle texture, int* width, int* height) {
  const Texture* t = findTexture(texture);
  if (width) *width = t ? t->originalWidth : 0;
  if (height) *height = t ? t->originalHeight : 0;
}

void iTextureSize(EngineHandle texture, int* width, int* height) {
  const Texture* t = findTexture(texture);
  if (width) *width = t ? t->madeWidth : 0;
  if (height) *height = t ? t->madeHeight : 0;
}

std::string iTextureName(EngineHandle texture) {
  const Texture* t = findTexture(texture);
  return t ? t->name : std::string();
}

void iFreeTexture(EngineHandle texture) {
  EngineState& s = state();
  Texture* t = findTexture(texture);
  if (!t) return;
  discardGpu(*t);
  auto it = s.textureByName.find(t->name);
  if (it != s.textureByName.end() && it->second == texture) s.textureByName.erase(it);
  s.textures.erase(texture);
  // Materials that still name the texture draw without it; clear them so a later texture can
  // never be mistaken for this one.
  for (auto& [handle, node] : s.nodes) {
    for (EngineHandle& layer : node.material.textures) {
      if (layer == texture) layer = 0;
    }
  }
}

int iTextureCount() {
  return int(state().textures.size());
}

void iImageDimension(EngineHandle image, int* width, int* height) {
  const auto& images = state().images;
  auto it = image ? images.find(image) : images.end();
  if (width) *width = it != images.end() ? it->second.width : 0;
  if (height) *height = it != images.end() ? it->second.height : 0;
}

void iFreeImage(EngineHandle image) {
  EngineState& s = state();
  auto it = image ? s.images.find(image) : s.images.end();
  if (it == s.images.end()) return;
  // An image just saved as a byte-for-byte copy of its file is usually read back from that copy
  // next (PrepareTexture's intermediate copy): hand its pixels to the image facility's memo of
  // written files instead of dropping them.
  if (auto source = s.imageSources.find(image); source != s.imageSources.end()) {
    if (!source->second.savedTo.empty())
      kestrum::keepWrittenPicture(source->second.savedTo, std::move(it->second));
    s.imageSources.erase(source);
  }
  s.images.erase(it);
}

std::string iLastLoadError() {
  return state().lastLoadError;
}
