#include "shot/shot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <unistd.h>

#include "a3d_writer.h"
#include "scratch_folder.h"
#include "image/image.h"
#include "persist/session_record.h"
#include "state/app_state.h"
#include "system/system.h"
#include "texture/texture.h"

namespace fs = std::filesystem;

namespace {

// Cover names each fixture style binds: style s shows front, and left on odd styles, back (in
// capitals) on styles divisible by 3, and no cover at all on style 20 (a plain "disc.png").
std::vector<std::string> fixtureNames(int style) {
  if (style == 20) return {"disc.png"};
  std::vector<std::string> names = {"front.png"};
  if (style % 2 == 1) names.push_back("left.png");
  if (style % 3 == 0) names.push_back("BACK.PNG");
  return names;
}

// A run folder with bin/: the shadow model, twenty small style models, stock and shadow pictures.
class Scene : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Each test runs in its own process, possibly beside the others: one folder per process.
    root = kestrum::test::freshFolder("scene_run_" + std::to_string(getpid()));
    fs::create_directories(root / "bin");
    auto picture = [](const fs::path& p, uint32_t colour, int size = 16) {
      ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(size, size, colour), p.string()));
    };
    for (int slot = 0; slot < 6; ++slot)
      picture(root / kStockTextureFiles[slot], 0xFF000000u | (slot * 40));
    for (int s = 1; s <= 20; ++s) picture(root / ShadowTextureFile(s), 0xFF808080u);
    picture(root / "bin" / "disc.png", 0xFF00FF00u);
    picture(root / "bin" / "BACK.PNG", 0xFF0000FFu);
    picture(root / "bin" / "shadow_floor.png", 0xFFFFFFFFu);

    A3DWriter shadow;
    shadow.header().i32(1).material("floor").i32(1).texture("floor", 0, "shadow_floor.png");
    shadow.i32(1).object("floor", 1).triangle("floor");
    ASSERT_TRUE(shadow.save((root / kModelFiles[0]).string()));
    for (int s = 1; s <= 20; ++s) {
      A3DWriter w;
      std::vector<std::string> names = fixtureNames(s);
      w.header().i32(static_cast<int32_t>(names.size()) + 1);
      for (const auto& n : names) w.material("m_" + n);
      w.material("plain");
      w.i32(static_cast<int32_t>(names.size()));
      for (const auto& n : names) w.texture("m_" + n, 0, n);
      w.i32(1).object("body", static_cast<int32_t>(names.size()) + 1);
      for (const auto& n : names) w.triangle("m_" + n);
      w.triangle("plain");
      ASSERT_TRUE(w.save((root / kModelFiles[s]).string()));
    }
  }

  void SetUp() override {
    previous = kestrum::sys::currentDirectory();
    ASSERT_TRUE(kestrum::sys::setCurrentDirectory(root.string()));
    iInitEngine();
    App = AppState{};
    App.OptimizeTextures = 1;
    App.ProfileFolder = (root / "profile").string() + "/";
    fs::create_directories(App.ProfileFolder);
    LoadSceneModels();
    LoadStockAndShadowTextures();
    CloseProgressWindow();
  }
  void TearDown() override { kestrum::sys::setCurrentDirectory(previous); }
  static void TearDownTestSuite() { fs::remove_all(root); }

  // Every registered node bound to a cover name, with the texture on its layer 0.
  std::map<EngineHandle, EngineHandle> coverLayers(const std::string& lowerName) {
    std::map<EngineHandle, EngineHandle> out;
    for (const auto& b : App.TextureBindings) {
      if (CoverSlotOfTextureName(b.Name) == CoverSlotOfTextureName(lowerName))
        out[b.Node] = iNodeMaterial(b.Node).textures[0];
    }
    return out;
  }

  static inline fs::path root;
  std::string previous;
};

}  // namespace

TEST(SceneNames, ShadowFilesAndCoverNames) {
  EXPECT_EQ(ShadowTextureFile(1), "bin/shad01.png");
  EXPECT_EQ(ShadowTextureFile(20), "bin/shad20.png");
  struct Case {
    const char* name;
    int slot;
  } cases[] = {{"front.png", 0}, {"BACK.PNG", 1},   {"Left.Png", 2},       {"right.png", 3},
               {"top.png", 4},   {"bottom.png", 5}, {"bin/front.png", -1}, {"front.png.bak", -1},
               {"", -1},         {"front", -1}};
  for (const auto& c : cases) EXPECT_EQ(CoverSlotOfTextureName(c.name), c.slot) << c.name;
  EXPECT_FALSE(IsBoxStyle(0));
  EXPECT_TRUE(IsBoxStyle(1));
  EXPECT_TRUE(IsBoxStyle(20));
  EXPECT_FALSE(IsBoxStyle(21));
}

