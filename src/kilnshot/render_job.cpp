#include "kilnshot/render_job.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>
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

// Straight to premultiplied alpha, in place.
void premultiply(Image& im) {
  for (size_t i = 0; i + 3 < im.pixels.size(); i += 4) {
    unsigned a = im.pixels[i + 3];
    for (int c = 0; c < 3; ++c)
      im.pixels[i + c] = static_cast<uint8_t>((im.pixels[i + c] * a + 127) / 255);
  }
}

// The lowest point of a node and everything under it, in world space; +inf for none.
float lowestPoint(EngineHandle node) {
  float lowest = std::numeric_limits<float>::infinity();
  if (node == 0) return lowest;
  if (iNodeKind(node) == EngineNodeKind::Mesh) {
    float m[16];
    iNodeAbsoluteMatrix(node, m);
    for (int b = 0; b < iMeshBufferCount(node); ++b) {
      const EngineVertex* v = iMeshVertices(node, b);
      int count = iMeshVertexCount(node, b);
      for (int i = 0; v && i < count; ++i) {
        lowest = std::min(lowest, m[1] * v[i].x + m[5] * v[i].y + m[9] * v[i].z + m[13]);
      }
    }
  }
  for (int i = 0; EngineHandle child = iNodeChildren(node, i); ++i) {
    lowest = std::min(lowest, lowestPoint(child));
  }
  return lowest;
}

// Puts a node's local transform back as it was when made.
class NodePose {
 public:
  explicit NodePose(EngineHandle node) : node_(node) {
    iNodePositionP(node, &position_);
    iNodeRotation(node, &rotation_);
    iNodeScale(node, &scale_);
  }
  ~NodePose() {
    iPositionNode(node_, position_.x, position_.y, position_.z);
    iRotateNode(node_, rotation_.x, rotation_.y, rotation_.z);
    iScaleNode(node_, scale_.x, scale_.y, scale_.z);
  }
  NodePose(const NodePose&) = delete;
  NodePose& operator=(const NodePose&) = delete;
  const EngineVec3& position() const { return position_; }
  const EngineVec3& scale() const { return scale_; }

 private:
  EngineHandle node_;
  EngineVec3 position_, rotation_, scale_;
};

// Fades a mirror image (premultiplied) with distance below the floor line, times `level`. The
// floor line in each column is where the real model (`model`) ends at the bottom, or where the
// mirror image starts in a column the model does not cover; the fade runs over `kFadeShare` of
// the model's height in the picture.
void fadeReflection(Image& im, const Image& model, float level) {
  constexpr float kFadeShare = 0.7f;
  constexpr uint8_t kCovered = 8;
  auto columnSpans = [&](const Image& layer, std::vector<int>* first, std::vector<int>* last) {
    first->assign(layer.width, -1);
    last->assign(layer.width, -1);
    for (int y = 0; y < layer.height; ++y)
      for (int x = 0; x < layer.width; ++x)
        if (layer.pixel(x, y)[3] >= kCovered) {
          if ((*first)[x] < 0) (*first)[x] = y;
          (*last)[x] = y;
        }
  };
  std::vector<int> mirrorTop, mirrorBottom, modelTop, modelBottom;
  columnSpans(im, &mirrorTop, &mirrorBottom);
  columnSpans(model, &modelTop, &modelBottom);
  int top = model.height, bottom = -1;
  for (int x = 0; x < model.width; ++x) {
    if (modelTop[x] >= 0) top = std::min(top, modelTop[x]);
    bottom = std::max(bottom, modelBottom[x]);
  }
  float length = std::max(1.0f, kFadeShare * static_cast<float>(bottom + 1 - top));
  for (int x = 0; x < im.width; ++x) {
    int start = std::max(mirrorTop[x], modelBottom[x]);
    for (int y = 0; y < im.height; ++y) {
      float t = start < 0 ? 1.0f : std::clamp((y - start) / length, 0.0f, 1.0f);
      float fade = level * (1.0f - t) * std::sqrt(1.0f - t);
      uint8_t* p = im.pixel(x, y);
      for (int c = 0; c < 4; ++c) p[c] = static_cast<uint8_t>(p[c] * fade + 0.5f);
    }
  }
}

// Premultiplied `top` over premultiplied `bottom`, in place in `bottom`.
void overPremultiplied(Image& bottom, const Image& top) {
  for (size_t i = 0; i + 3 < bottom.pixels.size(); i += 4) {
    unsigned keep = 255 - top.pixels[i + 3];
    for (int c = 0; c < 4; ++c) {
      bottom.pixels[i + c] =
          static_cast<uint8_t>(top.pixels[i + c] + (bottom.pixels[i + c] * keep + 127) / 255);
    }
  }
}

// Premultiplied to straight alpha, in place.
void unpremultiply(Image& im) {
  for (size_t i = 0; i + 3 < im.pixels.size(); i += 4) {
    unsigned a = im.pixels[i + 3];
    for (int c = 0; c < 3; ++c) {
      im.pixels[i + c] =
          a == 0 ? 0 : static_cast<uint8_t>(std::min(255u, (im.pixels[i + c] * 255 + a / 2) / a));
    }
  }
}

std::string squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

int cameraPresetFromText(const std::string& text) {
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') return text[0] - '0';
  std::string wanted = squeezed(text);
  if (wanted.empty()) return -1;
  if (wanted == "default" || wanted == "cameradefault") return 0;
  for (int i = 1; i < kCameraPresetCount; ++i) {
    if (squeezed(CameraPresetTable[i].Text) == wanted) return i;
  }
  return -1;
}

