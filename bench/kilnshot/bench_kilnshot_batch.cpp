// kilnshot's batch mode: a series of shots of one product (varied box styles and camera presets,
// 800 x 836, anti-aliased) rendered by one kilnshot run over all the sessions, beside separate
// kilnshot runs for the same shots (the reference: each run starts a context and loads every
// model again). Usage: bench_kilnshot_batch [SHOTS [SEPARATE]]: SEPARATE of the separate runs
// are timed and scaled to SHOTS when fewer (default 100 shots, 20 separate runs). The same is
// then timed without anti-aliasing, where drawing is cheaper and the per-run start-up weighs more.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kilnshot/kilnshot.h"
#include "persist/session_record.h"
#include "system/system.h"
#include "viewport/viewport.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Timing {
  double apart = 0, batch = 0;
  bool ok = false;
};

// Writes one session per shot (styles 1..20 in turn, the ten presets in turn) and times the
// separate runs and the batch run over them.
Timing measure(int shots, int separate, int antiAlias, const std::string& run,
               const std::string& folder) {
  using namespace kestrum;
  Timing t;
  sys::runProgramAndWait("rm", {"-rf", folder});
  sys::runProgramAndWait("mkdir", {"-p", folder});
  std::vector<std::string> sessions;
  for (int i = 0; i < shots; ++i) {
    SessionRecord r = newSessionRecord();
    r.Style = 1 + i % 20;
    const CameraPreset& preset = CameraPresetTable[(i / 20 + i) % 10];
    r.PivotRotationX = preset.X;
    r.PivotRotationY = preset.Y;
    r.AntiAlias = antiAlias;
    char name[64];
    std::snprintf(name, sizeof name, "/shot_%03d.ksm", i + 1);
    sessions.push_back(folder + name);
    if (!writeSessionFile(sessions.back(), r)) {
      std::fprintf(stderr, "bench_kilnshot_batch: cannot write %s\n", sessions.back().c_str());
      return t;
    }
  }
  auto start = Clock::now();
  for (int i = 0; i < separate; ++i) {
    if (sys::runProgramAndWait(run + "/kilnshot", {"-q", sessions[i]}, run) != 0) {
      std::fprintf(stderr, "bench_kilnshot_batch: kilnshot failed on %s\n", sessions[i].c_str());
      return t;
    }
  }
  t.apart = secondsSince(start) * shots / separate;
  std::vector<std::string> args = {"-q"};
  args.insert(args.end(), sessions.begin(), sessions.end());
  start = Clock::now();
  if (sys::runProgramAndWait(run + "/kilnshot", args, run) != 0) {
    std::fprintf(stderr, "bench_kilnshot_batch: the batch run failed\n");
    return t;
  }
  t.batch = secondsSince(start);
  t.ok = true;
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int shots = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
  const int separate = std::min(shots, argc > 2 ? std::max(1, std::atoi(argv[2])) : 20);
  const std::string run = KESTRUM_RUN_DIR;
  const std::string folder = "/tmp/kestrum_bench_kilnshot_batch";
  std::printf("kilnshot, %d shots at 800 x 836, 20 styles x 10 camera presets; separate runs\n",
              shots);
  if (separate < shots) std::printf("measured on the first %d and scaled\n", separate);
  for (int antiAlias : {1, 0}) {
    Timing t = measure(shots, separate, antiAlias, run, folder);
    if (!t.ok) return 1;
    std::printf("%s:\n", antiAlias ? "anti-aliased" : "without anti-aliasing");
    std::printf("  reference, separate runs: %8.2f s  (%.3f s a shot)\n", t.apart, t.apart / shots);
    std::printf("  one batch run:            %8.2f s  (%.3f s a shot)\n", t.batch, t.batch / shots);
    std::printf("  speed-up %.2f x (goal >= 3)\n", t.apart / t.batch);
  }
  return 0;
}
