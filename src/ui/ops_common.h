// Small pieces shared by the main window and the box style, cover art, settings and session
// operations: the cover slots' controls, the box styles' texts, the file dialogs' filters, and
// the rounding the scroll bars use.
// Nothing here fails.
#pragma once

#include <array>
#include <string>

#include "state/app_state.h"
#include "ui/ids.h"

// The controls of one cover slot on the Cover Art page.
struct CoverSlotControls {
  int Label;                // its caption label
  const char* Caption;      // the label's text
  int Field;                // text field showing the slot's path
  int Button;               // its ">>" button
  const char* DialogTitle;  // title of its open-file dialog
};

// In CoverSlot order: Front, Back, Left, Right, Top, Bottom.
inline constexpr std::array<CoverSlotControls, kCoverSlotCount> kCoverSlotControls = {{
    {kFrontLabel, "Front", kFrontField, kFrontButton, "Open Front Image.."},
    {kBackLabel, "Back", kBackField, kBackButton, "Open Back Image.."},
    {kLeftLabel, "Left", kLeftField, kLeftButton, "Open Left Image.."},
    {kRightLabel, "Right", kRightField, kRightButton, "Open Right Image.."},
    {kTopLabel, "Top", kTopField, kTopButton, "Open Top Image.."},
    {kBottomLabel, "Bottom", kBottomField, kBottomButton, "Open Bottom Image.."},
}};
// The slots' rows on the Cover Art page, top to bottom.
inline constexpr std::array<int, kCoverSlotCount> kCoverRowSlots = {
    kSlotFront, kSlotLeft, kSlotTop, kSlotBack, kSlotRight, kSlotBottom};

// Each box style's name and description: the title and text of its button's tooltip; the style
// information label shows "name - description".
struct BoxStyleText {
  const char* Title;
  const char* Text;
};
extern const std::array<BoxStyleText, kBoxStyleCount> kBoxStyleTexts;

inline constexpr const char* kImageFilters =
    "Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*";
inline constexpr const char* kSessionFilters = "Session File (.ksm)|*.ksm|All Files|*.*";

// A real number rounded to the nearest integer, a half going to the even neighbour; values that
// are not numbers give 0 and values beyond the int range stop at its ends.
int roundHalfEven(float value);

// Shows every cover slot's path in its text field.
void showCoverPaths();
// Presses style `style`'s button alone and shows its description (nothing for a style outside
// 1..20).
void showStyleControls(int style);
// Shows the output path, the output size and the three scroll bars from App.
void showOutputAndLightControls();
// Takes App.OutputWidth and App.OutputHeight from the texts of the size fields, the way a save
// or a render reads them.
void readOutputSizeFields();
// A path chosen in a dialog that a session could not store (it holds a line break or a zero
// byte): says so in a message box and gives true; false, showing nothing, for any other path.
bool refuseUnstorablePath(const std::string& path);
