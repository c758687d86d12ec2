// Box styles and cover art slots, driven through the main loop as the user drives them.
#include <array>
#include <set>

#include "engine/engine.h"
#include "shot/shot.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

constexpr std::array<const char*, 20> kExpectedInformation = {
    "Thick Book - Wide bound hardback book with front, spine and back covers.",
    "Thin Book - Narrow bound hardback book with front, spine and back covers.",
    "Curved Box - Large indented modern-style box with front, left and back covers.",
    "Indent Box - Large indented VHS-style box with front, left and back covers.",
    "Thick Box - Large coated-cardboard box covered on all sides.",
    "Thin Box - Narrow coated-carboard box covered on all sides.",
    "Card - Business card with front and back sides and slightly rounded corners.",
    "Card Rounded - Business card with front and back sides and very rounded corners.",
    "DVD Case - Slim DVD case with front, left and back covers.",
    "DVD Case 1 Disc - Slim DVD case opened with front, left and back covers.",
    "DVD Case 2 Discs - Wide DVD case opened with 2 discs. Front, left and back covers.",
    "DVD Case 3 Discs - Wide DVD case opened with 3 discs. Front, left and back covers.",
    "Jewel Case - Slimline Jewel CD case with front and back covers.",
    "Jewel Case with CD - Slimline Jewel CD case with disc. Front and back covers.",
    "Jewel Case with CD out - Slimline Jewel CD case with disc out. Front and back covers.",
    "Screenshot - Flat 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Screenshot Curve - Curved 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Screenshot Pinch - Pinched 3D Screenshot at 4:3 apsect ratio. Front-side only.",
    "Screenshot Ripple - Rippled 3D Screenshot at 4:3 apsect ratio. Front-side only",
    "Disc - Single disc without box.",
};

struct SlotCase {
  int slot;
  int button;
  int field;
  const char* title;
};
constexpr std::array<SlotCase, 6> kSlots = {{
    {kSlotFront, kFrontButton, kFrontField, "Open Front Image.."},
    {kSlotBack, kBackButton, kBackField, "Open Back Image.."},
    {kSlotLeft, kLeftButton, kLeftField, "Open Left Image.."},
    {kSlotRight, kRightButton, kRightField, "Open Right Image.."},
    {kSlotTop, kTopButton, kTopField, "Open Top Image.."},
    {kSlotBottom, kBottomButton, kBottomField, "Open Bottom Image.."},
}};
constexpr const char* kImageFilters =
    "Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*";

EngineHandle shadowMesh() {
  return iNodeChildren(iNodeChildren(App.ModelTable[0], 0), 0);
}

class Styles : public UiTest {};
class Covers : public UiTest {};

TEST_F(Styles, EachButtonShowsItsModelAloneAndItsText) {
  for (int style = 1; style <= 20; ++style) {
    SCOPED_TRACE("style " + std::to_string(style));
    click(kFirstStyleButton + style - 1, 1);
    EXPECT_EQ(App.CurrentStyle, style);
    for (int other = 1; other <= 20; ++other) {
      EXPECT_EQ(iNodeVisible(App.ModelTable[other]), other == style) << "model " << other;
      EXPECT_EQ(tkState(kFirstStyleButton + other - 1), other == style ? 1 : 0)
          << "button " << other;
    }
    EXPECT_EQ(tkText(kStyleInfoLabel), kExpectedInformation[style - 1]);
    EXPECT_EQ(BoxStyleInformation(style), std::string(kExpectedInformation[style - 1]));
    EXPECT_EQ(iNodeMaterial(shadowMesh()).textures[0], App.ShadowTextures[style]);
    EXPECT_NE(App.ShadowTextures[style], 0);
  }
}

TEST_F(Styles, StartUpShowsCurvedBoxAndClickingThePressedButtonKeepsIt) {
  EXPECT_EQ(App.CurrentStyle, 3);
  EXPECT_EQ(tkState(kFirstStyleButton + 2), 1);
  EXPECT_EQ(tkText(kStyleInfoLabel), kExpectedInformation[2]);
  // The toolkit flips a toggle button before it reports the click.
  App.RedrawFlag = 0;
  click(kFirstStyleButton + 2, 0);
  EXPECT_EQ(tkState(kFirstStyleButton + 2), 1);
  EXPECT_EQ(App.CurrentStyle, 3);
  EXPECT_TRUE(iNodeVisible(App.ModelTable[3]));
}

