// boxgen-render: pictures of the box styles drawn by the engine's headless renderer, from the
// model files the build generated.
//
//   boxgen-render --run RUN_DIR --thumbs ASSETS_DIR
//       the twenty 50 x 50 style thumbnails (transparent ground) as
//       ASSETS_DIR/images/NN_thumb_styleSS.png
//   boxgen-render --run RUN_DIR --sheet OUT.png [--covers DIR] [--title TEXT]
//       a contact sheet of all twenty styles at the home view after the start-up turn, shadows
//       on, white background, default light; covers from DIR/front.png .. bottom.png, or the
//       stock covers in RUN_DIR/bin without --covers
//   boxgen-render --run RUN_DIR --style N --out OUT.png [--covers DIR] [--size WxH] [--turn DEG]
//       one style alone, for close inspection
//
// Needs an OpenGL 3.3 context (headless EGL); the build itself never runs this.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "image/image.h"
#include "manual.h"
#include "model/model.h"
#include "pictures.h"
#include "state/app_state.h"
#include "styles.h"
#include "texture/texture.h"

namespace {

using namespace boxgen;

bool fail(const std::string& message) {
  std::fprintf(stderr, "boxgen-render: %s\n", message.c_str());
  return false;
}

QImage toQImage(const kestrum::Image& image) {
  QImage q(image.width, image.height, QImage::Format_RGBA8888);
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(q.scanLine(y), image.pixel(0, y), size_t(image.width) * 4);
  }
  return q;
}

struct Scene {
  std::unique_ptr<kestrum::OffscreenRenderer> renderer;
  EngineHandle covers[6] = {};
};