TEST_F(Scene, LoadsEveryModelAndPicture) {
  for (int i = 0; i <= 20; ++i) EXPECT_NE(App.ModelTable[i], 0) << i;
  EXPECT_EQ(App.ModelTable[21], 0);
  EngineVec3 scale;
  iNodeScale(App.ModelTable[0], &scale);
  EXPECT_FLOAT_EQ(scale.x, 1.2f);
  for (int slot = 0; slot < 6; ++slot) EXPECT_NE(App.StockTextures[slot], 0);
  for (int s = 1; s <= 20; ++s) EXPECT_NE(App.ShadowTextures[s], 0);
  EXPECT_EQ(App.ShadowTextures[0], 0);
  // The textures the model files named are remembered (front, left, BACK, disc, floor).
  EXPECT_EQ(App.ModelTextures.size(), 5u);
}

TEST_F(Scene, EachStyleShowsOnlyItsModelAndShadow) {
  EngineHandle shadowMesh = iNodeChildren(iNodeChildren(App.ModelTable[0], 0), 0);
  ASSERT_NE(shadowMesh, 0);
  for (int style = 1; style <= 20; ++style) {
    App.RedrawFlag = 0;
    ShowBoxStyleModel(style);
    EXPECT_EQ(App.CurrentStyle, style);
    EXPECT_EQ(App.RedrawFlag, 1);
    for (int i = 1; i <= 20; ++i) EXPECT_EQ(iNodeVisible(App.ModelTable[i]), i == style);
    EXPECT_EQ(iNodeMaterial(shadowMesh).textures[0], App.ShadowTextures[style]);
  }
  for (int bad : {0, 21, 999, -3}) {
    ShowBoxStyleModel(bad);
    EXPECT_EQ(App.CurrentStyle, 20) << bad;
    EXPECT_TRUE(iNodeVisible(App.ModelTable[20])) << bad;
  }
}

TEST_F(Scene, TurnsEveryModelForStartUp) {
  TurnModelsForStartUp();
  for (int i = 0; i <= 20; ++i) {
    EngineVec3 r;
    iNodeRotation(App.ModelTable[i], &r);
    EXPECT_NEAR(r.y, 40.0f, 1e-3) << i;
  }
}

TEST_F(Scene, CoverReachesEveryNodeOfItsNameAndNoOther) {
  App.Covers[kSlotLeft].Path = "left art";
  App.Covers[kSlotLeft].Texture = iAddTexture("left art", kestrum::makeImage(8, 8, 0xFF0000FFu));
  ApplyCoverTextures();
  int leftNodes = 0;
  for (const auto& b : App.TextureBindings) {
    int slot = CoverSlotOfTextureName(b.Name);
    EngineHandle t = iNodeMaterial(b.Node).textures[0];
    if (slot == kSlotLeft) {
      EXPECT_EQ(t, App.Covers[kSlotLeft].Texture);
      ++leftNodes;
    } else if (slot >= 0) {
      EXPECT_EQ(t, App.StockTextures[slot]);  // empty slots show their stock picture
    } else {
      EXPECT_NE(t, App.Covers[kSlotLeft].Texture);
    }
  }
  EXPECT_EQ(leftNodes, 10);                       // the ten odd styles bind "left.png"
  EXPECT_EQ(coverLayers("back.png").size(), 6u);  // "BACK.PNG" binds too, case ignored
}

TEST_F(Scene, SharedCoverTextureIsFreedOnceAndOnlyWhenUnused) {
  EngineHandle shared = iAddTexture("same file", kestrum::makeImage(8, 8));
  App.Covers[kSlotFront] = {"same file", shared};
  App.Covers[kSlotBack] = {"same file", shared};
  int alive = iTextureCount();
  ReleaseCoverTexture(kSlotFront);
  EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
  EXPECT_EQ(iFindTexture("same file"), shared) << "the back slot still shows it";
  ReleaseCoverTexture(kSlotBack);
  EXPECT_EQ(iFindTexture("same file"), 0);
  EXPECT_EQ(iTextureCount(), alive - 1);
  ReleaseCoverTexture(kSlotBack);  // nothing left to release
  EXPECT_EQ(iTextureCount(), alive - 1);

  // A slot holding a stock, shadow or model texture lets go of it without freeing it.
  App.Covers[kSlotTop].Texture = App.StockTextures[kSlotFront];
  App.Covers[kSlotRight].Texture = App.ShadowTextures[4];
  App.Covers[kSlotBottom].Texture = App.ModelTextures.front();
  ReleaseCoverTexture(kSlotTop);
  ReleaseCoverTexture(kSlotRight);
  ReleaseCoverTexture(kSlotBottom);
  EXPECT_EQ(iTextureCount(), alive - 1);
  EXPECT_EQ(App.Covers[kSlotTop].Texture, 0);
}

TEST_F(Scene, FilterFlagsFollowTheType) {
  struct Case {
    int type;
    bool bilinear, trilinear, anisotropic;
  } cases[] = {{0, false, false, false},
               {1, true, false, false},
               {2, true, true, false},
               {3, true, true, true}};
  for (const auto& c : cases) {
    ApplyFilterFlags(c.type);
    EXPECT_EQ(App.FilterType, c.type);
    for (const auto& b : App.TextureBindings) {
      int flags = iNodeMaterial(b.Node).flags;
      EXPECT_EQ((flags & kFlagBilinear) != 0, c.bilinear) << c.type;
      EXPECT_EQ((flags & kFlagTrilinear) != 0, c.trilinear) << c.type;
      EXPECT_EQ((flags & kFlagAnisotropic) != 0, c.anisotropic) << c.type;
    }
  }
  ApplyFilterFlags(7);  // outside 0..3: no flag changes
  EXPECT_EQ(App.FilterType, 7);
  for (const auto& b : App.TextureBindings)
    EXPECT_TRUE(iNodeMaterial(b.Node).flags & kFlagAnisotropic);
}

