// The scene graph without GL: placement, turns, parenting, visibility, handles, mesh data.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "image/image.h"
#include "engine_queries.h"
#include "scratch_folder.h"

namespace {

using namespace kestrum::test;

using Matrix = std::array<float, 16>;

Matrix worldOf(EngineHandle node) {
  Matrix m{};
  iNodeAbsoluteMatrix(node, m.data());
  return m;
}

EngineVec3 columnOf(const Matrix& m, int col) {
  return {m[col * 4], m[col * 4 + 1], m[col * 4 + 2]};
}

void expectMatrixNear(const Matrix& a, const Matrix& b, float tolerance) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << "element " << i;
}

const float kDeg = 3.14159265f / 180.0f;

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override { iInitEngine(); }
};

struct TurnCase {
  const char* name;
  EngineVec3 start;
  EngineVec3 turn;
};

class TurnRoundTrip : public SceneTest, public ::testing::WithParamInterface<TurnCase> {};

// Reading the rotation after a turn and writing it back must leave the node where it was.
TEST_P(TurnRoundTrip, RotationReadBackRestoresTheWorldTransform) {
  const TurnCase& c = GetParam();
  const EngineHandle parent = iCreatePivot(0);
  iRotateNode(parent, 10, 20, 30);
  iPositionNode(parent, 1, 2, 3);
  const EngineHandle node = iCreatePivot(parent);
  iPositionNode(node, 0.5f, -1, 2);
  iRotateNode(node, c.start.x, c.start.y, c.start.z);
  iTurnNode(node, c.turn.x, c.turn.y, c.turn.z);
  const Matrix turned = worldOf(node);

  const EngineVec3 r = rotationOf(node);
  iRotateNode(node, 0, 0, 0);
  iRotateNode(node, r.x, r.y, r.z);
  expectMatrixNear(worldOf(node), turned, 2e-5f);
  EXPECT_TRUE(std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z));
}

INSTANTIATE_TEST_SUITE_P(
    Turns, TurnRoundTrip,
    ::testing::Values(TurnCase{"none", {0, 0, 0}, {0, 0, 0}},
                      TurnCase{"pitch", {0, 0, 0}, {5, 0, 0}},
                      TurnCase{"yawAfterPitch", {35, 0, 0}, {0, 10, 0}},
                      TurnCase{"allAxes", {12, -40, 75}, {-20, 33, 8}},
                      TurnCase{"ontoPoleUp", {0, 89.9f, 0}, {0, 0.1f, 0}},
                      TurnCase{"ontoPoleDown", {0, -89.5f, 0}, {0, -0.5f, 0}},
                      TurnCase{"atPoleThenPitch", {0, 90, 0}, {10, 0, 0}},
                      TurnCase{"nearPoleWithRoll", {30, -89.99f, 10}, {5, -0.01f, 2}},
                      TurnCase{"overPole", {0, 80, 0}, {0, 25, 0}},
                      TurnCase{"bigAngles", {400, -270, 725}, {190, 95, -360}},
                      TurnCase{"cameraPresetDrag", {5, 90, 0}, {2.5f, 7, 0}}),
    [](const ::testing::TestParamInfo<TurnCase>& param) { return std::string(param.param.name); });

TEST_F(SceneTest, TurnComposesInTheNodesOwnFrame) {
  const EngineHandle node = iCreatePivot(0);
  iRotateNode(node, 0, 90, 0);  // own x axis now points along world -z
  iTurnNode(node, 10, 0, 0);    // tilts the node's forward axis (+x in world now) down
  const EngineVec3 forward = columnOf(worldOf(node), 2);
  expectNear(forward, {std::cos(10 * kDeg), -std::sin(10 * kDeg), 0});
  const EngineVec3 right = columnOf(worldOf(node), 0);
  expectNear(right, {0, 0, -1});
}

TEST_F(SceneTest, ManySmallTurnsAddUp) {
  const EngineHandle node = iCreatePivot(0);
  for (int i = 0; i < 90; ++i) iTurnNode(node, 0, 1, 0);
  expectNear(columnOf(worldOf(node), 2), {1, 0, 0}, 1e-4f);
  for (int i = 0; i < 360; ++i) iTurnNode(node, 0.5f, 0, 0);
  // 180 degrees about the node's own x: forward is now world -x, up is world -y.
  expectNear(columnOf(worldOf(node), 2), {-1, 0, 0}, 1e-3f);
  expectNear(columnOf(worldOf(node), 1), {0, -1, 0}, 1e-3f);
}

