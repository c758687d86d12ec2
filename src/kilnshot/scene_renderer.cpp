// The scene loaded once in a headless OpenGL context, and records rendered from it.
#include <unistd.h>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "kilnshot/kilnshot.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"

namespace kestrum {
namespace {

constexpr int kAntiAliasSamples = 4;
// Pictures beyond this many samples are slow enough to say so while they are drawn.
constexpr int64_t kSlowSamples = int64_t{4096} * 4096;

// Prints texture preparation as progress lines instead of a window.
class StderrProgress : public ProgressWindowHost {
 public:
  explicit StderrProgress(std::function<void(const std::string&)> sink) : sink_(std::move(sink)) {}
  bool open(const std::string&) override {
    if (sink_) sink_("preparing pictures...");
    return true;
  }
  void setMaximum(int) override {}
  void setValue(int) override {}
  void setText(const std::string&) override {}
  void raise(bool) override {}
  void close() override {}

 private:
  std::function<void(const std::string&)> sink_;
};

}  // namespace

std::string findDataFolder(const std::string& startFolder) {
  auto hasData = [](const std::string& folder) {
    return !folder.empty() && sys::fileExists(sys::resolvePath(folder, "bin/shadow.a3d"));
  };
  if (hasData(startFolder)) return startFolder;
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    exe[n] = 0;
    std::string folder(sys::folderPart(exe));
    if (hasData(folder)) return folder;
    std::string shared = folder + "../share/kestrum";
    if (hasData(shared)) return shared;
  }
  return {};
}

struct SceneRenderer::Impl {
  std::unique_ptr<OffscreenRenderer> offscreen;
  std::unique_ptr<StderrProgress> progressHost;
  std::function<void(const std::string&)> progress;

  void say(const std::string& line) const {
    if (progress) progress(line);
  }
};

SceneRenderer::SceneRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

SceneRenderer::~SceneRenderer() {
  if (impl_ && progressWindowHost() == impl_->progressHost.get()) setProgressWindowHost(nullptr);
}

std::unique_ptr<SceneRenderer> SceneRenderer::create(
    const std::string& dataFolder, std::function<void(const std::string&)> progress,
    std::string* error) {
  auto impl = std::make_unique<Impl>();
  impl->progress = std::move(progress);
  std::string reason;
  impl->offscreen = OffscreenRenderer::create(&reason);
  if (!impl->offscreen) {
    if (error) *error = "no OpenGL renderer: " + reason;
    return nullptr;
  }
  impl->progressHost = std::make_unique<StderrProgress>(impl->progress);
  setProgressWindowHost(impl->progressHost.get());

  // The scene the program builds at start-up, with the start-up settings, read from the data
  // folder.
  iInitEngine();
  App = AppState{};
  App.StartupFolder = sys::withTrailingSeparator(sys::absolutePath(dataFolder));
  App.ProfileFolder = sys::profileFolder();
  applySessionRecord(newSessionRecord(), App, RecordPart::Settings);
  iFlagCreationTexture(kTextureKeepSize, false);
  iFlagCreationTexture(kTextureQuality, true);
  sys::WorkingDirectoryGuard workingDirectory;
  workingDirectory.enter(App.StartupFolder);
  LoadSharedScene();
  return std::unique_ptr<SceneRenderer>(new SceneRenderer(std::move(impl)));
}

std::string SceneRenderer::rendererName() const {
  return impl_->offscreen->rendererName();
}

std::optional<Image> SceneRenderer::render(const SessionRecord& r, const std::string& sessionFolder,
                                           std::string* error, const ShotOptions& shot) {
  std::string problem = checkRenderRecord(r);
  if (!problem.empty()) {
    if (error) *error = problem;
    return std::nullopt;
  }
  SessionApplyOptions apply;
  apply.refuseUnknownStyle = true;
  apply.readCoversAgain = false;
  apply.sessionFolder = sessionFolder;
  apply.coverFailed = [this](int, const std::string& path, const std::string& reason) {
    impl_->say("cannot load the cover picture " + path + ": " + reason +
               " (the stock picture is used)");
  };
  if (!ApplySessionToScene(r, apply, error)) return std::nullopt;

  const int samples = r.AntiAlias ? kAntiAliasSamples : 1;
  if (int64_t{r.OutputWidth} * r.OutputHeight * samples > kSlowSamples) {
    impl_->say("rendering " + std::to_string(r.OutputWidth) + " x " +
               std::to_string(r.OutputHeight) + "...");
  }
  return DrawShot(*impl_->offscreen, r.OutputWidth, r.OutputHeight, samples, shot, error);
}

bool SceneRenderer::renderToFile(const SessionRecord& record, const std::string& sessionFolder,
                                 const std::string& outputPath, std::string* error,
                                 const ShotOptions& shot, ImageFormat format) {
  std::string folder(sys::folderPart(outputPath));
  if (!folder.empty() && !sys::isDirectory(folder)) {
    if (error) *error = "the output folder " + folder + " does not exist";
    return false;
  }
  if (outputPath.empty() || sys::fileNamePart(outputPath).empty()) {
    if (error) *error = "the output path names no file";
    return false;
  }
  std::optional<Image> picture = render(record, sessionFolder, error, shot);
  if (!picture) return false;
  if (picture->width * int64_t{picture->height} > kSlowSamples) {
    impl_->say("writing " + outputPath + "...");
  }
  std::string reason;
  SaveOptions save;
  save.format = format;
  if (!saveImage(*picture, outputPath, save, &reason)) {
    if (error) *error = "cannot write " + outputPath + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace kestrum
