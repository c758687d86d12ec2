// The application driven as the user drives it: start-up, then events posted into the toolkit's
// queue and single passes of the main loop.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/app.h"
#include "app/embedded_images.h"
#include "engine/engine.h"
#include "engine_queries.h"
#include "shot/shot.h"
#include "scratch_folder.h"
#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/hosts.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "viewport/viewport.h"

namespace fs = std::filesystem;

namespace {

using kestrum::test::expectNear;
using kestrum::test::freshFolderPrefix;
using kestrum::test::positionOf;
using kestrum::test::rotationOf;

// Camera placements read back from the engine agree to this.
constexpr float kPlacementTolerance = 1e-3f;

// A small PNG written through the toolkit-free image module is not needed: the stock covers in
// bin/ are real pictures the cover dialogs can hand back.
std::string stockPicture(const char* name) {
  return std::string(KESTRUM_RUN_DIR) + "/bin/" + name;
}

int visibleStyleCount() {
  int visible = 0;
  for (int style = 1; style <= 20; ++style)
    if (iNodeVisible(App.ModelTable[style])) ++visible;
  return visible;
}

// Start-up takes seconds, so the tests share one running program: each begins from a new
// session in it. Tests of start-up itself start the program afresh.
void startFresh(int displayWidth = 1280, int displayHeight = 1024) {
  if (tkWindowIsOpen()) ReleaseApplication();
  std::string error;
  ASSERT_TRUE(InitApplication(&error, displayWidth, displayHeight)) << error;
}

void resumeSession() {
  if (!tkWindowIsOpen() || App.MaxOutputWidth != 1272 || App.MaxOutputHeight != 992) {
    startFresh();
    return;
  }
  tkClearEvents();
  kestrum::installToolkitHosts();
  App.StartupFolder = std::string(KESTRUM_RUN_DIR) + "/";
  App.ProfileFolder = kestrum::sys::profileFolder();
  NewSession();  // settings, style 3, empty covers, the home view
  tkSetState(kSidePanel, kPageBoxStyles);
  tkSetState(kPresetList, 0);
  App.LastPreset = 0;
  App.FrameHoverFlag = 0;
  App.Tracking = 0;
  App.PollEvents = 0;
  App.CursorState = kCursorCross;
  tkSetCursor(kViewContainer, TkCursor::Cross);
  App.RedrawFlag = 1;
}

class Application : public ::testing::Test {
 protected:
  void SetUp() override {
    if (freshStart) {
      startFresh();
    } else {
      resumeSession();
    }
    tkSetMessageHook([this](const TkMessageRequest& request) {
      messages.push_back(request);
      return TkMessageAnswer::Ok;
    });
    tkSetFileDialogHook([this](const TkFileDialogRequest& request) {
      dialogs.push_back(request);
      return dialogAnswer;
    });
    tkClearEvents();
  }
  void TearDown() override {
    tkSetMessageHook(nullptr);
    tkSetFileDialogHook(nullptr);
  }

  bool freshStart = false;
  // Posts one event and runs one pass of the loop; the pass's answer.
  bool pass(TkEvent event) {
    tkPostEvent(event);
    return MainLoopPass();
  }
  bool menu(int item) { return pass({TkEventKind::Menu, item}); }
  bool control(int id, TkControlEvent type = TkControlEvent::Change) {
    return pass({TkEventKind::Control, id, type});
  }

  std::vector<TkMessageRequest> messages;
  std::vector<TkFileDialogRequest> dialogs;
  std::string dialogAnswer;
};

}  // namespace

// --- Output size fitted to the display ---------------------------------------------------------

struct DisplayCase {
  int displayWidth, displayHeight;
  int maxWidth, maxHeight;
  int width, height;
};

