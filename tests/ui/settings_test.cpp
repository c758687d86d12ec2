// Render settings: every panel control and its menu twin, the output file and size, Defaults and
// New Session.
#include <cmath>
#include <functional>

#include "engine/engine.h"
#include "shot/shot.h"
#include "ui_fixture.h"
#include "viewport/viewport.h"

namespace uitest {
namespace {

class Settings : public UiTest {
 protected:
  // Menu marks, panel controls, App and the scene all tell the same story.
  void expectAllAgree() {
    EXPECT_EQ(tkMenuItemChecked(kMenuOptimizeTextures), App.OptimizeTextures == 1);
    EXPECT_EQ(tkState(kOptimizeCheck), App.OptimizeTextures);
    for (int type = 0; type < 4; ++type) {
      EXPECT_EQ(tkMenuItemChecked(kMenuFilterNone + type), App.FilterType == type) << type;
    }
    EXPECT_EQ(tkState(kFilterList), App.FilterType);
    EXPECT_EQ(tkMenuItemChecked(kMenuAntiAlias), App.AntiAlias == 1);
    EXPECT_EQ(tkState(kAntiAliasCheck), App.AntiAlias);
    EXPECT_EQ(tkMenuItemChecked(kMenuShadows), App.Shadows == 1);
    EXPECT_EQ(tkState(kShadowsCheck), App.Shadows);
    EXPECT_EQ(tkMenuItemChecked(kMenuWhite), App.Background == 0);
    EXPECT_EQ(tkMenuItemChecked(kMenuBlack), App.Background == 1);
    EXPECT_EQ(tkState(kWhiteRadio), App.Background == 0 ? 1 : 0);
    EXPECT_EQ(tkState(kBlackRadio), App.Background == 1 ? 1 : 0);
    EXPECT_EQ(tkState(kAngleScroll), App.LightAngle);
    EXPECT_EQ(tkState(kRangeScroll), static_cast<int>(std::nearbyint(App.LightRange)));
    EXPECT_EQ(tkState(kAmbientScroll), App.AmbientLevel);

    EngineVec3 rotation;
    iNodeRotation(App.LightPivot, &rotation);
    EXPECT_NEAR(std::remainder(rotation.y - App.LightAngle, 360.0f), 0.0f, 1e-3f);
    EXPECT_FLOAT_EQ(iLightRadius(App.Light), App.LightRange);
    uint32_t grey = static_cast<uint32_t>(App.AmbientLevel);
    EXPECT_EQ(iAmbientLightColour(), 0xFF000000u | grey | grey << 8 | grey << 16);
    int nodes = 0;
    for (const TextureBinding& binding : App.TextureBindings) {
      if (binding.Node == 0) continue;
      int flags = iNodeMaterial(binding.Node).flags;
      ASSERT_EQ((flags & kFlagBilinear) != 0, App.FilterType >= 1) << binding.Node;
      ASSERT_EQ((flags & kFlagTrilinear) != 0, App.FilterType >= 2) << binding.Node;
      ASSERT_EQ((flags & kFlagAnisotropic) != 0, App.FilterType >= 3) << binding.Node;
      ++nodes;
    }
    EXPECT_GT(nodes, 100);
  }
};

struct HandlerCase {
  const char* name;
  std::function<void(Settings&)> act;
  std::function<bool()> holds;  // the setting the event asked for
};

TEST_F(Settings, EveryHandlerAndItsMenuTwinKeepMarksAndControlsInStep) {
  const std::vector<HandlerCase> cases = {
      {"list: bilinear", [](Settings& t) { t.click(kFilterList, 1); },
       [] { return App.FilterType == 1; }},
      {"menu: trilinear", [](Settings& t) { t.menu(kMenuFilterTrilinear); },
       [] { return App.FilterType == 2; }},
      {"menu: none", [](Settings& t) { t.menu(kMenuFilterNone); },
       [] { return App.FilterType == 0; }},
      {"list: anisotropic", [](Settings& t) { t.click(kFilterList, 3); },
       [] { return App.FilterType == 3; }},
      {"menu: anisotropic", [](Settings& t) { t.menu(kMenuFilterAnisotropic); },
       [] { return App.FilterType == 3; }},
      {"check: anti-aliasing off", [](Settings& t) { t.click(kAntiAliasCheck, 0); },
       [] { return App.AntiAlias == 0; }},
      {"menu: anti-aliasing on", [](Settings& t) { t.menu(kMenuAntiAlias); },
       [] { return App.AntiAlias == 1; }},
      {"menu: anti-aliasing off", [](Settings& t) { t.menu(kMenuAntiAlias); },
       [] { return App.AntiAlias == 0; }},
      {"check: anti-aliasing on", [](Settings& t) { t.click(kAntiAliasCheck, 1); },
       [] { return App.AntiAlias == 1; }},
      {"check: shadows off", [](Settings& t) { t.click(kShadowsCheck, 0); },
       [] { return App.Shadows == 0; }},
      {"menu: shadows on", [](Settings& t) { t.menu(kMenuShadows); },
       [] { return App.Shadows == 1; }},
      {"menu: shadows off", [](Settings& t) { t.menu(kMenuShadows); },
       [] { return App.Shadows == 0; }},
      {"menu: shadows on again", [](Settings& t) { t.menu(kMenuShadows); },
       [] { return App.Shadows == 1; }},
      {"radio: black", [](Settings& t) { t.click(kBlackRadio, 1); },
       [] { return App.Background == 1; }},
      {"menu: white", [](Settings& t) { t.menu(kMenuWhite); }, [] { return App.Background == 0; }},
      {"menu: black", [](Settings& t) { t.menu(kMenuBlack); }, [] { return App.Background == 1; }},
      {"radio: white", [](Settings& t) { t.click(kWhiteRadio, 1); },
       [] { return App.Background == 0; }},
      {"check: optimise off", [](Settings& t) { t.click(kOptimizeCheck, 0); },
       [] { return App.OptimizeTextures == 0; }},
      {"menu: optimise on", [](Settings& t) { t.menu(kMenuOptimizeTextures); },
       [] { return App.OptimizeTextures == 1; }},
      {"menu: optimise off", [](Settings& t) { t.menu(kMenuOptimizeTextures); },
       [] { return App.OptimizeTextures == 0; }},
      {"scroll: angle 120", [](Settings& t) { t.click(kAngleScroll, 120); },
       [] { return App.LightAngle == 120; }},
      {"scroll: angle past its end", [](Settings& t) { t.click(kAngleScroll, 400); },
       [] { return App.LightAngle == 359; }},
      {"scroll: range to its end", [](Settings& t) { t.click(kRangeScroll, 25); },
       [] { return App.LightRange == 19.0f; }},
      {"scroll: range 9", [](Settings& t) { t.click(kRangeScroll, 9); },
       [] { return App.LightRange == 9.0f; }},
      {"scroll: ambient to its end", [](Settings& t) { t.click(kAmbientScroll, 255); },
       [] { return App.AmbientLevel == 254; }},
      {"button: defaults", [](Settings& t) { t.control(kDefaultsButton); },
       [] {
         return App.FilterType == 3 && App.AntiAlias == 1 && App.Shadows == 1 &&
                App.Background == 0 && App.LightAngle == 0 && App.LightRange == 12.0f &&
                App.AmbientLevel == 80 && App.OptimizeTextures == 0;
       }},
  };
  expectAllAgree();
  for (const HandlerCase& c : cases) {
    SCOPED_TRACE(c.name);
    App.RedrawFlag = 0;
    c.act(*this);
    EXPECT_TRUE(c.holds());
    expectAllAgree();
  }
}

TEST_F(Settings, BlackBackgroundHidesTheShadowModel) {
  click(kBlackRadio, 1);
  EXPECT_TRUE(tkMenuItemChecked(kMenuBlack));
  EXPECT_FALSE(tkMenuItemChecked(kMenuWhite));
  DrawFrame();
  EXPECT_FALSE(iNodeVisible(App.ModelTable[0]));
  click(kWhiteRadio, 1);
  DrawFrame();
  EXPECT_TRUE(iNodeVisible(App.ModelTable[0]));
}

TEST_F(Settings, OutputImageDialogSetsThePathAndCancellingEmptiesIt) {
  fs::path out = tmp / "shot.jpeg";
  answers = {out.string()};
  control(kOutputPathButton);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, TkFileDialogKind::Save);
  EXPECT_EQ(dialogs[0].title, "Save Image As..");
  EXPECT_EQ(dialogs[0].defaultFile, "*.*");
  EXPECT_EQ(dialogs[0].filters,
            "Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*");
  EXPECT_EQ(App.OutputPath, out.string());
  EXPECT_EQ(tkText(kOutputPathField), out.string());