TEST_F(SceneTest, ChildPlacementFollowsRotatedMovedParent) {
  const EngineHandle parent = iCreatePivot(0);
  iPositionNode(parent, 1, 2, 3);
  iRotateNode(parent, 0, 90, 0);
  const EngineHandle child = iCreatePivot(parent);
  iPositionNode(child, 0, 0, 1);
  expectNear(absolutePositionOf(child), {2, 2, 3});
  expectNear(positionOf(child), {0, 0, 1});

  iRotateNode(parent, 0, 45, 0);
  iRotateNode(child, 0, 30, 0);
  EngineVec3 absolute;
  iNodeAbsoluteRotation(child, &absolute);
  expectNear(absolute, {0, 75, 0});

  // Scale of the parent stretches where the child sits but not the world rotation read back.
  iScaleNode(parent, 2, 2, 2);
  iRotateNode(parent, 0, 0, 0);
  expectNear(absolutePositionOf(child), {1, 2, 5});
  iNodeAbsoluteRotation(child, &absolute);
  expectNear(absolute, {0, 30, 0});
}

TEST_F(SceneTest, HomeCameraLooksDownTowardsTheOrigin) {
  const EngineHandle pivot = iCreatePivot(0);
  const EngineHandle camera = iCreateCamera(0);
  iAddChildNode(pivot, camera);
  iPositionNode(camera, 0, 4.75f, -5.0f);
  iRotateNode(camera, 35, 0, 0);
  const Matrix world = worldOf(camera);
  const EngineVec3 eye = absolutePositionOf(camera);
  const EngineVec3 forward = columnOf(world, 2);
  EXPECT_LT(forward.y, -0.5f);
  EXPECT_GT(forward.z, 0.8f);
  // The view ray passes within 2 units of the origin where it meets the floor.
  const float t = -eye.y / forward.y;
  EXPECT_NEAR(eye.x + t * forward.x, 0.0f, 1e-4f);
  EXPECT_NEAR(eye.z + t * forward.z, 0.0f, 2.0f);
  // Turning the pivot swings the camera around the origin.
  iRotateNode(pivot, 0, 90, 0);
  expectNear(absolutePositionOf(camera), {-5, 4.75f, 0});
}

TEST_F(SceneTest, MoveGoesAlongTheNodesOwnAxes) {
  const EngineHandle node = iCreatePivot(0);
  iRotateNode(node, 0, 90, 0);
  iMoveNode(node, 0, 0, 1);
  expectNear(positionOf(node), {1, 0, 0});
  iMoveNode(node, 1, 0, 0);
  expectNear(positionOf(node), {1, 0, -1});

  const EngineHandle camera = iCreateCamera(0);
  iPositionNode(camera, 0, 4.75f, -5);
  iRotateNode(camera, 35, 0, 0);
  iMoveNode(camera, 0, 0, 0.25f);
  expectNear(positionOf(camera),
             {0, 4.75f - 0.25f * std::sin(35 * kDeg), -5 + 0.25f * std::cos(35 * kDeg)});
}

TEST_F(SceneTest, ParentingKeepsLocalPlacementAndRefusesCycles) {
  const EngineHandle a = iCreatePivot(0);
  const EngineHandle b = iCreatePivot(a);
  const EngineHandle c = iCreatePivot(0);
  EXPECT_EQ(iNodeParent(a), iNodeRootScene());
  EXPECT_EQ(iNodeParent(b), a);
  iPositionNode(c, 1, 1, 1);
  iPositionNode(a, 5, 0, 0);
  iParentNode(c, b);
  EXPECT_EQ(iNodeParent(c), b);
  expectNear(positionOf(c), {1, 1, 1});
  expectNear(absolutePositionOf(c), {6, 1, 1});
  EXPECT_EQ(iNodeChildCount(b), 1);
  EXPECT_EQ(iNodeChildren(b, 0), c);
  EXPECT_EQ(iNodeChildren(b, 1), 0);
  EXPECT_EQ(iNodeChildren(b, -1), 0);

  iParentNode(a, c);  // c hangs below a: refused
  EXPECT_EQ(iNodeParent(a), iNodeRootScene());
  iParentNode(a, a);
  EXPECT_EQ(iNodeParent(a), iNodeRootScene());
  iParentNode(iNodeRootScene(), a);
  EXPECT_EQ(iNodeParent(iNodeRootScene()), 0);

  iParentNode(c, 0);  // back to the root
  EXPECT_EQ(iNodeParent(c), iNodeRootScene());
  EXPECT_EQ(iNodeChildCount(b), 0);
}