class DisplayFit : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayFit, LimitsAndOutputSize) {
  const DisplayCase& c = GetParam();
  OutputLimits limits = OutputLimitsForDisplay(c.displayWidth, c.displayHeight);
  EXPECT_EQ(limits.MaxWidth, c.maxWidth);
  EXPECT_EQ(limits.MaxHeight, c.maxHeight);
  OutputSize size = FitOutputSize({800, 836}, limits, 0.96f);
  EXPECT_EQ(size.Width, c.width);
  EXPECT_EQ(size.Height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Displays, DisplayFit,
                         ::testing::Values(DisplayCase{1280, 1024, 1272, 992, 800, 836},
                                           DisplayCase{1024, 768, 1016, 736, 707, 736},
                                           DisplayCase{800, 600, 792, 568, 545, 568},
                                           DisplayCase{600, 1024, 592, 992, 592, 836},
                                           // unknown display: no limit below the renderer's
                                           DisplayCase{0, 0, 16384, 16384, 800, 836},
                                           // absurdly small: still at least one pixel
                                           DisplayCase{4, 20, 1, 1, 1, 1}));

TEST(StartUpFit, FieldsShowTheFittedSize) {
  startFresh(1024, 768);
  EXPECT_EQ(App.MaxOutputWidth, 1016);
  EXPECT_EQ(App.MaxOutputHeight, 736);
  EXPECT_EQ(tkText(kWidthField), "707");
  EXPECT_EQ(tkText(kHeightField), "736");
}

// --- Start-up ------------------------------------------------------------------------------------

class StartUpState : public Application {
 protected:
  StartUpState() { freshStart = true; }
};

TEST_F(StartUpState, StartsWithItsDefaults) {
  EXPECT_EQ(App.StartupFolder, std::string(KESTRUM_RUN_DIR) + "/");
  EXPECT_EQ(App.ProfileFolder, kestrum::sys::profileFolder());
  EXPECT_EQ(App.RedrawFlag, 1) << "the first pass draws once more";
  EXPECT_EQ(App.FrameHoverFlag, 0);
  EXPECT_FLOAT_EQ(App.StartAspect, 0.96f);
  EXPECT_EQ(App.OutputWidth, 800);
  EXPECT_EQ(App.OutputHeight, 836);
  EXPECT_EQ(App.FilterType, 3);
  EXPECT_EQ(App.AntiAlias, 1);
  EXPECT_EQ(App.Shadows, 1);
  EXPECT_EQ(App.Background, 0);
  EXPECT_FLOAT_EQ(App.LightRange, 12.0f);
  EXPECT_EQ(App.AmbientLevel, 80);
  EXPECT_EQ(App.OptimizeTextures, 1);
  EXPECT_EQ(App.ProgressShown, 0);
  EXPECT_FALSE(tkProgressWindowIsOpen());
  for (int item : {int{kMenuOptimizeTextures}, int{kMenuFilterAnisotropic}, int{kMenuAntiAlias},
                   int{kMenuShadows}, int{kMenuWhite}})
    EXPECT_TRUE(tkMenuItemChecked(item)) << item;
  EXPECT_FALSE(tkMenuItemChecked(kMenuBlack));
}

TEST_F(StartUpState, ShowsCurvedBoxTurnedWithItsShadow) {
  EXPECT_EQ(App.CurrentStyle, 3);
  EXPECT_EQ(visibleStyleCount(), 1);
  EXPECT_TRUE(iNodeVisible(App.ModelTable[3]));
  EXPECT_EQ(tkState(kFirstStyleButton + 2), 1);
  for (int id = kFirstStyleButton; id <= kLastStyleButton; ++id)
    if (id != kFirstStyleButton + 2) {
      EXPECT_EQ(tkState(id), 0) << id;
    }
  for (int model = 0; model <= 20; ++model) {
    ASSERT_NE(App.ModelTable[model], 0) << "model " << model << " did not load";
    EXPECT_NEAR(rotationOf(App.ModelTable[model]).y, 40.0f, 1e-3f) << model;
  }
  for (int style = 1; style <= 20; ++style) EXPECT_NE(App.ShadowTextures[style], 0) << style;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) EXPECT_NE(App.StockTextures[slot], 0);
  EXPECT_EQ(App.ShadowTextures[0], 0);
  EXPECT_EQ(App.ShadowTextures[21], 0);
  EXPECT_EQ(tkText(kStyleInfoLabel).rfind("Curved Box - ", 0), 0u) << tkText(kStyleInfoLabel);
  EXPECT_TRUE(tkMenuItemChecked(kMenuFilterAnisotropic));
}

TEST_F(StartUpState, DecodesTheEmbeddedImagesInIndexOrder) {
  ASSERT_EQ(EmbeddedImagePaths().size(), 27u);
  for (int i = 0; i < kEmbeddedImageCount; ++i) {
    int w = 0, h = 0;
    ASSERT_TRUE(tkImageSize(App.EmbeddedImages[i], &w, &h)) << EmbeddedImagePaths()[i];
    int expectedW = i < 6 ? 24 : i < 26 ? 50 : 385;
    int expectedH = i < 6 ? 24 : i < 26 ? 50 : 34;
    EXPECT_EQ(w, expectedW) << i;
    EXPECT_EQ(h, expectedH) << i;
  }
}

TEST_F(StartUpState, StatusBarNamesTheRendererInUse) {
  EXPECT_FALSE(tkStatusBarTextOf(0).empty());
  const std::string renderer = tkStatusBarTextOf(1);
  switch (tkEngineViewDriver()) {
    case kTkDriverOpenGL:
      EXPECT_EQ(renderer, "Using OpenGL");
      break;
    case kTkDriverSoftware:
      EXPECT_EQ(renderer, "Using Software Renderer");
      break;
    default:
      EXPECT_EQ(renderer, "Using Fallback Renderer");
      break;
  }
  EXPECT_EQ(tkCursorOf(kViewContainer), TkCursor::Cross);
}

// --- Window layout
// ---------------------------------------------------------------------------------

struct ControlCase {
  int id;
  TkControlKind kind;
  int x, y, w, h;
  const char* text;  // nullptr: not checked
};

