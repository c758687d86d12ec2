// The generated data files: every style model loads with its covers bound and promises exactly
// the covers its description names; covers sit upright and unmirrored; models stand on the floor,
// centred, filling the preview; the shadow model is one quad; generating twice gives the same
// bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "file_bytes.h"
#include "model/model.h"
#include "scratch_folder.h"
#include "state/app_state.h"
#include "manual.h"
#include "pictures.h"
#include "styles.h"

namespace fs = std::filesystem;

namespace {

using kestrum::test::fileBytes;

const char* const kCoverNames[6] = {"front.png", "back.png", "left.png",
                                    "right.png", "top.png",  "bottom.png"};

bool isCover(const std::string& name) {
  return std::find(std::begin(kCoverNames), std::end(kCoverNames), name) != std::end(kCoverNames);
}

// The covers each style's description promises ("spine" is the left cover).
const std::map<int, std::set<std::string>>& promisedCovers() {
  static const std::set<std::string> fbl = {"front.png", "back.png", "left.png"};
  static const std::set<std::string> fb = {"front.png", "back.png"};
  static const std::set<std::string> all = {"front.png", "back.png", "left.png",
                                            "right.png", "top.png",  "bottom.png"};
  static const std::set<std::string> f = {"front.png"};
  static const std::map<int, std::set<std::string>> table = {
      {1, fbl}, {2, fbl}, {3, fbl},  {4, fbl},  {5, all},  {6, all}, {7, fb},
      {8, fb},  {9, fbl}, {10, fbl}, {11, fbl}, {12, fbl}, {13, fb}, {14, fb},
      {15, fb}, {16, f},  {17, f},   {18, f},   {19, f},   {20, f}};
  return table;
}

std::string runBoxgen(const std::string& out) {
  fs::remove_all(out);
  std::string command = std::string("QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 '") +
                        BOXGEN_EXE + "' --out '" + out + "' > '" + out + ".log' 2>&1";
  int rc = std::system(command.c_str());
  return rc == 0 ? std::string() : "boxgen failed with status " + std::to_string(rc);
}

// The files the build generated into the run folder.
const std::string& generated() {
  static const std::string dir = KESTRUM_RUN_DIR;
  return dir;
}

// Everything of a model file the tests look at.
struct ParsedModel : kestrum::A3DVisitor {
  std::vector<kestrum::A3DMaterial> materials;
  std::vector<kestrum::A3DTexture> textures;
  std::vector<kestrum::A3DObject> objects;
  std::vector<std::vector<kestrum::A3DMesh>> meshes;  // per object

  void material(const kestrum::A3DMaterial& m) override { materials.push_back(m); }
  void texture(const kestrum::A3DTexture& t) override { textures.push_back(t); }
  void beginObject(const kestrum::A3DObject& o) override {
    objects.push_back(o);
    meshes.emplace_back();
  }
  void mesh(const kestrum::A3DMesh& m) override { meshes.back().push_back(m); }

