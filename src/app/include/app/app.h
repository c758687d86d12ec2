// The application core: start-up, the drawing of one preview frame, the main loop with the
// dispatch of every menu item and control, and shutdown.
//
// How calls fail: nothing here throws or reports to the user. A start-up step that cannot do its
// work (a missing model, an unreadable picture, no working 3D driver) leaves a 0 handle or an
// empty model behind and start-up carries on. The one exception is a machine where no window can
// be opened (no display): InitApplication then returns false with the toolkit's reason, and
// StartUp says so on stderr and ends with status 1, since there is no window to show anything in.
#pragma once

#include <string>

struct OutputSize {
  int Width = 0;
  int Height = 0;
};

struct OutputLimits {
  int MaxWidth = 0;   // display width - 8
  int MaxHeight = 0;  // display height - 32
};

// The limits a primary display of displayWidth x displayHeight gives the final image.
OutputLimits OutputLimitsForDisplay(int displayWidth, int displayHeight);
// Fits a default output size to the limits: a height above the limit comes down to it and the
// width follows at `aspect` (rounded to the nearest integer); then, independently, a width above
// the limit comes down to it.
OutputSize FitOutputSize(OutputSize size, const OutputLimits& limits, float aspect);

// Steps 1 to 21 of start-up: App from its defaults fitted to the display, the embedded images,
// the main window with its engine view, the rig, the models and their textures, style 3, the
// start-up turn and the first frame. `displayWidth`/`displayHeight` replace the primary
// display's size when positive (tests). False only when the main window cannot be opened.
bool InitApplication(std::string* error = nullptr, int displayWidth = 0, int displayHeight = 0);
// Everything of start-up, then the main loop, then ShutDown; does not return.
[[noreturn]] void StartUp();

// Draws one preview frame from App: background, shadow visibility, the scene. Leaves RedrawFlag.
void DrawFrame();

// One pass of the main loop: navigation, a pending redraw, one event fetched (without waiting
// while App.PollEvents is set) and dispatched. False when the loop must end (Exit, or a close
// event after its pass).
bool MainLoopPass();
// Runs passes until one says to stop.
void MainLoop();

// Releases what the toolkit holds (windows, menus, controls, images) and the hosts installed at
// start-up; the process carries on (tests). ShutDown does this and ends the process with 0.
void ReleaseApplication();
[[noreturn]] void ShutDown();