constexpr ControlCase kLayout[] = {
    {kToolbarFrame, TkControlKind::GroupBox, 5, 0, 710, 50, ""},
    {kToolNew, TkControlKind::ImageButton, 10, 10, 35, 35, nullptr},
    {kToolSave, TkControlKind::ImageButton, 80, 10, 35, 35, nullptr},
    {kToolHelp, TkControlKind::ImageButton, 195, 10, 35, 35, nullptr},
    {kPreviewFrame, TkControlKind::GroupBox, 5, 55, 345, 370, "Preview"},
    {kViewContainer, TkControlKind::Container, 10, 70, 335, 350, nullptr},
    {kPresetList, TkControlKind::ComboBox, 10, 430, 165, 20, "<Camera Default>"},
    {kSetCameraButton, TkControlKind::Button, 180, 430, 85, 20, "Set Camera"},
    {kRenderButton, TkControlKind::Button, 265, 430, 85, 20, "Render Image"},
    {kSidePanel, TkControlKind::TabPanel, 355, 55, 360, 395, "Box Styles"},
    {kFirstStyleButton, TkControlKind::ImageButton, 13, 8, 65, 65, nullptr},
    {kLastStyleButton, TkControlKind::ImageButton, 273, 203, 65, 65, nullptr},
    {kStyleFrame, TkControlKind::Frame, 3, 272, 346, 92, nullptr},
    {kStyleInfoLabel, TkControlKind::Label, 11, 288, 330, 68, nullptr},
    {kFrontLabel, TkControlKind::Label, 3, 8, 75, 15, "Front"},
    {kTopField, TkControlKind::TextField, 3, 103, 300, 20, ""},
    {kBottomButton, TkControlKind::Button, 303, 223, 45, 20, ">>"},
    {kOptimizeCheck, TkControlKind::CheckBox, 8, 247, 220, 20, "Optimize Non-Power2 Textures"},
    {kClearButton, TkControlKind::Button, 198, 338, 75, 25, "Clear"},
    {kReloadAllButton, TkControlKind::Button, 273, 338, 75, 25, "Reload All"},
    {kOutputGroup, TkControlKind::GroupBox, 3, 3, 346, 65, "Output Image"},
    {kOutputPathField, TkControlKind::TextField, 8, 18, 300, 20, ""},
    {kWidthField, TkControlKind::TextField, 43, 43, 40, 20, "800"},
    {kHeightField, TkControlKind::TextField, 128, 43, 40, 20, "836"},
    {kFilterList, TkControlKind::ComboBox, 63, 88, 285, 20, "Anisotropic (high quality)"},
    {kAntiAliasCheck, TkControlKind::CheckBox, 8, 114, 220, 20,
     "Enable Anti-Aliasing (final render)"},
    {kWhiteRadio, TkControlKind::RadioButton, 8, 159, 110, 20, "White Background"},
    {kBlackRadio, TkControlKind::RadioButton, 133, 159, 110, 20, "Black Background"},
    {kAmbientLabel, TkControlKind::Label, 8, 188, 65, 15, "Ambient Light"},
    {kRangeScroll, TkControlKind::ScrollBar, 8, 298, 340, 20, nullptr},
    {kDefaultsButton, TkControlKind::Button, 208, 338, 140, 25, "Defaults"}};

TEST_F(Application, ControlsStandWhereTheyBelong) {
  for (const ControlCase& c : kLayout) {
    SCOPED_TRACE(testing::Message() << "control " << c.id);
    ASSERT_TRUE(tkControlExists(c.id));
    EXPECT_EQ(tkControlKind(c.id), c.kind);
    int x = 0, y = 0, w = 0, h = 0;
    ASSERT_TRUE(tkControlRect(c.id, &x, &y, &w, &h));
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{c.x, c.y, c.w, c.h}));
    if (c.text) {
      EXPECT_EQ(tkText(c.id), c.text);
    }
  }
}

TEST_F(Application, EveryIdOfTheWindowExists) {
  for (int id = 0; id <= 82; ++id) {
    bool unused = id == 23 || id == 24 || id == 28 || id == 33 || id == 76 || id == 77;
    EXPECT_EQ(tkControlExists(id), !unused) << "control " << id;
  }
  for (int item = 0; item <= 20; ++item)
    EXPECT_EQ(tkMenuItemExists(item), item != 5 && item != 18) << "menu item " << item;
}

TEST_F(Application, InitialStatesFollowTheSettings) {
  EXPECT_EQ(tkState(kOptimizeCheck), 1);
  EXPECT_EQ(tkState(kFilterList), 3);
  EXPECT_EQ(tkState(kAntiAliasCheck), 1);
  EXPECT_EQ(tkState(kShadowsCheck), 1);
  EXPECT_EQ(tkState(kWhiteRadio), 1);
  EXPECT_EQ(tkState(kBlackRadio), 0);
  EXPECT_EQ(tkState(kAngleScroll), 0);
  EXPECT_EQ(tkState(kRangeScroll), 12);
  EXPECT_EQ(tkState(kAmbientScroll), 80);
  EXPECT_EQ(tkItemCount(kPresetList), 10);
  EXPECT_EQ(tkItemText(kPresetList, 9), "Bottom Right");
  EXPECT_EQ(tkItemCount(kFilterList), 4);
  // Scroll bars stop one short of their maximum.
  for (auto [id, last] :
       {std::pair{kAngleScroll, 359}, {kRangeScroll, 19}, {kAmbientScroll, 254}}) {
    tkSetState(id, last + 1);
    EXPECT_EQ(tkState(id), last) << id;
  }
  EXPECT_EQ(tkWindowTitle(), "Tallowmere Kestrum v1.0");
}

