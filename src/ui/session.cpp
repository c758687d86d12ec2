// Sessions: saving the scene to a .ksm file, opening one and applying it to the scene and the
// controls.
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
  readOutputSizeFields();
  return kestrum::writeSessionFile(path, kestrum::captureSessionRecord(App), reason);
}

}  // namespace

void readOutputSizeFields() {
  if (tkControlExists(kWidthField)) {
    App.OutputWidth = kestrum::readLooseInteger(tkText(kWidthField));
  }
  if (tkControlExists(kHeightField)) {
    App.OutputHeight = kestrum::readLooseInteger(tkText(kHeightField));
  }
}

bool WriteSessionRecord(const std::string& path) {
  return writeRecord(path, nullptr);
}

bool refuseUnstorablePath(const std::string& path) {
  if (kestrum::fitsSessionLine(path)) return false;
  std::string shown = path;
  for (char& c : shown) {
    if (c == '\r' || c == '\n' || c == '\0') c = '?';
  }
  tkMessageBox("Oops!",
               "This file cannot be used:\n\"" + shown +
                   "\"\nIts name or folder holds a line break, which a session file cannot "
                   "store. Please rename it, or choose another file.",
               TkMessageButtons::Ok, TkMessageIcon::Warning);
  return true;
}

void SaveSession(bool askForName) {
  App.RedrawFlag = 1;
  if (askForName || App.SessionPath.empty()) {
    std::string name = tkSaveFileDialog("Save Session..", "*.*", kSessionFilters);
    if (name.empty() || refuseUnstorablePath(name)) return;
    if (!endsInSessionExtension(name)) {
      name += ".ksm";
      // The dialog asked about the name as typed; the ending makes it another file.
      if (kestrum::sys::fileExists(name) &&
          tkMessageBox("Save Session..",
                       "\"" + std::string(kestrum::sys::fileNamePart(name)) +
                           "\" already exists.\nDo you want to replace it?",
                       TkMessageButtons::YesNo, TkMessageIcon::Warning) != TkMessageAnswer::Yes)
        return;
    }
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
  if (name.empty() || refuseUnstorablePath(name)) return;

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