  // The layer-0 texture file of a material, empty when none.
  std::string layer0(const std::string& material) const {
    std::string file;
    for (const auto& t : textures) {
      if (t.materialName == material && t.layer == 0) file = t.fileName;
    }
    return file;
  }
};

ParsedModel parse(const fs::path& path) {
  ParsedModel model;
  std::vector<uint8_t> bytes = fileBytes(path);
  std::string error;
  EXPECT_TRUE(kestrum::readA3D(bytes.data(), bytes.size(), model, &error)) << path << error;
  return model;
}

struct V3 {
  double x, y, z;
};
V3 sub(V3 a, V3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 crossP(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dotP(V3 a, V3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
double len(V3 a) {
  return std::sqrt(dotP(a, a));
}
V3 pos(const kestrum::A3DVertex& v) {
  return {v.position[0], v.position[1], v.position[2]};
}
V3 nrm(const kestrum::A3DVertex& v) {
  return {v.normal[0], v.normal[1], v.normal[2]};
}

class StyleTest : public ::testing::TestWithParam<int> {};

TEST_P(StyleTest, FileNamesExactlyThePromisedCovers) {
  const int style = GetParam();
  const auto& info = boxgen::styleTable()[style - 1];
  ParsedModel model = parse(fs::path(generated()) / "bin" / info.file);
  std::set<std::string> covers;
  for (const auto& meshes : model.meshes) {
    for (const auto& m : meshes) {
      std::string file = model.layer0(m.materialName);
      EXPECT_FALSE(file.empty()) << "mesh of material " << m.materialName << " has no texture";
      if (isCover(file)) covers.insert(file);
    }
  }
  EXPECT_EQ(covers, promisedCovers().at(style));
  // Every texture the model names lies beside it.
  for (const auto& t : model.textures) {
    EXPECT_TRUE(fs::exists(fs::path(generated()) / "bin" / t.fileName)) << t.fileName;
  }
}

TEST_P(StyleTest, StandsCentredOnTheFloorAndFillsThePreview) {
  const int style = GetParam();
  ParsedModel model = parse(fs::path(generated()) / "bin" / boxgen::styleTable()[style - 1].file);
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  double top = 1e9, bottom = -1e9;
  for (const auto& meshes : model.meshes) {
    for (const auto& m : meshes) {
      for (const auto& v : m.vertices) {
        for (int k = 0; k < 3; ++k) {
          lo[k] = std::min(lo[k], double(v.position[k]));
          hi[k] = std::max(hi[k], double(v.position[k]));
        }
        double px, py;
        ASSERT_TRUE(boxgen::projectHome({v.position[0], v.position[1], v.position[2]}, &px, &py));
        top = std::min(top, py);
        bottom = std::max(bottom, py);
      }
    }
  }
  EXPECT_NEAR(lo[1], 0.0, 1e-4);
  EXPECT_NEAR((lo[0] + hi[0]) / 2, 0.0, 1e-3);
  EXPECT_NEAR((lo[2] + hi[2]) / 2, 0.0, 1e-3);
  const double fill = (bottom - top) / 350.0;
  EXPECT_GE(fill, 0.45) << "style " << style;
  EXPECT_LE(fill, 0.75) << "style " << style;
  EXPECT_GT(top, 0.0);
  EXPECT_LT(bottom, 350.0);
}

// Each cover material's picture must read upright and unmirrored from outside on its main face(s):
// the picture's right and down directions, crossed, point out of the surface; and on upright faces
// the picture's down is the world's down.
TEST_P(StyleTest, CoversUprightAndUnmirrored) {
  const int style = GetParam();
  ParsedModel model = parse(fs::path(generated()) / "bin" / boxgen::styleTable()[style - 1].file);
  std::map<std::string, std::vector<std::array<kestrum::A3DVertex, 3>>> byCover;
  for (const auto& meshes : model.meshes) {
    for (const auto& m : meshes) {
      if (!isCover(model.layer0(m.materialName))) continue;
      for (const auto& f : m.faces) {
        byCover[m.materialName].push_back({m.vertices[f[0]], m.vertices[f[1]], m.vertices[f[2]]});
      }
    }
  }
  ASSERT_FALSE(byCover.empty());
  for (const auto& [file, triangles] : byCover) {
    // The cover's main direction: its area-weighted mean normal.
    V3 mean{0, 0, 0};
    for (const auto& t : triangles) {
      V3 n = crossP(sub(pos(t[1]), pos(t[0])), sub(pos(t[2]), pos(t[0])));
      if (dotP(n, nrm(t[0])) < 0) n = {-n.x, -n.y, -n.z};
      mean = {mean.x + n.x, mean.y + n.y, mean.z + n.z};
    }
    mean = {mean.x / len(mean), mean.y / len(mean), mean.z / len(mean)};
    int checked = 0;
    for (const auto& t : triangles) {
      V3 e1 = sub(pos(t[1]), pos(t[0])), e2 = sub(pos(t[2]), pos(t[0]));
      V3 n = crossP(e1, e2);
      if (len(n) < 1e-12) continue;
      if (dotP(n, nrm(t[0])) < 0) n = {-n.x, -n.y, -n.z};
      n = {n.x / len(n), n.y / len(n), n.z / len(n)};
      if (dotP(n, mean) < 0.7) continue;  // edges and wrap-rounds, not the face itself
      double du1 = t[1].uv[0] - t[0].uv[0], dv1 = t[1].uv[1] - t[0].uv[1];
      double du2 = t[2].uv[0] - t[0].uv[0], dv2 = t[2].uv[1] - t[0].uv[1];
      double det = du1 * dv2 - du2 * dv1;
      if (std::fabs(det) < 1e-9) continue;  // a stretched edge strip
      V3 right = {(e1.x * dv2 - e2.x * dv1) / det, (e1.y * dv2 - e2.y * dv1) / det,
                  (e1.z * dv2 - e2.z * dv1) / det};
      V3 down = {(e2.x * du1 - e1.x * du2) / det, (e2.y * du1 - e1.y * du2) / det,
                 (e2.z * du1 - e1.z * du2) / det};
      EXPECT_GT(dotP(crossP(right, down), n), 0) << file << " mirrored in style " << style;
      if (std::fabs(n.y) < 0.5) {
        EXPECT_LT(down.y, 0) << file << " upside down, style " << style;
      }
      ++checked;
    }
    EXPECT_GT(checked, 0) << file << " in style " << style;
  }
}

// Built in the engine, every cover name is registered and bound to a texture.
TEST_P(StyleTest, LoadsWithEveryCoverBound) {
  const int style = GetParam();
  iInitEngine();
  App = AppState{};
  App.OptimizeTextures = 1;
  fs::path file = fs::path(generated()) / "bin" / boxgen::styleTable()[style - 1].file;
  EngineHandle root = LoadA3DModel(file.string());
  ASSERT_NE(root, 0);
  EXPECT_GT(iNodeChildCount(root), 0);
  std::set<std::string> covers;
  for (const auto& binding : App.TextureBindings) {
    if (iNodeKind(binding.Node) != EngineNodeKind::Mesh) continue;
    EXPECT_FALSE(binding.Name.empty()) << "a mesh without its texture in style " << style;
    if (!isCover(binding.Name)) continue;
    covers.insert(binding.Name);
    EXPECT_NE(iNodeMaterial(binding.Node).textures[0], 0) << binding.Name << " unbound";
  }
  EXPECT_EQ(covers, promisedCovers().at(style));
}

INSTANTIATE_TEST_SUITE_P(AllStyles, StyleTest, ::testing::Range(1, 21));

TEST(ShadowModel, OneObjectWithOneFloorQuadDrawnUnlit) {
  ParsedModel model = parse(fs::path(generated()) / "bin" / "shadow.a3d");
  ASSERT_EQ(model.objects.size(), 1u);
  ASSERT_EQ(model.meshes[0].size(), 1u);
  for (const auto& v : model.meshes[0][0].vertices) {
    EXPECT_NEAR(v.position[1], 0.0f, 1e-3f);
    EXPECT_GT(v.normal[1], 0.99f);
  }
  EXPECT_EQ(model.meshes[0][0].faces.size(), 2u);

  iInitEngine();
  App = AppState{};
  EngineHandle root = LoadA3DModel((fs::path(generated()) / "bin" / "shadow.a3d").string());
  EngineHandle mesh = iNodeChildren(iNodeChildren(root, 0), 0);
  ASSERT_NE(mesh, 0);
  EXPECT_EQ(iNodeKind(mesh), EngineNodeKind::Mesh);
  EXPECT_EQ(iNodeMaterial(mesh).emissive, 0xFFFFFFFFu);
}

// The shadow sits under the model: dark where the model touches the floor, white far away.
TEST(ShadowPictures, DarkUnderTheModelWhiteAround) {
  for (const auto& info : boxgen::styleTable()) {
    boxgen::Model model = boxgen::buildStyle(info.style);
    QImage shadow = boxgen::shadowPicture(model, 256);
    ASSERT_EQ(shadow.width(), 256);
    EXPECT_EQ(qGray(shadow.pixel(2, 2)), 255) << "style " << info.style;
    // Darkest texel lies within the model's footprint.
    int darkest = 255, dx = 0, dy = 0;
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        int g = qGray(shadow.pixel(x, y));
        if (g < darkest) darkest = g, dx = x, dy = y;
      }
    }
    EXPECT_LT(darkest, 200) << "style " << info.style;
    boxgen::Vec3 lo, hi;
    model.bounds(&lo, &hi);
    const double half = boxgen::kShadowHalf * boxgen::kShadowScale, texel = 2 * half / 256;
    double fx = -half + (dx + 0.5) * texel, fz = half - (dy + 0.5) * texel;
    EXPECT_GE(fx, lo.x - 0.1);
    EXPECT_LE(fx, hi.x + 0.1);
    EXPECT_GE(fz, lo.z - 0.1);
    EXPECT_LE(fz, hi.z + 0.1);
  }
}

TEST(Generator, SecondRunWritesTheSameBytes) {
  const fs::path folder = kestrum::test::freshTestFolder();
  const std::string first = (folder / "a").string();
  const std::string second = (folder / "b").string();
  ASSERT_EQ(runBoxgen(first), "");
  ASSERT_EQ(runBoxgen(second), "");
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(first)) {
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), first));
  }
  size_t others = 0;
  for (const auto& e : fs::recursive_directory_iterator(second)) others += e.is_regular_file();
  EXPECT_EQ(files.size(), others);
  EXPECT_GE(files.size(), 21u + 20u + 6u + 1u);
  for (const auto& f : files) {
    EXPECT_EQ(fileBytes(fs::path(first) / f), fileBytes(fs::path(second) / f)) << f;
  }
}