  answers = {"no_extension"};
  control(kOutputPathButton);
  EXPECT_EQ(App.OutputPath, "no_extension");  // taken as returned

  answers = {""};
  control(kOutputPathButton);
  EXPECT_EQ(App.OutputPath, "");
  EXPECT_EQ(tkText(kOutputPathField), "");

  // Typing into the field changes nothing.
  typeInto(kOutputPathField, "typed.png");
  EXPECT_EQ(App.OutputPath, "");
}

TEST_F(Settings, OutputSizeFieldsAreHeldToTheDisplayOnlyWhenAboveIt) {
  ASSERT_EQ(App.MaxOutputWidth, 1272);
  ASSERT_EQ(App.MaxOutputHeight, 992);
  struct Case {
    int field;
    const char* typed;
    const char* shown;
  };
  const Case cases[] = {
      {kWidthField, "5000", "1272"},
      {kWidthField, "1273", "1272"},
      {kWidthField, "1272", "1272"},
      {kWidthField, "640", "640"},
      {kWidthField, "$FFFF", "1272"},
      {kWidthField, "$4F8", "$4F8"},
      {kWidthField, "%11111111111", "1272"},
      {kWidthField, "%101", "%101"},
      {kWidthField, "  +900x", "  +900x"},
      {kWidthField, "abc", "abc"},
      {kWidthField, "-5000", "-5000"},
      {kWidthField, "0", "0"},
      {kWidthField, "", ""},
      {kHeightField, "993", "992"},
      {kHeightField, "992", "992"},
      {kHeightField, "\t2000 px", "992"},
      {kHeightField, "99999999999999", "992"},
  };
  const int width = App.OutputWidth, height = App.OutputHeight;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field == kWidthField ? "width " : "height ") + "'" + c.typed + "'");
    typeInto(c.field, c.typed);
    EXPECT_EQ(tkText(c.field), c.shown);
  }
  // The record takes the fields only when a session or render job is written.
  EXPECT_EQ(App.OutputWidth, width);
  EXPECT_EQ(App.OutputHeight, height);
}