TEST_F(Styles, StyleOutsideTheCatalogueChangesNothing) {
  click(kFirstStyleButton + 8, 1);
  for (int style : {0, 21, -3, 1000}) {
    SelectBoxStyle(style);
    EXPECT_EQ(App.CurrentStyle, 9);
    EXPECT_TRUE(iNodeVisible(App.ModelTable[9]));
    EXPECT_EQ(tkState(kFirstStyleButton + 8), 1);
    EXPECT_STREQ(BoxStyleInformation(style), "");
  }
}

TEST_F(Covers, ChosenPictureReachesEveryBoundFaceOfItsSlotAndNoOther) {
  for (const SlotCase& c : kSlots) {
    SCOPED_TRACE(c.title);
    fs::path picture = tmp / ("slot" + std::to_string(c.slot) + ".png");
    writePicture(picture, 0xFF000000u | (0x30u * (c.slot + 1)));
    answers = {picture.string()};
    dialogs.clear();
    control(c.button);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, TkFileDialogKind::Open);
    EXPECT_EQ(dialogs[0].title, c.title);
    EXPECT_EQ(dialogs[0].defaultFile, "*.*");
    EXPECT_EQ(dialogs[0].filters, kImageFilters);
    EXPECT_EQ(dialogs[0].filterIndex, 0);
    EXPECT_EQ(App.Covers[c.slot].Path, picture.string());
    EXPECT_EQ(tkText(c.field), picture.string());
    EngineHandle texture = App.Covers[c.slot].Texture;
    ASSERT_NE(texture, 0);
    expectSlotShows(c.slot, texture);
    // No face of another slot, and no face without a cover name, shows it.
    for (const TextureBinding& binding : App.TextureBindings) {
      if (CoverSlotOfTextureName(binding.Name) == c.slot) continue;
      EXPECT_NE(iNodeMaterial(binding.Node).textures[0], texture) << binding.Name;
    }
  }
}

TEST_F(Covers, CancelledDialogChangesNothing) {
  fs::path picture = tmp / "front.png";
  writePicture(picture, 0xFF0000FFu);
  answers = {picture.string()};
  control(kFrontButton);
  EngineHandle texture = App.Covers[kSlotFront].Texture;
  answers = {""};
  control(kFrontButton);
  EXPECT_EQ(App.Covers[kSlotFront].Path, picture.string());
  EXPECT_EQ(App.Covers[kSlotFront].Texture, texture);
  EXPECT_EQ(tkText(kFrontField), picture.string());
}

TEST_F(Covers, ClearEmptiesEverySlotAndPutsTheStockPicturesBack) {
  for (const SlotCase& c : kSlots) {
    fs::path picture = tmp / ("c" + std::to_string(c.slot) + ".png");
    writePicture(picture, 0xFF00FF00u + c.slot);
    answers = {picture.string()};
    control(c.button);
    ASSERT_NE(App.Covers[c.slot].Texture, 0);
  }
  int before = iTextureCount();
  control(kClearButton);
  EXPECT_EQ(iTextureCount(), before - 6);
  for (const SlotCase& c : kSlots) {
    EXPECT_TRUE(App.Covers[c.slot].Path.empty());
    EXPECT_EQ(App.Covers[c.slot].Texture, 0);
    EXPECT_EQ(tkText(c.field), "");
    expectSlotShows(c.slot, App.StockTextures[c.slot]);
  }
}

TEST_F(Covers, ReloadAllReadsEditedPicturesAgainButChoosingAgainDoesNot) {
  App.OptimizeTextures = 0;
  fs::path front = tmp / "front.png", left = tmp / "left.png";
  writePicture(front, 0xFFFF0000u, 16);
  writePicture(left, 0xFF00FFFFu, 16);
  answers = {front.string(), left.string()};
  control(kFrontButton);
  control(kLeftButton);
  EngineHandle first = App.Covers[kSlotFront].Texture;

  // Edited in another program: choosing the same file gives back the texture already loaded.
  writePicture(front, 0xFF0000FFu, 32);
  writePicture(left, 0xFFFFFF00u, 64);
  answers = {front.string()};
  control(kFrontButton);
  EXPECT_EQ(App.Covers[kSlotFront].Texture, first);
  int w = 0, h = 0;
  iTextureOriginalSize(first, &w, &h);
  EXPECT_EQ(w, 16);

  int before = iTextureCount();
  control(kReloadAllButton);
  EXPECT_EQ(iTextureCount(), before);  // two let go, two made
  iTextureOriginalSize(App.Covers[kSlotFront].Texture, &w, &h);
  EXPECT_EQ(w, 32);
  iTextureOriginalSize(App.Covers[kSlotLeft].Texture, &w, &h);
  EXPECT_EQ(w, 64);
  expectSlotShows(kSlotFront, App.Covers[kSlotFront].Texture);
  expectSlotShows(kSlotLeft, App.Covers[kSlotLeft].Texture);
  expectSlotShows(kSlotBack, App.StockTextures[kSlotBack]);
}

