// The viewport: the camera and light rig, mouse navigation over the 3D view, and the camera
// presets.
//
// Everything here acts on App (the rig's handles, the navigation state) and the engine. The
// window that shows the view is reached through a ViewportHost that the program installs; with
// none installed, navigation sees no pointer and does nothing. Nothing here fails: operations on
// a rig that was never built act on handle 0 and do nothing.
#pragma once

#include <array>

#include "engine/engine.h"

struct CameraPreset {
  const char* Text;  // entry of the camera preset list
  float X;           // pivot rotation about x, degrees
  float Y;           // pivot rotation about y, degrees
};

inline constexpr std::array<CameraPreset, 10> CameraPresetTable = {{
    {"<Camera Default>", 0, 0},
    {"Top Left", 5, 90},
    {"Top Center", 5, 40},
    {"Top Right", 5, 0},
    {"Middle Left", -10, 90},
    {"Middle Center", -10, 40},
    {"Middle Right", -10, 0},
    {"Bottom Left", -35, 90},
    {"Bottom Center", -35, 40},
    {"Bottom Right", -35, 0},
}};

// The camera's place under its pivot at the home view, and its fixed downward tilt.
inline constexpr EngineVec3 kCameraHomePosition = {0.0f, 4.75f, -5.0f};
inline constexpr EngineVec3 kCameraTilt = {35.0f, 0.0f, 0.0f};
inline constexpr EngineVec3 kLightPosition = {-3.25f, 5.0f, -5.0f};

// The part of the main window's client area over which the pointer counts as over the view.
inline constexpr int kViewRectLeft = 11, kViewRectRight = 344;  // inclusive
inline constexpr int kViewRectTop = 71, kViewRectBottom = 419;  // inclusive

// Cursor shapes over the view (App.CursorState).
enum ViewCursor : int { kCursorCross = 0, kCursorTurn = 1, kCursorZoom = 2 };

// Mouse button bits as ViewportHost::mouseButtons reports them.
enum ViewButtons : int { kPrimaryButton = 1, kSecondaryButton = 2 };

class ViewportHost {
 public:
  virtual ~ViewportHost() = default;
  // The pointer in the main window's client area; (-1, -1) when it is outside.
  virtual void pointerPosition(int* x, int* y) = 0;
  // ViewButtons bits of the buttons held now or pressed since the previous call (primary and
  // secondary after any system swap).
  virtual int mouseButtons() = 0;
  virtual void setViewCursor(ViewCursor cursor) = 0;
  virtual void enableView(bool enabled) = 0;
  // Makes the main window the active window in its normal state (shown, not minimised).
  virtual void activateMainWindow() = 0;
  // The selected index of the camera preset list.
  virtual int presetSelection() = 0;
};

namespace kestrum {
void setViewportHost(ViewportHost* host);
ViewportHost* viewportHost();
}  // namespace kestrum

// Creates the camera pivot and camera, the light pivot and light, and sets the ambient light,
// from App.LightAngle, App.LightRange and App.AmbientLevel.
void BuildSceneRig();

// Each sets its part of the rig absolutely from App.
void ApplyLightAngle();    // LightPivot rotation (0, LightAngle, 0)
void ApplyLightRange();    // Light radius
void ApplyAmbientLevel();  // grey ambient light, alpha 255

// Puts the camera at its home position under the pivot and turns the pivot back to (0, 0, 0).
void ResetCameraView();
// Puts the view back as a session stores it: camera position, the fixed tilt, pivot (x, y, 0).
void RestoreCameraView(float pivotX, float pivotY, const EngineVec3& cameraPosition);

// One navigation step of the main loop: turns or zooms while a button is held over the view.
void NavigateView();
// Applies the preset list's selection when it changed, or always when `fromButton`.
void ApplyCameraPreset(bool fromButton);
