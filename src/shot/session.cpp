// The scene both programs start from, and a session applied to it.
#include <cmath>

#include "persist/session_record.h"
#include "shot/shot.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "viewport/viewport.h"

namespace {

bool viewIsFinite(const kestrum::SessionRecord& r) {
  for (float v : {r.PivotRotationX, r.PivotRotationY, r.CameraX, r.CameraY, r.CameraZ}) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

void LoadSharedScene() {
  BuildSceneRig();
  LoadSceneModels();
  ApplyFilterFlags(App.FilterType);
  LoadStockAndShadowTextures();
  CloseProgressWindow();
  ShowBoxStyleModel(kestrum::newSessionRecord().Style);
  TurnModelsForStartUp();
}

std::string LocateCoverFile(const std::string& path, const std::string& startupFolder,
                            const std::string& sessionFolder) {
  namespace sys = kestrum::sys;
  if (path.empty() || sys::isAbsolutePath(path)) return path;
  if (sys::fileExists(sys::resolvePath(startupFolder, path))) return path;
  if (!sessionFolder.empty()) {
    std::string beside = sys::resolvePath(sessionFolder, path);
    if (sys::fileExists(beside)) return beside;
  }
  return path;
}

bool ApplySessionToScene(const kestrum::SessionRecord& record, const SessionApplyOptions& options,
                         std::string* error) {
  if (options.refuseUnknownStyle && !IsBoxStyle(record.Style)) {
    if (error) {
      *error = "box style " + std::to_string(record.Style) + " is not one of the styles 1 to " +
               std::to_string(kBoxStyleCount);
    }
    return false;
  }
  std::array<std::string, kCoverSlotCount> loadedPaths;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) loadedPaths[slot] = App.Covers[slot].Path;

  kestrum::applySessionRecord(record, App);
  // Relative cover paths are read from the start-up folder, whatever the working directory of
  // the program that applies the session.
  kestrum::sys::WorkingDirectoryGuard workingDirectory;
  workingDirectory.enter(App.StartupFolder);
  for (CoverArt& cover : App.Covers) {
    cover.Path = LocateCoverFile(cover.Path, App.StartupFolder, options.sessionFolder);
  }

  ApplyLightAngle();
  ApplyLightRange();
  ApplyAmbientLevel();
  if (viewIsFinite(record)) {
    RestoreCameraView(record.PivotRotationX, record.PivotRotationY,
                      {record.CameraX, record.CameraY, record.CameraZ});
  } else {
    ResetCameraView();
  }
  ApplyFilterFlags(App.FilterType);
  ShowBoxStyleModel(App.CurrentStyle);

  // Old pictures are let go before new ones load, so that a picture read again comes from its
  // file; a texture still used elsewhere stays loaded.
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    CoverArt& cover = App.Covers[slot];
    const bool keep = !options.readCoversAgain && cover.Texture != 0 && !cover.Path.empty() &&
                      cover.Path == loadedPaths[slot];
    if (!keep) ReleaseCoverTexture(slot);
  }
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    CoverArt& cover = App.Covers[slot];
    if (cover.Path.empty() || cover.Texture != 0) continue;
    cover.Texture = PrepareTexture(cover.Path);
    if (cover.Texture == 0 && options.coverFailed) {
      options.coverFailed(slot, cover.Path, iLastLoadError());
    }
  }
  ApplyCoverTextures();
  CloseProgressWindow();
  return true;
}