TEST_F(SceneTest, ChildrenAreListedInTheOrderAdded) {
  const EngineHandle parent = iCreatePivot(0);
  std::vector<EngineHandle> made;
  for (int i = 0; i < 4; ++i) made.push_back(iCreateEmptyMesh(0));
  for (EngineHandle h : made) iAddChildNode(parent, h);
  ASSERT_EQ(iNodeChildCount(parent), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(iNodeChildren(parent, i), made[size_t(i)]);
  EXPECT_EQ(iNodeKind(made[0]), EngineNodeKind::Mesh);
  EXPECT_EQ(iNodeKind(parent), EngineNodeKind::Pivot);
}

TEST_F(SceneTest, VisibilityIsTheNodesOwnFlag) {
  const EngineHandle parent = iCreatePivot(0);
  const EngineHandle child = iCreateEmptyMesh(parent);
  EXPECT_TRUE(iNodeVisible(child));
  iVisibleNode(parent, false);
  EXPECT_FALSE(iNodeVisible(parent));
  EXPECT_TRUE(iNodeVisible(child));
  iVisibleNode(parent, true);
  EXPECT_TRUE(iNodeVisible(parent));
  EXPECT_FALSE(iNodeVisible(0));
}

TEST_F(SceneTest, NewestCameraIsActive) {
  EXPECT_EQ(iActiveCameraNode(), 0);
  const EngineHandle first = iCreateCamera(0);
  const EngineHandle second = iCreateCamera(0);
  EXPECT_EQ(iActiveCameraNode(), second);
  iActiveCamera(first);
  EXPECT_EQ(iActiveCameraNode(), first);
  iActiveCamera(iCreatePivot(0));  // not a camera
  EXPECT_EQ(iActiveCameraNode(), first);
}

TEST_F(SceneTest, LightKeepsColourAndRadius) {
  const EngineHandle light = iCreateLight(0xFFFFFFFFu, 12, 0);
  EXPECT_EQ(iNodeKind(light), EngineNodeKind::Light);
  EXPECT_FLOAT_EQ(iLightRadius(light), 12.0f);
  iRadiusLight(light, 20);
  EXPECT_FLOAT_EQ(iLightRadius(light), 20.0f);
  iRadiusLight(light, -3);  // meaningless radius: ignored
  iRadiusLight(light, NAN);
  EXPECT_FLOAT_EQ(iLightRadius(light), 20.0f);
  iAmbientLight(0xFF505050u);
  EXPECT_EQ(iAmbientLightColour(), 0xFF505050u);
}

TEST_F(SceneTest, NonFiniteValuesLeaveTheNodeAlone) {
  const EngineHandle node = iCreatePivot(0);
  iPositionNode(node, 1, 2, 3);
  iRotateNode(node, 4, 5, 6);
  iPositionNode(node, NAN, 0, 0);
  iRotateNode(node, 0, INFINITY, 0);
  iTurnNode(node, NAN, 0, 0);
  iMoveNode(node, 0, 0, INFINITY);
  iScaleNode(node, NAN, 1, 1);
  expectNear(positionOf(node), {1, 2, 3});
  expectNear(rotationOf(node), {4, 5, 6});
}

EngineVertex vertex(float x, float y, float z, uint32_t colour = 0xFFFFFFFFu) {
  return EngineVertex{x, y, z, 0, 0, -1, colour, x, y, 0, 0};
}

TEST_F(SceneTest, MeshBuffersHoldVerticesAndFaces) {
  const EngineHandle mesh = iCreateEmptyMesh(0);
  EXPECT_EQ(iMeshBufferCount(mesh), 0);
  iAddBufferMesh(mesh, 1);
  iAddBufferMesh(mesh, 2);
  ASSERT_EQ(iMeshBufferCount(mesh), 3);

  const EngineVertex quad[4] = {vertex(-1, 1, 0), vertex(1, 1, 0), vertex(1, -1, 0),
                                vertex(-1, -1, 0, 0x80FF0000u)};
  iAddMVerticesMesh(mesh, quad, 1, 0);  // one at a time, as model files are read
  iAddMVerticesMesh(mesh, quad + 1, 3, 0);
  iAddFaceMesh(mesh, 0, 1, 2, 0);
  iAddFaceMesh(mesh, 0, 2, 3, 0);
  iAddMVerticesMesh(mesh, quad, 2, 2);
  EXPECT_EQ(iMeshVertexCount(mesh, 0), 4);
  EXPECT_EQ(iMeshFaceCount(mesh, 0), 2);
  EXPECT_EQ(iMeshVertexCount(mesh, 1), 0);
  EXPECT_EQ(iMeshVertices(mesh, 1), nullptr);
  EXPECT_EQ(iMeshVertexCount(mesh, 2), 2);

  const EngineVertex* v = iMeshVertices(mesh, 0);
  ASSERT_NE(v, nullptr);
  EXPECT_FLOAT_EQ(v[2].x, 1);
  EXPECT_FLOAT_EQ(v[2].y, -1);
  EXPECT_EQ(v[3].colour, 0x80FF0000u);
  const int* idx = iMeshIndices(mesh, 0);
  ASSERT_NE(idx, nullptr);
  EXPECT_EQ((std::vector<int>(idx, idx + 6)), (std::vector<int>{0, 1, 2, 0, 2, 3}));

  // Out-of-range buffers and bad input change nothing.
  iAddMVerticesMesh(mesh, quad, 4, 3);
  iAddMVerticesMesh(mesh, quad, 4, -1);
  iAddMVerticesMesh(mesh, nullptr, 4, 0);
  iAddMVerticesMesh(mesh, quad, -2, 0);
  iAddFaceMesh(mesh, 0, 1, 2, 7);
  EXPECT_EQ(iMeshVertexCount(mesh, 0), 4);
  EXPECT_EQ(iMeshFaceCount(mesh, 0), 2);
  EXPECT_EQ(iMeshFaceCount(mesh, 3), 0);
}

TEST_F(SceneTest, MaterialCallsAreRecorded) {
  const EngineHandle mesh = iCreateEmptyMesh(0);
  EngineMaterial m = iNodeMaterial(mesh);
  EXPECT_EQ(m.flags, 0);
  EXPECT_EQ(m.diffuse, 0xFFFFFFFFu);
  EXPECT_EQ(m.emissive, 0xFF000000u);
  iMaterialFlagNode(mesh, kFlagLighting, true);
  iMaterialFlagNode(mesh, kFlagBilinear, true);
  iMaterialFlagNode(mesh, kFlagFog, false);
  iMaterialFlagNode(mesh, kFlagBilinear, false);
  iMaterialFlagNode(mesh, kFlagTrilinear, true);
  iMaterialTypeNode(mesh, kMaterialDetail);
  iDiffuseColorNode(mesh, 0xFF0000FFu);
  iEmissiveColorNode(mesh, 0xFFFFFFFFu);
  iAmbientColorNode(mesh, 0xFF00FF00u);
  iGlobalColorNode(mesh, 0x78FFFFFFu);
  m = iNodeMaterial(mesh);
  EXPECT_EQ(m.flags, kFlagLighting | kFlagTrilinear);
  EXPECT_EQ(m.type, kMaterialDetail);
  EXPECT_EQ(m.diffuse, 0xFF0000FFu);
  EXPECT_EQ(m.emissive, 0xFFFFFFFFu);
  EXPECT_EQ(m.ambient, 0xFF00FF00u);
  EXPECT_EQ(m.global, 0x78FFFFFFu);
}

TEST_F(SceneTest, InitEngineDropsEverything) {
  const EngineHandle oldRoot = iNodeRootScene();
  const EngineHandle pivot = iCreatePivot(0);
  const EngineHandle camera = iCreateCamera(pivot);
  iAmbientLight(0xFF202020u);
  iInitEngine();
  EXPECT_EQ(iNodeKind(pivot), EngineNodeKind::None);
  EXPECT_EQ(iNodeKind(camera), EngineNodeKind::None);
  EXPECT_EQ(iActiveCameraNode(), 0);
  EXPECT_NE(iNodeRootScene(), oldRoot);
  EXPECT_EQ(iNodeChildCount(iNodeRootScene()), 0);
  EXPECT_EQ(iTextureCount(), 0);
  const EngineHandle fresh = iCreatePivot(0);
  EXPECT_NE(fresh, pivot);  // old handles never come back to life
  EXPECT_NE(fresh, camera);
}

// --- Handle safety -----------------------------------------------------------------------------

// Everything a caller can observe about a small scene, to compare before and after bad calls.
struct Snapshot {
  std::vector<float> numbers;
  std::vector<int64_t> ints;
  bool operator==(const Snapshot&) const = default;
};

struct Witness {
  EngineHandle pivot, camera, light, mesh, texture, image;
  EngineHandle freedTexture, freedImage;
  std::filesystem::path folder;  // the test's own, for the picture files
};

// An engine image, made through a picture file in `folder`.
EngineHandle makeEngineImage(const std::filesystem::path& folder, const std::string& name) {
  const std::string path = (folder / name).string();
  EXPECT_TRUE(kestrum::saveImage(kestrum::makeImage(3, 2, 0xFF00FF00u), path));
  const EngineHandle image = iLoadImage(path);
  EXPECT_NE(image, 0) << iLastLoadError();
  return image;
}

Witness buildWitness() {
  Witness w{};
  w.folder = freshTestFolder();
  w.pivot = iCreatePivot(0);
  iPositionNode(w.pivot, 1, 2, 3);
  iRotateNode(w.pivot, 10, 20, 30);
  w.camera = iCreateCamera(w.pivot);
  w.light = iCreateLight(0xFFFFFFFFu, 12, 0);
  w.mesh = iCreateEmptyMesh(w.pivot);
  iAddBufferMesh(w.mesh, 1);
  const EngineVertex v = vertex(0, 0, 0);
  iAddMVerticesMesh(w.mesh, &v, 1, 0);
  iAddFaceMesh(w.mesh, 0, 0, 0, 0);
  w.texture = iAddTexture("witness.png", kestrum::makeImage(4, 4, 0xFF0000FFu));
  iMaterialTextureNode(w.mesh, w.texture, 0);
  w.image = makeEngineImage(w.folder, "witness.png");
  w.freedTexture = iAddTexture("freed.png", kestrum::makeImage(2, 2));
  iFreeTexture(w.freedTexture);
  w.freedImage = makeEngineImage(w.folder, "freed.png");
  iFreeImage(w.freedImage);
  return w;
}

Snapshot snapshot(const Witness& w) {
  Snapshot s;
  for (EngineHandle n : {w.pivot, w.camera, w.light, w.mesh, iNodeRootScene()}) {
    EngineVec3 a, b, c, d;
    iNodePositionP(n, &a);
    iNodeRotation(n, &b);
    iNodeScale(n, &c);
    iNodeAbsolutePosition(n, &d);
    s.numbers.insert(s.numbers.end(), {a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z, d.x, d.y, d.z});
    const EngineMaterial m = iNodeMaterial(n);
    s.ints.insert(s.ints.end(), {m.flags, m.type, m.textures[0], m.textures[1], m.diffuse,
                                 m.emissive, m.ambient, m.global, iNodeParent(n),
                                 iNodeChildCount(n), iNodeVisible(n), int(iNodeKind(n))});
  }
  s.numbers.push_back(iLightRadius(w.light));
  int tw, th, iw, ih;
  iTextureOriginalSize(w.texture, &tw, &th);
  iImageDimension(w.image, &iw, &ih);
  s.ints.insert(s.ints.end(),
                {iActiveCameraNode(), iMeshBufferCount(w.mesh), iMeshVertexCount(w.mesh, 0),
                 iMeshFaceCount(w.mesh, 0), iTextureCount(), iFindTexture("witness.png"), tw, th,
                 iw, ih, iAmbientLightColour()});
  return s;
}

// What a call's handle must be for the call to act.
enum class Needs { Node, Camera, Light, Mesh, Texture, Image };

struct BadCall {
  const char* name;
  Needs needs;
  bool zeroMeansRoot;  // 0 names the scene's root for this argument: a real operation
  std::function<void(const Witness&, EngineHandle bad)> call;
};

const BadCall kBadCalls[] = {
    {"AddChildNodeOfBad", Needs::Node, false,
     [](const Witness& w, EngineHandle bad) { iAddChildNode(w.pivot, bad); }},
    {"AddChildNodeToBad", Needs::Node, true,
     [](const Witness& w, EngineHandle bad) { iAddChildNode(bad, w.mesh); }},
    {"ParentNode", Needs::Node, false,
     [](const Witness& w, EngineHandle bad) { iParentNode(bad, w.pivot); }},
    {"PositionNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iPositionNode(bad, 9, 9, 9); }},
    {"RotateNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iRotateNode(bad, 9, 9, 9); }},
    {"ScaleNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iScaleNode(bad, 9, 9, 9); }},
    {"TurnNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iTurnNode(bad, 9, 9, 9); }},
    {"MoveNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iMoveNode(bad, 9, 9, 9); }},
    {"VisibleNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iVisibleNode(bad, false); }},
    {"MaterialFlagNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iMaterialFlagNode(bad, 8, true); }},
    {"MaterialTypeNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iMaterialTypeNode(bad, 9); }},
    {"MaterialTextureNode", Needs::Node, false,
     [](const Witness& w, EngineHandle bad) { iMaterialTextureNode(bad, w.texture, 1); }},
    {"DiffuseColorNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iDiffuseColorNode(bad, 0); }},
    {"EmissiveColorNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iEmissiveColorNode(bad, 0); }},
    {"AmbientColorNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iAmbientColorNode(bad, 0); }},
    {"GlobalColorNode", Needs::Node, false,
     [](const Witness&, EngineHandle bad) { iGlobalColorNode(bad, 0); }},
    {"NearValueCamera", Needs::Camera, false,
     [](const Witness&, EngineHandle bad) { iNearValueCamera(bad, 2); }},
    {"FarValueCamera", Needs::Camera, false,
     [](const Witness&, EngineHandle bad) { iFarValueCamera(bad, 2); }},
    {"FOVCamera", Needs::Camera, false,
     [](const Witness&, EngineHandle bad) { iFOVCamera(bad, 60); }},
    {"ActiveCamera", Needs::Camera, false,
     [](const Witness&, EngineHandle bad) { iActiveCamera(bad); }},
    {"TypeLight", Needs::Light, false,
     [](const Witness&, EngineHandle bad) { iTypeLight(bad, 1); }},
    {"RadiusLight", Needs::Light, false,
     [](const Witness&, EngineHandle bad) { iRadiusLight(bad, 3); }},
    {"AddBufferMesh", Needs::Mesh, false,
     [](const Witness&, EngineHandle bad) { iAddBufferMesh(bad, 1); }},
    {"AddMVerticesMesh", Needs::Mesh, false,
     [](const Witness&, EngineHandle bad) {
       const EngineVertex v = vertex(1, 1, 1);
       iAddMVerticesMesh(bad, &v, 1, 0);
     }},
    {"AddFaceMesh", Needs::Mesh, false,
     [](const Witness&, EngineHandle bad) { iAddFaceMesh(bad, 0, 0, 0, 0); }},
    {"MaterialTextureOfBadTexture", Needs::Texture, true,  // texture 0 clears the layer
     [](const Witness& w, EngineHandle bad) { iMaterialTextureNode(w.mesh, bad, 0); }},
    {"FreeTexture", Needs::Texture, false,
     [](const Witness&, EngineHandle bad) { iFreeTexture(bad); }},
    {"FreeImage", Needs::Image, false, [](const Witness&, EngineHandle bad) { iFreeImage(bad); }},
    {"SaveImage", Needs::Image, false,
     [](const Witness& w, EngineHandle bad) {
       EXPECT_FALSE(iSaveImage(bad, (w.folder / "never.png").string(), 0));
     }},
};

// Handles a call of this need must ignore: none, freed ones, and live ones of another kind.
std::vector<EngineHandle> badHandlesFor(Needs needs, const Witness& w) {
  std::vector<EngineHandle> bad = {0, w.freedTexture, w.freedImage};
  const std::pair<EngineHandle, Needs> live[] = {
      {w.pivot, Needs::Node}, {w.camera, Needs::Camera},   {w.light, Needs::Light},
      {w.mesh, Needs::Mesh},  {w.texture, Needs::Texture}, {w.image, Needs::Image}};
  for (auto [handle, kind] : live) {
    const bool isNode = kind != Needs::Texture && kind != Needs::Image;
    const bool fits = kind == needs || (needs == Needs::Node && isNode);
    if (!fits) bad.push_back(handle);
  }
  return bad;
}

TEST_F(SceneTest, EveryOperationOnABadHandleIsANoOp) {
  const Witness w = buildWitness();
  const Snapshot before = snapshot(w);
  int tried = 0;
  for (const BadCall& c : kBadCalls) {
    for (EngineHandle bad : badHandlesFor(c.needs, w)) {
      if (bad == 0 && c.zeroMeansRoot) continue;
      c.call(w, bad);
      ++tried;
      EXPECT_EQ(snapshot(w), before) << c.name << " on handle " << bad << " changed the scene";
    }
  }
  EXPECT_GT(tried, 100);
}

TEST_F(SceneTest, GettersOnBadHandlesGiveZeros) {
  const Witness w = buildWitness();
  for (EngineHandle bad : badHandlesFor(Needs::Node, w)) {
    EngineVec3 v{7, 7, 7};
    iNodePositionP(bad, &v);
    EXPECT_EQ(v.x, 0);
    iNodeAbsolutePosition(bad, &v);
    EXPECT_EQ(v.y, 0);
    iNodeRotation(bad, &v);
    EXPECT_EQ(v.z, 0);
    float m[16];
    std::fill(m, m + 16, 7.0f);
    iNodeAbsoluteMatrix(bad, m);
    for (float x : m) EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(iNodeKind(bad), EngineNodeKind::None);
    EXPECT_EQ(iNodeParent(bad), 0);
    EXPECT_EQ(iNodeChildren(bad, 0), 0);
    EXPECT_EQ(iNodeChildCount(bad), 0);
    EXPECT_FALSE(iNodeVisible(bad));
    const EngineMaterial mat = iNodeMaterial(bad);
    EXPECT_EQ(mat.flags, 0);
    EXPECT_EQ(mat.diffuse, 0u);
    EXPECT_EQ(mat.global, 0u);
  }
  for (EngineHandle bad : badHandlesFor(Needs::Light, w)) EXPECT_EQ(iLightRadius(bad), 0.0f);
  for (EngineHandle bad : badHandlesFor(Needs::Mesh, w)) {
    EXPECT_EQ(iMeshBufferCount(bad), 0);
    EXPECT_EQ(iMeshVertexCount(bad, 0), 0);
    EXPECT_EQ(iMeshFaceCount(bad, 0), 0);
    EXPECT_EQ(iMeshVertices(bad, 0), nullptr);
    EXPECT_EQ(iMeshIndices(bad, 0), nullptr);
  }
  // The sizes start at -1 x -1, so each call must write its zeros.
  for (EngineHandle bad : badHandlesFor(Needs::Texture, w)) {
    EXPECT_EQ(originalSizeOf(bad), (PixelSize{0, 0}));
    EXPECT_EQ(textureSizeOf(bad), (PixelSize{0, 0}));
    EXPECT_EQ(iTextureName(bad), "");
  }
  for (EngineHandle bad : badHandlesFor(Needs::Image, w))
    EXPECT_EQ(imageSizeOf(bad), (PixelSize{0, 0}));
  // Null out-pointers are tolerated.
  iNodePositionP(w.pivot, nullptr);
  iTextureOriginalSize(w.texture, nullptr, nullptr);
  iImageDimension(w.image, nullptr, nullptr);
  EXPECT_EQ(imageSizeOf(w.image), (PixelSize{3, 2}));
}

}  // namespace
