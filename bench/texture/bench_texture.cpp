// PrepareTexture of a 5000 x 3000 JPEG with OptimizeTextures on, beside the plain work it cannot
// avoid measured in the same run: reading and decoding the JPEG and resampling it to 4096 x 4096.
// Goal: PrepareTexture at most 1.5 times the plain work.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "engine/engine.h"
#include "image/image.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

constexpr int kWidth = 5000, kHeight = 3000, kSide = 4096;
constexpr int kRounds = 7;

// A photo-like picture: smooth gradients with fine texture, so the JPEG is of realistic size.
Image makePhoto() {
  Image image = makeImage(kWidth, kHeight);
  uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1664525u + 1013904223u;
      uint8_t* p = image.pixel(x, y);
      int grain = static_cast<int>(noise >> 28);
      p[0] = static_cast<uint8_t>((x * 255 / kWidth + grain) & 255);
      p[1] = static_cast<uint8_t>((y * 255 / kHeight + grain) & 255);
      p[2] = static_cast<uint8_t>(((x + y) / 32 % 2 ? 200 : 60) + grain);
      p[3] = 255;
    }
  }
  return image;
}

double elapsedMs(const std::function<bool()>& work) {
  auto start = std::chrono::steady_clock::now();
  if (!work()) {
    std::fprintf(stderr, "bench_texture: the work failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  fs::path dir = fs::temp_directory_path() / ("kestrum_bench_texture_" + std::to_string(getpid()));
  fs::create_directories(dir / "profile");
  const std::string photo = (dir / "photo.jpg").string();
  SaveOptions options;
  options.jpegQuality = 90;
  if (!saveImage(makePhoto(), photo, options)) {
    std::fprintf(stderr, "bench_texture: cannot write %s\n", photo.c_str());
    return 1;
  }
  std::printf("picture: %d x %d JPEG, %.1f MB\n", kWidth, kHeight,
              static_cast<double>(fs::file_size(photo)) / 1e6);

  auto plainWork = [&] {
    auto bytes = sys::readFile(photo);
    if (!bytes) return false;
    auto image = decodeJpeg(bytes->data(), bytes->size());
    return image && !resampleArea(*image, kSide, kSide).empty();
  };
  App = AppState{};
  App.OptimizeTextures = 1;
  App.ProfileFolder = (dir / "profile").string() + "/";
  auto prepareWork = [&] {
    iInitEngine();  // drops the texture of the round before, so each round does the work
    EngineHandle texture = PrepareTexture(photo);
    CloseProgressWindow();
    int width = 0, height = 0;
    iTextureOriginalSize(texture, &width, &height);
    return texture > 0 && width == kSide && height == kSide;
  };

  // The two alternate, so that a change in the machine's load touches both alike.
  std::vector<double> plain, prepare, ratio;
  for (int i = 0; i < kRounds; ++i) {
    plain.push_back(elapsedMs(plainWork));
    prepare.push_back(elapsedMs(prepareWork));
    ratio.push_back(prepare.back() / plain.back());
  }
  std::printf("plain decode + resample to %d x %d: median %7.1f ms, best %7.1f ms\n", kSide, kSide,
              median(plain), *std::min_element(plain.begin(), plain.end()));
  std::printf("PrepareTexture:                        median %7.1f ms, best %7.1f ms\n",
              median(prepare), *std::min_element(prepare.begin(), prepare.end()));
  std::printf("ratio: median of %d rounds %.2f, of the best times %.2f (goal: at most 1.50)\n",
              kRounds, median(ratio),
              *std::min_element(prepare.begin(), prepare.end()) /
                  *std::min_element(plain.begin(), plain.end()));
  iInitEngine();
  fs::remove_all(dir);
  return 0;
}
