// The Help menu: the user manual and the About box.
#include <string>

#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/operations.h"

void OpenManual() {
  // A missing manual or no program to open it is not reported.
  std::string manual = App.StartupFolder + "help/manual.html";
  if (kestrum::sys::fileExists(manual)) (void)kestrum::sys::openDocument(manual);
}

void ShowAbout() {
  tkMessageBox("About",
               "Tallowmere Kestrum v1.0\n \nMade with care for people who need a quick product "
               "shot from their cover art.",
               TkMessageButtons::Ok);
}
