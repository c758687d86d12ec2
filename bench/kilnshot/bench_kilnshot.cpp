// The final renderer's speed: kilnshot rendering the default scene at 1600 x 1672 with
// anti-aliasing, as a whole process run from the run folder, beside the PNG encode of a picture of
// the same size (the floor it cannot go under, since it must write one). The in-process split
// (loading the scene, drawing, writing) says where the rest goes. Median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/image.h"
#include "kilnshot/kilnshot.h"
#include "persist/session_record.h"
#include "system/system.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrum;
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string run = KESTRUM_RUN_DIR;
  const std::string folder = "/tmp/kestrum_bench_kilnshot";
  sys::runProgramAndWait("mkdir", {"-p", folder});

  SessionRecord r = newSessionRecord();
  r.OutputWidth = 1600;
  r.OutputHeight = 1672;
  r.OutputPath = folder + "/shot.png";
  const std::string job = folder + "/default.ksm";
  if (!writeSessionFile(job, r)) {
    std::fprintf(stderr, "bench_kilnshot: cannot write %s\n", job.c_str());
    return 1;
  }

  std::vector<double> whole;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    int status = sys::runProgramAndWait(run + "/kilnshot", {"-q", job}, run);
    whole.push_back(msSince(start));
    if (status != 0) {
      std::fprintf(stderr, "bench_kilnshot: kilnshot failed (%d)\n", status);
      return 1;
    }
  }
  auto shot = loadImage(r.OutputPath);
  if (!shot) return 1;
  std::vector<double> encode;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    auto bytes = encodePng(*shot, 6);
    encode.push_back(msSince(start));
    if (!bytes) return 1;
  }

  // Where the time goes, inside one process.
  std::string previous = sys::currentDirectory();
  auto start = Clock::now();
  std::string error;
  auto renderer = SceneRenderer::create(run, nullptr, &error);
  double load = msSince(start);
  if (!renderer) {
    std::fprintf(stderr, "bench_kilnshot: %s\n", error.c_str());
    return 1;
  }
  std::vector<double> draw, write;
  for (int i = 0; i < runs; ++i) {
    start = Clock::now();
    auto picture = renderer->render(r, previous, &error);
    draw.push_back(msSince(start));
    if (!picture) return 1;
    start = Clock::now();
    saveImage(*picture, folder + "/again.png");
    write.push_back(msSince(start));
  }

  const double floor = median(encode), total = median(whole);
  std::printf("kilnshot, default scene 1600 x 1672, anti-aliased (%s), median of %d\n",
              renderer->rendererName().c_str(), runs);
  std::printf("  whole kilnshot run:            %8.1f ms\n", total);
  std::printf("  reference, PNG encode alone:   %8.1f ms   (ratio %.2f, goal <= 2)\n", floor,
              total / floor);
  std::printf("  in-process: load scene %.1f ms, draw %.1f ms, write %.1f ms\n", load, median(draw),
              median(write));
  return 0;
}
