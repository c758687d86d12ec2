// The program's operations behind the menus and controls of the main window. Each acts on App,
// the engine's scene and the window's controls, sets App.RedrawFlag when the preview must be drawn
// again, and never draws itself. None fails loudly: a message box is shown only where the program
// names one ("Information" after a save or a render, "Oops!" when a file cannot be written or
// read, a chosen path cannot be stored, or the render cannot be made).
#pragma once

#include <string>

// --- Main window -----------------------------------------------------------------------------
// Builds the main window: menu, status bar, toolbar, preview with the engine view (driver
// fallback), and the side panel's three pages, with their initial states from App.
void BuildMainWindow();
// Starts the engine and makes its drawing surface in `parent` (a container id) with `driver`;
// non-zero on success.
int CreateEngineView(int width, int height, int parent, int driver);
void AddBalloonTip(int control, const std::string& text, const std::string& title, int icon);

// --- Box styles --------------------------------------------------------------------------------
// Shows style 1..20: its model alone, its shadow picture, its description; presses its button.
void SelectBoxStyle(int style);
// The description label 79 shows for a style (the texts are stored whole, one per style).
const char* BoxStyleInformation(int style);

// --- Cover art ---------------------------------------------------------------------------------
void ChooseCoverImage(int slot);  // a CoverSlot
// The cover slot whose ">>" button `control` is; -1 for any other control.
int CoverSlotOfButton(int control);
void ClearCoverSlots();
void ReloadCoverTextures();
// ApplyCoverTextures is in scene/scene.h.

// --- Render settings ---------------------------------------------------------------------------
void SetFilterType(int type);
void SyncSettingsControls();
void ChooseOutputImage();
void ClampOutputSize(int field);  // kWidthField or kHeightField
void ApplyRenderDefaults();
void NewSession();
// Handlers of the settings controls and their menu twins.
void OnFilterListChanged();
void OnFilterMenu(int item);  // kMenuFilterNone..kMenuFilterAnisotropic
void OnAntiAliasCheck();
void OnAntiAliasMenu();
void OnShadowsCheck();
void OnShadowsMenu();
void OnBackgroundRadio(int control);  // kWhiteRadio or kBlackRadio
void OnBackgroundMenu(int item);      // kMenuWhite or kMenuBlack
void OnOptimizeCheck();
void OnOptimizeMenu();
void OnLightAngleScroll();
void OnLightRangeScroll();
void OnAmbientScroll();
void OnDefaultsButton();

// --- Sessions and rendering --------------------------------------------------------------------
// Writes the current session record to `path` (taking the output size from fields 17 and 18
// first); false, having replaced nothing, when the file cannot be written.
bool WriteSessionRecord(const std::string& path);
void SaveSession(bool askForName);
void OpenSession();
// Hands the scene to the final renderer and waits for it in a run window that shows the
// renderer's progress, then says what came of it. Asks for the output file when none is chosen
// yet; refuses sizes outside 1..16384 and an output folder that does not exist before the
// renderer is started.
void RenderImage();

// --- Help ----------------------------------------------------------------------------------------
void OpenManual();
void ShowAbout();
