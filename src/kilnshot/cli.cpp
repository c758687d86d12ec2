// kilnshot's command line: the render hand-off from the program, and saved sessions from scripts.
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kestrum/version.h"
#include "kilnshot/kilnshot.h"
#include "persist/render_progress.h"
#include "progress_pipe.h"
#include "state/app_state.h"
#include "system/system.h"
#include "viewport/viewport.h"


namespace kestrum {
namespace {

constexpr const char* kDefaultOutputName = "kestrum_render.png";

const char* const kUsage =
    "Usage: kilnshot [options] [SESSION.ksm ...]\n"
    "Renders the final picture of Kestrum sessions.\n"
    "\n"
    "With no session, renders the job that Kestrum hands over in ~/kestrum.tmp.\n"
    "Each session is written to its stored output path; a session without one is\n"
    "written beside itself as SESSION.png.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE   write the picture to FILE (one session only); the format\n"
    "                      follows the ending: .png, .jpg/.jpeg or .bmp (PNG otherwise)\n"
    "  --size WxH          render at W x H pixels instead of the stored size\n"
    "  --format FORMAT     write png, jpg or bmp whatever the name's ending; without\n"
    "                      -o the output name's ending is changed to match\n"
    "  --style N           use box style N (1 to 20) instead of the stored one\n"
    "  --camera PRESET     use a camera preset instead of the stored view: 0 to 9 or a\n"
    "                      name such as \"top-left\", \"Middle Center\" or \"default\"\n"
    "  --cover SLOT=FILE   put the picture FILE on SLOT (front, back, left, right, top\n"
    "                      or bottom); may be given once per slot\n"
    "  --transparent       transparent background (PNG or BMP); the shadow is kept as\n"
    "                      a partly transparent dark layer\n"
    "  --reflection LEVEL  mirror the model in the floor, LEVEL from 0 to 1\n"
    "  --turntable N       N pictures of the model turning once about its vertical\n"
    "                      axis, written as NAME_001.png ... NAME_N.png (N 1 to 3600)\n"
    "  -q, --quiet         print nothing but errors\n"
    "  --progress-fd N     report progress, written pictures and errors as lines\n"
    "                      on descriptor N, for a program that started kilnshot\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Several sessions are rendered one after another with the models loaded once;\n"
    "each picture is written while the next one is drawn.\n"
    "\n"
    "Exit status: 0 when every picture was written, 1 when one was not, 2 for a bad\n"
    "command line.\n";

constexpr int kMaxTurntableFrames = 3600;

struct Options {
  std::string output;
  int width = 0, height = 0;
  bool quiet = false;
  std::vector<std::string> jobs;
  ImageFormat format = ImageFormat::Unknown;
  int style = 0;    // 0: as stored
  int camera = -1;  // -1: as stored
  std::array<std::string, kCoverSlotCount> covers;
  std::array<bool, kCoverSlotCount> coverGiven{};
  ShotOptions shot;
  int turntable = 0;  // 0: one picture
  int progressFd = -1;
};

void fail(const std::string& message) {
  std::fprintf(stderr, "kilnshot: %s\n", message.c_str());
  progressPipe().error(message);
}

// "WxH" with both sides 1..16384.
bool parseSize(const std::string& text, int* width, int* height) {
  size_t x = text.find_first_of("xX");
  if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
  auto number = [](const std::string& digits, int* out) {
    if (digits.empty() || digits.size() > 6) return false;
    for (char c : digits)
      if (c < '0' || c > '9') return false;
    *out = std::atoi(digits.c_str());
    return *out >= 1 && *out <= kMaxImageSide;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

// A whole number from `low` to `high`, nothing else.
bool parseInt(const std::string& text, int low, int high, int* out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  *out = std::atoi(text.c_str());
  return *out >= low && *out <= high;
}

bool parseLevel(const std::string& text, float* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v) || v < 0.0 || v > 1.0) return false;
  *out = static_cast<float>(v);
  return true;
}

ImageFormat parseFormat(const std::string& text) {
  std::string t;
  for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (t == "png") return ImageFormat::Png;
  if (t == "jpg" || t == "jpeg") return ImageFormat::Jpeg;
  if (t == "bmp") return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

const char* formatEnding(ImageFormat format) {
  switch (format) {
    case ImageFormat::Jpeg:
      return ".jpg";
    case ImageFormat::Bmp:
      return ".bmp";
    default:
      return ".png";
  }
}

// The format a picture is written in: the chosen one, else by the name, else PNG.
ImageFormat effectiveFormat(ImageFormat chosen, const std::string& path) {
  if (chosen != ImageFormat::Unknown) return chosen;
  ImageFormat byName = formatFromFileName(path);
  return byName == ImageFormat::Unknown ? ImageFormat::Png : byName;
}

// Parses the command line; returns -1 to go on, or the exit status to end with.
int parse(int argc, char** argv, Options* o) {
  bool onlyJobs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) {
        fail(arg + " needs a value (see kilnshot --help)");
        return false;
      }
      *out = argv[++i];
      return true;
    };
    if (onlyJobs || arg.empty() || arg[0] != '-' || arg == "-") {
      o->jobs.push_back(arg);
    } else if (arg == "--") {
      onlyJobs = true;
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("kilnshot %s\n", kKestrumVersion);
      return 0;
    } else if (arg == "-q" || arg == "--quiet") {
      o->quiet = true;
    } else if (arg == "-o" || arg == "--output") {
      if (!value(&o->output)) return 2;
    } else if (arg == "--size") {
      std::string size;
      if (!value(&size)) return 2;
      if (!parseSize(size, &o->width, &o->height)) {
        fail("bad size \"" + size + "\": give WxH with sides from 1 to 16384, e.g. 1600x1672");
        return 2;
      }
    } else if (arg == "--format") {
      std::string text;
      if (!value(&text)) return 2;
      o->format = parseFormat(text);
      if (o->format == ImageFormat::Unknown) {
        fail("--format: unknown format \"" + text + "\": give png, jpg or bmp");
        return 2;
      }
    } else if (arg == "--style") {
      std::string text;
      if (!value(&text)) return 2;
      if (!parseInt(text, 1, kBoxStyleCount, &o->style)) {
        fail("--style: bad style \"" + text + "\": give a number from 1 to 20");
        return 2;
      }
    } else if (arg == "--camera") {
      std::string text;
      if (!value(&text)) return 2;
      o->camera = cameraPresetFromText(text);
      if (o->camera < 0) {
        std::string names;
        for (int p = 1; p < kCameraPresetCount; ++p) {
          names += std::string(p > 1 ? ", " : "") + "\"" + CameraPresetTable[p].Text + "\"";
        }
        fail("--camera: unknown preset \"" + text + "\": give 0 to 9, \"default\", " + names);
        return 2;
      }
    } else if (arg == "--cover") {
      std::string text;
      if (!value(&text)) return 2;
      size_t eq = text.find('=');
      int slot = -1;
      std::string name = eq == std::string::npos ? text : text.substr(0, eq);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      for (int s = 0; s < kCoverSlotCount; ++s)
        if (name == kCoverSlotNames[s]) slot = s;
      if (eq == std::string::npos || slot < 0 || eq + 1 >= text.size()) {
        fail("--cover: bad value \"" + text +
             "\": give SLOT=FILE with SLOT front, back, left, right, top or bottom");
        return 2;
      }
      std::string file = text.substr(eq + 1);
      if (!sys::fileExists(file) || sys::isDirectory(file)) {
        fail("--cover: no picture file " + file);
        return 2;
      }
      if (o->coverGiven[slot]) {
        fail("--cover: the " + name + " slot is given twice");
        return 2;
      }
      o->coverGiven[slot] = true;
      o->covers[slot] = file;
    } else if (arg == "--transparent") {
      o->shot.transparent = true;
    } else if (arg == "--reflection") {
      std::string text;
      if (!value(&text)) return 2;
      if (!parseLevel(text, &o->shot.reflection)) {
        fail("--reflection: bad level \"" + text + "\": give a number from 0 to 1, e.g. 0.4");
        return 2;
      }
    } else if (arg == "--turntable") {
      std::string text;
      if (!value(&text)) return 2;
      if (!parseInt(text, 1, kMaxTurntableFrames, &o->turntable)) {
        fail("--turntable: bad frame count \"" + text + "\": give a number from 1 to 3600");
        return 2;
      }
    } else if (arg == kProgressFdOption) {
      std::string text;
      if (!value(&text)) return 2;
      if (!parseInt(text, 0, 1 << 20, &o->progressFd)) {
        fail("--progress-fd: bad descriptor \"" + text + "\": give a number such as 1");
        return 2;
      }
    } else {
      fail("unknown option " + arg + " (see kilnshot --help)");
      return 2;
    }
  }
  if (o->shot.transparent && effectiveFormat(o->format, o->output) == ImageFormat::Jpeg &&
      (o->format != ImageFormat::Unknown || !o->output.empty())) {
    fail("--transparent: JPEG pictures have no transparency: write png or bmp");
    return 2;
  }
  if (!o->output.empty() && o->jobs.size() > 1) {
    fail("-o names one picture but " + std::to_string(o->jobs.size()) + " sessions were given");
    return 2;
  }
  return -1;
}