TEST_F(Scene, FrameShowsTheShadowOnlyOnWhiteWithShadowsOn) {
  struct Case {
    int background, shadows;
    uint32_t clear;
    bool shadowVisible;
  } cases[] = {{0, 1, 0xFFFFFFFFu, true},
               {0, 0, 0xFFFFFFFFu, false},
               {1, 1, 0xFF000000u, false},
               {1, 0, 0xFF000000u, false}};
  for (const auto& c : cases) {
    App.Background = c.background;
    App.Shadows = c.shadows;
    EXPECT_EQ(PrepareFrame(), c.clear);
    EXPECT_EQ(iNodeVisible(App.ModelTable[0]), c.shadowVisible);
  }
}

// --- Sessions applied to the scene -------------------------------------------------------------

TEST_F(Scene, CoverFilesAreFoundInTheStartupFolderThenBesideTheSession) {
  fs::path sessions = root / "sessions";
  fs::create_directories(sessions / "art");
  fs::create_directories(sessions / "bin");
  for (const fs::path& p : {sessions / "art" / "a.png", sessions / "bin" / "front.png"}) {
    ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(4, 4), p.string()));
  }
  const std::string startup = root.string() + "/", beside = sessions.string() + "/";
  struct Case {
    std::string path, sessionFolder, found;
  } cases[] = {
      {"", beside, ""},
      {"/no/such/a.png", beside, "/no/such/a.png"},
      {"bin/front.png", beside, "bin/front.png"},  // the start-up folder comes first
      {"art/a.png", beside, beside + "art/a.png"},
      {"art/a.png", "", "art/a.png"},            // no session folder to look in
      {"art/none.png", beside, "art/none.png"},  // found nowhere: kept as it is
      {"\\art/a.png", beside, "\\art/a.png"},    // a backslash does not make a path absolute
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocateCoverFile(c.path, startup, c.sessionFolder), c.found)
        << c.path << " with session folder " << c.sessionFolder;
  }
}

TEST_F(Scene, AnUnknownStyleIsKeptOrRefusedAsAsked) {
  App.StartupFolder = root.string() + "/";
  ShowBoxStyleModel(4);
  kestrum::SessionRecord record = kestrum::newSessionRecord();
  record.Style = 21;
  record.LightAngle = 77;

  SessionApplyOptions kilnshot;
  kilnshot.refuseUnknownStyle = true;
  std::string error;
  EXPECT_FALSE(ApplySessionToScene(record, kilnshot, &error));
  EXPECT_NE(error.find("21"), std::string::npos) << error;
  EXPECT_NE(App.LightAngle, 77) << "a refused session changes nothing";

  EXPECT_TRUE(ApplySessionToScene(record, SessionApplyOptions{}));
  EXPECT_EQ(App.CurrentStyle, 4);
  EXPECT_TRUE(iNodeVisible(App.ModelTable[4]));
  EXPECT_EQ(App.LightAngle, 77);
}

TEST_F(Scene, CoversAreReadAgainOrKeptAsAsked) {
  App.StartupFolder = root.string() + "/";
  fs::path sessions = root / "sessions";
  fs::create_directories(sessions);
  ASSERT_TRUE(
      kestrum::saveImage(kestrum::makeImage(8, 8, 0xFF0000FFu), (sessions / "cover.png").string()));
  kestrum::SessionRecord record = kestrum::newSessionRecord();
  record.CoverPaths[kSlotFront] = "cover.png";
  record.CoverPaths[kSlotBack] = "missing.png";
  std::vector<std::string> failed;
  SessionApplyOptions options;
  options.sessionFolder = sessions.string();
  options.coverFailed = [&](int slot, const std::string& path, const std::string&) {
    failed.push_back(std::to_string(slot) + " " + path);
  };

  ASSERT_TRUE(ApplySessionToScene(record, options));
  EXPECT_EQ(App.Covers[kSlotFront].Path, (sessions / "cover.png").string());
  const EngineHandle first = App.Covers[kSlotFront].Texture;
  EXPECT_NE(first, 0);
  EXPECT_EQ(failed, std::vector<std::string>{"1 missing.png"});
  EXPECT_EQ(App.Covers[kSlotBack].Texture, 0);

  options.readCoversAgain = false;
  ASSERT_TRUE(ApplySessionToScene(record, options));
  EXPECT_EQ(App.Covers[kSlotFront].Texture, first) << "kept: the same path is not read again";

  options.readCoversAgain = true;
  ASSERT_TRUE(ApplySessionToScene(record, options));
  EXPECT_NE(App.Covers[kSlotFront].Texture, 0);
  EXPECT_NE(App.Covers[kSlotFront].Texture, first) << "read again from its file";
}
