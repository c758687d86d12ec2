// Renders the demo scene headless at 800 x 836 with 4 samples a pixel and writes demo.png in the
// current folder.
#include <cstdio>
#include <filesystem>
#include <string>

#include "demo/demo_scene.h"
#include "engine/offscreen.h"

int main() {
  std::string error;
  auto renderer = kestrum::OffscreenRenderer::create(&error);
  if (!renderer) {
    std::fprintf(stderr, "demo: %s\n", error.c_str());
    return 1;
  }
  kestrum::buildDemoScene();
  kestrum::OffscreenOptions options;
  options.samples = 4;
  options.clearColour = 0xFFFFFFFFu;
  std::optional<kestrum::Image> picture = renderer->render(800, 836, options, &error);
  if (!picture) {
    std::fprintf(stderr, "demo: rendering failed: %s\n", error.c_str());
    return 1;
  }
  const std::string path = "demo.png";
  if (!kestrum::saveImage(*picture, path, {}, &error)) {
    std::fprintf(stderr, "demo: cannot write %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  std::printf("%s\n", std::filesystem::absolute(path).c_str());
  std::printf("renderer: %s\n", renderer->rendererName().c_str());
  return 0;
}
