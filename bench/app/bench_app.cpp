// The program's own speed as a user meets it, in a real window under X (Mesa):
//  - start-up: from the start of a fresh process to its first drawn frame, beside the time to
//    read every file of bin/ (what start-up cannot do faster than);
//  - dragging: one navigation step with its redraw per pass of the main loop, in frames per
//    second, beside a redraw alone.
// Without a display it runs itself again under xvfb-run. Run from anywhere; it works in the run
// folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "app/app.h"
#include "engine/engine.h"
#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "viewport/viewport.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double readBinFolder() {
  auto start = Clock::now();
  size_t bytes = 0;
  for (const auto& entry : fs::directory_iterator("bin")) {
    if (auto data = kestrum::sys::readFile(entry.path().string())) bytes += data->size();
  }
  double ms = msSince(start);
  if (bytes == 0) std::fprintf(stderr, "bench_app: bin/ is empty\n");
  return ms;
}

// Child mode: start up, draw the first frame, let the window show it, and say so.
int startOnce() {
  std::string error;
  if (!InitApplication(&error)) {
    std::fprintf(stderr, "bench_app: %s\n", error.c_str());
    return 1;
  }
  tkPollEvent();  // the first frame reaches the screen
  std::printf("frame\n");
  std::fflush(stdout);
  std::_Exit(0);  // as the program does, without releasing objects one by one
}

double startUpOnce(const char* self) {
  auto start = Clock::now();
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    execl(self, self, "--start-once", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  char buffer[16] = {};
  ssize_t got = read(fds[0], buffer, sizeof buffer - 1);
  double ms = msSince(start);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return got > 0 && std::string(buffer).rfind("frame", 0) == 0 ? ms : -1;
}

// Holds the primary button over the view and moves the pointer one pixel a pass.
struct DragPointer : ViewportHost {
  int x = 150, y = 200, buttons = kPrimaryButton;
  void pointerPosition(int* px, int* py) override {
    *px = x;
    *py = y;
  }
  int mouseButtons() override { return buttons; }
  void setViewCursor(ViewCursor) override {}
  void enableView(bool) override {}
  void activateMainWindow() override {}
  int presetSelection() override { return 0; }
};

void dragBenchmark() {
  std::string error;
  if (!InitApplication(&error)) {
    std::fprintf(stderr, "bench_app: %s\n", error.c_str());
    return;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("renderer: %s (%s)\n", tkStatusBarTextOf(1).c_str(), iRendererName().c_str());
  DragPointer pointer;
  kestrum::setViewportHost(&pointer);
  for (int i = 0; i < 10; ++i) MainLoopPass();  // warm up: textures reach the GPU
  // Blocks of each kind take turns, so that a busy machine weighs on both alike.
  const int blocks = 4, perBlock = 25, passes = blocks * perBlock;
  double dragMs = 0, drawMs = 0;
  for (int block = 0; block < blocks; ++block) {
    auto start = Clock::now();
    for (int i = 0; i < perBlock; ++i) {
      pointer.x = 100 + ((block * perBlock + i) % 150);
      iSetMousePosition(pointer.x - 10, pointer.y - 70);
      MainLoopPass();
    }
    dragMs += msSince(start);
    start = Clock::now();
    for (int i = 0; i < perBlock; ++i) {
      DrawFrame();
      tkPollEvent();
    }
    drawMs += msSince(start);
  }
  std::printf("drag step + redraw: %.2f ms a pass, %.1f frames/s (%d passes)\n", dragMs / passes,
              1000.0 * passes / dragMs, passes);
  std::printf("reference, redraw alone: %.2f ms, %.1f frames/s\n", drawMs / passes,
              1000.0 * passes / drawMs);
  kestrum::setViewportHost(nullptr);
  ReleaseApplication();
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  const char* display = std::getenv("DISPLAY");
  if ((!display || !*display) && mode.empty() && *KESTRUM_XVFB_RUN) {
    std::string self = fs::canonical("/proc/self/exe").string();
    execl(KESTRUM_XVFB_RUN, KESTRUM_XVFB_RUN, "-a", "-s", "-screen 0 1280x1024x24", self.c_str(),
          static_cast<char*>(nullptr));
    std::perror("bench_app: cannot run xvfb-run");
    return 1;
  }
  if (chdir(KESTRUM_RUN_DIR) != 0) {
    std::perror("bench_app: cannot enter the run folder");
    return 1;
  }
  if (mode == "--start-once") return startOnce();

  std::string self = fs::canonical("/proc/self/exe").string();
  std::vector<double> reads, starts;
  for (int i = 0; i < 5; ++i) {
    reads.push_back(readBinFolder());
    double ms = startUpOnce(self.c_str());
    if (ms < 0) {
      std::fprintf(stderr, "bench_app: the start-up child failed\n");
      return 1;
    }
    starts.push_back(ms);
  }
  std::printf("start-up to first frame: %.0f ms (median of 5)\n", median(starts));
  std::printf("reference, reading bin/ alone: %.1f ms (median of 5)\n", median(reads));
  dragBenchmark();
  return 0;
}
