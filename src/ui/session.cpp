// Sessions and the render hand-off: saving the scene to a .ksm file, opening one and applying it
// to the scene and the controls, and handing the scene to the final renderer.
#include <cctype>
#include <cmath>
#include <string>

#include "persist/session_record.h"
#include "scene/scene.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"
#include "viewport/viewport.h"

namespace {

constexpr const char* kHandOffFile = "kestrum.tmp";
#ifdef _WIN32
constexpr const char* kRendererProgram = "kilnshot.exe";
#else
constexpr const char* kRendererProgram = "kilnshot";
#endif

bool endsInSessionExtension(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ending = name.substr(name.size() - 4);
  for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ending == ".ksm";
}

void showSessionTitle() {
  tkSetWindowTitle(std::string(kWindowTitle) + " - " +
                   std::string(kestrum::sys::fileNamePart(App.SessionPath)));
}

bool isAbsolute(const std::string& path) {
  return !path.empty() && (path[0] == '/' || path[0] == '\\');
}

// A relative cover path names a file relative to the working directory. A session moved
// elsewhere together with its pictures keeps them beside it: when the picture is not found
// from here but is from the session's own folder, the slot takes that path.
std::string locateCover(const std::string& path, const std::string& sessionPath) {
  if (path.empty() || isAbsolute(path) || kestrum::sys::fileExists(path)) return path;
  std::string folder(kestrum::sys::folderPart(sessionPath));
  if (folder.empty()) return path;
  std::string beside = folder + path;
  return kestrum::sys::fileExists(beside) ? beside : path;
}

bool finite(float value) {
  return std::isfinite(value);
}

// The size fields are read only here: what is typed in them is what gets saved. The record goes
// to a temporary file that is then renamed, so a failed save leaves the previous file whole.
bool writeRecord(const std::string& path, std::string* reason) {
  if (tkControlExists(kWidthField)) {
    App.OutputWidth = kestrum::readLooseInteger(tkText(kWidthField));
  }
  if (tkControlExists(kHeightField)) {
    App.OutputHeight = kestrum::readLooseInteger(tkText(kHeightField));
  }
  return kestrum::writeSessionFile(path, kestrum::captureSessionRecord(App), reason);
}

}  // namespace

bool WriteSessionRecord(const std::string& path) {
  return writeRecord(path, nullptr);
}

void SaveSession(bool askForName) {
  App.RedrawFlag = 1;
  if (askForName || App.SessionPath.empty()) {
    std::string name = tkSaveFileDialog("Save Session..", "*.*", kSessionFilters);
    if (name.empty()) return;
    if (!endsInSessionExtension(name)) name += ".ksm";
    App.SessionPath = name;
  }
  showSessionTitle();
  std::string reason;
  bool written = writeRecord(App.SessionPath, &reason);
  if (!written) {
    // The user must not walk away believing the work is kept.
    tkMessageBox(
        "Oops!",
        "The current session could not be saved as...\n\"" + App.SessionPath + "\"\n" + reason,
        TkMessageButtons::Ok, TkMessageIcon::Warning);
    return;
  }
  tkMessageBox("Information",
               "The current session has been saved as...\n\"" + App.SessionPath + "\"",
               TkMessageButtons::Ok);
}

void OpenSession() {
  App.RedrawFlag = 1;
  std::string name = tkOpenFileDialog("Open Session..", "*.ksm", kSessionFilters);
  if (name.empty()) return;

  kestrum::SessionRecord record;
  std::string reason;
  if (!kestrum::readSessionFile(name, &record, &reason)) {
    // The session keeps its own file: a later Save must not write over the file that failed.
    tkMessageBox("Oops!", "The session could not be opened from...\n\"" + name + "\"\n" + reason,
                 TkMessageButtons::Ok, TkMessageIcon::Warning);
    return;
  }
  App.SessionPath = name;
  showSessionTitle();

  // A stored style outside 1..20 keeps the style shown now.
  if (IsBoxStyle(record.Style)) App.CurrentStyle = record.Style;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    App.Covers[slot].Path = locateCover(record.CoverPaths[slot], name);
  }
  App.OutputPath = record.OutputPath;
  App.OutputWidth = record.OutputWidth;
  App.OutputHeight = record.OutputHeight;
  App.FilterType = record.FilterType;
  App.AntiAlias = record.AntiAlias;
  App.Shadows = record.Shadows;
  App.Background = record.Background;
  App.LightAngle = record.LightAngle;
  // A damaged number must not reach the light: the default range stands in for it.
  App.LightRange = finite(record.LightRange) ? record.LightRange : 12.0f;
  App.AmbientLevel = record.AmbientLevel;
  App.OptimizeTextures = record.OptimizeTextures;

  ApplyLightAngle();
  ApplyLightRange();
  ApplyAmbientLevel();
  showCoverPaths();
  const bool viewUsable = finite(record.PivotRotationX) && finite(record.PivotRotationY) &&
                          finite(record.CameraX) && finite(record.CameraY) &&
                          finite(record.CameraZ);
  if (viewUsable) {
    RestoreCameraView(record.PivotRotationX, record.PivotRotationY,
                      {record.CameraX, record.CameraY, record.CameraZ});
  } else {
    ResetCameraView();
  }
  SetFilterType(App.FilterType);
  SelectBoxStyle(App.CurrentStyle);
  // The old pictures are let go before the new ones load, so a picture edited meanwhile is read
  // anew; a texture still used elsewhere stays loaded.
  for (int slot = 0; slot < kCoverSlotCount; ++slot) ReleaseCoverTexture(slot);
  for (CoverArt& cover : App.Covers) {
    cover.Texture = cover.Path.empty() ? 0 : PrepareTexture(cover.Path);
  }
  ApplyCoverTextures();
  showOutputAndLightControls();
  tkSetState(kOptimizeCheck, App.OptimizeTextures != 0);
  SyncSettingsControls();
  CloseProgressWindow();
}

void RenderImage() {
  const std::string handOff = App.ProfileFolder + kHandOffFile;
  if (WriteSessionRecord(handOff)) {
    // The renderer reports its own troubles; its exit status is not looked at.
    kestrum::sys::runProgramAndWait(App.StartupFolder + kRendererProgram, {}, App.StartupFolder);
  } else {
    tkMessageBox("Oops!", "There was a problem saving your current setttings.",
                 TkMessageButtons::Ok);
  }
  kestrum::sys::deleteFile(handOff);
  App.RedrawFlag = 1;
}
