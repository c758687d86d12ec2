#include "texture/texture.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "image/image.h"
#include "state/app_state.h"
#include "system/system.h"

namespace kestrum {
namespace {

ProgressWindowHost* g_host = nullptr;
// Whether a window of the host is open; App.ProgressShown is also set when opening failed.
bool g_windowOpen = false;

// Keeps "temp_<hash>_<name>.png" within the 255 bytes a file name may have.
constexpr size_t kMaxNamePart = 200;

uint64_t fnv1a64(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

}  // namespace

void setProgressWindowHost(ProgressWindowHost* host) {
  if (g_host && g_windowOpen) g_host->close();
  g_windowOpen = false;
  g_host = host;
}

ProgressWindowHost* progressWindowHost() {
  return g_host;
}

bool StderrProgressHost::open(const std::string& title) {
  title_ = title;
  text_.clear();
  maximum_ = 100;
  value_ = 0;
  return true;
}

void StderrProgressHost::setMaximum(int maximum) {
  maximum_ = maximum;
}

void StderrProgressHost::setValue(int value) {
  value_ = value;
}

void StderrProgressHost::setText(const std::string& text) {
  text_ = text;
}

void StderrProgressHost::raise(bool activate) {
  // Every update ends by raising and activating the window: one line per update.
  if (activate)
    std::fprintf(stderr, "%s: %s %d/%d\n", title_.c_str(), text_.c_str(), value_, maximum_);
}

void StderrProgressHost::close() {}

int textureTargetSide(int largerSide) {
  if (largerSide > 2048) return 4096;
  if (largerSide > 640) return largerSide > 1024 ? 2048 : 1024;
  if (largerSide > 512) return 512;
  int side = 8;
  while (side < largerSide) side *= 2;
  return side;
}

bool isTextureSizeKept(int width, int height) {
  return width == height && width >= 8 && width <= 4096 && (width & (width - 1)) == 0;
}

std::string textureTempFolder() {
  if (!App.ProfileFolder.empty()) return sys::withTrailingSeparator(App.ProfileFolder);
  // Never the working directory (a model's or the program's folder); and no environment
  // variable decides where the program writes.
  return "/tmp/";
}

std::string temporaryImageName(const std::string& path) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a64(path)));
  std::string_view name = sys::fileNamePart(path);
  if (name.size() > kMaxNamePart) name = name.substr(name.size() - kMaxNamePart);
  return "temp_" + std::string(hash) + "_" + std::string(name);
}

std::string intermediateCopyPath(const std::string& path) {
  return textureTempFolder() + temporaryImageName(path);
}

std::string resizedCopyPath(const std::string& path) {
  return intermediateCopyPath(path) + ".png";
}

}  // namespace kestrum

using namespace kestrum;

void OpenProgressWindow(const std::string& title) {
  if (App.ProgressShown) return;
  App.ProgressShown = 1;
  if (g_host && g_windowOpen) g_host->close();  // left over from a state reset
  g_windowOpen = g_host && g_host->open(title);
  if (!g_windowOpen) return;
  g_host->setMaximum(100);
  g_host->setValue(0);
  g_host->setText(std::string());
  g_host->raise(false);
}

void UpdateProgressWindow(int value, int maximum, const std::string& text) {
  if (!g_host || !g_windowOpen) return;
  g_host->setMaximum(maximum);
  if (value == -1) {
    value = App.ProgressValue + 10;
    if (value > maximum) value = 0;
    App.ProgressValue = value;
  }
  g_host->setValue(value);
  if (text != App.ProgressText) g_host->setText(text);
  g_host->raise(true);
  App.ProgressText = text;
}

void CloseProgressWindow() {
  if (!App.ProgressShown) return;
  App.ProgressShown = 0;
  if (g_host && g_windowOpen) g_host->close();
  g_windowOpen = false;
}

EngineHandle PrepareTexture(const std::string& path) {
  if (EngineHandle found = iFindTexture(path); found > 0) return found;
  const std::string resizedCopy = resizedCopyPath(path);
  if (EngineHandle found = iFindTexture(resizedCopy); found > 0) return found;

  EngineHandle texture = iLoadTexture(path);
  if (texture <= 0) return 0;
  if (!App.OptimizeTextures) return texture;

  int width = 0, height = 0;
  iTextureOriginalSize(texture, &width, &height);
  if (isTextureSizeKept(width, height)) return texture;

  OpenProgressWindow("Please Wait...");
  UpdateProgressWindow(-1, 100, "Preparing textures...");

  EngineHandle image = iLoadImage(path);
  int imageWidth = 0, imageHeight = 0;
  iImageDimension(image, &imageWidth, &imageHeight);
  const int side = textureTargetSide(std::max(imageWidth, imageHeight));

  const std::string intermediate = intermediateCopyPath(path);
  bool saved = iSaveImage(image, intermediate, 0);
  iFreeImage(image);
  // Without a fresh intermediate copy, whatever lies under its name is not this picture.
  if (!saved) return texture;

  std::optional<Image> picture = loadImage(intermediate);
  if (!picture) return texture;
  iFreeTexture(texture);

  Image resized = resampleArea(*picture, side, side);
  picture.reset();
  EngineHandle result = 0;
  // Written without compression: the copy is read back at once and deleted.
  if (!resized.empty() && writeStoredPng(resized, resizedCopy)) {
    // Read straight back by iLoadTexture: let it take the picture rather than decode the file.
    keepWrittenPicture(resizedCopy, std::move(resized));
    result = iLoadTexture(resizedCopy);
  } else if (!resized.empty()) {
    // The first texture is gone already; rather than lose the picture when its resized copy
    // cannot be written, make the texture from memory under the same name.
    result = iAddTexture(resizedCopy, resized);
  }

  sys::deleteFile(resizedCopy);
  sys::deleteFile(intermediate);
  return result > 0 ? result : 0;
}