TEST_F(Application, TooltipsCarryTitleAndText) {
  struct Tip {
    int id;
    const char* title;
    const char* text;
  };
  for (Tip tip : {Tip{kToolNew, "New Session", "begin a new session from scratch."},
                  Tip{kToolReload, "Reload Textures", "recent edits in an external program."},
                  Tip{kOptimizeCheck, "What is this?", "cause slower loading times."},
                  Tip{kFirstStyleButton + 2, "Curved Box", "modern-style box"},
                  Tip{kLastStyleButton, "Disc", "Single disc without box."}}) {
    std::string shown = tkToolTip(tip.id);
    EXPECT_THAT(shown, testing::HasSubstr(tip.title)) << tip.id;
    EXPECT_THAT(shown, testing::HasSubstr(tip.text)) << tip.id;
  }
}

// --- Menu dispatch
// ---------------------------------------------------------------------------------

struct MenuCase {
  const char* name;
  int item;
  std::function<void()> arrange;
  std::function<void()> check;
};

class MenuDispatch : public Application, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(MenuDispatch, ItemActsOnTheSettings) {
  const MenuCase& c = GetParam();
  if (c.arrange) c.arrange();
  App.FrameHoverFlag = 1;
  EXPECT_TRUE(menu(c.item));
  EXPECT_EQ(App.FrameHoverFlag, 0) << "a menu event clears the frame-hover flag";
  c.check();
}

INSTANTIATE_TEST_SUITE_P(
    Items, MenuDispatch,
    ::testing::Values(
        MenuCase{"BoxStylesPage", kMenuBoxStyles, [] { tkSetState(kSidePanel, 2); },
                 [] { EXPECT_EQ(tkState(kSidePanel), 0); }},
        MenuCase{"CoverArtPage", kMenuCoverArt, nullptr, [] { EXPECT_EQ(tkState(kSidePanel), 1); }},
        MenuCase{"RenderSettingsPage", kMenuRenderSettings, [] { tkSetState(kSidePanel, 1); },
                 [] { EXPECT_EQ(tkState(kSidePanel), 2); }},
        MenuCase{"OptimizeToggles", kMenuOptimizeTextures, nullptr,
                 [] {
                   EXPECT_EQ(App.OptimizeTextures, 0);
                   EXPECT_EQ(tkState(kOptimizeCheck), 0);
                 }},
        MenuCase{"FilterNone", kMenuFilterNone, nullptr,
                 [] {
                   EXPECT_EQ(App.FilterType, 0);
                   EXPECT_TRUE(tkMenuItemChecked(kMenuFilterNone));
                   EXPECT_FALSE(tkMenuItemChecked(kMenuFilterAnisotropic));
                   EXPECT_EQ(tkState(kFilterList), 0);
                 }},
        MenuCase{"FilterBilinear", kMenuFilterBilinear, nullptr,
                 [] { EXPECT_EQ(App.FilterType, 1); }},
        MenuCase{"FilterTrilinear", kMenuFilterTrilinear, nullptr,
                 [] { EXPECT_EQ(App.FilterType, 2); }},
        MenuCase{"FilterAnisotropic", kMenuFilterAnisotropic, [] { App.FilterType = 0; },
                 [] { EXPECT_EQ(App.FilterType, 3); }},
        MenuCase{"AntiAliasToggles", kMenuAntiAlias, nullptr,
                 [] {
                   EXPECT_EQ(App.AntiAlias, 0);
                   EXPECT_EQ(tkState(kAntiAliasCheck), 0);
                 }},
        MenuCase{"ShadowsToggle", kMenuShadows, nullptr,
                 [] {
                   EXPECT_EQ(App.Shadows, 0);
                   EXPECT_FALSE(tkMenuItemChecked(kMenuShadows));
                 }},
        MenuCase{"Black", kMenuBlack, nullptr,
                 [] {
                   EXPECT_EQ(App.Background, 1);
                   EXPECT_EQ(tkState(kBlackRadio), 1);
                 }},
        MenuCase{"White", kMenuWhite, [] { App.Background = 1; },
                 [] { EXPECT_EQ(App.Background, 0); }},
        MenuCase{"NewResets", kMenuNew,
                 [] {
                   App.Background = 1;
                   App.LightAngle = 90;
                   SelectBoxStyle(7);
                 },
                 [] {
                   EXPECT_EQ(App.Background, 0);
                   EXPECT_EQ(App.LightAngle, 0);
                   EXPECT_EQ(App.CurrentStyle, 3);
                 }},
        MenuCase{"UnusedItemFive", 5, nullptr,
                 [] {
                   EXPECT_EQ(App.CurrentStyle, 3);
                   EXPECT_EQ(tkState(kSidePanel), 0);
                 }},
        MenuCase{"UnusedItemEighteen", 18, nullptr, [] { EXPECT_EQ(App.Shadows, 1); }}),
    [](const ::testing::TestParamInfo<MenuCase>& param) { return std::string(param.param.name); });

