#include "viewport/viewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "state/app_state.h"

namespace {

// Stands in for the main window: the test moves the pointer and holds buttons.
struct FakeHost : ViewportHost {
  int x = -1, y = -1;
  int buttons = 0;
  int preset = 0;
  std::vector<ViewCursor> cursors;
  bool viewEnabled = false;
  int activations = 0;

  void pointerPosition(int* px, int* py) override {
    *px = x;
    *py = y;
  }
  int mouseButtons() override { return buttons; }
  void setViewCursor(ViewCursor c) override { cursors.push_back(c); }
  void enableView(bool on) override { viewEnabled = on; }
  void activateMainWindow() override { ++activations; }
  int presetSelection() override { return preset; }

  // Puts the pointer at client position (cx, cy); the engine sees it relative to the view.
  void moveTo(int cx, int cy) {
    x = cx;
    y = cy;
    iSetMousePosition(cx - 10, cy - 70);
  }
};

class Viewport : public ::testing::Test {
 protected:
  void SetUp() override {
    iInitEngine();
    App = AppState{};
    App.LightAngle = 0;
    App.LightRange = 12.0f;
    App.AmbientLevel = 80;
    BuildSceneRig();
    kestrum::setViewportHost(&host);
  }
  void TearDown() override { kestrum::setViewportHost(nullptr); }

  EngineVec3 pivotRotation() {
    EngineVec3 r;
    iNodeRotation(App.CameraPivot, &r);
    return r;
  }
  EngineVec3 cameraPosition() {
    EngineVec3 p;
    iNodePositionP(App.Camera, &p);
    return p;
  }
  // Drags from (x0, y0) to (x1, y1) with `buttons`, one navigation pass at each end, and lets go.
  void drag(int buttons, int x0, int y0, int x1, int y1) {
    host.moveTo(x0, y0);
    host.buttons = buttons;
    NavigateView();
    host.moveTo(x1, y1);
    NavigateView();
    host.buttons = 0;
    NavigateView();
  }

  FakeHost host;
};

}  // namespace

TEST_F(Viewport, RigStandsAsBuilt) {
  EXPECT_EQ(iNodeParent(App.Camera), App.CameraPivot);
  EXPECT_EQ(iNodeParent(App.Light), App.LightPivot);
  EngineVec3 p = cameraPosition();
  EXPECT_FLOAT_EQ(p.y, 4.75f);
  EXPECT_FLOAT_EQ(p.z, -5.0f);
  EngineVec3 tilt;
  iNodeRotation(App.Camera, &tilt);
  EXPECT_NEAR(tilt.x, 35.0f, 1e-4);
  EngineVec3 light;
  iNodePositionP(App.Light, &light);
  EXPECT_FLOAT_EQ(light.x, -3.25f);
  EXPECT_FLOAT_EQ(light.y, 5.0f);
  EXPECT_FLOAT_EQ(iLightRadius(App.Light), 12.0f);
  EXPECT_EQ(iAmbientLightColour(), 0xFF505050u);

  App.LightAngle = 90;
  App.LightRange = 19.0f;
  App.AmbientLevel = 255;
  ApplyLightAngle();
  ApplyLightRange();
  ApplyAmbientLevel();
  EngineVec3 turn;
  iNodeRotation(App.LightPivot, &turn);
  EXPECT_NEAR(turn.y, 90.0f, 1e-4);
  EXPECT_FLOAT_EQ(iLightRadius(App.Light), 19.0f);
  EXPECT_EQ(iAmbientLightColour(), 0xFFFFFFFFu);
}

TEST_F(Viewport, PrimaryDragTurnsHalfADegreeAPixelDownAndADegreeAcross) {
  drag(kPrimaryButton, 100, 100, 100, 110);
  EXPECT_NEAR(pivotRotation().x, 5.0f, 1e-3);
  EXPECT_NEAR(pivotRotation().y, 0.0f, 1e-3);
  ResetCameraView();
  drag(kPrimaryButton, 100, 100, 110, 100);
  EXPECT_NEAR(pivotRotation().x, 0.0f, 1e-3);
  EXPECT_NEAR(pivotRotation().y, 10.0f, 1e-3);
  EXPECT_EQ(host.cursors.front(), kCursorTurn);
  EXPECT_EQ(App.CursorState, kCursorCross);  // released: back to the cross
}

TEST_F(Viewport, SecondaryDragZoomsAlongTheCameraAxisOnly) {
  EngineVec3 before = cameraPosition();
  drag(kSecondaryButton, 100, 100, 130, 110);  // 10 down, 30 across: only the 10 counts
  EngineVec3 after = cameraPosition();
  float dx = after.x - before.x, dy = after.y - before.y, dz = after.z - before.z;
  EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 0.25f, 1e-4);
  // Forward along the camera's own z: tilted 35 degrees down, towards +z.
  EXPECT_NEAR(dz, 0.25f * std::cos(35.0f * 3.14159265f / 180.0f), 1e-4);
  EXPECT_LT(dy, 0.0f);
  EXPECT_NEAR(dx, 0.0f, 1e-5);
  EXPECT_NEAR(pivotRotation().y, 0.0f, 1e-4);
  EXPECT_EQ(host.cursors.front(), kCursorZoom);
}

TEST_F(Viewport, BothButtonsTurn) {
  drag(kPrimaryButton | kSecondaryButton, 100, 100, 100, 110);
  EXPECT_NEAR(pivotRotation().x, 5.0f, 1e-3);
  EXPECT_FLOAT_EQ(cameraPosition().z, -5.0f);
  EXPECT_EQ(host.cursors.front(), kCursorTurn);
}

