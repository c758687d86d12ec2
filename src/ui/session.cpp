// Sessions and the render hand-off: saving the scene to a .ksm file, opening one and applying it
// to the scene and the controls, and handing the scene to the final renderer.
#include <cctype>
#include <string>

#include "persist/session_record.h"
#include "shot/shot.h"
#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"

namespace {

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

  // The window keeps the style it shows when the file's is not one of 1..20, and reads every
  // cover picture anew, so one edited since it was last loaded shows as it is now.
  SessionApplyOptions apply;
  apply.sessionFolder = kestrum::sys::folderPart(name);
  ApplySessionToScene(record, apply);

  showCoverPaths();
  showStyleControls(App.CurrentStyle);
  showOutputAndLightControls();
  tkSetState(kOptimizeCheck, App.OptimizeTextures != 0);
  SyncSettingsControls();
}

void RenderImage() {
  const std::string handOff = App.ProfileFolder + kestrum::kHandOffFileName;
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
