#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>

#include "a3d_writer.h"
#include "allocation_tracker.h"
#include "engine/engine.h"
#include "image/image.h"
#include "model/model.h"
#include "scratch_folder.h"
#include "state/app_state.h"
#include "system/system.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;

// Each test gets a fresh engine, a fresh App and its own folder with a few small pictures.
class ModelTest : public testing::Test {
 protected:
  void SetUp() override {
    iInitEngine();
    App = AppState{};
    App.OptimizeTextures = 1;
    dir_ = test::freshTestFolder();
    fs::create_directories(dir_ / "sub");
    startDir_ = sys::currentDirectory();
    for (const char* picture : {"front.png", "back.png", "detail.png", "env.png", "sub/side.png"})
      ASSERT_TRUE(saveImage(makeImage(8, 8, 0xff3366ccu), (dir_ / picture).string()));
  }
  void TearDown() override { EXPECT_EQ(sys::currentDirectory(), startDir_); }

  std::string write(const A3DWriter& w, const std::string& fileName = "model.a3d") {
    std::string path = (dir_ / fileName).string();
    EXPECT_TRUE(w.save(path));
    return path;
  }

  // The n-th mesh (in creation order) under the model's first object.
  static EngineHandle meshOf(EngineHandle root, int object = 0, int mesh = 0) {
    return iNodeChildren(iNodeChildren(root, object), mesh);
  }

  fs::path dir_;
  std::string startDir_;
};

// A model with the given materials and texture records and one object "box" with one triangle
// mesh of material "m".
A3DWriter oneMeshModel(const std::function<void(A3DWriter&)>& materials,
                       const std::function<void(A3DWriter&)>& textures) {
  A3DWriter w;
  w.header();
  materials(w);
  textures(w);
  w.i32(1).object("box", 1).triangle("m");
  return w;
}

struct MaterialCase {
  const char* label;
  int32_t blendMode, effectFlags;
  std::vector<std::pair<int32_t, int32_t>> textures;  // (layer, layerFlags) of "front.png" etc.
  int expectedType;
  bool expectWhite;
  bool expectLit;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MaterialCase& c, std::ostream* os) {
  *os << c.label;
}

class MaterialTest : public ModelTest, public testing::WithParamInterface<MaterialCase> {};

