#include "kilnshot/render_job.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "viewport/viewport.h"

#ifndef KESTRUM_VERSION
#define KESTRUM_VERSION "0.0"
#endif

namespace kestrum {
namespace {

constexpr float kPreviewFieldOfView = 45.0f;
constexpr int kAntiAliasSamples = 4;
constexpr double kPi = 3.14159265358979323846;

bool isAbsolute(const std::string& path) {
  return !path.empty() && path[0] == '/';
}

std::string resolve(const std::string& base, const std::string& path) {
  if (path.empty() || isAbsolute(path) || base.empty()) return path;
  return sys::withTrailingSeparator(base) + path;
}

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

// Default render settings, as the program starts with them.
void resetAppState(const std::string& dataFolder) {
  App = AppState{};
  App.StartupFolder = sys::withTrailingSeparator(dataFolder);
  App.ProfileFolder = sys::profileFolder();
  App.FilterType = 3;
  App.AntiAlias = 1;
  App.Shadows = 1;
  App.LightRange = 12.0f;
  App.AmbientLevel = 80;
  App.OptimizeTextures = 1;
  App.StartAspect = 0.96f;
}

}  // namespace

std::string checkRenderRecord(const SessionRecord& r) {
  char text[160];
  if (!IsBoxStyle(r.Style)) {
    std::snprintf(text, sizeof text, "box style %d is not one of the styles 1 to 20", r.Style);
    return text;
  }
  if (r.OutputWidth < 1 || r.OutputWidth > kMaxRenderSide || r.OutputHeight < 1 ||
      r.OutputHeight > kMaxRenderSide) {
    std::snprintf(text, sizeof text, "picture size %d x %d is outside 1 to %d pixels a side",
                  r.OutputWidth, r.OutputHeight, kMaxRenderSide);
    return text;
  }
  if (r.FilterType < 0 || r.FilterType > 3) {
    std::snprintf(text, sizeof text, "texture filter %d is not one of 0 to 3", r.FilterType);
    return text;
  }
  for (float v :
       {r.PivotRotationX, r.PivotRotationY, r.CameraX, r.CameraY, r.CameraZ, r.LightRange}) {
    if (!std::isfinite(v)) return "the camera or light holds a number that is not finite";
  }
  return {};
}

float framingFieldOfView(float aspect) {
  const float previewAspect = static_cast<float>(kPreviewWidth) / kPreviewHeight;
  if (!(aspect > 0.0f) || aspect >= previewAspect) return kPreviewFieldOfView;
  double halfTan = std::tan(kPreviewFieldOfView * kPi / 360.0) * previewAspect / aspect;
  return static_cast<float>(std::atan(halfTan) * 360.0 / kPi);
}

std::string findDataFolder(const std::string& startFolder) {
  auto hasData = [](const std::string& folder) {
    return !folder.empty() &&
           sys::fileExists(sys::withTrailingSeparator(folder) + "bin/shadow.a3d");
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

  // The same scene the program builds at start-up, read from the data folder.
  iInitEngine();
  resetAppState(dataFolder);
  std::string previous = sys::currentDirectory();
  sys::setCurrentDirectory(dataFolder);
  BuildSceneRig();
  iFlagCreationTexture(kTextureKeepSize, false);
  iFlagCreationTexture(kTextureQuality, true);
  LoadSceneModels();
  ApplyFilterFlags(App.FilterType);
  LoadStockAndShadowTextures();
  CloseProgressWindow();
  ShowBoxStyleModel(kDefaultBoxStyle);
  TurnModelsForStartUp();
  sys::setCurrentDirectory(previous);
  return std::unique_ptr<SceneRenderer>(new SceneRenderer(std::move(impl)));
}

std::string SceneRenderer::rendererName() const {
  return impl_->offscreen->rendererName();
}

std::optional<Image> SceneRenderer::render(const SessionRecord& r, const std::string& baseFolder,
                                           std::string* error) {
  std::string problem = checkRenderRecord(r);
  if (!problem.empty()) {
    if (error) *error = problem;
    return std::nullopt;
  }
  // Settings and view, applied in the order a session is opened.
  App.OutputWidth = r.OutputWidth;
  App.OutputHeight = r.OutputHeight;
  App.AntiAlias = r.AntiAlias;
  App.Shadows = r.Shadows;
  App.Background = r.Background;
  App.LightAngle = r.LightAngle;
  App.LightRange = r.LightRange;
  App.AmbientLevel = r.AmbientLevel;
  App.OptimizeTextures = r.OptimizeTextures;
  ApplyLightAngle();
  ApplyLightRange();
  ApplyAmbientLevel();
  RestoreCameraView(r.PivotRotationX, r.PivotRotationY, {r.CameraX, r.CameraY, r.CameraZ});
  ApplyFilterFlags(r.FilterType);
  ShowBoxStyleModel(r.Style);
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    std::string path = resolve(baseFolder, r.CoverPaths[slot]);
    CoverArt& cover = App.Covers[slot];
    if (path == cover.Path && cover.Texture != 0) continue;  // the same picture as last time
    ReleaseCoverTexture(slot);
    cover.Path = path;
    cover.Texture = path.empty() ? 0 : PrepareTexture(path);
    if (!path.empty() && cover.Texture == 0) {
      impl_->say("cannot load the cover picture " + path + ": " + iLastLoadError() +
                 " (the stock picture is used)");
    }
  }
  ApplyCoverTextures();
  CloseProgressWindow();

  OffscreenOptions options;
  options.clearColour = PrepareFrame();
  options.samples = r.AntiAlias ? kAntiAliasSamples : 1;
  iFOVCamera(App.Camera, framingFieldOfView(static_cast<float>(r.OutputWidth) / r.OutputHeight));
  iSetViewAspect(0.0f);

  bool slow = int64_t{r.OutputWidth} * r.OutputHeight * options.samples > int64_t{4096} * 4096;
  if (slow) {
    impl_->say("rendering " + std::to_string(r.OutputWidth) + " x " +
               std::to_string(r.OutputHeight) + "...");
  }
  std::string reason;
  auto picture = impl_->offscreen->render(r.OutputWidth, r.OutputHeight, options, &reason);
  if (!picture && error) *error = "rendering failed: " + reason;
  return picture;
}

bool SceneRenderer::renderToFile(const SessionRecord& record, const std::string& baseFolder,
                                 const std::string& outputPath, std::string* error) {
  std::string folder(sys::folderPart(outputPath));
  if (!folder.empty() && !sys::isDirectory(folder)) {
    if (error) *error = "the output folder " + folder + " does not exist";
    return false;
  }
  if (outputPath.empty() || sys::fileNamePart(outputPath).empty()) {
    if (error) *error = "the output path names no file";
    return false;
  }
  std::optional<Image> picture = render(record, baseFolder, error);
  if (!picture) return false;
  if (picture->width * int64_t{picture->height} > int64_t{4096} * 4096) {
    impl_->say("writing " + outputPath + "...");
  }
  std::string reason;
  if (!saveImage(*picture, outputPath, {}, &reason)) {
    if (error) *error = "cannot write " + outputPath + ": " + reason;
    return false;
  }
  return true;
}

}  // namespace kestrum
