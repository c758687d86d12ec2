// Small pieces shared by the box style, cover art, settings and session operations: the cover
// slots' controls and dialog titles, the window title, and the rounding the scroll bars use.
// Nothing here fails.
#pragma once

#include <array>
#include <string>

#include "state/app_state.h"

struct CoverSlotControls {
  int Field;                // text field showing the slot's path
  int Button;               // its ">>" button
  const char* DialogTitle;  // title of its open-file dialog
};

// In CoverSlot order: Front, Back, Left, Right, Top, Bottom.
inline constexpr std::array<CoverSlotControls, kCoverSlotCount> kCoverSlotControls = {{
    {36, 37, "Open Front Image.."},
    {45, 46, "Open Back Image.."},
    {39, 40, "Open Left Image.."},
    {48, 49, "Open Right Image.."},
    {42, 43, "Open Top Image.."},
    {51, 52, "Open Bottom Image.."},
}};

inline constexpr const char* kImageFilters =
    "Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*";
inline constexpr const char* kSessionFilters = "Session File (.ksm)|*.ksm|All Files|*.*";

// A real number rounded to the nearest integer, a half going to the even neighbour; values that
// are not numbers give 0 and values beyond the int range stop at its ends.
int roundHalfEven(float value);

// Shows every cover slot's path in its text field.
void showCoverPaths();
// Shows the output path, the output size and the three scroll bars from App.
void showOutputAndLightControls();