// The path without its ending ("a/b.png" -> "a/b"); a name that only starts with a dot keeps it.
std::string withoutEnding(const std::string& path) {
  std::string name(sys::fileNamePart(path));
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return path;
  return path.substr(0, path.size() - (name.size() - dot));
}

// SESSION.ksm -> SESSION.png beside it.
std::string besideJob(const std::string& job) {
  return withoutEnding(job) + ".png";
}

// NAME.png -> NAME_007.png: three digits at least, more for longer turntables.
std::string framePath(const std::string& path, int index, int count) {
  int digits = std::max(3, static_cast<int>(std::to_string(count).size()));
  std::string number = std::to_string(index + 1);
  number.insert(0, static_cast<size_t>(digits) - std::min<size_t>(digits, number.size()), '0');
  std::string stem = withoutEnding(path);
  return stem + "_" + number + path.substr(stem.size());
}

}  // namespace

int kilnshotMain(int argc, char** argv) {
  Options options;
  int status = parse(argc, argv, &options);
  if (status >= 0) return status;
  if (std::string why; options.progressFd >= 0 && !progressPipe().open(options.progressFd, &why)) {
    fail("--progress-fd: " + why);
    return 2;
  }
  progressPipe().loading(0.0, "Reading the render job");
  auto say = [&](const std::string& line) {
    if (!options.quiet) std::fprintf(stderr, "kilnshot: %s\n", line.c_str());
  };

  std::string cwd = sys::currentDirectory();
  std::string profile = sys::profileFolder();
  bool handOff = options.jobs.empty();

  // Read every job first, so a bad one is reported before minutes of rendering.
  struct Job {
    std::string source;
    SessionRecord record;
    std::string output;
    ImageFormat format = ImageFormat::Png;
    bool ok = true;
  };
  std::vector<Job> jobs;
  std::vector<std::string> sources = options.jobs;
  if (handOff) sources.push_back(profile + kHandOffFileName);
  for (const std::string& source : sources) {
    Job job;
    job.source = source;
    std::string reason;
    if (!readSessionFile(source, &job.record, &reason)) {
      fail("cannot read the render job " + source + ": " + reason);
      job.ok = false;
    }
    if (options.width > 0) {
      job.record.OutputWidth = options.width;
      job.record.OutputHeight = options.height;
    }
    if (options.style > 0) job.record.Style = options.style;
    if (options.camera >= 0) {
      // As the window's preset list does: the camera home, the pivot turned to the preset.
      const CameraPreset& preset = CameraPresetTable[options.camera];
      job.record.PivotRotationX = preset.X;
      job.record.PivotRotationY = preset.Y;
      job.record.CameraX = kCameraHomePosition.x;
      job.record.CameraY = kCameraHomePosition.y;
      job.record.CameraZ = kCameraHomePosition.z;
    }
    for (int slot = 0; slot < kCoverSlotCount; ++slot) {
      if (options.coverGiven[slot])
        job.record.CoverPaths[slot] = sys::resolvePath(cwd, options.covers[slot]);
    }
    if (job.ok) {
      std::string problem = checkRenderRecord(job.record);
      if (!problem.empty()) {
        fail(source + ": " + problem);
        job.ok = false;
      }
    }
    if (!options.output.empty()) {
      job.output = options.output;
    } else if (!job.record.OutputPath.empty()) {
      job.output = job.record.OutputPath;
    } else if (handOff) {
      job.output = profile + kDefaultOutputName;
      say("no output file was chosen: writing " + job.output);
    } else {
      job.output = besideJob(source);
    }
    if (options.output.empty() && options.format != ImageFormat::Unknown) {
      job.output = withoutEnding(job.output) + formatEnding(options.format);
    }
    job.output = sys::resolvePath(cwd, job.output);
    job.format = effectiveFormat(options.format, job.output);
    if (job.ok && options.shot.transparent && job.format == ImageFormat::Jpeg) {
      fail(source + ": JPEG pictures have no transparency: give --format png or bmp");
      job.ok = false;
    }
    jobs.push_back(std::move(job));
  }

  int failures = 0;
  for (const Job& job : jobs) failures += job.ok ? 0 : 1;
  if (failures == static_cast<int>(jobs.size())) return 1;

  int pictures = 0;
  for (const Job& job : jobs) pictures += job.ok ? std::max(1, options.turntable) : 0;
  progressPipe().setPictures(pictures);
  progressPipe().loading(0.25, "Loading the box models");
  std::string data = findDataFolder(cwd);
  if (data.empty()) {
    fail("cannot find the box models (bin/shadow.a3d) in " + cwd +
         " or beside the kilnshot program");
    return 1;
  }
  std::string reason;
  auto renderer = SceneRenderer::create(data, say, &reason);
  if (!renderer) {
    fail(reason);
    return 1;
  }
  // Pictures are drawn here, on the thread that holds the OpenGL context, and encoded and written
  // on the writer's thread meanwhile.
  std::atomic<int> writeFailures{0};
  {
    int shotIndex = 0;
    ShotWriter writer;
    for (const Job& job : jobs) {
      if (!job.ok) continue;
      // Relative cover paths are looked for beside a saved session; the window has already
      // found the ones it hands over.
      std::string sessionFolder =
          handOff ? std::string() : sys::resolvePath(cwd, std::string(sys::folderPart(job.source)));
      if (!handOff && sessionFolder.empty()) sessionFolder = cwd;
      std::string folder(sys::folderPart(job.output));
      if (!folder.empty() && !sys::isDirectory(folder)) {
        fail(job.source + ": the output folder " + folder + " does not exist");
        ++failures;
        continue;
      }
      if (sys::fileNamePart(job.output).empty()) {
        fail(job.source + ": the output path names no file");
        ++failures;
        continue;
      }
      const int frames = std::max(1, options.turntable);
      for (int frame = 0; frame < frames; ++frame) {
        ShotOptions shot = options.shot;
        shot.turn = options.turntable > 0 ? frame * 360.0f / frames : 0.0f;
        progressPipe().drawing(shotIndex, "Drawing the picture (" +
                                              std::to_string(job.record.OutputWidth) + " x " +
                                              std::to_string(job.record.OutputHeight) + ")");
        std::optional<Image> picture = renderer->render(job.record, sessionFolder, &reason, shot);
        if (!picture) {
          fail(job.source + ": " + reason);
          ++failures;
          break;
        }
        std::string path =
            options.turntable > 0 ? framePath(job.output, frame, frames) : job.output;
        std::string size = std::to_string(picture->width) + " x " + std::to_string(picture->height);
        std::string source = job.source;
        const bool large = int64_t{picture->width} * picture->height > int64_t{4096} * 4096;
        if (large) say("writing " + path + "...");
        progressPipe().writing(shotIndex, path);
        writer.add(
            std::move(*picture), path, job.format,
            [&say, &writeFailures, path, size, source, shotIndex](bool ok, const std::string& why) {
              if (ok) {
                progressPipe().wrote(shotIndex, path);
                say("wrote " + path + " (" + size + ")");
              } else {
                fail(source + ": " + why);
                ++writeFailures;
              }
            });
        // A very large picture is written before the next is drawn, so that no more than one
        // of them is held at a time.
        if (large) writer.finish();
        ++shotIndex;
      }
    }
    writer.finish();
  }
  failures += writeFailures;
  return failures == 0 ? 0 : 1;
}

}  // namespace kestrum
