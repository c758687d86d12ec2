// boxgen: writes the program's data files.
//
//   boxgen --out RUN_DIR [--source SOURCE_DIR]
//       RUN_DIR/bin: shadow.a3d, the twenty style models, the six stock covers, shad01..20.png
//       and every texture the models name; RUN_DIR/help: manual.html and its pictures (copied
//       from SOURCE_DIR/assets and SOURCE_DIR/docs when given).
//   boxgen --assets DIR     the toolbar icons and the banner (DIR/images/NN_*.png)
//   boxgen --samples DIR    colourful sample covers (front.png .. bottom.png)
//
// Output is deterministic: the same files byte for byte on every run.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "geometry.h"
#include "manual.h"
#include "pictures.h"
#include "styles.h"

namespace {

using namespace boxgen;

bool fail(const std::string& message) {
  std::fprintf(stderr, "boxgen: %s\n", message.c_str());
  return false;
}

bool writeBin(const std::string& dir) {
  std::string error;
  std::filesystem::create_directories(dir);
  if (!writeA3D(buildShadowModel(), dir + "/shadow.a3d", &error)) return fail(error);
  std::set<std::string> textures;
  for (const auto& info : styleTable()) {
    Model model = buildStyle(info.style);
    if (!writeA3D(model, dir + "/" + info.file, &error)) return fail(error);
    char name[32];
    std::snprintf(name, sizeof name, "/shad%02d.png", info.style);
    if (!savePng(shadowPicture(model), dir + name, &error)) return fail(error);
    for (const auto& t : model.textures) textures.insert(t.fileName);
  }
  for (int slot = 0; slot < 6; ++slot) {
    if (!savePng(stockCover(slot), dir + "/" + kSlotFiles[slot], &error)) return fail(error);
    textures.erase(kSlotFiles[slot]);
  }
  for (const auto& name : textures) {
    QImage image = materialTexture(name);
    if (image.isNull()) return fail("no picture for texture " + name);
    if (!savePng(image, dir + "/" + name, &error)) return fail(error);
  }
  return true;
}

bool copyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

bool writeHelp(const std::string& dir, const std::string& source) {
  std::filesystem::create_directories(dir + "/images");
  std::vector<std::string> pictures = manualPictures();
  for (const auto& picture : pictures) {
    if (source.empty()) break;
    std::string from = source + "/" + picture;
    std::string to = dir + "/images/" + std::filesystem::path(picture).filename().string();
    // Pictures not made yet (thumbnails and contact sheets come from renders) are left out.
    if (!std::filesystem::exists(from)) {
      std::fprintf(stderr, "boxgen: note: %s not found, manual shown without it\n",
                   picture.c_str());
      continue;
    }
    if (!copyFile(from, to)) return fail("cannot copy " + picture);
  }
  QFile file(QString::fromStdString(dir + "/manual.html"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    return fail("cannot write " + dir + "/manual.html");
  std::string html = manualHtml();
  bool ok = file.write(html.data(), qint64(html.size())) == qint64(html.size());
  file.close();
  return ok || fail("write failed: manual.html");
}

bool writeAssets(const std::string& dir) {
  std::string error;
  std::filesystem::create_directories(dir + "/images");
  static const char* const names[6] = {"00_new.png",    "01_open.png",   "02_save.png",
                                       "03_reload.png", "04_render.png", "05_help.png"};
  for (int k = 0; k < 6; ++k) {
    if (!savePng(toolbarIcon(k), dir + "/images/" + names[k], &error)) return fail(error);
  }
  if (!savePng(banner(), dir + "/images/26_banner.png", &error)) return fail(error);
  return true;
}

bool writeSamples(const std::string& dir) {
  std::string error;
  std::filesystem::create_directories(dir);
  for (int slot = 0; slot < 6; ++slot) {
    if (!savePng(sampleCover(slot), dir + "/" + kSlotFiles[slot], &error)) return fail(error);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Pictures are drawn off screen; no display is needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  boxgen::quietQtNotices();
  // Qt sees no arguments: it would take some of ours (such as --style) for its own.
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  std::string out, source, assets, samples;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    bool ok = (arg == "--out" && value(&out)) || (arg == "--source" && value(&source)) ||
              (arg == "--assets" && value(&assets)) || (arg == "--samples" && value(&samples));
    if (!ok) {
      std::fprintf(stderr,
                   "usage: boxgen --out RUN_DIR [--source SOURCE_DIR] | --assets DIR | "
                   "--samples DIR\n");
      return 2;
    }
  }
  if (out.empty() && assets.empty() && samples.empty()) {
    std::fprintf(stderr, "boxgen: nothing to do (see --out, --assets, --samples)\n");
    return 2;
  }
  std::string error;
  if (!loadFonts(&error)) return fail(error), 1;
  if (!out.empty() && (!writeBin(out + "/bin") || !writeHelp(out + "/help", source))) return 1;
  if (!assets.empty() && !writeAssets(assets)) return 1;
  if (!samples.empty() && !writeSamples(samples)) return 1;
  return 0;
}