TEST_F(Covers, SharedPictureIsFreedOnceAndHeldByNoSlotAfterClear) {
  fs::path shared = tmp / "shared.png";
  writePicture(shared, 0xFF8040C0u);
  answers = {shared.string(), shared.string()};
  control(kFrontButton);
  control(kBackButton);
  EngineHandle texture = App.Covers[kSlotFront].Texture;
  ASSERT_NE(texture, 0);
  EXPECT_EQ(App.Covers[kSlotBack].Texture, texture);

  int before = iTextureCount();
  control(kClearButton);
  EXPECT_EQ(iTextureCount(), before - 1);
  EXPECT_EQ(iFindTexture(shared.string()), 0);
  for (const CoverArt& cover : App.Covers) EXPECT_NE(cover.Texture, texture);
  // The stock pictures survived the release.
  for (int slot = 0; slot < kCoverSlotCount; ++slot) {
    EXPECT_NE(App.StockTextures[slot], 0);
    expectSlotShows(slot, App.StockTextures[slot]);
  }
}

TEST_F(Covers, SharedPictureReloadedOnceForBothSlots) {
  App.OptimizeTextures = 0;
  fs::path shared = tmp / "shared.png";
  writePicture(shared, 0xFF8040C0u, 16);
  answers = {shared.string(), shared.string()};
  control(kFrontButton);
  control(kBackButton);
  writePicture(shared, 0xFF10C040u, 32);
  int before = iTextureCount();
  control(kToolReload);
  EXPECT_EQ(iTextureCount(), before);
  EngineHandle texture = App.Covers[kSlotFront].Texture;
  EXPECT_EQ(App.Covers[kSlotBack].Texture, texture);
  int w = 0, h = 0;
  iTextureOriginalSize(texture, &w, &h);
  EXPECT_EQ(w, 32);
  expectSlotShows(kSlotFront, texture);
  expectSlotShows(kSlotBack, texture);
}

TEST_F(Covers, StockPictureChosenAsCoverStaysLoadedAfterClear) {
  answers = {"bin/front.png"};
  control(kLeftButton);
  EXPECT_EQ(App.Covers[kSlotLeft].Texture, App.StockTextures[kSlotFront]);
  control(kClearButton);
  EXPECT_EQ(iFindTexture("bin/front.png"), App.StockTextures[kSlotFront]);
  expectSlotShows(kSlotFront, App.StockTextures[kSlotFront]);
  expectSlotShows(kSlotLeft, App.StockTextures[kSlotLeft]);
}

TEST_F(Covers, PictureThatFailsToLoadKeepsItsPathAndShowsTheStockPicture) {
  fs::path broken = tmp / "broken.png";
  std::ofstream(broken) << "not a picture";
  answers = {broken.string()};
  control(kFrontButton);
  EXPECT_EQ(App.Covers[kSlotFront].Path, broken.string());
  EXPECT_EQ(tkText(kFrontField), broken.string());
  EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
  expectSlotShows(kSlotFront, App.StockTextures[kSlotFront]);
  EXPECT_EQ(App.ProgressShown, 0);

  // Reload All does not try it again; choosing it again does.
  writePicture(broken, 0xFF0000FFu);
  control(kReloadAllButton);
  EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
  answers = {broken.string()};
  control(kFrontButton);
  EXPECT_NE(App.Covers[kSlotFront].Texture, 0);
  expectSlotShows(kSlotFront, App.Covers[kSlotFront].Texture);
}

TEST_F(Covers, CoversFollowTheStyleThatIsShown) {
  fs::path picture = tmp / "left.png";
  writePicture(picture, 0xFF2020E0u);
  answers = {picture.string()};
  control(kLeftButton);
  EngineHandle texture = App.Covers[kSlotLeft].Texture;
  click(kFirstStyleButton + 8, 1);  // DVD case: front, left and back
  expectSlotShows(kSlotLeft, texture);
  EXPECT_EQ(App.Covers[kSlotLeft].Path, picture.string());
}

}  // namespace
}  // namespace uitest