TEST_F(Application, AboutShowsNameBlankLineAndNotice) {
  EXPECT_TRUE(menu(kMenuAbout));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "About");
  EXPECT_EQ(messages[0].buttons, TkMessageButtons::Ok);
  EXPECT_EQ(messages[0].text.rfind("Tallowmere Kestrum v1.0\n \n", 0), 0u) << messages[0].text;
  EXPECT_GT(messages[0].text.size(), std::string("Tallowmere Kestrum v1.0\n \n").size());
  // The third part: the maker's notice, then the project's web address.
  std::string third = messages[0].text.substr(std::string("Tallowmere Kestrum v1.0\n \n").size());
  size_t newline = third.find('\n');
  ASSERT_NE(newline, std::string::npos) << third;
  EXPECT_EQ(third.substr(0, newline), "\u00A9 2026 The Kestrum developers, MIT licence");
  EXPECT_EQ(third.substr(newline + 1), "https://github.com/kestrum/kestrum");
}

TEST_F(Application, HelpWithoutManualDoesNothing) {
  App.StartupFolder = freshFolderPrefix("no_manual");
  EXPECT_TRUE(menu(kMenuHelp));
  EXPECT_TRUE(control(kToolHelp));
  EXPECT_TRUE(messages.empty());
}

TEST_F(Application, SaveAndOpenThroughMenuAndToolbar) {
  std::string folder = freshFolderPrefix("sessions");
  dialogAnswer = folder + "first.ksm";
  SelectBoxStyle(5);
  EXPECT_TRUE(control(kToolSave));  // no name yet: asks for one
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, TkFileDialogKind::Save);
  EXPECT_TRUE(fs::exists(dialogAnswer));
  EXPECT_TRUE(menu(kMenuSave));  // has a name now: asks nothing
  EXPECT_EQ(dialogs.size(), 1u);
  dialogAnswer = folder + "second.ksm";
  EXPECT_TRUE(menu(kMenuSaveAs));  // always asks
  EXPECT_EQ(dialogs.size(), 2u);
  EXPECT_TRUE(fs::exists(dialogAnswer));

  SelectBoxStyle(9);
  dialogAnswer = folder + "first.ksm";
  EXPECT_TRUE(menu(kMenuOpen));
  EXPECT_EQ(App.CurrentStyle, 5);
  SelectBoxStyle(9);
  EXPECT_TRUE(control(kToolOpen));
  EXPECT_EQ(App.CurrentStyle, 5);
  EXPECT_EQ(dialogs.back().kind, TkFileDialogKind::Open);
}

// --- Control dispatch
// ------------------------------------------------------------------------------

TEST_F(Application, StyleButtonsSelectTheirStyle) {
  for (int id = kFirstStyleButton; id <= kLastStyleButton; ++id) {
    App.RedrawFlag = 0;
    ASSERT_TRUE(control(id));
    EXPECT_EQ(App.CurrentStyle, id - 54);
    EXPECT_EQ(visibleStyleCount(), 1);
    EXPECT_TRUE(iNodeVisible(App.ModelTable[id - 54]));
    EXPECT_EQ(tkState(id), 1);
    EXPECT_EQ(App.RedrawFlag, 1);
  }
}

TEST_F(Application, CoverButtonsFillTheirSlots) {
  struct Row {
    int button;
    int slot;
    int field;
    const char* picture;
  };
  const Row rows[] = {{kFrontButton, kSlotFront, kFrontField, "back.png"},
                      {kLeftButton, kSlotLeft, kLeftField, "top.png"},
                      {kTopButton, kSlotTop, kTopField, "front.png"},
                      {kBackButton, kSlotBack, kBackField, "left.png"},
                      {kRightButton, kSlotRight, kRightField, "bottom.png"},
                      {kBottomButton, kSlotBottom, kBottomField, "right.png"}};
  for (const Row& row : rows) {
    dialogAnswer = stockPicture(row.picture);
    ASSERT_TRUE(control(row.button));
    EXPECT_EQ(App.Covers[row.slot].Path, dialogAnswer) << row.button;
    EXPECT_NE(App.Covers[row.slot].Texture, 0) << row.button;
    EXPECT_EQ(tkText(row.field), dialogAnswer) << row.button;
  }
  EXPECT_TRUE(control(kClearButton));
  for (const Row& row : rows) {
    EXPECT_TRUE(App.Covers[row.slot].Path.empty());
    EXPECT_EQ(App.Covers[row.slot].Texture, 0);
  }
}

TEST_F(Application, SettingsControlsSetTheRecordAndTheRig) {
  tkSetState(kShadowsCheck, 0);
  control(kShadowsCheck);
  EXPECT_EQ(App.Shadows, 0);
  tkSetState(kAntiAliasCheck, 0);
  control(kAntiAliasCheck);
  EXPECT_EQ(App.AntiAlias, 0);
  tkSetState(kOptimizeCheck, 0);
  control(kOptimizeCheck);
  EXPECT_EQ(App.OptimizeTextures, 0);
  tkSetState(kBlackRadio, 1);
  control(kBlackRadio);
  EXPECT_EQ(App.Background, 1);
  tkSetState(kWhiteRadio, 1);
  control(kWhiteRadio);
  EXPECT_EQ(App.Background, 0);
  tkSetState(kFilterList, 1);
  control(kFilterList);
  EXPECT_EQ(App.FilterType, 1);
  EXPECT_TRUE(tkMenuItemChecked(kMenuFilterBilinear));

  tkSetState(kAngleScroll, 90);
  control(kAngleScroll);
  EXPECT_EQ(App.LightAngle, 90);
  EXPECT_NEAR(rotationOf(App.LightPivot).y, 90.0f, 1e-3f);
  tkSetState(kRangeScroll, 17);
  control(kRangeScroll);
  EXPECT_FLOAT_EQ(App.LightRange, 17.0f);
  tkSetState(kAmbientScroll, 200);
  control(kAmbientScroll);
  EXPECT_EQ(App.AmbientLevel, 200);

  control(kDefaultsButton);
  EXPECT_EQ(App.LightAngle, 0);
  EXPECT_FLOAT_EQ(App.LightRange, 12.0f);
  EXPECT_EQ(App.AmbientLevel, 80);
  EXPECT_EQ(App.FilterType, 3);
  EXPECT_EQ(tkState(kAngleScroll), 0);
}

