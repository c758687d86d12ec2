// The viewport and progress window hosts over the window toolkit.
#include "ui/hosts.h"

#include "toolkit/toolkit.h"
#include "ui/ids.h"

namespace kestrum {
namespace {

class ToolkitViewportHost final : public ViewportHost {
 public:
  void pointerPosition(int* x, int* y) override {
    // Also hands the engine the pointer relative to the view (iGetMouseX / iGetMouseY).
    tkPointerPosition(x, y);
  }
  int mouseButtons() override {
    int buttons = 0;
    if (tkMouseButtonDown(TkMouseButton::Primary)) buttons |= kPrimaryButton;
    if (tkMouseButtonDown(TkMouseButton::Secondary)) buttons |= kSecondaryButton;
    return buttons;
  }
  void setViewCursor(ViewCursor cursor) override {
    TkCursor shape = TkCursor::Cross;
    if (cursor == kCursorTurn) shape = TkCursor::SizeAll;
    if (cursor == kCursorZoom) shape = TkCursor::SizeVer;
    tkSetCursor(kViewContainer, shape);
  }
  void enableView(bool enabled) override { tkSetEnabled(kViewContainer, enabled); }
  void activateMainWindow() override { tkActivateWindow(); }
  int presetSelection() override { return tkState(kPresetList); }
};

class ToolkitProgressHost final : public ProgressWindowHost {
 public:
  bool open(const std::string& title) override { return tkOpenProgressWindow(title); }
  void setMaximum(int maximum) override { tkSetProgressMaximum(maximum); }
  void setValue(int value) override { tkSetProgressValue(value); }
  void setText(const std::string& text) override { tkSetProgressText(text); }
  void raise(bool activate) override { tkRaiseProgressWindow(activate); }
  void close() override { tkCloseProgressWindow(); }
};

ToolkitViewportHost viewportHostInstance;
ToolkitProgressHost progressHostInstance;

}  // namespace

ViewportHost& toolkitViewportHost() {
  return viewportHostInstance;
}

ProgressWindowHost& toolkitProgressHost() {
  return progressHostInstance;
}

void installToolkitHosts() {
  setViewportHost(&viewportHostInstance);
  setProgressWindowHost(&progressHostInstance);
}

void removeToolkitHosts() {
  if (viewportHost() == &viewportHostInstance) setViewportHost(nullptr);
  if (progressWindowHost() == &progressHostInstance) setProgressWindowHost(nullptr);
}

}  // namespace kestrum
