// Ids of the main window's menu items and controls. Menu item ids and control ids are separate
// number spaces: menu item 9 and button 9 are different things.
#pragma once

#include "kestrum/version.h"

// Menu items.
enum MenuId : int {
  kMenuNew = 0,
  kMenuOpen = 1,
  kMenuSave = 2,
  kMenuSaveAs = 3,
  kMenuExit = 4,
  kMenuBoxStyles = 6,
  kMenuCoverArt = 7,
  kMenuRenderSettings = 8,
  kMenuOptimizeTextures = 9,
  kMenuFilterNone = 10,  // 10..13: filter types 0..3
  kMenuFilterBilinear = 11,
  kMenuFilterTrilinear = 12,
  kMenuFilterAnisotropic = 13,
  kMenuAntiAlias = 14,
  kMenuShadows = 15,
  kMenuWhite = 16,
  kMenuBlack = 17,
  kMenuHelp = 19,
  kMenuAbout = 20,
};

// Controls of the main window (the progress window's are 76 and 77, the render window's 100 to
// 102).
enum ControlId : int {
  kToolbarFrame = 0,
  kToolNew = 1,
  kToolOpen = 2,
  kToolSave = 3,
  kToolReload = 4,
  kToolRender = 5,
  kToolHelp = 6,
  kPreviewFrame = 7,
  kViewContainer = 8,
  kRenderButton = 9,
  kSetCameraButton = 10,
  kSidePanel = 11,
  kOutputGroup = 12,
  kOutputPathField = 13,
  kOutputPathButton = 14,
  kWidthLabel = 15,
  kHeightLabel = 16,
  kWidthField = 17,
  kHeightField = 18,
  kFiltersGroup = 19,
  kFilterLabel = 20,
  kFilterList = 21,
  kAntiAliasCheck = 22,
  kShadowsCheck = 25,
  kWhiteRadio = 26,
  kBlackRadio = 27,
  kAngleLabel = 29,
  kAngleScroll = 30,
  kRangeLabel = 31,
  kRangeScroll = 32,
  kDefaultsButton = 34,
  kFrontLabel = 35,
  kFrontField = 36,
  kFrontButton = 37,
  kLeftLabel = 38,
  kLeftField = 39,
  kLeftButton = 40,
  kTopLabel = 41,
  kTopField = 42,
  kTopButton = 43,
  kBackLabel = 44,
  kBackField = 45,
  kBackButton = 46,
  kRightLabel = 47,
  kRightField = 48,
  kRightButton = 49,
  kBottomLabel = 50,
  kBottomField = 51,
  kBottomButton = 52,
  kReloadAllButton = 53,
  kClearButton = 54,
  kFirstStyleButton = 55,  // 55..74: box styles 1..20 (button = style + 54)
  kLastStyleButton = 74,
  kPresetList = 75,
  kProgressBar = 76,
  kProgressLabel = 77,
  kStyleFrame = 78,
  kStyleInfoLabel = 79,
  kOptimizeCheck = 80,
  kAmbientScroll = 81,
  kAmbientLabel = 82,
  // The render window, open while the final renderer runs (100..119 are the render feedback's).
  kRenderProgressLabel = 100,
  kRenderProgressBar = 101,
  kRenderCancelButton = 102,
};

// Pages of the side panel.
enum SidePanelPage : int { kPageBoxStyles = 0, kPageCoverArt = 1, kPageRenderSettings = 2 };

// Index of the first box-style thumbnail in App.EmbeddedImages.
inline constexpr int kFirstThumbnailImage = 6;
inline constexpr int kBannerImage = 26;

inline constexpr const char* kWindowTitle = kProductLine;