TEST_F(Settings, DefaultsKeepTextureOptimisationAndEmptyTheOutputPath) {
  answers = {(tmp / "out.png").string()};
  control(kOutputPathButton);
  typeInto(kWidthField, "300");
  click(kOptimizeCheck, 0);
  click(kBlackRadio, 1);
  click(kAmbientScroll, 10);
  control(kDefaultsButton);
  EXPECT_EQ(App.OutputPath, "");
  EXPECT_EQ(tkText(kOutputPathField), "");
  EXPECT_EQ(tkText(kWidthField), "800");
  EXPECT_EQ(tkText(kHeightField), "836");
  EXPECT_EQ(App.OutputWidth, 800);
  EXPECT_EQ(App.OutputHeight, 836);
  EXPECT_EQ(App.OptimizeTextures, 0);
  EXPECT_EQ(tkState(kOptimizeCheck), 0);
  EXPECT_FALSE(tkMenuItemChecked(kMenuOptimizeTextures));
  expectAllAgree();
}

TEST_F(Settings, NewSessionResetsEverythingTextureOptimisationIncluded) {
  fs::path picture = tmp / "front.png";
  writePicture(picture, 0xFF00A0FFu);
  answers = {picture.string(), (tmp / "out.png").string()};
  control(kFrontButton);
  control(kOutputPathButton);
  click(kFirstStyleButton + 12, 1);
  click(kOptimizeCheck, 0);
  menu(kMenuFilterNone);
  click(kAngleScroll, 45);
  click(kRangeScroll, 17);
  iRotateNode(App.CameraPivot, 20, 60, 0);
  iPositionNode(App.Camera, 0, 3, -9);
  App.SessionPath = (tmp / "old.ksm").string();
  tkSetWindowTitle(std::string(kWindowTitle) + " - old.ksm");

  for (int trigger : {0, 1}) {
    SCOPED_TRACE(trigger == 0 ? "menu New" : "toolbar New");
    if (trigger == 0)
      menu(kMenuNew);
    else
      control(kToolNew);
    EXPECT_EQ(App.SessionPath, "");
    EXPECT_EQ(App.OutputPath, "");
    EXPECT_EQ(App.OptimizeTextures, 1);
    EXPECT_EQ(tkState(kOptimizeCheck), 1);
    EXPECT_TRUE(tkMenuItemChecked(kMenuOptimizeTextures));
    EXPECT_EQ(App.CurrentStyle, 3);
    EXPECT_EQ(tkState(kFirstStyleButton + 2), 1);
    EXPECT_EQ(App.Covers[kSlotFront].Path, "");
    EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
    EXPECT_EQ(tkText(kFrontField), "");
    EXPECT_EQ(App.FilterType, 3);
    EXPECT_EQ(App.OutputWidth, 800);
    EXPECT_EQ(tkText(kHeightField), "836");
    EngineVec3 rotation, position;
    iNodeRotation(App.CameraPivot, &rotation);
    iNodePositionP(App.Camera, &position);
    EXPECT_NEAR(rotation.x, 0, 1e-4);
    EXPECT_NEAR(rotation.y, 0, 1e-4);
    EXPECT_NEAR(position.y, 4.75, 1e-4);
    EXPECT_NEAR(position.z, -5.0, 1e-4);
    EXPECT_EQ(tkWindowTitle(), kWindowTitle);
    expectAllAgree();
  }
}

}  // namespace
}  // namespace uitest
