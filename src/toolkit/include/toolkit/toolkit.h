// The window toolkit: one fixed-size main window with a menu, a status bar and controls addressed
// by number, a small progress window, file dialogs, message boxes, and the view that shows the 3D
// engine's frames. Built on Qt 6 Widgets; no Qt type appears here.
//
// Contents: application, main window, menus, status bar, controls, images, tooltips, events,
// pointer and mouse buttons, dialogs and message boxes, progress window, engine view.
//
// How calls fail: nothing here throws. A call that makes something returns false (or 0) when it
// cannot, and tkLastError() then tells why. Every call on an id that names nothing does nothing
// (getters give 0, false or empty text). Texts are shown literally: an "&" is not a mnemonic.
//
// Ids: control ids and menu item ids are separate number spaces. Creating a control with an id
// that is already in use replaces the old control (it is destroyed first, with everything inside
// it). kTkNoId makes a control that cannot be addressed afterwards (a logo, for instance).
//
// Coordinates: pixels from the top-left corner of the parent's client area: the main window's
// area below its menu bar, the page of a tab panel, or a container.
//
// Everything runs on the one thread that called tkInit().
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// --- Application ---------------------------------------------------------------------------
// Creates the application object if there is none, sets the program's look (style and a font at
// which the controls' captions fit their small boxes) and registers the primary screen's size
// with kestrum::sys::setDisplaySizeQuery, in device pixels (the display's own, whatever scaling
// Qt applies to the window). False when no display can be reached.
bool tkInit();
// Closes every window and frees every control, menu, image and pending event; hooks are cleared.
// The application object itself stays for the rest of the process.
void tkShutdown();
// Why the last call that failed did so.
std::string tkLastError();

// --- Main window ---------------------------------------------------------------------------
// Opens the main window, centred on the screen, shown: a title bar with a close box only, not
// resizable. Its client area is clientWidth x clientHeight; the menu bar and the status bar take
// their height out of it. Fails when the toolkit is not started or a main window is open.
bool tkOpenWindow(const std::string& title, int clientWidth, int clientHeight);
// Destroys the main window with its menu, status bar, controls and engine view.
void tkCloseWindow();
bool tkWindowIsOpen();
void tkSetWindowTitle(const std::string& title);
std::string tkWindowTitle();
// Shows the main window in its normal state (neither maximised nor hidden) and activates it,
// while the program is the one the user works with: it never takes the focus from another
// program, and a window the user minimised while working elsewhere stays minimised.
void tkActivateWindow();
// Size of the area below the menu bar and above the status bar, where controls go.
void tkInnerSize(int* width, int* height);

// --- Menus ---------------------------------------------------------------------------------
// Creates the main window's menu bar; menus and items are then added in order.
bool tkCreateMenu();
void tkMenuTitle(const std::string& title);
void tkMenuItem(int id, const std::string& text);
void tkMenuSeparator();
void tkOpenSubMenu(const std::string& title);
void tkCloseSubMenu();
// Check marks are plain marks: choosing an item never changes its mark, only this call does.
void tkSetMenuItemChecked(int id, bool on);
bool tkMenuItemChecked(int id);
bool tkMenuItemExists(int id);

// --- Status bar ----------------------------------------------------------------------------
// A status bar with one field per width (pixels), left to right.
bool tkCreateStatusBar(const std::vector<int>& widths);
void tkStatusBarText(int field, const std::string& text);
std::string tkStatusBarTextOf(int field);

// --- Controls ------------------------------------------------------------------------------
constexpr int kTkNoId = -1;

enum class TkControlKind {
  None,
  GroupBox,     // frame with a caption line
  Frame,        // plain one-pixel border, no caption
  Button,       // push button with text
  ImageButton,  // push button with an image; a toggle one stays pressed or released
  Label,        // left-aligned text, wrapped inside its box
  TextField,    // single-line editable text, sunken, scrolls horizontally
  CheckBox,
  RadioButton,
  ComboBox,   // drop-down list that cannot be typed into, opening downwards
  ScrollBar,  // horizontal
  TabPanel,
  Container,  // borderless child area (hosts the engine view)
  Image,      // picture without border
  ProgressBar,
};

using TkImage = int;  // 0 = none

