// LoadA3DModel: builds what the A3D reader finds into engine nodes, material by material.
#include <algorithm>
#include <cctype>

#include "model/model.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"

namespace kestrum {
namespace {

// Model files are small; anything this large is not one of ours.
constexpr size_t kMaxModelBytes = size_t{256} << 20;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kTranslucentWhite = 0x78FFFFFFu;

// Empties App.MaterialTable when the load ends, however it ends.
struct MaterialTableGuard {
  MaterialTableGuard() { App.MaterialTable.clear(); }
  ~MaterialTableGuard() { App.MaterialTable.clear(); }
};

std::string withSlashes(std::string_view path) {
  std::string out(path);
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

bool endsWithShadowModelName(std::string_view fileName) {
  constexpr std::string_view kShadow = "shadow.a3d";
  if (fileName.size() < kShadow.size()) return false;
  std::string_view tail = fileName.substr(fileName.size() - kShadow.size());
  return std::equal(tail.begin(), tail.end(), kShadow.begin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

bool isWhiteEffect(int32_t flags) {
  return flags == 1 || flags == 5 || flags == 9;
}

bool isUnlitEffect(int32_t flags) {
  return flags == 16 || flags == 17 || flags == 24 || flags == 25;
}

class ModelBuilder : public A3DVisitor {
 public:
  ModelBuilder(EngineHandle root, bool shadowModel) : root_(root), shadowModel_(shadowModel) {}

  void material(const A3DMaterial& m) override {
    MaterialEntry entry;
    entry.Name = m.name;
    entry.BlendMode = m.blendMode;
    entry.EffectFlags = m.effectFlags;
    App.MaterialTable.push_back(std::move(entry));
  }

  void texture(const A3DTexture& t) override {
    if (t.layer >= 5) return;
    // The model's folder is the working directory, so relative names resolve against it.
    EngineHandle handle = PrepareTexture(withSlashes(t.fileName));
    if (handle <= 0 || t.layer < 0 || t.layer > 3) return;
    for (MaterialEntry& entry : App.MaterialTable) {
      if (entry.Name != t.materialName) continue;
      if (t.layer == 0) entry.Layer0FileName = std::string(sys::fileNamePart(t.fileName));
      entry.LayerTexture[t.layer] = handle;
      entry.LayerFlags[t.layer] = t.layerFlags;
      entry.LayerValue[t.layer] = t.layerValue;
    }
  }

  void beginObject(const A3DObject& object) override {
    object_ = object;
    pivot_ = 0;
    if (nodes_ >= kMaxModelNodes) return;
    ++nodes_;
    pivot_ = iCreatePivot(0);
    iMaterialFlagNode(pivot_, kFlagFog, false);
    iMaterialFlagNode(pivot_, kFlagAntiAlias, true);
    iMaterialFlagNode(pivot_, kFlagBilinear, true);
    iMaterialFlagNode(pivot_, kFlagTrilinear, true);
    iMaterialFlagNode(pivot_, kFlagAnisotropic, true);
    RegisterNode(pivot_, object.name);
  }

  void mesh(const A3DMesh& m) override {
    if (pivot_ == 0 || nodes_ >= kMaxModelNodes) return;
    ++nodes_;
    EngineHandle mesh = iCreateEmptyMesh(0);
    iAddBufferMesh(mesh, 1);
    for (const A3DVertex& v : m.vertices) {
      EngineVertex ev{};
      ev.x = v.position[0];
      ev.y = v.position[1];
      ev.z = v.position[2];
      ev.nx = v.normal[0];
      ev.ny = v.normal[1];
      ev.nz = v.normal[2];
      ev.colour = packVertexColour(v);
      ev.u = v.uv[0];
      ev.v = v.uv[1];
      ev.u2 = v.uv2[0];
      ev.v2 = v.uv2[1];
      iAddMVerticesMesh(mesh, &ev, 1, 0);
    }
    for (const auto& face : m.faces) iAddFaceMesh(mesh, face[0], face[1], face[2], 0);

    iMaterialFlagNode(mesh, kFlagLighting, true);
    iMaterialFlagNode(mesh, kFlagNormalizeNormals, true);
    iMaterialFlagNode(mesh, kFlagFog, false);

    int layersBound = 0;
    bool white = false;
    bool sphereMap = false;
    for (const MaterialEntry& entry : App.MaterialTable) {
      if (entry.Name != m.materialName) continue;
      RegisterNode(mesh, entry.Layer0FileName);
      if (isWhiteEffect(entry.EffectFlags)) white = true;
      if (isUnlitEffect(entry.EffectFlags)) iMaterialFlagNode(mesh, kFlagLighting, false);
      if (entry.BlendMode == 2) {
        white = true;
        iGlobalColorNode(mesh, kTranslucentWhite);
      }
      if (entry.LayerTexture[0] > 0) {
        iMaterialTextureNode(mesh, entry.LayerTexture[0], 0);
        if (entry.LayerFlags[0] > 63) sphereMap = true;
        ++layersBound;
      }
      for (int layer = 1; layer <= 3; ++layer) {
        if (entry.LayerTexture[layer] <= 0) continue;
        iMaterialTextureNode(mesh, entry.LayerTexture[layer], layer);
        ++layersBound;
      }
    }
    iMaterialTypeNode(mesh, layersBound >= 2 ? kMaterialDetail : kMaterialSolid);
    iMaterialFlagNode(mesh, kFlagAntiAlias, true);
    iMaterialFlagNode(mesh, kFlagBilinear, true);
    iMaterialFlagNode(mesh, kFlagTrilinear, true);
    iMaterialFlagNode(mesh, kFlagAnisotropic, true);
    if (white || shadowModel_) {
      iDiffuseColorNode(mesh, kWhite);
      iEmissiveColorNode(mesh, kWhite);
      iGlobalColorNode(mesh, kWhite);
      iAmbientColorNode(mesh, kWhite);
      sphereMap = false;
    }
    if (sphereMap) iMaterialTypeNode(mesh, kMaterialSphereMap);
    iParentNode(mesh, pivot_);
    iPositionNode(mesh, 0, 0, 0);
    iRotateNode(mesh, 0, 0, 0);
  }

  void endObject() override {
    if (pivot_ == 0) return;
    iParentNode(pivot_, root_);
    iPositionNode(pivot_, 0, 0, 0);
    iRotateNode(pivot_, 0, 0, 0);
    iPositionNode(pivot_, object_.position[0], object_.position[1], object_.position[2]);
    iRotateNode(pivot_, object_.rotation[0], object_.rotation[1], object_.rotation[2]);
    iUpdateAbsolutePositionNode(pivot_);
    pivot_ = 0;
  }

 private:
  EngineHandle root_;
  bool shadowModel_;
  EngineHandle pivot_ = 0;
  A3DObject object_;
  int nodes_ = 0;  // made so far, up to kMaxModelNodes
};

}  // namespace
}  // namespace kestrum

using namespace kestrum;

void RegisterNode(EngineHandle node, const std::string& name) {
  size_t first = name.find_first_not_of(' ');
  std::string trimmed;
  if (first != std::string::npos)
    trimmed = name.substr(first, name.find_last_not_of(' ') - first + 1);
  App.TextureBindings.push_back(TextureBinding{node, std::move(trimmed)});
}

EngineHandle LoadA3DModel(const std::string& path) {
  EngineHandle root = iCreatePivot(0);

  sys::WorkingDirectoryGuard workingDirectory;
  const std::string folder = withSlashes(sys::folderPart(path));
  const std::string fileName(sys::fileNamePart(path));
  if (!workingDirectory.enter(folder)) return root;
  std::optional<std::vector<uint8_t>> bytes = sys::readFile(fileName, kMaxModelBytes);
  if (!bytes) return root;

  MaterialTableGuard materialTable;
  ModelBuilder builder(root, endsWithShadowModelName(fileName));
  if (!readA3D(bytes->data(), bytes->size(), builder)) return 0;
  return root;
}
