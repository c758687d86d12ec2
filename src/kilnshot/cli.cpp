// kilnshot's command line: the render hand-off from the program, and saved sessions from scripts.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kilnshot/render_job.h"
#include "system/system.h"

#ifndef KESTRUM_VERSION
#define KESTRUM_VERSION "0.0"
#endif

namespace kestrum {
namespace {

constexpr const char* kHandOffName = "kestrum.tmp";
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
    "  -q, --quiet         print nothing but errors\n"
    "  -h, --help          show this help and exit\n"
    "  --version           show the version and exit\n"
    "\n"
    "Exit status: 0 when every picture was written, 1 when one was not, 2 for a bad\n"
    "command line.\n";

struct Options {
  std::string output;
  int width = 0, height = 0;
  bool quiet = false;
  std::vector<std::string> jobs;
};

void fail(const std::string& message) {
  std::fprintf(stderr, "kilnshot: %s\n", message.c_str());
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
    return *out >= 1 && *out <= kMaxRenderSide;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
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
      std::printf("kilnshot %s\n", KESTRUM_VERSION);
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
    } else {
      fail("unknown option " + arg + " (see kilnshot --help)");
      return 2;
    }
  }
  if (!o->output.empty() && o->jobs.size() > 1) {
    fail("-o names one picture but " + std::to_string(o->jobs.size()) + " sessions were given");
    return 2;
  }
  return -1;
}

std::string absolute(const std::string& cwd, const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  return sys::withTrailingSeparator(cwd) + path;
}

// SESSION.ksm -> SESSION.png beside it.
std::string besideJob(const std::string& job) {
  std::string name(sys::fileNamePart(job));
  size_t dot = name.rfind('.');
  std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  return std::string(sys::folderPart(job)) + stem + ".png";
}

}  // namespace

int kilnshotMain(int argc, char** argv) {
  Options options;
  int status = parse(argc, argv, &options);
  if (status >= 0) return status;
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
    bool ok = true;
  };
  std::vector<Job> jobs;
  std::vector<std::string> sources = options.jobs;
  if (handOff) sources.push_back(profile + kHandOffName);
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
    job.output = absolute(cwd, job.output);
    jobs.push_back(std::move(job));
  }

  int failures = 0;
  for (const Job& job : jobs) failures += job.ok ? 0 : 1;
  if (failures == static_cast<int>(jobs.size())) return 1;

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
  for (const Job& job : jobs) {
    if (!job.ok) continue;
    std::string base = handOff ? cwd : absolute(cwd, std::string(sys::folderPart(job.source)));
    // Sessions store cover paths as the program had them: relative ones are relative to where
    // the program ran, which for a hand-off is here and for a saved session its own folder.
    if (base.empty()) base = cwd;
    if (!renderer->renderToFile(job.record, base, job.output, &reason)) {
      fail(job.source + ": " + reason);
      ++failures;
      continue;
    }
    say("wrote " + job.output + " (" + std::to_string(job.record.OutputWidth) + " x " +
        std::to_string(job.record.OutputHeight) + ")");
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace kestrum