bool tkGroupBox(int id, int x, int y, int width, int height, const std::string& caption);
bool tkFrame(int id, int x, int y, int width, int height);
bool tkButton(int id, int x, int y, int width, int height, const std::string& caption);
bool tkImageButton(int id, int x, int y, int width, int height, TkImage image, bool toggle = false);
bool tkLabel(int id, int x, int y, int width, int height, const std::string& text);
bool tkTextField(int id, int x, int y, int width, int height, const std::string& text);
bool tkCheckBox(int id, int x, int y, int width, int height, const std::string& caption);
// Radio buttons form groups: `firstOfGroup` starts a new group, the following radio buttons join
// it. Pressing one releases the others of its group.
bool tkRadioButton(int id, int x, int y, int width, int height, const std::string& caption,
                   bool firstOfGroup);
bool tkComboBox(int id, int x, int y, int width, int height);
// Minimum, maximum and a page length of 1: the position runs from minimum to maximum - 1 (just
// minimum when maximum <= minimum).
bool tkScrollBar(int id, int x, int y, int width, int height, int minimum, int maximum);
bool tkImageControl(int id, int x, int y, int width, int height, TkImage image);
// A tab panel receives pages with tkAddTabPage; controls made meanwhile go on the newest page
// until tkCloseTabPanel.
bool tkTabPanel(int id, int x, int y, int width, int height);
bool tkAddTabPage(const std::string& title);
void tkCloseTabPanel();
// Controls made after tkContainer go inside it until tkCloseContainer.
bool tkContainer(int id, int x, int y, int width, int height);
void tkCloseContainer();

bool tkControlExists(int id);
TkControlKind tkControlKind(int id);
// The control's box in its parent's client coordinates, as it was made. False, with zeros, for an
// id that names nothing; any pointer may be null.
bool tkControlRect(int id, int* x, int* y, int* width, int* height);
void tkFreeControl(int id);

// Text: the caption of buttons, check boxes, radio buttons and group boxes, the text of labels
// and text fields, the selected entry's text of a drop-down list, the shown page's title of a
// tab panel.
void tkSetText(int id, const std::string& text);
std::string tkText(int id);
// State: 1 pressed / 0 released for check boxes, radio buttons and toggle image buttons; the
// selected entry of a drop-down list (-1 none); the position of a scroll bar (kept in its
// range); the shown page of a tab panel; the value of a progress bar. 0 for other kinds.
// Setting a state queues no event.
void tkSetState(int id, int value);
int tkState(int id);
// Drop-down lists.
void tkAddItem(int id, const std::string& text);
int tkItemCount(int id);
std::string tkItemText(int id, int index);
void tkClearItems(int id);
// Scroll bars: position range as for tkScrollBar.
void tkSetScrollRange(int id, int minimum, int maximum);
// A disabled container takes no clicks, wheel turns or keys and no keyboard focus, for itself
// or anything inside it (the focus, if it was there, is given up), but keeps its pointer shape:
// a disabled window would show its parent's.
void tkSetEnabled(int id, bool on);
bool tkEnabled(int id);
void tkSetVisible(int id, bool on);
bool tkVisible(int id);
void tkSetFocus(int id);
bool tkHasFocus(int id);
// True when the keyboard focus is on the control or on a control inside it (in a container, or on
// a tab panel's page). While the control's window is not the active one, tells where the focus
// returns when it is activated.
bool tkFocusWithin(int id);
void tkSetImage(int id, TkImage image);  // image buttons and image controls

// --- Images --------------------------------------------------------------------------------
// Decodes a picture held in memory (PNG, or any format Qt reads). 0 when it cannot be decoded.
TkImage tkCatchImage(const void* data, size_t size);
// Decodes a picture file; Qt resource paths (":/...") are accepted.
TkImage tkLoadImage(const std::string& path);
bool tkImageSize(TkImage image, int* width, int* height);
void tkFreeImage(TkImage image);

// --- Tooltips ------------------------------------------------------------------------------
// Balloon-style tooltip: a bold title line (none when title is empty) over the text, which
// wraps at 180 pixels.
void tkSetToolTip(int id, const std::string& title, const std::string& text);
// The tooltip as shown, in plain text: the title line, if any, then a line break and the text;
// empty when the control has none.
std::string tkToolTip(int id);

