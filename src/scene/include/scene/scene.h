// The scene that the preview and the final renderer share: the shadow model and the twenty box
// style models with their stock and shadow pictures, which style is shown, the cover pictures on
// the models' faces, the texture filter, and the per-frame background and shadow.
//
// These are the parts of the program's operations that touch only App and the engine; the
// window's operations call them and then update their controls, and the final renderer calls
// them directly. Files are found relative to the working directory (the run folder). Nothing
// here fails loudly: a model or picture that cannot be loaded leaves handle 0 (or an empty
// model) in its place and the rest carries on.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/engine.h"

inline constexpr int kBoxStyleCount = 20;
inline constexpr int kDefaultBoxStyle = 3;
inline constexpr float kStartUpTurn = 40.0f;
inline constexpr float kShadowModelScale = 1.2f;

// Model files by ModelTable index: 0 the shadow model, 1..20 the box styles.
inline constexpr std::array<const char*, 21> kModelFiles = {
    "bin/shadow.a3d",
    "bin/book_thick.a3d",
    "bin/book_thin.a3d",
    "bin/box_curved.a3d",
    "bin/box_indent.a3d",
    "bin/box_thick.a3d",
    "bin/box_thin.a3d",
    "bin/card.a3d",
    "bin/card_rounded.a3d",
    "bin/dvd_closed.a3d",
    "bin/dvd_open_1disc.a3d",
    "bin/dvd_open_2disc.a3d",
    "bin/dvd_open_3disc.a3d",
    "bin/jewel.a3d",
    "bin/jewel_cd.a3d",
    "bin/jewel_cd2.a3d",
    "bin/screenshot.a3d",
    "bin/screenshot_curved.a3d",
    "bin/screenshot_pinch.a3d",
    "bin/screenshot_ripple.a3d",
    "bin/disc.a3d",
};

// Stock pictures and the texture names that bind covers, in CoverSlot order.
inline constexpr std::array<const char*, 6> kStockTextureFiles = {
    "bin/front.png", "bin/back.png", "bin/left.png",
    "bin/right.png", "bin/top.png",  "bin/bottom.png",
};
inline constexpr std::array<const char*, 6> kCoverTextureNames = {
    "front.png", "back.png", "left.png", "right.png", "top.png", "bottom.png",
};

// "bin/shad" + the style as two digits + ".png".
std::string ShadowTextureFile(int style);
bool IsBoxStyle(int style);  // 1..20
// The cover slot whose texture name `name` is, ignoring letter case; -1 for none.
int CoverSlotOfTextureName(std::string_view name);

// Loads the shadow model (scaled by 1.2) and the twenty style models into App.ModelTable, and
// records the textures the model files named (they live as long as the models).
void LoadSceneModels();
// Loads App.StockTextures through PrepareTexture and App.ShadowTextures with the plain texture
// load.
void LoadStockAndShadowTextures();
// Turns every model, the shadow model included, 40 degrees about its vertical axis.
void TurnModelsForStartUp();

// Sets the filter flags 256, 512 and 1024 on every registered node as `type` (0..3) asks; a type
// outside 0..3 sets none. Sets App.FilterType and App.RedrawFlag.
void ApplyFilterFlags(int type);
// Shows style `style`'s model alone and puts its shadow picture on the shadow model; sets
// App.CurrentStyle and App.RedrawFlag. A style outside 1..20 changes nothing.
void ShowBoxStyleModel(int style);

// Puts each slot's texture, or its stock texture while it has none, on layer 0 of every
// registered node bound to that slot's texture name, in every model.
void ApplyCoverTextures();
// Releases the texture of one cover slot and sets it to 0. A texture that another slot, a stock,
// shadow or model texture still uses stays loaded: it is only let go by this slot.
void ReleaseCoverTexture(int slot);

// Before a frame: shows the shadow model only on a white background with shadows on, and gives
// the clear colour (engine colour layout) for the background.
uint32_t PrepareFrame();