// The program's start-up, as far as the picture depends on it: rig, models, shadow textures,
// the start-up turn.
bool buildScene(Scene& scene, const std::string& runDir, const std::string& coverDir) {
  std::string error;
  scene.renderer = kestrum::OffscreenRenderer::create(&error);
  if (!scene.renderer) return fail(error);
  if (chdir(runDir.c_str()) != 0) return fail("cannot enter " + runDir);
  iInitEngine();
  iFlagCreationTexture(kTextureMipmaps, false);
  iFlagCreationTexture(kTextureKeepSize, false);
  iFlagCreationTexture(kTextureQuality, true);
  App = AppState{};
  App.OptimizeTextures = 1;
  App.CameraPivot = iCreatePivot(0);
  App.Camera = iCreateCamera(0);
  iNearValueCamera(App.Camera, 0.01f);
  iAddChildNode(App.CameraPivot, App.Camera);
  iPositionNode(App.Camera, 0, 4.75f, -5.0f);
  iRotateNode(App.Camera, 35, 0, 0);
  App.LightPivot = iCreatePivot(0);
  App.Light = iCreateLight(0xFFFFFFFFu, 12.0f, 0);
  iAddChildNode(App.LightPivot, App.Light);
  iAmbientLight(0xFF505050u);
  iPositionNode(App.Light, -3.25f, 5.0f, -5.0f);
  iTypeLight(App.Light, 0);
  iRotateNode(App.LightPivot, 0, 0, 0);
  iRadiusLight(App.Light, 12.0f);

  App.ModelTable[0] = LoadA3DModel("bin/shadow.a3d");
  iScaleNode(App.ModelTable[0], 1.2f, 1.2f, 1.2f);
  for (const auto& info : styleTable()) {
    App.ModelTable[info.style] = LoadA3DModel(std::string("bin/") + info.file);
    if (!App.ModelTable[info.style]) return fail(std::string("cannot load ") + info.file);
    char name[32];
    std::snprintf(name, sizeof name, "bin/shad%02d.png", info.style);
    App.ShadowTextures[info.style] = iLoadTexture(name);
  }
  for (int slot = 0; slot < 6; ++slot) {
    std::string path = (coverDir.empty() ? std::string("bin") : coverDir) + "/" + kSlotFiles[slot];
    scene.covers[slot] = PrepareTexture(path);
    if (!scene.covers[slot]) return fail("cannot load cover " + path + ": " + iLastLoadError());
  }
  CloseProgressWindow();
  // Every cover material shows its slot's picture.
  for (const auto& binding : App.TextureBindings) {
    std::string name = binding.Name;
    for (auto& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (int slot = 0; slot < 6; ++slot) {
      if (name == kSlotFiles[slot]) {
        iMaterialTextureNode(binding.Node, scene.covers[slot], 0);
        break;
      }
    }
  }
  for (int i = 0; i <= 20; ++i) iTurnNode(App.ModelTable[i], 0, 40, 0);
  return true;
}

void showStyle(int style, bool shadow) {
  for (int i = 1; i <= 20; ++i) iVisibleNode(App.ModelTable[i], i == style);
  EngineHandle mesh = iNodeChildren(iNodeChildren(App.ModelTable[0], 0), 0);
  iMaterialTextureNode(mesh, App.ShadowTextures[style], 0);
  iVisibleNode(App.ModelTable[0], shadow);
}

std::optional<QImage> draw(Scene& scene, int width, int height, bool transparent) {
  kestrum::OffscreenOptions options;
  options.samples = 4;
  options.clearColour = transparent ? 0x00FFFFFFu : 0xFFFFFFFFu;
  options.transparent = transparent;
  std::string error;
  auto picture = scene.renderer->render(width, height, options, &error);
  if (!picture) {
    fail("rendering failed: " + error);
    return std::nullopt;
  }
  return toQImage(*picture);
}

bool writeSheet(Scene& scene, const std::string& out, const std::string& title) {
  const int cw = 335, ch = 350, label = 30, header = 44, cols = 5, rows = 4;
  QImage sheet(cols * cw, header + rows * (ch + label), QImage::Format_RGB32);
  sheet.fill(QColor(255, 255, 255));
  QPainter p(&sheet);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont big(fontFamily(true));
  big.setPixelSize(22);
  p.setFont(big);
  p.setPen(QColor(28, 40, 66));
  p.drawText(QRect(16, 0, cols * cw - 32, header), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromStdString(title));
  QFont small(fontFamily(false));
  small.setPixelSize(15);
  for (const auto& info : styleTable()) {
    showStyle(info.style, true);
    auto picture = draw(scene, cw, ch, false);
    if (!picture) return false;
    int col = (info.style - 1) % cols, row = (info.style - 1) / cols;
    int x = col * cw, y = header + row * (ch + label);
    p.drawImage(x, y, *picture);
    p.setPen(QColor(200, 206, 216));
    p.drawRect(x, y, cw - 1, ch + label - 1);
    p.setPen(QColor(40, 40, 48));
    p.setFont(small);
    p.drawText(QRect(x, y + ch, cw, label), Qt::AlignCenter,
               QString("%1  %2").arg(info.style).arg(info.caption));
  }
  p.end();
  std::string error;
  return savePng(sheet, out, &error) || fail(error);
}

// Frames the model's projected extent at the home view and draws that square region.
bool writeThumbnails(Scene& scene, const std::string& assetsDir) {
  std::filesystem::create_directories(assetsDir + "/images");
  const double vw = 335, vh = 350;
  for (const auto& info : styleTable()) {
    Model model = buildStyle(info.style);
    double x0 = 1e9, x1 = -1e9, y0 = 1e9, y1 = -1e9;
    for (const auto& o : model.objects) {
      for (const auto& m : o.meshes) {
        for (const auto& v : m.vertices) {
          double px, py;
          if (!projectHome(v.p, &px, &py)) continue;
          x0 = std::min(x0, px);
          x1 = std::max(x1, px);
          y0 = std::min(y0, py);
          y1 = std::max(y1, py);
        }
      }
    }
    // Aim the camera, from its home position, at the middle of that extent and narrow its
    // field of view to a square around it.
    const double f = 175.0 / std::tan(22.5 * std::numbers::pi / 180);
    double side = std::max(x1 - x0, y1 - y0) * 1.08;
    Vec3 ray = rotateX({((x0 + x1) / 2 - vw / 2) / f, -((y0 + y1) / 2 - vh / 2) / f, 1.0}, 35);
    ray = normalize(ray);
    const double deg = 180 / std::numbers::pi;
    iRotateNode(App.Camera, float(std::asin(-ray.y) * deg), float(std::atan2(ray.x, ray.z) * deg),
                0);
    iFOVCamera(App.Camera, float(2 * std::atan(side / 2 / f) * deg));
    showStyle(info.style, false);
    auto picture = draw(scene, 200, 200, true);
    if (!picture) return false;
    QImage small = picture->convertToFormat(QImage::Format_RGBA8888_Premultiplied)
                       .scaled(50, 50, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32);
    std::string error;
    if (!savePng(small, assetsDir + "/images/" + thumbnailFile(info.style), &error))
      return fail(error);
  }
  iRotateNode(App.Camera, 35, 0, 0);
  iFOVCamera(App.Camera, 45);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  boxgen::quietQtNotices();
  // Qt sees no arguments: it would take some of ours (such as --style) for its own.
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  std::string run, thumbs, sheet, covers, title = "Kestrum box styles", out, size = "670x700";
  int style = 0;
  double turn = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    std::string number;
    bool ok = (arg == "--run" && value(&run)) || (arg == "--thumbs" && value(&thumbs)) ||
              (arg == "--sheet" && value(&sheet)) || (arg == "--covers" && value(&covers)) ||
              (arg == "--title" && value(&title)) || (arg == "--out" && value(&out)) ||
              (arg == "--size" && value(&size));
    if (!ok && arg == "--style" && value(&number)) ok = (style = std::atoi(number.c_str())) > 0;
    if (!ok && arg == "--turn" && value(&number)) ok = true, turn = std::atof(number.c_str());
    if (!ok) {
      std::fprintf(stderr, "usage: see the comment at the top of tools/boxgen/render.cpp\n");
      return 2;
    }
  }
  if (run.empty()) return fail("--run RUN_DIR is needed"), 2;
  // Paths given on the command line stay valid after the scene enters the run folder.
  auto absolute = [](std::string& path) {
    if (!path.empty()) path = std::filesystem::absolute(path).string();
  };
  absolute(run);
  absolute(thumbs);
  absolute(sheet);
  absolute(covers);
  absolute(out);
  std::string error;
  if (!loadFonts(&error)) return fail(error), 1;
  Scene scene;
  if (!buildScene(scene, run, covers)) return 1;
  if (!thumbs.empty() && !writeThumbnails(scene, thumbs)) return 1;
  if (!sheet.empty() && !writeSheet(scene, sheet, title)) return 1;
  if (!out.empty() && (style < 1 || style > 20)) return fail("--style must be 1..20"), 2;
  if (!out.empty()) {
    int w = 0, h = 0;
    if (std::sscanf(size.c_str(), "%dx%d", &w, &h) != 2) return fail("bad --size"), 2;
    iTurnNode(App.CameraPivot, 0, float(turn), 0);
    showStyle(style, true);
    auto picture = draw(scene, w, h, false);
    if (!picture || !savePng(*picture, out, &error)) return 1;
  }
  return 0;
}