void compositeOver(Image& bottom, const Image& top) {
  if (bottom.width != top.width || bottom.height != top.height) return;
  Image upper = top;
  premultiply(bottom);
  premultiply(upper);
  overPremultiplied(bottom, upper);
  unpremultiply(bottom);
  bottom.hasAlpha = true;
}

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
                                           std::string* error, const ShotOptions& shot) {
  if (!std::isfinite(shot.turn) || !(shot.reflection >= 0.0f && shot.reflection <= 1.0f)) {
    if (error) *error = "the turn or reflection level is out of range";
    return std::nullopt;
  }
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
  // The turn is undone when this returns, so the next shot starts from the stored view.
  std::vector<std::unique_ptr<NodePose>> poses;
  if (shot.turn != 0.0f) {
    for (int i = 0; i <= kBoxStyleCount; ++i) {
      if (App.ModelTable[i] == 0) continue;
      poses.push_back(std::make_unique<NodePose>(App.ModelTable[i]));
      iTurnNode(App.ModelTable[i], 0, shot.turn, 0);
    }
  }
  std::string reason;
  auto draw = [&](const OffscreenOptions& o) {
    auto picture = impl_->offscreen->render(r.OutputWidth, r.OutputHeight, o, &reason);
    if (!picture && error) *error = "rendering failed: " + reason;
    return picture;
  };
  if (!shot.transparent && shot.reflection <= 0.0f) return draw(options);

  // In layers, each premultiplied: the model alone on transparent, the shadow alone on white
  // turned into black of the shadow's darkness, the mirror image faded; then model over shadow
  // over mirror image, and over the background unless it stays transparent.
  EngineHandle shadowModel = App.ModelTable[0];
  EngineHandle model = App.ModelTable[App.CurrentStyle];
  const bool shadowShown = iNodeVisible(shadowModel);
  OffscreenOptions clear = options;
  clear.transparent = true;
  iVisibleNode(shadowModel, false);
  auto picture = draw(clear);
  if (!picture) {
    iVisibleNode(shadowModel, shadowShown);
    return std::nullopt;
  }
  premultiply(*picture);
  Image below = makeImage(r.OutputWidth, r.OutputHeight, 0);
  below.pixels.assign(below.pixels.size(), 0);
  if (shot.reflection > 0.0f) {
    float floor = lowestPoint(model);
    std::optional<Image> mirror;
    {
      NodePose pose(model);
      if (std::isfinite(floor)) {
        const EngineVec3 &p = pose.position(), &k = pose.scale();
        iPositionNode(model, p.x, 2.0f * floor - p.y, p.z);
        iScaleNode(model, k.x, -k.y, k.z);
        mirror = draw(clear);
      }
    }
    if (std::isfinite(floor) && !mirror) {
      iVisibleNode(shadowModel, shadowShown);
      return std::nullopt;
    }
    if (mirror) {
      premultiply(*mirror);
      fadeReflection(*mirror, *picture, shot.reflection);
      below = std::move(*mirror);
    }
  }
  if (shadowShown) {
    OffscreenOptions onWhite = options;
    onWhite.clearColour = 0xFFFFFFFFu;
    onWhite.transparent = false;
    iVisibleNode(model, false);
    iVisibleNode(shadowModel, true);
    auto shadow = draw(onWhite);
    iVisibleNode(model, true);
    if (!shadow) return std::nullopt;
    for (size_t i = 0; i + 3 < shadow->pixels.size(); i += 4) {
      const uint8_t* p = &shadow->pixels[i];
      int luminance = (299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000;
      shadow->pixels[i] = shadow->pixels[i + 1] = shadow->pixels[i + 2] = 0;
      shadow->pixels[i + 3] = static_cast<uint8_t>(255 - std::min(luminance, 255));
    }
    overPremultiplied(below, *shadow);
  }
  iVisibleNode(shadowModel, shadowShown);
  overPremultiplied(below, *picture);
  if (shot.transparent) {
    unpremultiply(below);
    below.hasAlpha = true;
  } else {
    Image back = makeImage(r.OutputWidth, r.OutputHeight,
                           options.clearColour == 0xFFFFFFFFu ? 0xFFFFFFFFu : 0xFF000000u);
    overPremultiplied(back, below);
    below = std::move(back);
    below.hasAlpha = false;
  }
  return below;
}

bool SceneRenderer::renderToFile(const SessionRecord& record, const std::string& baseFolder,
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
  std::optional<Image> picture = render(record, baseFolder, error, shot);
  if (!picture) return false;
  if (picture->width * int64_t{picture->height} > int64_t{4096} * 4096) {
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

ShotWriter::ShotWriter(size_t queueLimit)
    : limit_(std::max<size_t>(1, queueLimit)), thread_([this] { work(); }) {}

ShotWriter::~ShotWriter() {
  finish();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ShotWriter::add(Image picture, std::string path, ImageFormat format,
                     std::function<void(bool, const std::string&)> done) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.size() < limit_; });
  queue_.push_back({std::move(picture), std::move(path), format, std::move(done)});
  changed_.notify_all();
}

std::vector<std::string> ShotWriter::finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !busy_; });
  return std::exchange(failures_, {});
}

void ShotWriter::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Item item = std::move(queue_.front());
    queue_.pop_front();
    busy_ = true;
    changed_.notify_all();
    lock.unlock();
    SaveOptions save;
    save.format = item.format;
    std::string reason;
    bool ok = saveImage(item.picture, item.path, save, &reason);
    if (!ok) reason = "cannot write " + item.path + ": " + reason;
    if (item.done) item.done(ok, reason);
    lock.lock();
    if (!ok) failures_.push_back(reason);
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace kestrum