// --- Events --------------------------------------------------------------------------------
// Qt's signals and input become one queue that the program's loop takes one event at a time:
//   tkPointerPosition / tkMouseButtonDown   look at the pointer (navigation)
//   if (tkBeginEngineFrame(background)) { iBeginScene(...); iDrawScene(); iEndScene(); }
//   TkEvent e = polling ? tkPollEvent() : tkWaitEvent();   then dispatch on e.kind and e.id
// Changes the program makes itself (tkSetText, tkSetState, ...) queue nothing.
enum class TkEventKind {
  None,        // a poll found nothing
  Menu,        // a menu item was chosen; id = menu item id
  Control,     // a control reported; id = control id, type says what happened
  Close,       // the user asked to close the main window (it stays open)
  FrameHover,  // the pointer moved onto the menu bar, the status bar, a text field's frame, or
               // off the client area
  Input,       // any other input in the main window: the pointer moved, a mouse button or a
               // key was pressed or released. It only wakes a waiting loop; several in a row
               // are queued as one.
};

enum class TkControlEvent {
  Change,     // clicked, toggled, chosen, edited, scrolled (each step and the end of a drag)
  Focus,      // text fields and containers: got the keyboard focus
  LostFocus,  // text fields and containers: lost the keyboard focus
};

struct TkEvent {
  TkEventKind kind = TkEventKind::None;
  int id = 0;
  TkControlEvent type = TkControlEvent::Change;
};

// Processes the window system's pending events, then takes the oldest queued event, if any.
TkEvent tkPollEvent();
// Takes the oldest queued event, processing the window system's events until one arrives; with
// a timeout (milliseconds, >= 0) gives a None event when none arrived in time.
TkEvent tkWaitEvent(int timeoutMs = -1);
// Queues an event as if the window system had delivered it.
void tkPostEvent(const TkEvent& event);
void tkClearEvents();
size_t tkPendingEventCount();

// --- Pointer and mouse ---------------------------------------------------------------------
// The pointer's position in the main window's client area (below the menu bar, status bar
// included); -1, -1 outside it or without a main window. Also refreshes the engine's pointer
// position (iSetMousePosition) relative to the engine view, if there is one.
void tkPointerPosition(int* x, int* y);

enum class TkMouseButton { Primary, Secondary };
// True while the button is held, or when it was pressed since the previous query of that button.
bool tkMouseButtonDown(TkMouseButton button);

enum class TkCursor { Arrow, Cross, SizeAll, SizeVer };
// The pointer's shape while it is over the control (and its children).
void tkSetCursor(int id, TkCursor cursor);
TkCursor tkCursorOf(int id);

// --- Dialogs and message boxes -------------------------------------------------------------
enum class TkFileDialogKind { Open, Save };

struct TkFileDialogRequest {
  TkFileDialogKind kind = TkFileDialogKind::Open;
  std::string title;
  std::string defaultFile;  // a name or path to start from; one with "*" or "?" is a pattern
  std::string filters;      // "Label|patterns|Label|patterns", patterns separated by ";"
  int filterIndex = 0;      // the filter selected at first
};

// Turns "Label|*.a;*.b|Label 2|*.*" into Qt's "Label (*.a *.b);;Label 2 (*.*)". A label without
// patterns gets "*"; empty pairs are dropped.
std::string tkQtFilterList(const std::string& filters);

// Show a modal file dialog; the chosen path, or empty when cancelled.
std::string tkOpenFileDialog(const std::string& title, const std::string& defaultFile,
                             const std::string& filters, int filterIndex = 0);
std::string tkSaveFileDialog(const std::string& title, const std::string& defaultFile,
                             const std::string& filters, int filterIndex = 0);
// While a hook is set, file dialogs ask it instead of showing anything (tests, scripted runs).
void tkSetFileDialogHook(std::function<std::string(const TkFileDialogRequest&)> hook);

enum class TkMessageButtons { Ok, OkCancel, YesNo };
enum class TkMessageIcon { None, Information, Warning, Error };
enum class TkMessageAnswer { Ok, Cancel, Yes, No, Action };

struct TkMessageRequest {
  std::string title;
  std::string text;
  TkMessageButtons buttons = TkMessageButtons::Ok;
  TkMessageIcon icon = TkMessageIcon::None;
  std::string action;  // the caption of one more button beside the others; empty: none
};

// A modal message box. Closing it without a button answers Cancel or No (Ok for a lone OK); in a
// Yes/No box, Return answers No.
TkMessageAnswer tkMessageBox(const std::string& title, const std::string& text,
                             TkMessageButtons buttons = TkMessageButtons::Ok,
                             TkMessageIcon icon = TkMessageIcon::None);
// The same with one more button when `request.action` names one; that button answers Action.
TkMessageAnswer tkMessageBox(const TkMessageRequest& request);
void tkSetMessageHook(std::function<TkMessageAnswer(const TkMessageRequest&)> hook);