TEST_F(Application, SizeFieldsAreHeldToTheDisplay) {
  tkSetText(kWidthField, "5000");
  control(kWidthField, TkControlEvent::LostFocus);
  EXPECT_EQ(tkText(kWidthField), "1272");
  tkSetText(kHeightField, "5000");
  control(kHeightField);
  EXPECT_EQ(tkText(kHeightField), "992");
}

TEST_F(Application, OutputButtonAsksForTheImageFile) {
  dialogAnswer = freshFolderPrefix("output") + "shot.png";
  control(kOutputPathButton);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, TkFileDialogKind::Save);
  EXPECT_EQ(App.OutputPath, dialogAnswer);
  EXPECT_EQ(tkText(kOutputPathField), dialogAnswer);
}

TEST_F(Application, BothRenderButtonsHandTheSceneToTheRenderer) {
  // A stand-in renderer in a start-up folder of its own records each hand-off it was given.
  std::string startup = freshFolderPrefix("render_startup");
  std::string profile = freshFolderPrefix("render_profile");
  {
    std::ofstream script(startup + "kilnshot");
    script << "#!/bin/sh\ncat '" << profile << "kestrum.tmp' >> '" << startup
           << "handed.bin' && echo x >> '" << startup << "runs.txt' && : > '" << startup
           << "shot.png'\n";
  }
  fs::permissions(startup + "kilnshot", fs::perms::owner_all);
  App.StartupFolder = startup;
  App.ProfileFolder = profile;
  dialogAnswer = startup + "shot.png";
  EXPECT_TRUE(control(kOutputPathButton));
  for (int id : {kToolRender, kRenderButton}) EXPECT_TRUE(control(id));
  std::ifstream runs(startup + "runs.txt");
  std::string line;
  int count = 0;
  while (std::getline(runs, line)) ++count;
  EXPECT_EQ(count, 2);
  EXPECT_GT(fs::file_size(startup + "handed.bin"), 0u);
  EXPECT_FALSE(fs::exists(profile + "kestrum.tmp")) << "the hand-off file is removed after";
  ASSERT_EQ(messages.size(), 2u);
  for (const TkMessageRequest& box : messages) EXPECT_EQ(box.title, "Information");
}

TEST_F(Application, ViewContainerGivesFocusToThePanelOnlyWhenItLosesIt) {
  App.RedrawFlag = 0;
  EXPECT_TRUE(control(kViewContainer));  // a click on the view: nothing
  EXPECT_EQ(App.RedrawFlag, 0);
  EXPECT_EQ(App.CurrentStyle, 3);
  tkSetFocus(kWidthField);
  EXPECT_TRUE(control(kViewContainer, TkControlEvent::LostFocus));
  // The window is not active offscreen: the panel is where the focus goes once it is.
  EXPECT_TRUE(tkFocusWithin(kSidePanel));
}

TEST_F(Application, UnlistedControlsDoNothing) {
  for (int id :
       {int{kSidePanel}, int{kOutputPathField}, int{kFrontField}, int{kBottomField}, 83, 200}) {
    App.RedrawFlag = 0;
    App.FrameHoverFlag = 1;
    EXPECT_TRUE(control(id));
    EXPECT_EQ(App.RedrawFlag, 0) << id;
    EXPECT_EQ(App.FrameHoverFlag, 0) << "any control event clears the frame-hover flag";
  }
  EXPECT_EQ(App.CurrentStyle, 3);
}

// --- Camera presets
// --------------------------------------------------------------------------------

TEST_F(Application, PresetListAndSetCameraPlaceTheView) {
  for (int index = 1; index < 10; ++index) {
    iMoveNode(App.Camera, 0, 0, 0.5f);  // some zoom that a preset undoes
    tkSetState(kPresetList, index);
    ASSERT_TRUE(control(kPresetList));
    const CameraPreset& preset = CameraPresetTable[index];
    expectNear(rotationOf(App.CameraPivot), {preset.X, preset.Y, 0}, kPlacementTolerance);
    expectNear(positionOf(App.Camera), kCameraHomePosition, kPlacementTolerance);
    EXPECT_EQ(App.LastPreset, index);
  }
  // Choosing the entry already chosen changes nothing; Set Camera applies it again.
  iMoveNode(App.Camera, 0, 0, 0.5f);
  EngineVec3 zoomed = positionOf(App.Camera);
  control(kPresetList);
  expectNear(positionOf(App.Camera), zoomed, kPlacementTolerance);
  control(kSetCameraButton);
  expectNear(positionOf(App.Camera), kCameraHomePosition, kPlacementTolerance);
  expectNear(rotationOf(App.CameraPivot), {-35, 0, 0}, kPlacementTolerance);
}