TEST(Generator, RefusesUnknownArguments) {
  std::string command = std::string("QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 '") +
                        BOXGEN_EXE + "' --bogus > /dev/null 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
}

}  // namespace

namespace {

// The manual names every style, shows its thumbnail, and every picture it shows exists in the
// source tree (the build copies them beside it).
TEST(Manual, ShowsEveryStyleWithPicturesThatExist) {
  const std::string html = boxgen::manualHtml();
  for (const auto& info : boxgen::styleTable()) {
    EXPECT_NE(html.find(std::string("<b>") + info.caption + "</b>"), std::string::npos)
        << info.caption;
    EXPECT_NE(html.find("images/" + boxgen::thumbnailFile(info.style)), std::string::npos);
  }
  for (const auto& picture : boxgen::manualPictures()) {
    EXPECT_TRUE(fs::exists(fs::path(KESTRUM_SOURCE_DIR) / picture)) << picture;
    EXPECT_NE(html.find("images/" + fs::path(picture).filename().string()), std::string::npos)
        << picture;
  }
  EXPECT_TRUE(fs::exists(fs::path(generated()) / "help" / "manual.html"));
}

// Thumbnail files follow the program's image order: image 6 + k shows the style of button
// 55 + k's place in the index map (images 12 and 13 show styles 11 and 16).
TEST(Manual, ThumbnailIndexFollowsTheButtonMap) {
  const std::pair<int, int> cases[] = {{1, 6},   {6, 11},  {11, 12}, {16, 13}, {7, 14},
                                       {10, 17}, {12, 18}, {15, 21}, {17, 22}, {20, 25}};
  for (const auto& [style, index] : cases) EXPECT_EQ(boxgen::thumbnailIndex(style), index);
  EXPECT_EQ(boxgen::thumbnailFile(11), "12_thumb_style11.png");
}

}  // namespace

