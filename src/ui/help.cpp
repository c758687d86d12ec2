// The Help menu: the user manual and the About box.
#include <string>

#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"

void OpenManual() {
  // A missing manual or no program to open it is not reported.
  std::string manual = App.StartupFolder + "help/manual.html";
  if (kestrum::sys::fileExists(manual)) (void)kestrum::sys::openDocument(manual);
}

namespace {

// The maker's notice and the project's home on the web, the About box's last part.
constexpr const char* kMakerNotice = "\u00A9 2026 The Kestrum developers, MIT licence";
constexpr const char* kProjectAddress = "https://github.com/kestrum/kestrum";

}  // namespace

void ShowAbout() {
  tkMessageBox("About", std::string(kWindowTitle) + "\n \n" + kMakerNotice + "\n" + kProjectAddress,
               TkMessageButtons::Ok);
}
