// Drawing a shot of the scene headless: the preview's framing at any size, and the layered shots
// (transparent background, mirror image in the floor).
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/offscreen.h"
#include "shot/shot.h"
#include "state/app_state.h"

namespace {

using kestrum::Image;
using kestrum::OffscreenOptions;

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;

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

// Puts a node's visibility back as it was.
class Visibility {
 public:
  explicit Visibility(EngineHandle node) : node_(node), shown_(iNodeVisible(node)) {}
  ~Visibility() { iVisibleNode(node_, shown_); }
  Visibility(const Visibility&) = delete;
  Visibility& operator=(const Visibility&) = delete;
  bool shown() const { return shown_; }

 private:
  EngineHandle node_;
  bool shown_;
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

// A shadow drawn alone on white, as black whose alpha is the shadow's darkness (premultiplied).
void shadowToAlpha(Image& shadow) {
  for (size_t i = 0; i + 3 < shadow.pixels.size(); i += 4) {
    const uint8_t* p = &shadow.pixels[i];
    int luminance = (299 * p[0] + 587 * p[1] + 114 * p[2] + 500) / 1000;
    shadow.pixels[i] = shadow.pixels[i + 1] = shadow.pixels[i + 2] = 0;
    shadow.pixels[i + 3] = static_cast<uint8_t>(255 - std::min(luminance, 255));
  }
}

class LayeredShot {
 public:
  LayeredShot(kestrum::OffscreenRenderer& renderer, int width, int height,
              const OffscreenOptions& options, std::string* error)
      : renderer_(renderer), width_(width), height_(height), options_(options), error_(error) {}

  std::optional<Image> draw(const OffscreenOptions& options) {
    std::string reason;
    auto picture = renderer_.render(width_, height_, options, &reason);
    if (!picture && error_) *error_ = "rendering failed: " + reason;
    return picture;
  }

  // Model over shadow over mirror image, each drawn alone and premultiplied.
  std::optional<Image> drawLayers(const ShotOptions& shot) {
    EngineHandle shadowModel = App.ModelTable[0];
    EngineHandle model = App.ModelTable[App.CurrentStyle];
    Visibility shadowShown(shadowModel);
    OffscreenOptions clear = options_;
    clear.transparent = true;

    iVisibleNode(shadowModel, false);
    auto picture = draw(clear);
    if (!picture) return std::nullopt;
    kestrum::premultiplyAlpha(*picture);

    Image below = kestrum::makeImage(width_, height_, 0);
    below.pixels.assign(below.pixels.size(), 0);
    if (shot.reflection > 0.0f) {
      float floor = lowestPoint(model);
      if (std::isfinite(floor)) {
        std::optional<Image> mirror;
        {
          NodePose pose(model);
          const EngineVec3 &p = pose.position(), &k = pose.scale();
          iPositionNode(model, p.x, 2.0f * floor - p.y, p.z);
          iScaleNode(model, k.x, -k.y, k.z);
          mirror = draw(clear);
        }
        if (!mirror) return std::nullopt;
        kestrum::premultiplyAlpha(*mirror);
        fadeReflection(*mirror, *picture, shot.reflection);
        below = std::move(*mirror);
      }
    }
    if (shadowShown.shown()) {
      OffscreenOptions onWhite = options_;
      onWhite.clearColour = kWhite;
      onWhite.transparent = false;
      Visibility modelShown(model);
      iVisibleNode(model, false);
      iVisibleNode(shadowModel, true);
      auto shadow = draw(onWhite);
      if (!shadow) return std::nullopt;
      shadowToAlpha(*shadow);
      kestrum::overPremultiplied(below, *shadow);
    }
    kestrum::overPremultiplied(below, *picture);
    if (shot.transparent) {
      kestrum::unpremultiplyAlpha(below);
      below.hasAlpha = true;
      return below;
    }
    Image back =
        kestrum::makeImage(width_, height_, options_.clearColour == kWhite ? kWhite : kBlack);
    kestrum::overPremultiplied(back, below);
    back.hasAlpha = false;
    return back;
  }

 private:
  kestrum::OffscreenRenderer& renderer_;
  int width_, height_;
  OffscreenOptions options_;
  std::string* error_;
};

}  // namespace

float framingFieldOfView(float aspect) {
  const float previewAspect = static_cast<float>(kPreviewWidth) / kPreviewHeight;
  if (!(aspect > 0.0f) || aspect >= previewAspect) return kPreviewFieldOfView;
  double halfTan = std::tan(kPreviewFieldOfView * kPi / 360.0) * previewAspect / aspect;
  return static_cast<float>(std::atan(halfTan) * 360.0 / kPi);
}

std::optional<Image> DrawShot(kestrum::OffscreenRenderer& renderer, int width, int height,
                              int samples, const ShotOptions& shot, std::string* error) {
  if (!std::isfinite(shot.turn) || !(shot.reflection >= 0.0f && shot.reflection <= 1.0f)) {
    if (error) *error = "the turn or reflection level is out of range";
    return std::nullopt;
  }
  OffscreenOptions options;
  options.clearColour = PrepareFrame();
  options.samples = samples;
  iFOVCamera(App.Camera, framingFieldOfView(static_cast<float>(width) / height));
  iSetViewAspect(0.0f);

  // The turn is undone when this returns, so the next shot starts from the stored view.
  std::vector<std::unique_ptr<NodePose>> poses;
  if (shot.turn != 0.0f) {
    for (int i = 0; i <= kBoxStyleCount; ++i) {
      if (App.ModelTable[i] == 0) continue;
      poses.push_back(std::make_unique<NodePose>(App.ModelTable[i]));
      iTurnNode(App.ModelTable[i], 0, shot.turn, 0);
    }
  }
  LayeredShot layered(renderer, width, height, options, error);
  if (!shot.transparent && shot.reflection <= 0.0f) return layered.draw(options);
  return layered.drawLayers(shot);
}