// --- Progress window -----------------------------------------------------------------------
// A small window kept above the others, centred: client area 272 x 53 (the frame is sizable),
// progress bar 76 (5, 30, 260 x 15, range 0..100, at 0) and label 77 (5, 10, 260 x 20, empty).
// Controls 76 and 77 can also be reached with the control calls. Opening it while it is open only
// sets the title; the user cannot close it. Each change is painted at once, since the program
// does not run its loop while it works. Without the window the calls do nothing.
bool tkOpenProgressWindow(const std::string& title);
bool tkProgressWindowIsOpen();
// Sets the bar's maximum and position (the position is kept within 0..maximum).
void tkSetProgress(int maximum, int value);
void tkSetProgressMaximum(int maximum);
void tkSetProgressValue(int value);
void tkSetProgressText(const std::string& text);
// Puts the window above all others again; `activate` also makes it the active window.
void tkRaiseProgressWindow(bool activate = true);
void tkCloseProgressWindow();

// --- Running another program ----------------------------------------------------------------
// Runs a program to its end while the window system's loop goes on: the main window stays
// painted but takes no input, and a modal run window over it (client area 320 x 96) shows how
// the program gets on: a label (10, 8, 300 x 36, wrapped), a progress bar (10, 46, 300 x 16,
// range 0..100, at 0) and a "Cancel" button (230, 68, 80 x 22), under the ids the request names
// (reachable with the control calls while the window is open). Cancel, the window's close box
// and Escape ask the program to stop (SIGTERM), and kill it when it has not stopped after
// kTkRunStopSeconds. Nothing polls: the loop sleeps until the program writes or ends.
inline constexpr int kTkRunStopSeconds = 3;

struct TkRunRequest {
  std::string program;
  std::vector<std::string> arguments;
  std::string workingDirectory;  // empty: the current one
  std::string title;             // the run window's title
  std::string text;              // its label's first text
  int labelId = kTkNoId;
  int barId = kTkNoId;
  int cancelId = kTkNoId;
};

struct TkRunResult {
  bool started = false;     // false: it could not be started, and `reason` says why
  bool cancelled = false;   // the user stopped it
  int exitStatus = -1;      // -1 when it did not exit by itself (killed, crashed)
  std::string errorOutput;  // what it wrote to its standard error (the last 64 KiB)
  std::string reason;
};

// `onOutputLine` receives each line the program writes to its standard output as it comes, without
// its line end; it may change the run window's controls. The program's standard input is empty.
TkRunResult tkRunProgram(const TkRunRequest& request,
                         const std::function<void(const std::string&)>& onOutputLine = {});

// --- Engine view ---------------------------------------------------------------------------
// Driver codes, tried by the program in this order: 4, 5, 2, 1.
enum TkEngineDriver : int {
  kTkDriverFallback = 1,  // no 3D: the view shows the background colour
  kTkDriverSoftware = 2,  // headless EGL rendering, each frame copied into the view
  kTkDriverDirect3D = 4,  // not available here: always fails
  kTkDriverOpenGL = 5,    // an OpenGL 3.3 core widget
};

// Makes the engine's drawing surface fill the container `containerId` with the given driver.
// While the engine asks for anti-aliasing (iAntiAliasSetting), the view has 4 samples a pixel:
// the OpenGL view as set when it is made, the software view at each frame.
// Non-zero on success; 0 (with tkLastError) when the driver cannot work here, in which case
// nothing is left behind. A view that existed before is replaced.
int tkCreateEngineView(int containerId, int driver);
int tkEngineViewDriver();  // 0 without a view
// Prepares one frame: makes the view's GL context current and points the engine at the view
// (iSetRenderTarget, and a present callback that shows the frame at iEndScene). True when the
// engine may now draw (iBeginScene .. iEndScene); false for the fallback driver, which just
// shows `background` (engine colour layout), and without a view.
bool tkBeginEngineFrame(uint32_t background);
// Makes the view's GL context current (for loading textures outside a frame); false when the
// view has none.
bool tkMakeEngineViewCurrent();
// Frames shown by the view since it was made.
int tkEngineViewFrameCount();
// The view's current picture, as RGBA bytes (width * height * 4, top row first); empty when
// there is no view.
std::vector<uint8_t> tkGrabEngineView(int* width, int* height);
void tkFreeEngineView();
