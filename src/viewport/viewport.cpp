#include "viewport/viewport.h"

#include "state/app_state.h"

namespace {

// Degrees (about x) and zoom units a pixel of vertical pointer motion gives, and degrees about y
// a pixel of horizontal motion gives.
constexpr float kVerticalDivisor = 2.0f;
constexpr float kHorizontalDivisor = 1.0f;
constexpr float kTurnSpeed = 1.0f;
constexpr float kZoomSpeed = 0.05f;

ViewportHost* gHost = nullptr;

uint32_t greyColour(int level) {
  auto v = static_cast<uint32_t>(level) & 0xFFu;
  return 0xFF000000u | v << 16 | v << 8 | v;
}

void showCursor(ViewCursor cursor) {
  if (App.CursorState == cursor) return;
  if (gHost) gHost->setViewCursor(cursor);
  App.CursorState = cursor;
}

void enableView(bool on) {
  if (gHost) gHost->enableView(on);
}

}  // namespace

namespace kestrum {
void setViewportHost(ViewportHost* host) {
  gHost = host;
}
ViewportHost* viewportHost() {
  return gHost;
}
}  // namespace kestrum

void BuildSceneRig() {
  App.CameraPivot = iCreatePivot(0);
  App.Camera = iCreateCamera(0);
  iNearValueCamera(App.Camera, 0.01f);
  iAddChildNode(App.CameraPivot, App.Camera);
  iPositionNode(App.Camera, kCameraHomePosition.x, kCameraHomePosition.y, kCameraHomePosition.z);
  iRotateNode(App.Camera, kCameraTilt.x, kCameraTilt.y, kCameraTilt.z);

  App.LightPivot = iCreatePivot(0);
  App.Light = iCreateLight(0xFFFFFFFFu, App.LightRange, 0);
  iAddChildNode(App.LightPivot, App.Light);
  ApplyAmbientLevel();
  iPositionNode(App.Light, kLightPosition.x, kLightPosition.y, kLightPosition.z);
  iTypeLight(App.Light, 0);
  ApplyLightAngle();
  ApplyLightRange();
}

void ApplyLightAngle() {
  iRotateNode(App.LightPivot, 0, static_cast<float>(App.LightAngle), 0);
}
void ApplyLightRange() {
  iRadiusLight(App.Light, App.LightRange);
}
void ApplyAmbientLevel() {
  iAmbientLight(greyColour(App.AmbientLevel));
}

void ResetCameraView() {
  iPositionNode(App.Camera, kCameraHomePosition.x, kCameraHomePosition.y, kCameraHomePosition.z);
  iRotateNode(App.CameraPivot, 0, 0, 0);
}

void RestoreCameraView(float pivotX, float pivotY, const EngineVec3& cameraPosition) {
  iPositionNode(App.Camera, cameraPosition.x, cameraPosition.y, cameraPosition.z);
  iRotateNode(App.Camera, kCameraTilt.x, kCameraTilt.y, kCameraTilt.z);
  iRotateNode(App.CameraPivot, pivotX, pivotY, 0);
}

void NavigateView() {
  int x = -1, y = -1;
  if (gHost) gHost->pointerPosition(&x, &y);
  App.PollEvents = 0;
  bool inColumns = x >= kViewRectLeft && x <= kViewRectRight;
  bool inRows = y >= kViewRectTop && y <= kViewRectBottom;

  if (inColumns && inRows) {
    int buttons = gHost ? gHost->mouseButtons() : 0;
    if (App.FrameHoverFlag == 1) {
      // After the pointer crossed a frame, a button press over the view only re-arms navigation.
      if (buttons & (kPrimaryButton | kSecondaryButton)) App.FrameHoverFlag = 0;
    } else {
      enableView(true);
      if (App.Tracking == 0) {
        App.LastMouseY = iGetMouseY();
        App.LastMouseX = static_cast<float>(iGetMouseX());
      }
      App.Tracking = 1;
      if (buttons & (kPrimaryButton | kSecondaryButton)) {
        int engineY = iGetMouseY();
        float engineX = static_cast<float>(iGetMouseX());
        float dy = static_cast<float>(engineY - App.LastMouseY);
        float dx = engineX - App.LastMouseX;
        App.LastMouseY = engineY;
        App.LastMouseX = engineX;
        if (buttons & kPrimaryButton) {
          showCursor(kCursorTurn);
          iTurnNode(App.CameraPivot, (dy / kVerticalDivisor) * kTurnSpeed,
                    (dx / kHorizontalDivisor) * kTurnSpeed, 0);
        } else {
          showCursor(kCursorZoom);
          iMoveNode(App.Camera, 0, 0, (dy / kVerticalDivisor) * kZoomSpeed);
        }
      } else {
        showCursor(kCursorCross);
        App.LastMouseY = iGetMouseY();
        App.LastMouseX = static_cast<float>(iGetMouseX());
        App.Tracking = 0;
      }
      App.PollEvents = 1;
    }
  } else if (inColumns) {
    showCursor(kCursorCross);
    App.Tracking = 0;
  } else {
    showCursor(kCursorCross);
    enableView(false);
    App.Tracking = 0;
  }

  if (App.Tracking == 0) {
    if (gHost) gHost->activateMainWindow();
    enableView(false);
  } else {
    enableView(true);
    App.RedrawFlag = 1;
  }
}

void ApplyCameraPreset(bool fromButton) {
  int choice = gHost ? gHost->presetSelection() : 0;
  if (choice != App.LastPreset || fromButton) {
    iPositionNode(App.Camera, kCameraHomePosition.x, kCameraHomePosition.y, kCameraHomePosition.z);
    if (choice >= 0 && choice < static_cast<int>(CameraPresetTable.size())) {
      const CameraPreset& preset = CameraPresetTable[choice];
      iRotateNode(App.CameraPivot, preset.X, preset.Y, 0);
    }
  }
  App.LastPreset = choice;
  App.RedrawFlag = 1;
}
