// The shot pipeline that the window's preview and the final renderer share: the scene (the
// shadow model and the twenty box style models with their stock and shadow pictures, the style
// shown, the cover pictures on the models' faces, the texture filter, the per-frame background
// and shadow), a session applied to it, and shots drawn in layers (a transparent background, a
// mirror image in the floor).
//
// Both programs load the scene and apply sessions through these calls alone, so the final picture
// shows what the preview shows. The window then brings its controls up to date; kilnshot draws.
//
// Finding cover files, the one rule for both programs: an absolute path is used as it stands. A
// relative path names a file in the start-up folder (App.StartupFolder: the folder holding bin/,
// the window's working directory and kilnshot's data folder); when no file is there, it names a
// file beside the session file it came from. A path found neither way is kept as it is, and its
// slot shows the stock picture.
//
// Nothing here fails loudly: a model or picture that cannot be loaded leaves handle 0 (or an
// empty model) in its place and the rest carries on. Where a caller must know (a session it
// refuses, a layer that cannot be drawn) the call returns false or an empty optional with a
// reason.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "image/image.h"

namespace kestrum {
struct SessionRecord;
class OffscreenRenderer;
}  // namespace kestrum

// The preview's size in the main window. The final picture keeps the preview's framing at any
// size (see framingFieldOfView).
inline constexpr int kPreviewWidth = 335;
inline constexpr int kPreviewHeight = 350;
// The camera's vertical field of view in the preview, degrees.
inline constexpr float kPreviewFieldOfView = 45.0f;

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
// The cover slot whose texture name `name` is, ignoring letter case; -1 for none.
int CoverSlotOfTextureName(std::string_view name);

// --- The scene ---------------------------------------------------------------------------------
// Everything of the scene both programs start from, in this order: the camera and light rig from
// App's light settings, the shadow model and the twenty style models, App.FilterType on every
// loaded node, the stock and shadow pictures (then the progress window is closed), the default
// box style shown, every model turned by the start-up turn. Files are read relative to the
// working directory, which must be the start-up folder.
void LoadSharedScene();

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

// --- Sessions ----------------------------------------------------------------------------------
// Where the window and kilnshot treat a session differently, and why.
struct SessionApplyOptions {
  // A stored box style outside 1..20: the window keeps the style it shows (the rest of the
  // session still opens); kilnshot refuses the session, since it cannot tell what to draw.
  bool refuseUnknownStyle = false;
  // A slot whose picture is already loaded from the same path: the window reads it again (a
  // picture edited meanwhile then shows as it is now); kilnshot keeps it, so a batch of sessions
  // sharing covers reads each once.
  bool readCoversAgain = true;
  // The folder of the session file, for the cover rule above; empty when the record has none
  // (the render hand-off, whose paths the window has already found).
  std::string sessionFolder;
  // Told of each cover picture that cannot be loaded (its slot then shows the stock picture).
  std::function<void(int slot, const std::string& path, const std::string& reason)> coverFailed;
};

// Applies a session to App and the scene, in the order a session is opened: the record's fields
// into App, the light, the view (the home view when the stored one holds numbers that are not
// finite), the texture filter, the box style, the cover pictures found by the rule above (the
// progress window closed after). False with a reason, having changed nothing, only for a style
// that `options` refuses.
bool ApplySessionToScene(const kestrum::SessionRecord& record, const SessionApplyOptions& options,
                         std::string* error = nullptr);

// The file a session's cover path names, by the rule above: `path` itself when it is empty,
// absolute or found relative to `startupFolder`; the path beside the session when found there;
// `path` unchanged otherwise.
std::string LocateCoverFile(const std::string& path, const std::string& startupFolder,
                            const std::string& sessionFolder);

// --- Shots -------------------------------------------------------------------------------------
// The vertical field of view (degrees) that frames a picture of `aspect` (width / height) so that
// everything the preview shows is shown: the preview's own 45 degrees when the picture is at
// least as wide as the preview, wider when it is narrower.
float framingFieldOfView(float aspect);

// How one shot departs from its session.
struct ShotOptions {
  // Background fully transparent (straight alpha); the shadow kept as a partly transparent dark
  // layer, so the picture laid over white looks like the white render.
  bool transparent = false;
  // Strength 0..1 of the model's mirror image in the floor; 0 draws none.
  float reflection = 0.0f;
  // Degrees the model (and its shadow) turns about its vertical axis from the stored view.
  float turn = 0.0f;
};

// Draws the scene as it stands (after ApplySessionToScene) at width x height with `samples`
// samples a pixel, framed as the preview frames it. With a transparent background or a
// reflection it draws in layers: the model alone, its mirror image faded with distance below the
// floor line, the shadow alone on white turned into black of the shadow's darkness; then model
// over shadow over mirror image, and over the background unless it stays transparent. Empty with
// a reason when `shot` is out of range or a draw fails. The models' turn and visibility are left
// as they were.
std::optional<kestrum::Image> DrawShot(kestrum::OffscreenRenderer& renderer, int width, int height,
                                       int samples, const ShotOptions& shot,
                                       std::string* error = nullptr);