// --- Ending the loop
// ---------------------------------------------------------------------------------

TEST_F(Application, ExitEndsAtOnceAndLeavesLaterEventsUnhandled) {
  tkPostEvent({TkEventKind::Menu, kMenuExit});
  tkPostEvent({TkEventKind::Control, kFirstStyleButton + 10});
  EXPECT_FALSE(MainLoopPass());
  EXPECT_EQ(tkPendingEventCount(), 1u);
  EXPECT_EQ(App.CurrentStyle, 3);
}

TEST_F(Application, CloseEndsAfterItsPass) {
  App.RedrawFlag = 1;
  int frames = tkEngineViewFrameCount();
  EXPECT_FALSE(pass({TkEventKind::Close}));
  EXPECT_EQ(App.RedrawFlag, 0) << "the pass of the close event still draws";
  EXPECT_GT(tkEngineViewFrameCount(), frames);
  EXPECT_TRUE(tkWindowIsOpen());
}

// The loop ends into ShutDown, which ends the process with status 0 and asks nothing.
TEST(ShutDown, ExitAndCloseEndTheProcessWithStatusZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (TkEvent last : {TkEvent{TkEventKind::Menu, kMenuExit}, TkEvent{TkEventKind::Close}}) {
    EXPECT_EXIT(
        {
          startFresh();
          tkSetMessageHook([](const TkMessageRequest&) {
            std::fprintf(stderr, "asked something\n");
            return TkMessageAnswer::Cancel;
          });
          tkPostEvent({TkEventKind::Menu, kMenuBlack});
          tkPostEvent(last);
          MainLoop();
          if (App.Background != 1) std::_Exit(3);
          ShutDown();
        },
        ::testing::ExitedWithCode(0), ::testing::Not(::testing::HasSubstr("asked something")));
  }
}

TEST_F(Application, OtherEventsKeepTheLoopGoing) {
  for (TkEvent event : {TkEvent{TkEventKind::Input}, TkEvent{TkEventKind::FrameHover},
                        TkEvent{TkEventKind::Menu, 99}, TkEvent{TkEventKind::Control, 99}})
    EXPECT_TRUE(pass(event));
}

// --- Frame hover
// -----------------------------------------------------------------------------------

TEST_F(Application, FrameHoverHoldsRedrawsUntilAMenuOrControlEvent) {
  EXPECT_TRUE(pass({TkEventKind::Input}));  // the first pass draws what start-up asked for
  EXPECT_EQ(App.RedrawFlag, 0);
  EXPECT_TRUE(pass({TkEventKind::FrameHover}));
  EXPECT_EQ(App.FrameHoverFlag, 1);

  App.RedrawFlag = 1;
  int frames = tkEngineViewFrameCount();
  EXPECT_TRUE(pass({TkEventKind::Input}));
  EXPECT_EQ(tkEngineViewFrameCount(), frames) << "no redraw while the flag is set";
  EXPECT_EQ(App.RedrawFlag, 1);
  EXPECT_EQ(App.FrameHoverFlag, 1) << "plain input does not clear it";

  EXPECT_TRUE(menu(kMenuCoverArt));
  EXPECT_EQ(App.FrameHoverFlag, 0);
  EXPECT_EQ(tkEngineViewFrameCount(), frames) << "the draw test comes before the event";
  EXPECT_TRUE(pass({TkEventKind::Input}));
  EXPECT_GT(tkEngineViewFrameCount(), frames);
  EXPECT_EQ(App.RedrawFlag, 0);
}

// --- Mouse navigation through the loop
// ------------------------------------------------------------

namespace {

// Stands in for the pointer and buttons over the real window.
struct FakePointer : ViewportHost {
  int x = -1, y = -1, buttons = 0;
  void pointerPosition(int* px, int* py) override {
    *px = x;
    *py = y;
  }
  int mouseButtons() override { return buttons; }
  void setViewCursor(ViewCursor cursor) override {
    kestrum::toolkitViewportHost().setViewCursor(cursor);
  }
  void enableView(bool on) override { kestrum::toolkitViewportHost().enableView(on); }
  void activateMainWindow() override {}
  int presetSelection() override { return kestrum::toolkitViewportHost().presetSelection(); }
  void moveTo(int cx, int cy) {
    x = cx;
    y = cy;
    iSetMousePosition(cx - 10, cy - 70);  // the engine sees the pointer relative to the view
  }
};

struct DragCase {
  const char* name;
  int buttons;
  int dx, dy;
  EngineVec3 pivot;  // rotation after the drag
  float zoom;        // distance the camera moved along its own z axis
  TkCursor cursor;   // while dragging
};

}  // namespace

class Drag : public Application, public ::testing::WithParamInterface<DragCase> {
 protected:
  void SetUp() override {
    Application::SetUp();
    kestrum::setViewportHost(&pointer);
  }
  void TearDown() override {
    kestrum::setViewportHost(nullptr);
    Application::TearDown();
  }
  FakePointer pointer;
};

