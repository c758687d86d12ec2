// Headless rendering speed: the demo scene at 1600 x 1600 with 4 samples a pixel (supersampled
// and multisampled, as final pictures are drawn), beside the same picture at 1 sample as the
// reference, both measured here and now. Median of several runs; the first run of each, which
// uploads textures and builds the shader, is reported apart.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "demo/demo_scene.h"
#include "engine/offscreen.h"

namespace {

struct Figures {
  double first = 0;
  double median = 0;
  double best = 0;
};

Figures measure(kestrum::OffscreenRenderer& renderer, int side, int samples, int runs) {
  kestrum::OffscreenOptions options;
  options.samples = samples;
  std::vector<double> times;
  Figures f;
  for (int i = 0; i <= runs; ++i) {
    // Each pass starts from a fresh scene, so the first pass of every setting pays for uploads.
    if (i == 0) kestrum::buildDemoScene();
    const auto start = std::chrono::steady_clock::now();
    std::string error;
    auto picture = renderer.render(side, side, options, &error);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!picture) {
      std::fprintf(stderr, "bench_engine: render failed: %s\n", error.c_str());
      return f;
    }
    if (i == 0) {
      f.first = ms;
    } else {
      times.push_back(ms);
    }
  }
  std::sort(times.begin(), times.end());
  f.median = times[times.size() / 2];
  f.best = times.front();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::string error;
  auto renderer = kestrum::OffscreenRenderer::create(&error);
  if (!renderer) {
    std::fprintf(stderr, "bench_engine: %s\n", error.c_str());
    return 1;
  }
  const int side = 1600;
  std::printf("renderer: %s\n", renderer->rendererName().c_str());
  std::printf("demo scene, %d x %d, median of %d runs (first run with uploads apart)\n", side, side,
              runs);
  const Figures reference = measure(*renderer, side, 1, runs);
  const Figures antiAliased = measure(*renderer, side, 4, runs);
  std::printf("  %-34s first %7.1f ms   median %7.1f ms   best %7.1f ms\n",
              "1 sample a pixel (reference)", reference.first, reference.median, reference.best);
  std::printf("  %-34s first %7.1f ms   median %7.1f ms   best %7.1f ms\n",
              "4 samples a pixel (2x2 + 4x MSAA)", antiAliased.first, antiAliased.median,
              antiAliased.best);
  if (reference.median > 0) {
    std::printf("  anti-aliased / reference: %.2fx\n", antiAliased.median / reference.median);
  }
  return 0;
}
