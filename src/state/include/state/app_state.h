// AppState: the one application-wide record that every operation of the program reads and
// writes directly, and the instance the program runs on.
//
// It holds handles only (engine nodes, textures and images; toolkit images), never the objects
// themselves. It lives below every module that uses it and needs nothing but the engine's handle
// type, so the final renderer (which has no window) uses the same record.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"

enum CoverSlot : int {
  kSlotFront = 0,
  kSlotBack = 1,
  kSlotLeft = 2,
  kSlotRight = 3,
  kSlotTop = 4,
  kSlotBottom = 5,
  kCoverSlotCount = 6,
};

// The slots' names in lower case, in CoverSlot order (command-line and list spellings).
inline constexpr std::array<const char*, kCoverSlotCount> kCoverSlotNames = {
    "front", "back", "left", "right", "top", "bottom"};

struct CoverArt {
  std::string Path;          // the user's picture; empty = none
  EngineHandle Texture = 0;  // 0 = none (always 0 while Path is empty)
};

// One (engine node, name) pair registered by the model loader.
struct TextureBinding {
  EngineHandle Node = 0;
  std::string Name;
};

// One material of the model being loaded, with the textures its records gave it.
struct MaterialEntry {
  std::string Name;
  int32_t BlendMode = 0;
  int32_t EffectFlags = 0;
  EngineHandle LayerTexture[4] = {0, 0, 0, 0};
  int32_t LayerFlags[4] = {0, 0, 0, 0};
  int32_t LayerValue[4] = {0, 0, 0, 0};
  std::string Layer0FileName;
};

inline constexpr int kBoxStyleCount = 20;
inline constexpr int kModelTableSize = 22;  // 0 shadow model, 1..20 box styles, 21 never filled

// True for the box styles 1..20.
inline constexpr bool IsBoxStyle(int style) {
  return style >= 1 && style <= kBoxStyleCount;
}
inline constexpr int kEmbeddedImageCount = 27;

// The ambient light's grey level runs from 0 (none) to this.
inline constexpr int kMaxAmbientLevel = 255;

struct AppState {
  // Folders and files
  std::string StartupFolder;  // working directory at start-up, ending in "/"
  std::string ProfileFolder;  // the user's profile folder, ending in "/" (empty when unknown)
  std::string SessionPath;
  std::string OutputPath;

  // Loop flags
  int RedrawFlag = 0;
  int FrameHoverFlag = 0;

  // Output size limits
  int MaxOutputWidth = 0;
  int MaxOutputHeight = 0;
  float StartAspect = 0.0f;

  // Cover art, in CoverSlot order
  std::array<CoverArt, kCoverSlotCount> Covers{};
  std::array<EngineHandle, kCoverSlotCount> StockTextures{};

  // Render settings, in the order session files store them
  int OutputWidth = 0;
  int OutputHeight = 0;
  int FilterType = 0;
  int AntiAlias = 0;
  int Shadows = 0;
  int Background = 0;
  int LightAngle = 0;
  float LightRange = 0.0f;
  int AmbientLevel = 0;  // 0..kMaxAmbientLevel
  int OptimizeTextures = 0;

  int CurrentStyle = 0;

  // Scene rig and models
  EngineHandle CameraPivot = 0;
  EngineHandle Camera = 0;
  EngineHandle LightPivot = 0;
  EngineHandle Light = 0;
  std::array<EngineHandle, kModelTableSize> ModelTable{};
  std::array<EngineHandle, kModelTableSize> ShadowTextures{};

  // Toolkit images decoded at start-up
  std::array<int32_t, kEmbeddedImageCount> EmbeddedImages{};

  // Progress window
  int ProgressShown = 0;
  std::string ProgressText;
  int ProgressValue = 0;

  // Model loader lists
  std::vector<TextureBinding> TextureBindings;
  std::vector<MaterialEntry> MaterialTable;
  // Textures the model files put on their meshes; they live as long as the models, so a cover
  // slot that happens to hold one never releases it.
  std::vector<EngineHandle> ModelTextures;

  // Entries of the opened session's trailing block that this program does not use, kept as they
  // were so that saving the session again does not lose them (name, value).
  std::vector<std::pair<std::string, std::string>> KeptSessionEntries;

  // Mouse navigation
  int Tracking = 0;
  int CursorState = 0;
  float LastMouseX = 0.0f;
  int LastMouseY = 0;
  int PollEvents = 0;
  int LastPreset = 0;
};

// The instance the program runs on. Tests reset it with `App = AppState{}`.
inline AppState App;
