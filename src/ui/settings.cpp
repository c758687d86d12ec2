// The render settings: texture filter, anti-aliasing, shadows, background, light and ambient
// light, texture optimisation, output file and size, Defaults and New Session. Every change of a
// setting that has a menu twin ends in SyncSettingsControls, so marks and controls agree.
#include <cmath>
#include <limits>
#include <string>

#include "persist/session_record.h"
#include "shot/shot.h"
#include "state/app_state.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"
#include "viewport/viewport.h"

namespace {

void applyLightRig() {
  ApplyLightAngle();
  ApplyLightRange();
  ApplyAmbientLevel();
}

}  // namespace

int roundHalfEven(float value) {
  if (std::isnan(value)) return 0;
  double rounded = std::nearbyint(static_cast<double>(value));  // default mode: half to even
  if (rounded <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  if (rounded >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(rounded);
}

void showOutputAndLightControls() {
  tkSetText(kOutputPathField, App.OutputPath);
  tkSetText(kWidthField, std::to_string(App.OutputWidth));
  tkSetText(kHeightField, std::to_string(App.OutputHeight));
  tkSetState(kAngleScroll, App.LightAngle);
  tkSetState(kRangeScroll, roundHalfEven(App.LightRange));
  tkSetState(kAmbientScroll, App.AmbientLevel);
}

void SetFilterType(int type) {
  ApplyFilterFlags(type);
  SyncSettingsControls();
}

void SyncSettingsControls() {
  // A session file may hold values outside the controls' ranges: a filter outside 0..3 marks no
  // filter, any non-zero background counts as black and only shadows = 1 as shadows, as the
  // preview draws them.
  const bool knownFilter = App.FilterType >= 0 && App.FilterType <= 3;
  const bool black = App.Background != 0;
  tkSetMenuItemChecked(kMenuOptimizeTextures, App.OptimizeTextures != 0);
  for (int item = kMenuFilterNone; item <= kMenuFilterAnisotropic; ++item) {
    tkSetMenuItemChecked(item, false);
  }
  if (knownFilter) tkSetMenuItemChecked(kMenuFilterNone + App.FilterType, true);
  tkSetMenuItemChecked(kMenuAntiAlias, App.AntiAlias != 0);
  tkSetMenuItemChecked(kMenuShadows, App.Shadows == 1);
  tkSetMenuItemChecked(kMenuWhite, false);
  tkSetMenuItemChecked(kMenuBlack, false);
  tkSetMenuItemChecked(black ? kMenuBlack : kMenuWhite, true);
  tkSetState(kFilterList, knownFilter ? App.FilterType : -1);
  tkSetState(kAntiAliasCheck, App.AntiAlias != 0);
  tkSetState(kShadowsCheck, App.Shadows == 1);
  tkSetState(kWhiteRadio, !black);
  tkSetState(kBlackRadio, black);
  App.RedrawFlag = 1;
}

void ChooseOutputImage() {
  // A cancelled dialog gives an empty path, which empties the output path too; a path that the
  // render job could not carry leaves the one chosen before.
  std::string path = tkSaveFileDialog("Save Image As..", "*.*", kImageFilters);
  App.RedrawFlag = 1;
  if (refuseUnstorablePath(path)) return;
  tkSetText(kOutputPathField, path);
  App.OutputPath = path;
}

void ClampOutputSize(int field) {
  int limit;
  if (field == kWidthField) {
    limit = App.MaxOutputWidth;
  } else if (field == kHeightField) {
    limit = App.MaxOutputHeight;
  } else {
    return;
  }
  // Without a known display size there is no limit to hold the text to.
  if (limit <= 0) return;
  if (kestrum::readLooseInteger(tkText(field)) > limit) tkSetText(field, std::to_string(limit));
}

void ApplyRenderDefaults() {
  App.RedrawFlag = 1;
  // Texture optimisation keeps its value.
  kestrum::applySessionRecord(kestrum::newSessionRecord(), App,
                              kestrum::RecordPart::SettingsButOptimize);
  showOutputAndLightControls();
  tkSetState(kFilterList, App.FilterType);
  tkSetState(kAntiAliasCheck, App.AntiAlias);
  tkSetState(kShadowsCheck, App.Shadows);
  tkSetState(kWhiteRadio, 1);
  tkSetState(kBlackRadio, 0);
  applyLightRig();
  SetFilterType(App.FilterType);
  SyncSettingsControls();
}

void NewSession() {
  App.RedrawFlag = 1;
  App.SessionPath.clear();
  // A new session is the new-session record applied like any opened one: settings, home view,
  // default style, no covers.
  ApplySessionToScene(kestrum::newSessionRecord(), SessionApplyOptions{});
  tkSetState(kOptimizeCheck, App.OptimizeTextures);
  showStyleControls(App.CurrentStyle);
  showCoverPaths();
  ApplyRenderDefaults();
  SyncSettingsControls();
  // The session has no file any more: the title loses the old file's name.
  tkSetWindowTitle(kWindowTitle);
}

// --- Handlers of the settings controls and their menu twins -------------------------------------

void OnFilterListChanged() {
  int entry = tkState(kFilterList);
  if (entry < 0) return;  // nothing selected
  SetFilterType(entry);
  App.RedrawFlag = 1;
}

void OnFilterMenu(int item) {
  if (item < kMenuFilterNone || item > kMenuFilterAnisotropic) return;
  App.FilterType = item - kMenuFilterNone;
  SetFilterType(App.FilterType);
  SyncSettingsControls();
}

void OnAntiAliasCheck() {
  App.AntiAlias = tkState(kAntiAliasCheck) ? 1 : 0;
  App.RedrawFlag = 1;
  SyncSettingsControls();
}

void OnAntiAliasMenu() {
  App.AntiAlias = tkMenuItemChecked(kMenuAntiAlias) ? 0 : 1;
  SyncSettingsControls();
}

void OnShadowsCheck() {
  App.Shadows = tkState(kShadowsCheck) ? 1 : 0;
  App.RedrawFlag = 1;
  SyncSettingsControls();
}

void OnShadowsMenu() {
  App.Shadows = tkMenuItemChecked(kMenuShadows) ? 0 : 1;
  SyncSettingsControls();
}

void OnBackgroundRadio(int control) {
  if (control != kWhiteRadio && control != kBlackRadio) return;
  App.Background = control == kBlackRadio ? 1 : 0;
  tkSetState(kWhiteRadio, App.Background == 0);
  tkSetState(kBlackRadio, App.Background == 1);
  App.RedrawFlag = 1;
  SyncSettingsControls();
}

void OnBackgroundMenu(int item) {
  if (item != kMenuWhite && item != kMenuBlack) return;
  App.Background = item == kMenuBlack ? 1 : 0;
  SyncSettingsControls();
}

void OnOptimizeCheck() {
  App.OptimizeTextures = tkState(kOptimizeCheck) ? 1 : 0;
  SyncSettingsControls();
}

void OnOptimizeMenu() {
  App.OptimizeTextures = tkMenuItemChecked(kMenuOptimizeTextures) ? 0 : 1;
  tkSetState(kOptimizeCheck, App.OptimizeTextures);
  SyncSettingsControls();
}

void OnLightAngleScroll() {
  App.LightAngle = tkState(kAngleScroll);
  ApplyLightAngle();
  App.RedrawFlag = 1;
}

void OnLightRangeScroll() {
  App.LightRange = static_cast<float>(tkState(kRangeScroll));
  ApplyLightRange();
  App.RedrawFlag = 1;
}

void OnAmbientScroll() {
  App.AmbientLevel = tkState(kAmbientScroll);
  ApplyAmbientLevel();
  App.RedrawFlag = 1;
}

void OnDefaultsButton() {
  ApplyRenderDefaults();
  SyncSettingsControls();
}