TEST_P(Drag, TurnsOrZoomsByThePointersMotion) {
  const DragCase& c = GetParam();
  EngineVec3 home = positionOf(App.Camera);
  pointer.moveTo(150, 200);
  pointer.buttons = c.buttons;
  int frames = tkEngineViewFrameCount();
  ASSERT_TRUE(pass({TkEventKind::Input}));  // the press: tracking starts, nothing turns
  EXPECT_EQ(App.Tracking, 1);
  EXPECT_EQ(App.PollEvents, 1);
  expectNear(rotationOf(App.CameraPivot), {0, 0, 0}, kPlacementTolerance);
  pointer.moveTo(150 + c.dx, 200 + c.dy);
  ASSERT_TRUE(MainLoopPass());  // polling: no event needed
  EXPECT_EQ(tkCursorOf(kViewContainer), c.cursor);
  pointer.buttons = 0;
  ASSERT_TRUE(MainLoopPass());
  EXPECT_EQ(App.Tracking, 0);
  EXPECT_EQ(tkCursorOf(kViewContainer), TkCursor::Cross);
  EXPECT_GE(tkEngineViewFrameCount(), frames + 2) << "each step of a drag is drawn";

  expectNear(rotationOf(App.CameraPivot), c.pivot, kPlacementTolerance);
  EngineVec3 now = positionOf(App.Camera);
  // The camera looks down by 35 degrees: its own z axis is (0, -sin 35, cos 35) under the pivot.
  const float s = std::sin(35.0f * 3.14159265f / 180.0f),
              co = std::cos(35.0f * 3.14159265f / 180.0f);
  expectNear(now, {home.x, home.y - c.zoom * s, home.z + c.zoom * co}, kPlacementTolerance);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, Drag,
    ::testing::Values(
        DragCase{"PrimaryDown", kPrimaryButton, 0, 10, {5, 0, 0}, 0, TkCursor::SizeAll},
        DragCase{"PrimaryRight", kPrimaryButton, 10, 0, {0, 10, 0}, 0, TkCursor::SizeAll},
        DragCase{"SecondaryDown", kSecondaryButton, 0, 10, {0, 0, 0}, 0.25f, TkCursor::SizeVer},
        DragCase{"SecondaryRight", kSecondaryButton, 10, 0, {0, 0, 0}, 0, TkCursor::SizeVer},
        DragCase{
            "BothTurn", kPrimaryButton | kSecondaryButton, 0, 10, {5, 0, 0}, 0, TkCursor::SizeAll}),
    [](const ::testing::TestParamInfo<DragCase>& param) { return std::string(param.param.name); });

TEST_F(Drag, AfterFrameHoverAPressOnlyClearsTheFlag) {
  pass({TkEventKind::FrameHover});
  ASSERT_EQ(App.FrameHoverFlag, 1);
  pointer.moveTo(150, 200);
  pass({TkEventKind::Input});
  EXPECT_EQ(App.PollEvents, 0) << "the view does not react while the flag is set";
  pointer.buttons = kPrimaryButton;
  pass({TkEventKind::Input});
  EXPECT_EQ(App.FrameHoverFlag, 0);
  EXPECT_EQ(App.Tracking, 0) << "that pass only clears the flag";
  pointer.moveTo(150, 220);
  MainLoopPass();  // tracking starts here, from the pointer's position now
  pointer.moveTo(150, 230);
  MainLoopPass();
  expectNear(rotationOf(App.CameraPivot), {5, 0, 0}, kPlacementTolerance);
}

// --- Drawing
// -----------------------------------------------------------------------------------------

TEST_F(Application, BackgroundDecidesTheShadowAtEachFrame) {
  App.Background = 1;
  App.Shadows = 1;
  DrawFrame();
  EXPECT_FALSE(iNodeVisible(App.ModelTable[0]));
  App.Background = 0;
  DrawFrame();
  EXPECT_TRUE(iNodeVisible(App.ModelTable[0]));
  App.Shadows = 0;
  DrawFrame();
  EXPECT_FALSE(iNodeVisible(App.ModelTable[0]));
}

TEST_F(Application, PreviewShowsTheModel) {
  if (tkEngineViewDriver() == kTkDriverFallback) GTEST_SKIP() << "no 3D renderer here";
  DrawFrame();
  int w = 0, h = 0;
  std::vector<uint8_t> rgba = tkGrabEngineView(&w, &h);
  ASSERT_EQ(w, 335);
  ASSERT_EQ(h, 350);
  // The box fills the middle of the view; the corners show the white background.
  auto at = [&](int x, int y) { return rgba.data() + (size_t(y) * w + x) * 4; };
  EXPECT_EQ(at(2, 2)[0], 255);
  int coloured = 0;
  for (int y = h / 4; y < 3 * h / 4; ++y)
    for (int x = w / 4; x < 3 * w / 4; ++x) {
      const uint8_t* p = at(x, y);
      if (p[0] < 200 || p[1] < 200 || p[2] < 200) ++coloured;
    }
  EXPECT_GT(coloured, (w / 2) * (h / 2) / 4) << "the middle of the view is mostly background";
}
