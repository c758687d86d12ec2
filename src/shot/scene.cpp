#include "shot/shot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "model/model.h"
#include "state/app_state.h"
#include "texture/texture.h"

namespace {

bool contains(const auto& list, EngineHandle handle) {
  return std::find(std::begin(list), std::end(list), handle) != std::end(list);
}

}  // namespace

std::string ShadowTextureFile(int style) {
  char name[32];
  std::snprintf(name, sizeof name, "bin/shad%02d.png", style);
  return name;
}

int CoverSlotOfTextureName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    if (lower == kCoverTextureNames[slot]) return slot;
  }
  return -1;
}

void LoadSceneModels() {
  App.ModelTable[0] = LoadA3DModel(kModelFiles[0]);
  iScaleNode(App.ModelTable[0], kShadowModelScale, kShadowModelScale, kShadowModelScale);
  for (int style = 1; style <= kBoxStyleCount; ++style) {
    App.ModelTable[style] = LoadA3DModel(kModelFiles[style]);
  }
  // Remember every texture the model files put on their meshes, before covers replace any.
  App.ModelTextures.clear();
  for (const TextureBinding& binding : App.TextureBindings) {
    EngineMaterial material = iNodeMaterial(binding.Node);
    for (EngineHandle texture : material.textures) {
      if (texture != 0 && !contains(App.ModelTextures, texture)) {
        App.ModelTextures.push_back(texture);
      }
    }
  }
}

void LoadStockAndShadowTextures() {
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    App.StockTextures[slot] = PrepareTexture(kStockTextureFiles[slot]);
  }
  for (int style = 1; style <= kBoxStyleCount; ++style) {
    App.ShadowTextures[style] = iLoadTexture(ShadowTextureFile(style));
  }
}

void TurnModelsForStartUp() {
  for (int i = 0; i <= kBoxStyleCount; ++i) iTurnNode(App.ModelTable[i], 0, kStartUpTurn, 0);
}

void ApplyFilterFlags(int type) {
  App.RedrawFlag = 1;
  App.FilterType = type;
  if (type < 0 || type > 3) return;
  const bool bilinear = type >= 1, trilinear = type >= 2, anisotropic = type >= 3;
  for (const TextureBinding& binding : App.TextureBindings) {
    if (binding.Node == 0) continue;
    iMaterialFlagNode(binding.Node, kFlagBilinear, bilinear);
    iMaterialFlagNode(binding.Node, kFlagTrilinear, trilinear);
    iMaterialFlagNode(binding.Node, kFlagAnisotropic, anisotropic);
  }
}

void ShowBoxStyleModel(int style) {
  if (!IsBoxStyle(style)) return;
  App.RedrawFlag = 1;
  App.CurrentStyle = style;
  for (int i = 1; i <= kBoxStyleCount; ++i) iVisibleNode(App.ModelTable[i], false);
  iVisibleNode(App.ModelTable[style], true);
  EngineHandle shadowMesh = iNodeChildren(iNodeChildren(App.ModelTable[0], 0), 0);
  iMaterialTextureNode(shadowMesh, App.ShadowTextures[style], 0);
}

void ApplyCoverTextures() {
  App.RedrawFlag = 1;
  for (const TextureBinding& binding : App.TextureBindings) {
    int slot = CoverSlotOfTextureName(binding.Name);
    if (slot < 0) continue;
    EngineHandle texture = App.Covers[slot].Texture;
    if (texture == 0) texture = App.StockTextures[slot];
    iMaterialTextureNode(binding.Node, texture, 0);
  }
}

void ReleaseCoverTexture(int slot) {
  EngineHandle texture = App.Covers[slot].Texture;
  App.Covers[slot].Texture = 0;
  if (texture == 0) return;
  for (const CoverArt& other : App.Covers) {
    if (other.Texture == texture) return;
  }
  if (contains(App.StockTextures, texture) || contains(App.ShadowTextures, texture) ||
      contains(App.ModelTextures, texture)) {
    return;
  }
  iFreeTexture(texture);
}

uint32_t PrepareFrame() {
  if (App.Background == 0) {
    iVisibleNode(App.ModelTable[0], App.Shadows == 1);
    return 0xFFFFFFFFu;
  }
  iVisibleNode(App.ModelTable[0], false);
  return 0xFF000000u;
}