TEST_P(MaterialTest, SetsTypeFlagsAndColoursFromTheMaterial) {
  const MaterialCase& c = GetParam();
  const char* files[] = {"front.png", "detail.png", "env.png", "back.png"};
  A3DWriter w =
      oneMeshModel([&](A3DWriter& m) { m.i32(1).material("m", c.blendMode, c.effectFlags); },
                   [&](A3DWriter& t) {
                     t.i32(static_cast<int32_t>(c.textures.size()));
                     for (auto [layer, flags] : c.textures)
                       t.texture("m", layer, files[layer & 3], flags);
                   });
  EngineHandle root = LoadA3DModel(write(w));
  ASSERT_GT(root, 0);
  EngineHandle mesh = meshOf(root);
  ASSERT_EQ(iNodeKind(mesh), EngineNodeKind::Mesh);
  EngineMaterial mat = iNodeMaterial(mesh);
  EXPECT_EQ(mat.type, c.expectedType);
  EXPECT_EQ((mat.flags & kFlagLighting) != 0, c.expectLit);
  for (int flag :
       {kFlagNormalizeNormals, kFlagAntiAlias, kFlagBilinear, kFlagTrilinear, kFlagAnisotropic})
    EXPECT_TRUE(mat.flags & flag) << flag;
  EXPECT_FALSE(mat.flags & kFlagFog);
  if (c.expectWhite) {
    EXPECT_EQ(mat.diffuse, kWhite);
    EXPECT_EQ(mat.emissive, kWhite);
    EXPECT_EQ(mat.global, kWhite);
    EXPECT_EQ(mat.ambient, kWhite);
  } else {
    EXPECT_EQ(mat.emissive, EngineMaterial{}.emissive);
    EXPECT_EQ(mat.global, EngineMaterial{}.global);
  }
  for (auto [layer, flags] : c.textures) {
    if (layer >= 0 && layer <= 3) {
      EXPECT_GT(mat.textures[layer], 0) << layer;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaterialTest,
    testing::Values(
        MaterialCase{"NoTexture", 0, 0, {}, kMaterialSolid, false, true},
        MaterialCase{"OneTexture", 0, 0, {{0, 0}}, kMaterialSolid, false, true},
        MaterialCase{"TwoLayers", 0, 0, {{0, 0}, {1, 0}}, kMaterialDetail, false, true},
        MaterialCase{"Layer3Only", 0, 0, {{3, 0}}, kMaterialSolid, false, true},
        MaterialCase{"SphereMapFlags64", 0, 0, {{0, 64}}, kMaterialSphereMap, false, true},
        MaterialCase{"Flags63NoSphereMap", 0, 0, {{0, 63}}, kMaterialSolid, false, true},
        MaterialCase{
            "SphereMapFlagsOnLayer1Ignored", 0, 0, {{0, 0}, {1, 64}}, kMaterialDetail, false, true},
        MaterialCase{
            "SphereMapWithDetail", 0, 0, {{0, 64}, {1, 0}}, kMaterialSphereMap, false, true},
        MaterialCase{"SphereMapDroppedByWhite", 0, 1, {{0, 64}}, kMaterialSolid, true, true},
        MaterialCase{"Effect5White", 0, 5, {}, kMaterialSolid, true, true},
        MaterialCase{"Effect9White", 0, 9, {}, kMaterialSolid, true, true},
        MaterialCase{"Effect16Unlit", 0, 16, {}, kMaterialSolid, false, false},
        MaterialCase{"Effect17Unlit", 0, 17, {}, kMaterialSolid, false, false},
        MaterialCase{"Effect24Unlit", 0, 24, {}, kMaterialSolid, false, false},
        MaterialCase{"Effect25Unlit", 0, 25, {}, kMaterialSolid, false, false},
        MaterialCase{"Effect13Neither", 0, 13, {}, kMaterialSolid, false, true},
        MaterialCase{"BlendMode2EndsAllWhite", 2, 0, {{0, 64}}, kMaterialSolid, true, true},
        MaterialCase{"BlendMode1Nothing", 1, 0, {}, kMaterialSolid, false, true}),
    [](const testing::TestParamInfo<MaterialCase>& p) { return p.param.label; });

TEST_F(ModelTest, MeshMatchingTwoMaterialsGetsBothTexturesAndTwoBindings) {
  A3DWriter w =
      oneMeshModel([](A3DWriter& m) { m.i32(3).material("m").material("other").material("m"); },
                   [](A3DWriter& t) {
                     // Each record binds its layer of both "m" entries.
                     t.i32(2).texture("m", 0, "front.png").texture("m", 1, "detail.png");
                   });
  EngineHandle root = LoadA3DModel(write(w));
  EngineHandle mesh = meshOf(root);
  EXPECT_EQ(iNodeMaterial(mesh).type, kMaterialDetail);
  ASSERT_EQ(App.TextureBindings.size(), 3u);
  EXPECT_EQ(App.TextureBindings[1].Node, mesh);
  EXPECT_EQ(App.TextureBindings[1].Name, "front.png");
  EXPECT_EQ(App.TextureBindings[2].Node, mesh);
  EXPECT_EQ(App.TextureBindings[2].Name, "front.png");
}

TEST_F(ModelTest, TwoMaterialsWithOneTextureEachGiveTypeDetail) {
  A3DWriter w = oneMeshModel([](A3DWriter& m) { m.i32(2).material("m").material("m"); },
                             [](A3DWriter& t) { t.i32(1).texture("m", 0, "front.png"); });
  EngineHandle mesh = meshOf(LoadA3DModel(write(w)));
  EXPECT_EQ(iNodeMaterial(mesh).type, kMaterialDetail);
  EXPECT_EQ(App.TextureBindings.size(), 3u);
}

TEST_F(ModelTest, BindingsListObjectsAndMeshesInFileOrder) {
  A3DWriter w;
  w.header().i32(2).material("paper").material("plain");
  w.i32(3)
      .texture("paper", 0, "sub\\side.png")  // "\" separates folders too
      .texture("paper", 0, "missing.png")    // fails: keeps the name of the first
      .texture("plain", 0, "missing.png");   // fails: "plain" keeps an empty name
  w.i32(2);
  w.object("  front cover ", 2).triangle("paper").triangle("plain");
  w.object("back", 1).triangle("nothing");
  EngineHandle root = LoadA3DModel(write(w));
  ASSERT_GT(root, 0);
  EngineHandle front = iNodeChildren(root, 0), back = iNodeChildren(root, 1);
  std::vector<std::pair<EngineHandle, std::string>> got;
  for (const TextureBinding& b : App.TextureBindings) got.emplace_back(b.Node, b.Name);
  EXPECT_EQ(
      got, (std::vector<std::pair<EngineHandle, std::string>>{{front, "front cover"},
                                                              {iNodeChildren(front, 0), "side.png"},
                                                              {iNodeChildren(front, 1), ""},
                                                              {back, "back"}}));
  // The mesh of no material: no texture, type 0, default colours.
  EngineMaterial none = iNodeMaterial(iNodeChildren(back, 0));
  EXPECT_EQ(none.textures[0], 0);
  EXPECT_EQ(none.type, kMaterialSolid);
  EXPECT_EQ(none.emissive, EngineMaterial{}.emissive);
  EXPECT_TRUE(App.MaterialTable.empty());
}

TEST_F(ModelTest, LaterRecordForTheSameLayerReplacesTheEarlier) {
  A3DWriter w = oneMeshModel(
      [](A3DWriter& m) { m.i32(1).material("m"); },
      [](A3DWriter& t) { t.i32(2).texture("m", 0, "front.png").texture("m", 0, "back.png"); });
  EngineHandle mesh = meshOf(LoadA3DModel(write(w)));
  EngineHandle back = iFindTexture("back.png");
  ASSERT_GT(back, 0);
  EXPECT_EQ(iNodeMaterial(mesh).textures[0], back);
  EXPECT_GT(iFindTexture("front.png"), 0);  // loaded all the same
  EXPECT_EQ(App.TextureBindings.back().Name, "back.png");
}

struct LayerCase {
  const char* label;
  int32_t layer;
  std::string material;
  bool loaded;
};

void PrintTo(const LayerCase& c, std::ostream* os) {
  *os << c.label;
}

class TextureRecordTest : public ModelTest, public testing::WithParamInterface<LayerCase> {};

TEST_P(TextureRecordTest, LoadsOrSkipsItsFileAndBindsOnlyValidLayersOfKnownMaterials) {
  const LayerCase& c = GetParam();
  A3DWriter w =
      oneMeshModel([](A3DWriter& m) { m.i32(1).material("m"); },
                   [&](A3DWriter& t) { t.i32(1).texture(c.material, c.layer, "env.png"); });
  EngineHandle mesh = meshOf(LoadA3DModel(write(w)));
  EXPECT_EQ(iFindTexture("env.png") > 0, c.loaded);
  EngineMaterial mat = iNodeMaterial(mesh);
  for (EngineHandle t : mat.textures) EXPECT_EQ(t, 0);
  EXPECT_EQ(App.TextureBindings.back().Name, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, TextureRecordTest,
                         testing::Values(LayerCase{"Layer4", 4, "m", true},
                                         LayerCase{"Negative", -1, "m", true},
                                         LayerCase{"Layer5", 5, "m", false},
                                         LayerCase{"Layer1000", 1000, "m", false},
                                         LayerCase{"NoSuchMaterial", 0, "M", true},
                                         LayerCase{"NoSuchMaterialSpace", 0, "m ", true}),
                         [](const testing::TestParamInfo<LayerCase>& p) { return p.param.label; });

TEST_F(ModelTest, ShadowModelNameInAnyCaseGivesWhiteAndNoSphereMap) {
  struct Case {
    std::string fileName;
    bool shadow;
  };
  for (const Case& c :
       {Case{"shadow.a3d", true}, Case{"SHADOW.A3D", true}, Case{"box_ShadoW.a3d", true},
        Case{"hadow.a3d", false}, Case{"shadow.a3d.bak", false}, Case{"shadows.a3d", false}}) {
    A3DWriter w = oneMeshModel([](A3DWriter& m) { m.i32(1).material("m"); },
                               [](A3DWriter& t) { t.i32(1).texture("m", 0, "front.png", 100); });
    EngineHandle mesh = meshOf(LoadA3DModel(write(w, c.fileName)));
    EngineMaterial mat = iNodeMaterial(mesh);
    EXPECT_EQ(mat.emissive == kWhite, c.shadow) << c.fileName;
    EXPECT_EQ(mat.type, c.shadow ? kMaterialSolid : kMaterialSphereMap) << c.fileName;
  }
}

TEST_F(ModelTest, ObjectsHangFromTheRootWithTheirPlacement) {
  A3DWriter w;
  w.header().i32(0).i32(0).i32(2);
  w.object("a", 1, 1, 2, 3, 0, 90, 0).triangle("x");
  w.object("b", 0, -4, 0, 0.5f);
  EngineHandle root = LoadA3DModel(write(w));
  ASSERT_EQ(iNodeChildCount(root), 2);
  EngineHandle a = iNodeChildren(root, 0);
  EXPECT_EQ(iNodeParent(a), root);
  EXPECT_EQ(iNodeKind(a), EngineNodeKind::Pivot);
  EngineVec3 p, r;
  iNodePositionP(a, &p);
  iNodeRotation(a, &r);
  EXPECT_FLOAT_EQ(p.x, 1);
  EXPECT_FLOAT_EQ(p.z, 3);
  EXPECT_NEAR(r.y, 90, 1e-3);
  EngineMaterial pivotMat = iNodeMaterial(a);
  EXPECT_FALSE(pivotMat.flags & kFlagFog);
  EXPECT_TRUE(pivotMat.flags & kFlagAnisotropic);
  EngineHandle mesh = iNodeChildren(a, 0);
  EXPECT_EQ(iNodeParent(mesh), a);
  iNodePositionP(mesh, &p);
  EXPECT_FLOAT_EQ(p.x, 0);
  ASSERT_EQ(iMeshBufferCount(mesh), 1);
  EXPECT_EQ(iMeshVertexCount(mesh, 0), 3);
  EXPECT_EQ(iMeshFaceCount(mesh, 0), 1);
  iNodePositionP(iNodeChildren(root, 1), &p);
  EXPECT_FLOAT_EQ(p.x, -4);
  EXPECT_FLOAT_EQ(p.z, 0.5f);
}

TEST_F(ModelTest, VerticesReachTheEngineWithPackedColours) {
  TestVertex blue;
  blue.x = 1, blue.y = 2, blue.z = 3, blue.nx = 0, blue.ny = 0, blue.nz = 1;
  blue.u = 0.25f, blue.v = 0.5f, blue.u2 = 0.75f, blue.v2 = 1;
  blue.c1 = 255, blue.c2 = 0, blue.c3 = 0, blue.alpha = 1.0f;
  TestVertex half = blue;
  half.c1 = 0, half.alpha = 0.5f;
  A3DWriter w;
  w.header().i32(0).i32(0).i32(1).object("o", 1).mesh("m", {blue, half, blue},
                                                      {{0, 1, 2}, {0, 1, 7}});
  EngineHandle mesh = meshOf(LoadA3DModel(write(w)));
  ASSERT_EQ(iMeshVertexCount(mesh, 0), 3);
  const EngineVertex* v = iMeshVertices(mesh, 0);
  EXPECT_EQ(v[0].colour, 0xFFFF0000u);
  EXPECT_EQ(v[1].colour, 0x80000000u);
  EXPECT_FLOAT_EQ(v[0].z, 3);
  EXPECT_FLOAT_EQ(v[0].nz, 1);
  EXPECT_FLOAT_EQ(v[0].u, 0.25f);
  EXPECT_FLOAT_EQ(v[0].v, 0.5f);
  EXPECT_FLOAT_EQ(v[0].u2, 0.75f);
  EXPECT_FLOAT_EQ(v[0].v2, 1);
  // The face with index 7 lies outside the mesh and is skipped.
  ASSERT_EQ(iMeshFaceCount(mesh, 0), 1);
  EXPECT_EQ(iMeshIndices(mesh, 0)[2], 2);
}

TEST_F(ModelTest, WorkingDirectoryIsTheModelFolderDuringTheLoadAndRestoredAfter) {
  // A texture named relative to the model's folder is found: the folder was current.
  A3DWriter w = oneMeshModel([](A3DWriter& m) { m.i32(1).material("m"); },
                             [](A3DWriter& t) { t.i32(1).texture("m", 0, "front.png"); });
  write(w);
  A3DWriter bad;
  bad.header("a3d\n").i32(0);
  write(bad, "bad.a3d");

  struct Case {
    std::string path;
    bool zero;
    int children;
  };
  const std::string folder = dir_.string();
  std::string backslashed = folder + "\\model.a3d";
  for (const Case& c :
       {Case{folder + "/model.a3d", false, 1}, Case{backslashed, false, 1},
        Case{folder + "/missing.a3d", false, 0}, Case{folder + "/nofolder/x.a3d", false, 0},
        Case{folder + "/bad.a3d", true, 0}, Case{folder + "/", false, 0}}) {
    EngineHandle root = LoadA3DModel(c.path);
    EXPECT_EQ(root == 0, c.zero) << c.path;
    if (root) {
      EXPECT_EQ(iNodeChildCount(root), c.children) << c.path;
    }
    EXPECT_EQ(sys::currentDirectory(), startDir_) << c.path;
    EXPECT_TRUE(App.MaterialTable.empty());
  }
  EXPECT_GT(iFindTexture("front.png"), 0);
}

TEST_F(ModelTest, RelativePathIsTakenFromTheWorkingDirectory) {
  A3DWriter w = oneMeshModel([](A3DWriter& m) { m.i32(1).material("m"); },
                             [](A3DWriter& t) { t.i32(1).texture("m", 0, "side.png"); });
  w.save((dir_ / "sub" / "model.a3d").string());
  ASSERT_TRUE(sys::setCurrentDirectory(dir_.string()));
  EngineHandle root = LoadA3DModel("sub\\model.a3d");
  EXPECT_EQ(sys::currentDirectory(), fs::canonical(dir_).string());
  ASSERT_TRUE(sys::setCurrentDirectory(startDir_));
  EXPECT_EQ(iNodeMaterial(meshOf(root)).textures[0], iFindTexture("side.png"));
  EXPECT_GT(iFindTexture("side.png"), 0);
}

TEST_F(ModelTest, HeaderRefusedGivesZeroAndLeavesAnEmptyRootInTheScene) {
  A3DWriter w;
  w.header("A3 D\n").i32(1).material("m").i32(0).i32(1).object("o", 0);
  int before = iNodeChildCount(iNodeRootScene());
  EXPECT_EQ(LoadA3DModel(write(w)), 0);
  EXPECT_EQ(iNodeChildCount(iNodeRootScene()), before + 1);
  EXPECT_TRUE(App.TextureBindings.empty());
}

TEST_F(ModelTest, TexturesSharedAcrossModelsAndTableEmptiedBetweenLoads) {
  A3DWriter w = oneMeshModel([](A3DWriter& m) { m.i32(1).material("m"); },
                             [](A3DWriter& t) { t.i32(1).texture("m", 0, "front.png"); });
  std::string path = write(w);
  EngineHandle first = meshOf(LoadA3DModel(path));
  int textures = iTextureCount();
  App.MaterialTable.push_back(MaterialEntry{"m"});  // left over: must not leak into the load
  A3DWriter plain = oneMeshModel([](A3DWriter& m) { m.i32(0); }, [](A3DWriter& t) { t.i32(0); });
  EngineHandle second = meshOf(LoadA3DModel(write(plain, "plain.a3d")));
  EngineHandle third = meshOf(LoadA3DModel(path));
  EXPECT_EQ(iTextureCount(), textures);
  EXPECT_EQ(iNodeMaterial(second).textures[0], 0);
  EXPECT_EQ(iNodeMaterial(first).textures[0], iNodeMaterial(third).textures[0]);
  EXPECT_EQ(App.TextureBindings.size(), 5u);  // 2 + 1 (no material, no mesh entry) + 2
}

TEST_F(ModelTest, HostileCountsReturnQuicklyWithoutHugeAllocations) {
  constexpr int32_t kHuge = 0x7fffffff;
  // Huge object, mesh and vertex counts; the file ends inside the first vertex, 100 bytes in.
  A3DWriter w;
  w.header("A3D\n").i32(0).i32(0).i32(kHuge);
  w.f32(0).f32(0).f32(0).f32(0).f32(0).f32(0).str("").str("o").i32(kHuge);
  w.str("m").i32(kHuge).vertex({});
  w.bytes.resize(100);
  std::string path = write(w);
  LargestAllocation largest;
  EngineHandle root = LoadA3DModel(path);
  EXPECT_LT(largest.bytes(), size_t{1} << 16);
  ASSERT_GT(root, 0);
  EXPECT_LE(iNodeChildCount(root), 2);
}

TEST(RegisterNode, TrimsSpacesOnly) {
  App = AppState{};
  RegisterNode(7, "  front.png  ");
  RegisterNode(8, "   ");
  RegisterNode(9, "\tback.png\t");
  ASSERT_EQ(App.TextureBindings.size(), 3u);
  EXPECT_EQ(App.TextureBindings[0].Node, 7);
  EXPECT_EQ(App.TextureBindings[0].Name, "front.png");
  EXPECT_EQ(App.TextureBindings[1].Name, "");
  EXPECT_EQ(App.TextureBindings[2].Name, "\tback.png\t");
}

}  // namespace

namespace {

// A model like the box styles: a few materials (paper, chrome, translucent plastic, an unlit
// label), texture records for them and several objects with quads and a fan-shaped disc.
A3DWriter realisticModel() {
  A3DWriter w;
  w.header();
  w.i32(4).material("paper").material("chrome").material("plastic", 2, 0).material("label", 0, 17);
  w.i32(4)
      .texture("paper", 0, "front.png")
      .texture("chrome", 0, "env.png", 64)
      .texture("plastic", 1, "detail.png")
      .texture("label", 0, "sub\\side.png");
  auto quad = [](float z) {
    std::vector<TestVertex> v(4);
    for (int i = 0; i < 4; ++i) {
      v[i].x = (i == 1 || i == 2) ? 1.0f : -1.0f;
      v[i].y = i < 2 ? 1.0f : -1.0f;
      v[i].z = z;
      v[i].nz = -1;
      v[i].u = v[i].x * 0.5f + 0.5f;
      v[i].v = 0.5f - v[i].y * 0.5f;
      v[i].alpha = 0.75f;
    }
    return v;
  };
  std::vector<TestVertex> disc(17);
  std::vector<std::array<int32_t, 3>> fan;
  for (int i = 1; i < 17; ++i) {
    disc[i].x = std::cos(i * 0.3927f);
    disc[i].z = std::sin(i * 0.3927f);
    fan.push_back({0, i, i % 16 + 1});
  }
  w.i32(4);
  w.object("front", 1, 0, 0, -0.1f).mesh("paper", quad(-0.1f), {{0, 1, 2}, {0, 2, 3}});
  w.object("back", 2, 0, 0, 0.1f, 0, 180, 0)
      .mesh("paper", quad(0.1f), {{0, 1, 2}, {0, 2, 3}})
      .mesh("label", quad(0.11f), {{0, 1, 2}, {0, 2, 3}});
  w.object("disc", 2, 0, 1, 0, 90, 0, 0).mesh("chrome", disc, fan).mesh("plastic", disc, fan);
  w.object("spine", 1, -1, 0, 0, 0, 90, 0).mesh("nothing", quad(0), {{0, 1, 2}, {0, 2, 3}});
  return w;
}

// Nodes in the tree under `node`, itself included.
int subtreeSize(EngineHandle node) {
  int total = 1;
  for (int i = 0; i < iNodeChildCount(node); ++i) total += subtreeSize(iNodeChildren(node, i));
  return total;
}

// Loads `bytes` cut at many lengths (every length when `step` is 1).
void loadEveryCut(const std::vector<uint8_t>& bytes, const fs::path& dir, const std::string& start,
                  size_t step) {
  A3DWriter whole;
  whole.bytes = bytes;
  ASSERT_TRUE(whole.save((dir / "whole.a3d").string()));
  const int fullNodes = subtreeSize(LoadA3DModel((dir / "whole.a3d").string()));
  const std::string path = (dir / "cut.a3d").string();
  for (size_t length = 0; length <= bytes.size(); length += step) {
    App.TextureBindings.clear();
    A3DWriter cut;
    cut.bytes.assign(bytes.begin(), bytes.begin() + length);
    fs::remove(path);  // a fresh file: rewriting a truncated one can wait for the disk
    ASSERT_TRUE(cut.save(path));
    EngineHandle root = LoadA3DModel(path);
    ASSERT_EQ(sys::currentDirectory(), start) << length;
    ASSERT_TRUE(App.MaterialTable.empty()) << length;
    if (length < 3) {
      ASSERT_EQ(root, 0) << length;
    } else {
      ASSERT_GT(root, 0) << length;
      ASSERT_LE(subtreeSize(root), fullNodes) << length;
    }
  }
}

TEST_F(ModelTest, ModelCutAtEveryByteLoadsWhatIsThere) {
  std::vector<uint8_t> bytes = realisticModel().bytes;
  ASSERT_GT(bytes.size(), 2000u);
  loadEveryCut(bytes, dir_, startDir_, 1);
  // The whole file: four objects, six meshes, every material's texture bound.
  App.TextureBindings.clear();
  EngineHandle root = LoadA3DModel((dir_ / "whole.a3d").string());
  ASSERT_EQ(iNodeChildCount(root), 4);
  EngineHandle disc = iNodeChildren(root, 2);
  EXPECT_EQ(iNodeMaterial(iNodeChildren(disc, 0)).type, kMaterialSphereMap);
  EXPECT_EQ(iNodeMaterial(iNodeChildren(disc, 1)).global, kWhite);
  EXPECT_EQ(iMeshFaceCount(iNodeChildren(disc, 0), 0), 16);
  EngineHandle label = iNodeChildren(iNodeChildren(root, 1), 1);
  EXPECT_FALSE(iNodeMaterial(label).flags & kFlagLighting);
  EXPECT_EQ(iNodeMaterial(label).textures[0], iFindTexture("sub/side.png"));
}

std::vector<fs::path> shippedModels() {
  std::vector<fs::path> shipped;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(KESTRUM_RUN_DIR) / "bin", ec))
    if (entry.path().extension() == ".a3d") shipped.push_back(entry.path());
  std::sort(shipped.begin(), shipped.end());
  return shipped;
}

// Every mesh under `node`.
void collectMeshes(EngineHandle node, std::vector<EngineHandle>& out) {
  if (iNodeKind(node) == EngineNodeKind::Mesh) out.push_back(node);
  for (int i = 0; i < iNodeChildCount(node); ++i) collectMeshes(iNodeChildren(node, i), out);
}

TEST_F(ModelTest, ShippedModelsLoadInPlaceWithTheirTextures) {
  std::vector<fs::path> shipped = shippedModels();
  if (shipped.empty()) GTEST_SKIP() << "no models in " << KESTRUM_RUN_DIR << "/bin yet";
  App.ProfileFolder = dir_.string() + "/";
  bool anyTextured = false;
  for (const fs::path& model : shipped) {
    SCOPED_TRACE(model.filename().string());
    size_t bindings = App.TextureBindings.size();
    EngineHandle root = LoadA3DModel(model.string());
    ASSERT_GT(root, 0);
    EXPECT_GT(iNodeChildCount(root), 0);
    EXPECT_GT(App.TextureBindings.size(), bindings);
    EXPECT_EQ(sys::currentDirectory(), startDir_);
    std::vector<EngineHandle> meshes;
    collectMeshes(root, meshes);
    EXPECT_FALSE(meshes.empty());
    for (EngineHandle mesh : meshes) {
      EngineMaterial mat = iNodeMaterial(mesh);
      if (mat.textures[0] > 0) anyTextured = true;
      if (model.filename() == "shadow.a3d") {
        EXPECT_EQ(mat.emissive, kWhite);
        EXPECT_NE(mat.type, kMaterialSphereMap);
      }
    }
  }
  EXPECT_TRUE(anyTextured);
  EXPECT_TRUE(App.MaterialTable.empty());
}

TEST_F(ModelTest, ShippedModelCutAtManyOffsetsLoadsWhatIsThere) {
  std::vector<fs::path> shipped = shippedModels();
  if (shipped.empty()) GTEST_SKIP() << "no models in " << KESTRUM_RUN_DIR << "/bin yet";
  std::optional<std::vector<uint8_t>> bytes = sys::readFile(shipped.front().string());
  ASSERT_TRUE(bytes);
  // The model's own textures are found next to it; here they are missing, which the load
  // tolerates (layers stay empty).
  loadEveryCut(*bytes, dir_, startDir_, std::max<size_t>(1, bytes->size() / 1500));
}

}  // namespace

// A file of many tiny meshes, well under the byte limit, makes no more than kMaxModelNodes
// nodes; what it holds before that is built as usual.
TEST_F(ModelTest, ManyTinyMeshesStopAtTheNodeLimit) {
  constexpr int kMeshes = 3 * kMaxModelNodes;
  A3DWriter w;
  w.header().i32(1).material("m").i32(0).i32(1).object("many", kMeshes);
  for (int i = 0; i < kMeshes; ++i) w.mesh("m", {}, {});
  EngineHandle root = LoadA3DModel(write(w));
  ASSERT_NE(root, 0);
  EngineHandle object = iNodeChildren(root, 0);
  ASSERT_NE(object, 0);
  int meshes = 0;
  while (iNodeChildren(object, meshes) != 0) ++meshes;
  EXPECT_EQ(meshes, kMaxModelNodes - 1);  // the object's pivot is one of the nodes
  EXPECT_EQ(App.TextureBindings.size(), static_cast<size_t>(kMaxModelNodes));
}