namespace {

struct EffectCase {
  const char* file;
  const char* coverName;  // the binding name of the mesh to look at ("" for any mesh)
  int type;               // material type expected on at least one such mesh
  bool unlit;             // whether that mesh shows its picture unshaded (white colour set)
};

// Sphere maps on disc surfaces and plastics, the sleeve's second layer, unshaded screens.
TEST(Materials, EffectsWhereIntended) {
  const EffectCase cases[] = {
      {"disc.a3d", "env_disc.png", kMaterialSphereMap, false},
      {"jewel.a3d", "env_clear.png", kMaterialSphereMap, false},
      {"dvd_closed.a3d", "front.png", kMaterialDetail, false},
      {"jewel.a3d", "back.png", kMaterialDetail, false},
      {"screenshot.a3d", "front.png", kMaterialSolid, true},
      {"screenshot_curved.a3d", "front.png", kMaterialSolid, false},
  };
  for (const auto& c : cases) {
    iInitEngine();
    App = AppState{};
    ASSERT_NE(LoadA3DModel((fs::path(generated()) / "bin" / c.file).string()), 0) << c.file;
    bool found = false;
    for (const auto& binding : App.TextureBindings) {
      if (binding.Name != c.coverName) continue;
      EngineMaterial m = iNodeMaterial(binding.Node);
      bool unlit = m.emissive == 0xFFFFFFFFu;
      if (m.type == c.type && unlit == c.unlit) found = true;
    }
    EXPECT_TRUE(found) << c.file << " " << c.coverName;
  }
}

}  // namespace
