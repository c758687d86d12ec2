// The main window: menu, status bar, toolbar, the preview with the engine's view, and the side
// panel's three pages, laid out in pixels on a fixed-size window.
#include <cmath>
#include <string>

#include "engine/engine.h"
#include "shot/shot.h"
#include "state/app_state.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "viewport/viewport.h"
#include "ops_common.h"

namespace {

constexpr int kClientWidth = 720;
constexpr int kClientHeight = 497;
constexpr int kStatusFieldWidth = 240;
constexpr const char* kStatusNotice = "Kestrum: 3D box shots from cover art";

struct ToolButton {
  int id;
  int x;
  int image;
  const char* title;
  const char* text;
};

constexpr ToolButton kToolButtons[] = {
    {kToolNew, 10, 0, "New Session",
     "Clear all the current settings and begin a new session from scratch."},
    {kToolOpen, 45, 1, "Open Session", "Open a previous session from file."},
    {kToolSave, 80, 2, "Save Session", "Save the current session to file."},
    {kToolReload, 125, 3, "Reload Textures",
     "Reloads all cover-art textures. Useful if you have made any recent edits in an external "
     "program."},
    {kToolRender, 160, 4, "Render Image", "Create the final image and save it to disk."},
    {kToolHelp, 195, 5, "Help", "Open the user manual."},
};

// The thumbnail each style's button shows (the embedded images are not in style order).
constexpr int kStyleThumbnail[20] = {6,  7,  8,  9,  10, 11, 14, 15, 16, 17,
                                     12, 18, 19, 20, 21, 13, 22, 23, 24, 25};

struct DriverTry {
  int driver;
  const char* status;
};

constexpr DriverTry kDriverTries[] = {
    {kTkDriverDirect3D, "Using Direct3D"},
    {kTkDriverOpenGL, "Using OpenGL"},
    {kTkDriverSoftware, "Using Software Renderer"},
    {kTkDriverFallback, "Using Fallback Renderer"},
};

TkImage embedded(int index) {
  return index >= 0 && index < kEmbeddedImageCount ? App.EmbeddedImages[index] : 0;
}

void buildMenu() {
  if (!tkCreateMenu()) return;
  tkMenuTitle("File");
  tkMenuItem(kMenuNew, "New");
  tkMenuItem(kMenuOpen, "Open..");
  tkMenuItem(kMenuSave, "Save");
  tkMenuItem(kMenuSaveAs, "Save As..");
  tkMenuItem(kMenuExit, "Exit");
  tkMenuTitle("Settings");
  tkMenuItem(kMenuBoxStyles, "Box Styles");
  tkMenuItem(kMenuCoverArt, "Cover Art");
  tkMenuItem(kMenuRenderSettings, "Render Settings");
  tkMenuSeparator();
  tkMenuItem(kMenuOptimizeTextures, "Optimize Textures");
  tkMenuSeparator();
  tkOpenSubMenu("Filter Type");
  tkMenuItem(kMenuFilterNone, "None");
  tkMenuItem(kMenuFilterBilinear, "Bilinear");
  tkMenuItem(kMenuFilterTrilinear, "Trilinear");
  tkMenuItem(kMenuFilterAnisotropic, "Anisotropic");
  tkCloseSubMenu();
  tkMenuItem(kMenuAntiAlias, "Enable AntiAliasing");
  tkMenuItem(kMenuShadows, "Enable Shadows");
  tkOpenSubMenu("Background");
  tkMenuItem(kMenuWhite, "White");
  tkMenuItem(kMenuBlack, "Black");
  tkCloseSubMenu();
  tkMenuTitle("Help");
  tkMenuItem(kMenuHelp, "Help");
  tkMenuItem(kMenuAbout, "About");
}

void buildToolbar() {
  tkGroupBox(kToolbarFrame, 5, 0, 710, 50, "");
  for (const ToolButton& b : kToolButtons) tkImageButton(b.id, b.x, 10, 35, 35, embedded(b.image));
  for (const ToolButton& b : kToolButtons) AddBalloonTip(b.id, b.text, b.title, 0);
  tkImageControl(kTkNoId, 326, 11, 385, 34, embedded(kBannerImage));
}

void buildPreviewArea() {
  tkGroupBox(kPreviewFrame, 5, 55, 345, 370, "Preview");
  tkButton(kRenderButton, 265, 430, 85, 20, "Render Image");
  tkButton(kSetCameraButton, 180, 430, 85, 20, "Set Camera");
  tkComboBox(kPresetList, 10, 430, 165, 20);
  for (const CameraPreset& preset : CameraPresetTable) tkAddItem(kPresetList, preset.Text);
  tkSetState(kPresetList, 0);
}

// Starts the engine in container 8, trying the drivers in turn; status field 1 names the last
// one tried.
void startEngineView() {
  tkContainer(kViewContainer, 10, 70, kPreviewWidth, kPreviewHeight);
  iSetAntiAlias(1);
  bool mipmapsOff = false;
  for (const DriverTry& attempt : kDriverTries) {
    int made = CreateEngineView(kPreviewWidth, kPreviewHeight, kViewContainer, attempt.driver);
    // Starting the engine afresh drops its texture flags: what an earlier try turned off stays
    // off.
    if (mipmapsOff) iFlagCreationTexture(kTextureMipmaps, false);
    tkStatusBarText(1, attempt.status);
    if (attempt.driver == kTkDriverOpenGL) {
      iFlagCreationTexture(kTextureMipmaps, false);
      mipmapsOff = true;
    }
    if (made != 0) break;
  }
  iFlagCreationTexture(kTextureKeepSize, false);
  iFlagCreationTexture(kTextureQuality, true);
  tkCloseContainer();
  tkSetCursor(kViewContainer, TkCursor::Cross);
}

void buildBoxStylesPage() {
  tkAddTabPage("Box Styles");
  for (int style = 1; style <= 20; ++style) {
    int row = (style - 1) / 5, column = (style - 1) % 5;
    tkImageButton(kFirstStyleButton + style - 1, 13 + 65 * column, 8 + 65 * row, 65, 65,
                  embedded(kStyleThumbnail[style - 1]), true);
  }
  tkFrame(kStyleFrame, 3, 272, 346, 92);
  tkLabel(kStyleInfoLabel, 11, 288, 330, 68, "");
  for (int style = 1; style <= 20; ++style)
    AddBalloonTip(kFirstStyleButton + style - 1, kBoxStyleTexts[style - 1].Text,
                  kBoxStyleTexts[style - 1].Title, 0);
}

void buildCoverArtPage() {
  tkAddTabPage("Cover Art");
  for (int n = 0; n < kCoverSlotCount; ++n) {
    const CoverSlotControls& row = kCoverSlotControls[kCoverRowSlots[n]];
    tkLabel(row.Label, 3, 8 + 40 * n, 75, 15, row.Caption);
  }
  for (int n = 0; n < kCoverSlotCount; ++n) {
    tkTextField(kCoverSlotControls[kCoverRowSlots[n]].Field, 3, 23 + 40 * n, 300, 20, "");
  }
  for (int n = 0; n < kCoverSlotCount; ++n) {
    tkButton(kCoverSlotControls[kCoverRowSlots[n]].Button, 303, 23 + 40 * n, 45, 20, ">>");
  }
  tkCheckBox(kOptimizeCheck, 8, 247, 220, 20, "Optimize Non-Power2 Textures");
  AddBalloonTip(kOptimizeCheck,
                "Some video-cards cannot handle textures with non-power of 2 sizes. Enabling this "
                "option will resize images to the nearest suitable dimensions, which will fix "
                "graphical glitches, but cause slower loading times.",
                "What is this?", 0);
  tkSetState(kOptimizeCheck, App.OptimizeTextures);
  tkButton(kReloadAllButton, 273, 338, 75, 25, "Reload All");
  tkButton(kClearButton, 198, 338, 75, 25, "Clear");
}

void buildRenderSettingsPage() {
  tkAddTabPage("Render Settings");
  tkGroupBox(kOutputGroup, 3, 3, 346, 65, "Output Image");
  tkTextField(kOutputPathField, 8, 18, 300, 20, App.OutputPath);
  tkButton(kOutputPathButton, 308, 18, 40, 20, ">>");
  tkLabel(kWidthLabel, 8, 43, 35, 20, "Width");
  tkTextField(kWidthField, 43, 43, 40, 20, std::to_string(App.OutputWidth));
  tkLabel(kHeightLabel, 93, 43, 35, 20, "Height");
  tkTextField(kHeightField, 128, 43, 40, 20, std::to_string(App.OutputHeight));
  tkGroupBox(kFiltersGroup, 3, 73, 346, 111, "Image Filters");
  tkLabel(kFilterLabel, 8, 93, 55, 20, "Filter Type");
  tkComboBox(kFilterList, 63, 88, 285, 20);
  tkCheckBox(kAntiAliasCheck, 8, 114, 220, 20, "Enable Anti-Aliasing (final render)");
  tkCheckBox(kShadowsCheck, 8, 134, 220, 20, "Enable Shadows");
  tkRadioButton(kWhiteRadio, 8, 159, 110, 20, "White Background", true);
  tkRadioButton(kBlackRadio, 133, 159, 110, 20, "Black Background", false);
  tkLabel(kAmbientLabel, 8, 188, 65, 15, "Ambient Light");
  tkScrollBar(kAmbientScroll, 8, 208, 340, 20, 0, kMaxAmbientLevel);
  tkLabel(kAngleLabel, 8, 233, 65, 15, "Angle");
  tkScrollBar(kAngleScroll, 8, 253, 340, 20, 0, 360);
  tkLabel(kRangeLabel, 8, 278, 65, 15, "Range");
  tkScrollBar(kRangeScroll, 8, 298, 340, 20, 8, 20);
  tkButton(kDefaultsButton, 208, 338, 140, 25, "Defaults");

  for (const char* entry : {"None", "Bilinear (low quality)", "Trilinear (medium quality)",
                            "Anisotropic (high quality)"})
    tkAddItem(kFilterList, entry);
  tkSetState(kFilterList, App.FilterType);
  tkSetState(kAntiAliasCheck, App.AntiAlias);
  tkSetState(kShadowsCheck, App.Shadows);
  tkSetState(kWhiteRadio, App.Background == 0 ? 1 : 0);
  tkSetState(kBlackRadio, App.Background == 1 ? 1 : 0);
  tkSetState(kAngleScroll, App.LightAngle);
  // The default rounding mode sends a half to the even neighbour (12.5 -> 12, 13.5 -> 14).
  tkSetState(kRangeScroll, static_cast<int>(std::nearbyint(App.LightRange)));
  tkSetState(kAmbientScroll, App.AmbientLevel);
}

}  // namespace

int CreateEngineView(int width, int height, int parent, int driver) {
  (void)width;  // the view fills its container, which has this size already
  (void)height;
  // A fresh start of the engine would forget the anti-aliasing asked for before the view.
  int antiAlias = iAntiAliasSetting();
  iInitEngine();
  iSetAntiAlias(antiAlias);
  return tkCreateEngineView(parent, driver);
}

void AddBalloonTip(int control, const std::string& text, const std::string& title, int icon) {
  (void)icon;  // the toolkit's tooltips have no title icon; every caller passes 0
  tkSetToolTip(control, title, text);
}

void BuildMainWindow() {
  if (!tkOpenWindow(kWindowTitle, kClientWidth, kClientHeight)) return;
  buildMenu();
  if (tkCreateStatusBar({kStatusFieldWidth, kStatusFieldWidth})) tkStatusBarText(0, kStatusNotice);
  buildToolbar();
  buildPreviewArea();
  startEngineView();
  tkTabPanel(kSidePanel, 355, 55, 360, 395);
  buildBoxStylesPage();
  buildCoverArtPage();
  buildRenderSettingsPage();
  tkCloseTabPanel();
  tkSetState(kSidePanel, kPageBoxStyles);
}
