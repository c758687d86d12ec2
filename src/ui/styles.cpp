// The box style catalogue: which model, shadow picture and description each style shows.
#include <array>
#include <string>

#include "shot/shot.h"
#include "state/app_state.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"

// Style 19's information label has always lacked the final full stop its tooltip has.
constexpr int kStyleLabelWithoutFullStop = 19;

const std::array<BoxStyleText, kBoxStyleCount> kBoxStyleTexts = {{
    {"Thick Book", "Wide bound hardback book with front, spine and back covers."},
    {"Thin Book", "Narrow bound hardback book with front, spine and back covers."},
    {"Curved Box", "Large indented modern-style box with front, left and back covers."},
    {"Indent Box", "Large indented VHS-style box with front, left and back covers."},
    {"Thick Box", "Large coated-cardboard box covered on all sides."},
    {"Thin Box", "Narrow coated-carboard box covered on all sides."},
    {"Card", "Business card with front and back sides and slightly rounded corners."},
    {"Card Rounded", "Business card with front and back sides and very rounded corners."},
    {"DVD Case", "Slim DVD case with front, left and back covers."},
    {"DVD Case 1 Disc", "Slim DVD case opened with front, left and back covers."},
    {"DVD Case 2 Discs", "Wide DVD case opened with 2 discs. Front, left and back covers."},
    {"DVD Case 3 Discs", "Wide DVD case opened with 3 discs. Front, left and back covers."},
    {"Jewel Case", "Slimline Jewel CD case with front and back covers."},
    {"Jewel Case with CD", "Slimline Jewel CD case with disc. Front and back covers."},
    {"Jewel Case with CD out", "Slimline Jewel CD case with disc out. Front and back covers."},
    {"Screenshot", "Flat 3D Screenshot at 4:3 apsect ratio. Front-side only."},
    {"Screenshot Curve", "Curved 3D Screenshot at 4:3 apsect ratio. Front-side only."},
    {"Screenshot Pinch", "Pinched 3D Screenshot at 4:3 apsect ratio. Front-side only."},
    {"Screenshot Ripple", "Rippled 3D Screenshot at 4:3 apsect ratio. Front-side only."},
    {"Disc", "Single disc without box."},
}};

const char* BoxStyleInformation(int style) {
  static const std::array<std::string, kBoxStyleCount> labels = [] {
    std::array<std::string, kBoxStyleCount> texts;
    for (int s = 1; s <= kBoxStyleCount; ++s) {
      std::string text =
          std::string(kBoxStyleTexts[s - 1].Title) + " - " + kBoxStyleTexts[s - 1].Text;
      if (s == kStyleLabelWithoutFullStop) text.pop_back();
      texts[s - 1] = text;
    }
    return texts;
  }();
  return IsBoxStyle(style) ? labels[style - 1].c_str() : "";
}

void showStyleControls(int style) {
  if (!IsBoxStyle(style)) return;
  for (int button = kFirstStyleButton; button <= kLastStyleButton; ++button) {
    tkSetState(button, 0);
  }
  tkSetText(kStyleInfoLabel, BoxStyleInformation(style));
  tkSetState(kFirstStyleButton + style - 1, 1);
}

void SelectBoxStyle(int style) {
  // Only 1..20 index the model and shadow tables; anything else leaves the scene as it is.
  if (!IsBoxStyle(style)) return;
  ShowBoxStyleModel(style);
  showStyleControls(style);
}