TEST_F(Viewport, PressWithoutMovingLeavesTheView) {
  drag(kPrimaryButton, 200, 200, 200, 200);
  EXPECT_NEAR(pivotRotation().x, 0.0f, 1e-5);
  EXPECT_NEAR(pivotRotation().y, 0.0f, 1e-5);
}

TEST_F(Viewport, LeavingEndsTheDragAndReEntryDoesNotJump) {
  host.moveTo(100, 100);
  host.buttons = kPrimaryButton;
  NavigateView();
  EXPECT_EQ(App.Tracking, 1);
  EXPECT_EQ(App.PollEvents, 1);
  EXPECT_EQ(App.RedrawFlag, 1);
  host.moveTo(400, 100);  // out of the view, button still held
  NavigateView();
  EXPECT_EQ(App.Tracking, 0);
  EXPECT_EQ(App.PollEvents, 0);
  EXPECT_FALSE(host.viewEnabled);
  EXPECT_NEAR(pivotRotation().y, 0.0f, 1e-5);
  host.moveTo(300, 100);  // back in, far from where it left: a new drag starts here
  NavigateView();
  EXPECT_NEAR(pivotRotation().y, 0.0f, 1e-5);
  host.moveTo(305, 100);
  NavigateView();
  EXPECT_NEAR(pivotRotation().y, 5.0f, 1e-3);
}

TEST_F(Viewport, ViewRectExcludesTheContainersFirstColumnAndRow) {
  struct Case {
    int x, y;
    bool inside;
  } cases[] = {{10, 200, false},  {11, 200, true},   {344, 200, true},
               {345, 200, false}, {100, 70, false},  {100, 71, true},
               {100, 419, true},  {100, 420, false}, {-1, -1, false}};
  for (const auto& c : cases) {
    App.Tracking = 0;
    host.moveTo(c.x, c.y);
    host.buttons = 0;
    NavigateView();
    EXPECT_EQ(App.PollEvents, c.inside ? 1 : 0) << c.x << "," << c.y;
  }
}

TEST_F(Viewport, FrameHoverWaitsForAPressAndThenStartsFresh) {
  App.FrameHoverFlag = 1;
  host.moveTo(100, 100);
  host.buttons = 0;
  NavigateView();  // no button: nothing happens
  EXPECT_EQ(App.FrameHoverFlag, 1);
  EXPECT_EQ(App.PollEvents, 0);
  host.buttons = kPrimaryButton;
  NavigateView();  // the press only clears the flag
  EXPECT_EQ(App.FrameHoverFlag, 0);
  EXPECT_EQ(App.Tracking, 0);
  EXPECT_TRUE(host.cursors.empty());
  host.moveTo(100, 120);
  NavigateView();  // navigation starts from here: no turn yet
  EXPECT_NEAR(pivotRotation().x, 0.0f, 1e-5);
  host.moveTo(100, 130);
  NavigateView();
  EXPECT_NEAR(pivotRotation().x, 5.0f, 1e-3);
}

TEST_F(Viewport, PresetsSetTheirRotationAndUndoZoom) {
  for (int i = 0; i < static_cast<int>(CameraPresetTable.size()); ++i) {
    drag(kSecondaryButton, 100, 100, 100, 140);  // zoom in first
    host.preset = i;
    ApplyCameraPreset(true);
    EXPECT_NEAR(pivotRotation().x, CameraPresetTable[i].X, 1e-3) << i;
    EXPECT_NEAR(pivotRotation().y, CameraPresetTable[i].Y, 1e-3) << i;
    EXPECT_NEAR(pivotRotation().z, 0.0f, 1e-3) << i;
    EXPECT_FLOAT_EQ(cameraPosition().z, -5.0f) << i;
    EXPECT_EQ(App.LastPreset, i);
  }
  EXPECT_STREQ(CameraPresetTable[1].Text, "Top Left");
}

TEST_F(Viewport, SameListEntryDoesNothingButTheButtonReapplies) {
  host.preset = 2;
  ApplyCameraPreset(false);
  drag(kPrimaryButton, 100, 100, 120, 100);
  EngineVec3 turned = pivotRotation();
  ApplyCameraPreset(false);  // list event with the same entry
  EXPECT_NEAR(pivotRotation().y, turned.y, 1e-4);
  ApplyCameraPreset(true);  // "Set Camera"
  EXPECT_NEAR(pivotRotation().y, 40.0f, 1e-3);
  host.preset = 42;  // not an entry: the camera goes home, the turn stays
  drag(kSecondaryButton, 100, 100, 100, 140);
  ApplyCameraPreset(false);
  EXPECT_FLOAT_EQ(cameraPosition().z, -5.0f);
  EXPECT_NEAR(pivotRotation().y, 40.0f, 1e-3);
  EXPECT_EQ(App.LastPreset, 42);
}

TEST_F(Viewport, RestoreCameraViewDropsRoll) {
  iRotateNode(App.CameraPivot, 10, 20, 30);
  RestoreCameraView(10, 20, EngineVec3{0.5f, 4.0f, -4.0f});
  EngineVec3 r = pivotRotation();
  EXPECT_NEAR(r.x, 10, 1e-3);
  EXPECT_NEAR(r.y, 20, 1e-3);
  EXPECT_NEAR(r.z, 0, 1e-3);
  EXPECT_FLOAT_EQ(cameraPosition().x, 0.5f);
}
