// The scene graph: nodes and their placement, cameras, lights, meshes and materials, plus the
// texture and image tables. Plain data; nothing here needs a GL context.
#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/engine.h"
#include "engine_internal.h"

namespace kestrum::engine_detail {

namespace {

EngineHandle gNextHandle = 1;

bool finite3(float x, float y, float z) {
  return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

void put(EngineVec3* out, Vec3d v) {
  if (!out) return;
  out->x = float(v.x);
  out->y = float(v.y);
  out->z = float(v.z);
}

void makeRoot(EngineState& s) {
  s.root = newHandle();
  s.nodes[s.root].kind = EngineNodeKind::Pivot;
}

// Detaches `child` from its parent's list of children.
void detach(EngineState& s, EngineHandle child, Node& node) {
  if (Node* parent = findNode(node.parent)) {
    auto& list = parent->children;
    list.erase(std::remove(list.begin(), list.end(), child), list.end());
  }
  node.parent = 0;
  (void)s;
}

// Hangs `child` under `parent` (0 = the root), keeping its local placement. Refuses to make a
// node its own ancestor.
void attach(EngineHandle parent, EngineHandle child) {
  EngineState& s = state();
  if (parent == 0) parent = s.root;
  Node* node = findNode(child);
  Node* newParent = findNode(parent);
  if (!node || !newParent || child == s.root || child == parent) return;
  for (EngineHandle up = parent; up != 0;) {
    if (up == child) return;
    const Node* n = findNode(up);
    up = n ? n->parent : 0;
  }
  if (node->parent == parent) return;
  detach(s, child, *node);
  node->parent = parent;
  newParent->children.push_back(child);
}

EngineHandle createNode(EngineNodeKind kind, EngineHandle parent) {
  EngineState& s = state();
  if (parent != 0 && !findNode(parent)) parent = 0;
  const EngineHandle handle = newHandle();
  s.nodes[handle].kind = kind;
  attach(parent, handle);
  return handle;
}

}  // namespace

EngineState& state() {
  static EngineState* s = [] {
    auto* created = new EngineState;
    makeRoot(*created);
    return created;
  }();
  return *s;
}

EngineHandle newHandle() {
  if (gNextHandle == std::numeric_limits<EngineHandle>::max()) return 0;
  return gNextHandle++;
}

Node* findNode(EngineHandle handle) {
  if (handle == 0) return nullptr;
  auto& nodes = state().nodes;
  auto it = nodes.find(handle);
  return it == nodes.end() ? nullptr : &it->second;
}

Node* findNode(EngineHandle handle, EngineNodeKind kind) {
  Node* node = findNode(handle);
  return node && node->kind == kind ? node : nullptr;
}

Texture* findTexture(EngineHandle handle) {
  if (handle == 0) return nullptr;
  auto& textures = state().textures;
  auto it = textures.find(handle);
  return it == textures.end() ? nullptr : &it->second;
}

Mat4 localMatrix(const Node& node) {
  return Mat4::translation(node.position) * Mat4::rotationEuler(node.rotation) *
         Mat4::scaling(node.scale);
}

Mat4 worldMatrix(EngineHandle handle) {
  Mat4 world;
  int depth = 0;
  for (const Node* node = findNode(handle); node && depth < 100000; ++depth) {
    world = localMatrix(*node) * world;
    node = findNode(node->parent);
  }
  return world;
}

bool visibleInScene(EngineHandle handle) {
  for (const Node* node = findNode(handle); node; node = findNode(node->parent)) {
    if (!node->visible) return false;
  }
  return true;
}

void discardGpu(Texture& texture) {
  if (texture.glName) {
    state().garbage.push_back({GlGarbage::TextureObject, texture.glName, texture.generation});
  }
  texture.glName = 0;
  texture.generation = 0;
}

void discardGpu(GpuBuffer& buffer) {
  auto& garbage = state().garbage;
  if (buffer.vao) garbage.push_back({GlGarbage::VertexArrayObject, buffer.vao, buffer.generation});
  if (buffer.vbo) garbage.push_back({GlGarbage::BufferObject, buffer.vbo, buffer.generation});
  if (buffer.ibo) garbage.push_back({GlGarbage::BufferObject, buffer.ibo, buffer.generation});
  buffer = GpuBuffer{};
}

}  // namespace kestrum::engine_detail

using namespace kestrum::engine_detail;

// --- Engine --------------------------------------------------------------------------------

void iInitEngine() {
  EngineState& s = state();
  for (auto& [handle, node] : s.nodes) {
    for (auto& buffer : node.buffers) discardGpu(buffer.gpu);
  }
  for (auto& [handle, texture] : s.textures) discardGpu(texture);
  // Keep what belongs to the host and the GL context rather than to the scene.
  EngineState fresh;
  fresh.framebuffer = s.framebuffer;
  fresh.targetWidth = s.targetWidth;
  fresh.targetHeight = s.targetHeight;
  fresh.present = std::move(s.present);
  fresh.rendererName = s.rendererName;
  fresh.glContext = s.glContext;
  fresh.glGeneration = s.glGeneration;
  fresh.garbage = std::move(s.garbage);
  fresh.mouseX = s.mouseX;
  fresh.mouseY = s.mouseY;
  s = std::move(fresh);
  s.root = newHandle();
  s.nodes[s.root].kind = EngineNodeKind::Pivot;
}

void iSetAntiAlias(int on) {
  state().antiAlias = on ? 1 : 0;
}
int iAntiAliasSetting() {
  return state().antiAlias;
}

// --- Nodes ---------------------------------------------------------------------------------

EngineHandle iCreatePivot(EngineHandle parent) {
  return createNode(EngineNodeKind::Pivot, parent);
}

EngineHandle iCreateCamera(EngineHandle parent) {
  const EngineHandle camera = createNode(EngineNodeKind::Camera, parent);
  state().activeCamera = camera;
  return camera;
}

EngineHandle iCreateEmptyMesh(EngineHandle parent) {
  return createNode(EngineNodeKind::Mesh, parent);
}

EngineHandle iCreateLight(uint32_t colour, float radius, EngineHandle parent) {
  const EngineHandle light = createNode(EngineNodeKind::Light, parent);
  Node* node = findNode(light);
  node->lightColour = colour;
  if (std::isfinite(radius) && radius > 0) node->radius = radius;
  return light;
}

void iAddChildNode(EngineHandle parent, EngineHandle child) {
  if (parent != 0 && !findNode(parent)) return;
  attach(parent, child);
}

void iParentNode(EngineHandle node, EngineHandle parent) {
  iAddChildNode(parent, node);
}

EngineHandle iNodeParent(EngineHandle node) {
  const Node* n = findNode(node);
  return n ? n->parent : 0;
}

EngineHandle iNodeRootScene() {
  return state().root;
}

EngineHandle iNodeChildren(EngineHandle node, int index) {
  const Node* n = findNode(node);
  if (!n || index < 0 || size_t(index) >= n->children.size()) return 0;
  return n->children[size_t(index)];
}

int iNodeChildCount(EngineHandle node) {
  const Node* n = findNode(node);
  return n ? int(n->children.size()) : 0;
}

EngineNodeKind iNodeKind(EngineHandle node) {
  const Node* n = findNode(node);
  return n ? n->kind : EngineNodeKind::None;
}

void iPositionNode(EngineHandle node, float x, float y, float z) {
  Node* n = findNode(node);
  if (n && finite3(x, y, z)) n->position = {x, y, z};
}

void iRotateNode(EngineHandle node, float x, float y, float z) {
  Node* n = findNode(node);
  if (n && finite3(x, y, z)) n->rotation = {x, y, z};
}

void iScaleNode(EngineHandle node, float x, float y, float z) {
  Node* n = findNode(node);
  if (n && finite3(x, y, z)) n->scale = {x, y, z};
}

void iTurnNode(EngineHandle node, float x, float y, float z) {
  Node* n = findNode(node);
  if (!n || !finite3(x, y, z)) return;
  const Mat4 turned = Mat4::rotationEuler(n->rotation) * Mat4::rotationEuler({x, y, z});
  n->rotation = eulerFromRotation(turned);
}

void iMoveNode(EngineHandle node, float x, float y, float z) {
  Node* n = findNode(node);
  if (!n || !finite3(x, y, z)) return;
  n->position = n->position + Mat4::rotationEuler(n->rotation).transformVector({x, y, z});
}

void iNodePositionP(EngineHandle node, EngineVec3* out) {
  const Node* n = findNode(node);
  put(out, n ? n->position : Vec3d{});
}

void iNodeRotation(EngineHandle node, EngineVec3* out) {
  const Node* n = findNode(node);
  put(out, n ? n->rotation : Vec3d{});
}

void iNodeScale(EngineHandle node, EngineVec3* out) {
  const Node* n = findNode(node);
  put(out, n ? n->scale : Vec3d{});
}

void iNodeAbsolutePosition(EngineHandle node, EngineVec3* out) {
  put(out, findNode(node) ? worldMatrix(node).translationPart() : Vec3d{});
}

void iNodeAbsoluteRotation(EngineHandle node, EngineVec3* out) {
  put(out, findNode(node) ? eulerFromRotation(worldMatrix(node).rotationPart()) : Vec3d{});
}

void iNodeAbsoluteMatrix(EngineHandle node, float out[16]) {
  if (!out) return;
  if (!findNode(node)) {
    std::fill(out, out + 16, 0.0f);
    return;
  }
  const Mat4 world = worldMatrix(node);
  for (int i = 0; i < 16; ++i) out[i] = float(world.m[i]);
}

void iUpdateAbsolutePositionNode(EngineHandle) {}

void iVisibleNode(EngineHandle node, bool on) {
  if (Node* n = findNode(node)) n->visible = on;
}

bool iNodeVisible(EngineHandle node) {
  const Node* n = findNode(node);
  return n && n->visible;
}

// --- Camera and light ----------------------------------------------------------------------

void iNearValueCamera(EngineHandle camera, float value) {
  Node* n = findNode(camera, EngineNodeKind::Camera);
  if (n && std::isfinite(value) && value > 0) n->nearValue = value;
}

void iFarValueCamera(EngineHandle camera, float value) {
  Node* n = findNode(camera, EngineNodeKind::Camera);
  if (n && std::isfinite(value) && value > 0) n->farValue = value;
}

void iFOVCamera(EngineHandle camera, float degrees) {
  Node* n = findNode(camera, EngineNodeKind::Camera);
  if (n && std::isfinite(degrees) && degrees > 0 && degrees < 180) n->fov = degrees;
}

void iActiveCamera(EngineHandle camera) {
  if (findNode(camera, EngineNodeKind::Camera)) state().activeCamera = camera;
}

EngineHandle iActiveCameraNode() {
  return findNode(state().activeCamera, EngineNodeKind::Camera) ? state().activeCamera : 0;
}

void iTypeLight(EngineHandle light, int type) {
  if (Node* n = findNode(light, EngineNodeKind::Light)) n->lightType = type;
}

void iRadiusLight(EngineHandle light, float radius) {
  Node* n = findNode(light, EngineNodeKind::Light);
  if (n && std::isfinite(radius) && radius > 0) n->radius = radius;
}

float iLightRadius(EngineHandle light) {
  const Node* n = findNode(light, EngineNodeKind::Light);
  return n ? n->radius : 0.0f;
}

void iAmbientLight(uint32_t colour) {
  state().ambient = colour;
}
uint32_t iAmbientLightColour() {
  return state().ambient;
}

// --- Meshes --------------------------------------------------------------------------------

namespace {

constexpr int kMaxBuffers = 4096;

MeshBuffer* findBuffer(EngineHandle mesh, int buffer) {
  Node* n = findNode(mesh, EngineNodeKind::Mesh);
  if (!n || buffer < 0 || size_t(buffer) >= n->buffers.size()) return nullptr;
  return &n->buffers[size_t(buffer)];
}

}  // namespace

void iAddBufferMesh(EngineHandle mesh, int count) {
  Node* n = findNode(mesh, EngineNodeKind::Mesh);
  if (!n || count <= 0 || count > kMaxBuffers - int(n->buffers.size())) return;
  n->buffers.resize(n->buffers.size() + size_t(count));
}

void iAddMVerticesMesh(EngineHandle mesh, const EngineVertex* vertices, int count, int buffer) {
  MeshBuffer* b = findBuffer(mesh, buffer);
  if (!b || !vertices || count <= 0) return;
  b->vertices.insert(b->vertices.end(), vertices, vertices + count);
  for (int i = 0; i < count; ++i) {
    if ((vertices[i].colour >> 24) != 0xFF) b->vertexAlpha = true;
  }
  ++b->version;
}

void iAddFaceMesh(EngineHandle mesh, int a, int b, int c, int buffer) {
  MeshBuffer* mb = findBuffer(mesh, buffer);
  if (!mb) return;
  mb->indices.insert(mb->indices.end(), {a, b, c});
  ++mb->version;
}

int iMeshBufferCount(EngineHandle mesh) {
  const Node* n = findNode(mesh, EngineNodeKind::Mesh);
  return n ? int(n->buffers.size()) : 0;
}

int iMeshVertexCount(EngineHandle mesh, int buffer) {
  const MeshBuffer* b = findBuffer(mesh, buffer);
  return b ? int(b->vertices.size()) : 0;
}

int iMeshFaceCount(EngineHandle mesh, int buffer) {
  const MeshBuffer* b = findBuffer(mesh, buffer);
  return b ? int(b->indices.size() / 3) : 0;
}

const EngineVertex* iMeshVertices(EngineHandle mesh, int buffer) {
  const MeshBuffer* b = findBuffer(mesh, buffer);
  return b && !b->vertices.empty() ? b->vertices.data() : nullptr;
}

const int* iMeshIndices(EngineHandle mesh, int buffer) {
  const MeshBuffer* b = findBuffer(mesh, buffer);
  return b && !b->indices.empty() ? b->indices.data() : nullptr;
}

// --- Materials -----------------------------------------------------------------------------
// Every node kind carries a material (so flags set on a pivot can be read back); only meshes
// draw with theirs.

void iMaterialFlagNode(EngineHandle node, int flag, bool on) {
  Node* n = findNode(node);
  if (!n) return;
  if (on) {
    n->material.flags |= flag;
  } else {
    n->material.flags &= ~flag;
  }
}

void iMaterialTypeNode(EngineHandle node, int type) {
  if (Node* n = findNode(node)) n->material.type = type;
}

void iMaterialTextureNode(EngineHandle node, EngineHandle texture, int layer) {
  Node* n = findNode(node);
  if (!n || layer < 0 || layer > 3) return;
  if (texture != 0 && !findTexture(texture)) return;  // 0 clears the layer
  n->material.textures[layer] = texture;
}

void iDiffuseColorNode(EngineHandle node, uint32_t colour) {
  if (Node* n = findNode(node)) n->material.diffuse = colour;
}

void iEmissiveColorNode(EngineHandle node, uint32_t colour) {
  if (Node* n = findNode(node)) n->material.emissive = colour;
}

void iAmbientColorNode(EngineHandle node, uint32_t colour) {
  if (Node* n = findNode(node)) n->material.ambient = colour;
}

void iGlobalColorNode(EngineHandle node, uint32_t colour) {
  if (Node* n = findNode(node)) n->material.global = colour;
}

EngineMaterial iNodeMaterial(EngineHandle node) {
  const Node* n = findNode(node);
  if (n) return n->material;
  EngineMaterial none;
  none.diffuse = none.ambient = none.emissive = none.global = 0;
  return none;
}

// --- Pointer -------------------------------------------------------------------------------

int iGetMouseX() {
  return state().mouseX;
}
int iGetMouseY() {
  return state().mouseY;
}

void iSetMousePosition(int x, int y) {
  state().mouseX = x;
  state().mouseY = y;
}
