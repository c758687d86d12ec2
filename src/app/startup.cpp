// Start-up and shutdown: from an empty App to the first drawn preview, and the one way out.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "app/embedded_images.h"
#include "engine/engine.h"
#include "image/image.h"
#include "persist/session_record.h"
#include "shot/shot.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"
#include "toolkit/toolkit.h"
#include "ui/hosts.h"
#include "ui/operations.h"
#include "viewport/viewport.h"

namespace {

constexpr float kStartAspect = 0.96f;

}  // namespace

OutputLimits OutputLimitsForDisplay(int displayWidth, int displayHeight) {
  // A display whose size is unknown (0) puts no limit below the largest picture the renderer
  // makes; a tiny one still leaves a size of at least one pixel.
  if (displayWidth <= 0 || displayHeight <= 0)
    return {kestrum::kMaxImageSide, kestrum::kMaxImageSide};
  return {std::max(1, displayWidth - 8), std::max(1, displayHeight - 32)};
}

OutputSize FitOutputSize(OutputSize size, const OutputLimits& limits, float aspect) {
  if (size.Height > limits.MaxHeight) {
    size.Height = limits.MaxHeight;
    size.Width = static_cast<int>(std::lround(static_cast<double>(size.Height) * aspect));
  }
  if (size.Width > limits.MaxWidth) size.Width = limits.MaxWidth;
  return size;
}

bool InitApplication(std::string* error, int displayWidth, int displayHeight) {
  if (!tkInit()) {
    if (error) *error = tkLastError();
    return false;
  }
  App = AppState{};
  App.StartupFolder = kestrum::sys::withTrailingSeparator(kestrum::sys::currentDirectory());
  App.ProfileFolder = kestrum::sys::profileFolder();
  App.SessionPath.clear();
  App.RedrawFlag = 1;
  App.FrameHoverFlag = 0;

  kestrum::sys::DisplaySize display = kestrum::sys::primaryDisplaySize();
  if (displayWidth > 0 && displayHeight > 0) display = {displayWidth, displayHeight};
  OutputLimits limits = OutputLimitsForDisplay(display.width, display.height);
  App.MaxOutputWidth = limits.MaxWidth;
  App.MaxOutputHeight = limits.MaxHeight;
  App.StartAspect = kStartAspect;

  kestrum::applySessionRecord(kestrum::newSessionRecord(), App, kestrum::RecordPart::Settings);
  OutputSize fitted = FitOutputSize({App.OutputWidth, App.OutputHeight}, limits, App.StartAspect);
  App.OutputWidth = fitted.Width;
  App.OutputHeight = fitted.Height;

  // The loader's lists live in App and start empty; the toolkit decodes PNG itself.
  DecodeEmbeddedImages();
  App.ProgressShown = 0;
  kestrum::installToolkitHosts();

  BuildMainWindow();
  if (!tkWindowIsOpen()) {
    // Carrying on would leave a process waiting for events from a window nobody can see.
    if (error) *error = "the main window cannot be opened: " + tkLastError();
    kestrum::removeToolkitHosts();
    return false;
  }
  LoadSharedScene();
  // The window's controls follow the scene: filter marks, the style's button and description.
  SyncSettingsControls();
  SelectBoxStyle(App.CurrentStyle);
  DrawFrame();
  return true;
}

void StartUp() {
  std::string error;
  if (!InitApplication(&error)) {
    // Without a window there is nowhere else to tell the user.
    std::fprintf(stderr, "kestrum: cannot start: %s\n", error.c_str());
    std::exit(1);
  }
  MainLoop();
  ShutDown();
}

void DrawFrame() {
  uint32_t background = PrepareFrame();
  if (!tkBeginEngineFrame(background)) return;  // the fallback view just shows the background
  int r = static_cast<int>(background & 0xFF), g = static_cast<int>((background >> 8) & 0xFF),
      b = static_cast<int>((background >> 16) & 0xFF);
  iBeginScene(r, g, b, 255, true, true);
  iDrawScene();
  iEndScene();
}

void ReleaseApplication() {
  tkShutdown();
  kestrum::removeToolkitHosts();
  App.EmbeddedImages.fill(0);
}

void ShutDown() {
  ReleaseApplication();
  std::exit(0);
}
