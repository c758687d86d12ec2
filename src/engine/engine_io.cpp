// Texture and image calls that read or write picture files.
#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "engine/engine.h"
#include "engine_internal.h"
#include "system/system.h"

namespace kestrum::engine_detail {

FileVersion fileVersion(const std::string& path) {
  struct stat st {};
  FileVersion v;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return v;
  v.device = uint64_t(st.st_dev);
  v.inode = uint64_t(st.st_ino);
  v.size = uint64_t(st.st_size);
  v.seconds = int64_t(st.st_mtim.tv_sec);
  v.nanoseconds = int64_t(st.st_mtim.tv_nsec);
  v.valid = true;
  return v;
}

bool restoreTexturePixels(Texture& t) {
  if (!t.image.pixels.empty()) return true;
  if (t.sourcePath.empty()) return false;
  std::optional<kestrum::Image> image = kestrum::loadImage(t.sourcePath);
  if (!image || image->width != t.image.width || image->height != t.image.height) return false;
  t.image = std::move(*image);
  return true;
}

}  // namespace kestrum::engine_detail

using namespace kestrum::engine_detail;

EngineHandle iLoadTexture(const std::string& path) {
  EngineState& s = state();
  if (path.empty()) {
    s.lastLoadError = "no file name given";
    return 0;
  }
  // A path already loaded gives the texture made from it, not a second copy.
  if (EngineHandle existing = iFindTexture(path)) return existing;
  // Taken before reading, so that a change made while the file is read shows as a change.
  const FileVersion version = fileVersion(path);
  std::string error;
  std::optional<kestrum::Image> image = kestrum::loadImage(path, &error);
  if (!image) {
    s.lastLoadError = path + ": " + error;
    return 0;
  }
  const int width = image->width, height = image->height;
  const EngineHandle handle = makeTexture(path, std::move(*image), width, height);
  if (handle) {
    Texture& t = s.textures[handle];
    t.source = version;
    std::error_code ec;
    t.sourcePath = std::filesystem::absolute(path, ec).string();
  }
  return handle;
}

EngineHandle iLoadImage(const std::string& path) {
  EngineState& s = state();
  const FileVersion version = fileVersion(path);
  std::optional<kestrum::Image> image;
  // A texture loaded from this same, unchanged file and not yet scaled holds exactly the pixels
  // a decode would give. PrepareTexture loads an image right after making such a texture, and
  // frees the texture as soon as it has the picture: so a texture not yet uploaded gives its
  // pixels away (decoding its file again should it be drawn after all); one in use lends a copy.
  if (Texture* t = version.valid ? findTexture(iFindTexture(path)) : nullptr) {
    if (t->source == version && !t->image.pixels.empty() && t->image.width == t->originalWidth &&
        t->image.height == t->originalHeight) {
      if (t->glName == 0) {
        image.emplace();
        image->width = t->image.width;
        image->height = t->image.height;
        image->hasAlpha = t->image.hasAlpha;
        image->pixels = std::move(t->image.pixels);
        t->image.pixels = {};
      } else {
        image = t->image;
      }
    }
  }
  if (!image) {
    std::string error;
    image = kestrum::loadImage(path, &error);
    if (!image) {
      s.lastLoadError = path + ": " + error;
      return 0;
    }
  }
  const EngineHandle handle = newHandle();
  if (handle == 0) return 0;
  s.images[handle] = std::move(*image);
  if (version.valid) s.imageSources[handle] = {path, version, {}};
  return handle;
}

bool iSaveImage(EngineHandle image, const std::string& path, int /*flags*/) {
  EngineState& s = state();
  auto it = image ? s.images.find(image) : s.images.end();
  if (it == s.images.end()) return false;
  // Engine images are never changed after loading. Saved in the format their unchanged source
  // file already has, that file's own bytes are the faithful copy: write them, without
  // encoding (and without a second loss for JPEG).
  if (auto source = s.imageSources.find(image); source != s.imageSources.end()) {
    EngineState::ImageSource& from = source->second;
    from.savedTo.clear();
    kestrum::ImageFormat wanted = kestrum::formatFromFileName(path);
    if (wanted == kestrum::ImageFormat::Unknown) wanted = kestrum::ImageFormat::Png;
    if (fileVersion(from.path) == from.version) {
      std::optional<std::vector<uint8_t>> bytes = kestrum::sys::readFile(from.path);
      if (bytes && fileVersion(from.path) == from.version &&
          kestrum::detectImageFormat(bytes->data(), bytes->size()) == wanted) {
        std::string error;
        if (!kestrum::sys::writeFileAtomic(path, bytes->data(), bytes->size(), &error)) {
          s.lastLoadError = path + ": " + error;
          return false;
        }
        from.savedTo = path;
        return true;
      }
    }
  }
  std::string error;
  if (!kestrum::saveImage(it->second, path, {}, &error)) {
    s.lastLoadError = path + ": " + error;
    return false;
  }
  return true;
}
