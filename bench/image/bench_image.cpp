// Image facility benchmarks: JPEG decoding beside a plain libjpeg-turbo loop, area resampling
// beside Pillow's BOX resize, and PNG encoding at the temporary-copy level and the default.
// Each figure is the median of a few runs.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "image/image.h"

namespace {

using Clock = std::chrono::steady_clock;

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Wall-clock and processor time of one piece of work, medians over `runs`. The processor time
// is the steadier figure on a busy machine.
struct Timing {
  double wallMs = 0;
  double cpuMs = 0;
};

Timing median(int runs, const std::function<void()>& work) {
  std::vector<double> wall, cpu;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    const double cpuStart = processCpuMs();
    work();
    cpu.push_back(processCpuMs() - cpuStart);
    wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

void printRow(const char* label, Timing t, const std::string& note = {}) {
  std::printf("  %-32s %8.1f ms wall %8.1f ms cpu%s\n", label, t.wallMs, t.cpuMs, note.c_str());
}

// A smooth gradient with some noise, like a photograph.
kestrum::Image noisyGradient(int width, int height, bool alpha) {
  kestrum::Image image = kestrum::makeImage(width, height);
  image.hasAlpha = alpha;
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = int(seed >> 28) - 8;
      uint8_t* p = image.pixel(x, y);
      p[0] = uint8_t(std::clamp(x * 255 / width + noise, 0, 255));
      p[1] = uint8_t(std::clamp(y * 255 / height - noise, 0, 255));
      p[2] = uint8_t(std::clamp((x + y) * 255 / (width + height) + noise / 2, 0, 255));
      p[3] = alpha ? uint8_t(std::clamp(x * 255 / width + noise, 0, 255)) : 255;
    }
  }
  return image;
}

// The reference: libjpeg-turbo straight into one RGB buffer.
// Like decodeJpeg, it makes a fresh buffer for every picture.
size_t plainLibjpegDecode(const std::vector<uint8_t>& file) {
  std::vector<uint8_t> out;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const size_t stride = size_t(cinfo.output_width) * 3;
  out.resize(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[4];
    const JDIMENSION n = std::min<JDIMENSION>(4, cinfo.output_height - cinfo.output_scanline);
    for (JDIMENSION i = 0; i < n; ++i) {
      rows[i] = out.data() + (cinfo.output_scanline + i) * stride;
    }
    jpeg_read_scanlines(&cinfo, rows, n);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out.size();
}

// Runs the Pillow script; nothing when no python3 with Pillow is found.
std::optional<Timing> pillowBox(int sw, int sh, int dw, int dh) {
  for (const char* python : {"python3", "/usr/bin/python3"}) {
    const std::string command = std::string(python) + " " + KESTRUM_PIL_BOX_SCRIPT + " " +
                                std::to_string(sw) + " " + std::to_string(sh) + " " +
                                std::to_string(dw) + " " + std::to_string(dh) + " 3 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) continue;
    Timing t;
    const bool read = std::fscanf(pipe, "pil_box_ms %lf %lf", &t.wallMs, &t.cpuMs) == 2;
    const int status = pclose(pipe);
    if (status == 0 && read) return t;
  }
  return std::nullopt;
}

}  // namespace

// With an argument (jpeg, resample or png), runs only that part.
int main(int argc, char** argv) {
  using namespace kestrum;
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* part) { return only.empty() || only == part; };
  const int sw = 5000, sh = 3000, side = 4096;
  std::printf("image facility benchmarks (median of runs; lower is better)\n\n");

  const Image photo = noisyGradient(sw, sh, false);
  const auto jpeg = encodeJpeg(photo, 90);
  if (!jpeg) {
    std::printf("JPEG encoding failed\n");
    return 1;
  }
  if (wanted("jpeg")) {
    std::printf("JPEG decode, %d x %d, quality 90 (%.1f MB)\n", sw, sh, double(jpeg->size()) / 1e6);
    const Timing reference = median(5, [&] { plainLibjpegDecode(*jpeg); });
    bool ok = true;
    const Timing ours = median(5, [&] { ok = ok && decodeJpeg(jpeg->data(), jpeg->size()); });
    printRow("decodeJpeg (RGBA)", ours, ok ? "" : "  FAILED");
    printRow("reference: libjpeg-turbo RGB", reference);
    std::printf("\n");
  }
  if (wanted("resample")) {
    std::printf("Area resample %d x %d -> %d x %d\n", sw, sh, side, side);
    Image out;
    printRow("resampleArea, opaque", median(3, [&] { out = resampleArea(photo, side, side); }));
    const Image translucent = noisyGradient(sw, sh, true);
    printRow("resampleArea, with alpha",
             median(3, [&] { out = resampleArea(translucent, side, side); }));
    if (const auto pil = pillowBox(sw, sh, side, side)) {
      printRow("reference: Pillow BOX (RGB)", *pil);
    } else {
      std::printf("  reference: Pillow not available (python3 with PIL)\n");
    }
    std::printf("\n");
  }
  if (!wanted("png")) return 0;

  const Image frame = resampleArea(photo, side, side);
  std::printf("PNG encode, %d x %d opaque\n", side, side);
  for (int level : {1, 6}) {
    size_t bytes = 0;
    const Timing t = median(3, [&] {
      const auto png = encodePng(frame, level);
      bytes = png ? png->size() : 0;
    });
    char label[64], note[64];
    std::snprintf(label, sizeof(label), "encodePng level %d", level);
    std::snprintf(note, sizeof(note), "  (%.1f MB)", double(bytes) / 1e6);
    printRow(label, t, note);
  }
  return 0;
}
