// Session files: Save, Save As and Open.
#include <sys/stat.h>

#include <cmath>
#include <functional>

#include "engine/engine.h"
#include "persist/session_record.h"
#include "shot/shot.h"
#include "ui_fixture.h"
#include "viewport/viewport.h"

namespace uitest {
namespace {

using kestrum::SessionRecord;

constexpr const char* kSessionFilters = "Session File (.ksm)|*.ksm|All Files|*.*";

SessionRecord readRecord(const fs::path& path) {
  SessionRecord record;
  EXPECT_TRUE(kestrum::readSessionFile(path.string(), &record)) << path;
  return record;
}

void writeRecord(const fs::path& path, const SessionRecord& record) {
  ASSERT_TRUE(kestrum::writeSessionFile(path.string(), record));
}

std::string savedText(const std::string& path) {
  return "The current session has been saved as...\n\"" + path + "\"";
}

class Sessions : public UiTest {
 protected:
  void saveAs(const fs::path& path) {
    answers = {path.string()};
    menu(kMenuSaveAs);
  }
  void open(const fs::path& path) {
    answers = {path.string()};
    menu(kMenuOpen);
  }
};

TEST_F(Sessions, FreshSessionSavesToSeventyEightBytesWithSevenEmptyLines) {
  fs::path path = tmp / "fresh";
  answers = {path.string()};
  menu(kMenuSave);  // no name yet: asks for one
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, TkFileDialogKind::Save);
  EXPECT_EQ(dialogs[0].title, "Save Session..");
  EXPECT_EQ(dialogs[0].defaultFile, "*.*");
  EXPECT_EQ(dialogs[0].filters, kSessionFilters);
  EXPECT_EQ(dialogs[0].filterIndex, 0);

  std::string saved = path.string() + ".ksm";
  EXPECT_EQ(App.SessionPath, saved);
  std::vector<uint8_t> bytes = fileBytes(saved);
  ASSERT_EQ(bytes.size(), 78u);
  for (int line = 0; line < 7; ++line) {
    EXPECT_EQ(bytes[24 + 2 * line], '\r');
    EXPECT_EQ(bytes[25 + 2 * line], '\n');
  }
  EXPECT_EQ(tkWindowTitle(), "Tallowmere Kestrum v1.0 - fresh.ksm");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Information");
  EXPECT_EQ(messages[0].text, savedText(saved));
  EXPECT_EQ(messages[0].buttons, TkMessageButtons::Ok);

  // A second Save writes to the same file without asking, and confirms again.
  click(kFirstStyleButton, 1);
  control(kToolSave);
  EXPECT_EQ(dialogs.size(), 1u);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text, savedText(saved));
  EXPECT_EQ(readRecord(saved).Style, 1);
}

TEST_F(Sessions, SaveAsNamesGetTheSessionEnding) {
  struct Case {
    const char* given;
    const char* stored;
  };
  const Case cases[] = {
      {"plain", "plain.ksm"},         {"upper.KSM", "upper.KSM"}, {"mixed.kSm", "mixed.kSm"},
      {"notes.txt", "notes.txt.ksm"}, {"ksm", "ksm.ksm"},         {"done.ksm", "done.ksm"},
      {"dot.", "dot..ksm"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    saveAs(tmp / c.given);
    fs::path stored = tmp / c.stored;
    EXPECT_EQ(App.SessionPath, stored.string());
    EXPECT_TRUE(fs::exists(stored));
    EXPECT_EQ(tkWindowTitle(), std::string("Tallowmere Kestrum v1.0 - ") + c.stored);
  }
  // Save As always asks, even with a name.
  size_t asked = dialogs.size();
  answers = {""};
  menu(kMenuSaveAs);
  EXPECT_EQ(dialogs.size(), asked + 1);
  EXPECT_EQ(App.SessionPath, (tmp / "dot..ksm").string());
}

// The dialog asks about the name as typed; when the ending is added after it, that names another
// file, and the window asks before replacing it.
TEST_F(Sessions, SaveAsAsksBeforeReplacingTheFileTheAddedEndingNames) {
  fs::path existing = tmp / "name.ksm";
  saveAs(existing);
  click(kFirstStyleButton + 9, 1);
  ASSERT_EQ(readRecord(existing).Style, 3);
  const std::vector<uint8_t> before = fileBytes(existing);
  App.SessionPath.clear();
  tkSetWindowTitle(kWindowTitle);

  TkMessageAnswer reply = TkMessageAnswer::No;
  tkSetMessageHook([&](const TkMessageRequest& request) {
    messages.push_back(request);
    return request.buttons == TkMessageButtons::YesNo ? reply : TkMessageAnswer::Ok;
  });
  messages.clear();
  saveAs(tmp / "name");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].buttons, TkMessageButtons::YesNo);
  EXPECT_EQ(messages[0].title, "Save Session..");
  EXPECT_NE(messages[0].text.find("\"name.ksm\" already exists"), std::string::npos)
      << messages[0].text;
  EXPECT_EQ(fileBytes(existing), before) << "refused: the file stays as it was";
  EXPECT_EQ(App.SessionPath, "");
  EXPECT_EQ(tkWindowTitle(), kWindowTitle);

  reply = TkMessageAnswer::Yes;
  messages.clear();
  saveAs(tmp / "name");
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].title, "Information");
  EXPECT_EQ(readRecord(existing).Style, 10);
  EXPECT_EQ(App.SessionPath, existing.string());

  // A name typed with its ending was asked about by the dialog itself.
  messages.clear();
  saveAs(existing);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Information");
}

// A path with a line break (legal in a Linux file name) would shift every later field of the
// session: it is refused where it is chosen, and nothing changes.
TEST_F(Sessions, PathsWithLineBreaksAreRefusedWhereTheyAreChosen) {
  fs::path good = tmp / "good.png";
  writePicture(good, 0xFF2080F0u);
  answers = {good.string(), good.string()};
  control(kFrontButton);
  control(kOutputPathButton);
  fs::path session = tmp / "kept.ksm";
  saveAs(session);
  ASSERT_EQ(App.SessionPath, session.string());

  struct Case {
    const char* name;
    std::function<void(UiTest&)> choose;
  };
  const Case cases[] = {
      {"cover", [](UiTest& t) { t.control(kFrontButton); }},
      {"output", [](UiTest& t) { t.control(kOutputPathButton); }},
      {"save as", [](UiTest& t) { t.menu(kMenuSaveAs); }},
      {"open", [](UiTest& t) { t.menu(kMenuOpen); }},
  };
  for (const char* bad : {"a\nb", "a\rb", "a\r\nb"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + " " + (bad[1] == '\n' ? "LF" : "CR"));
      fs::path path = tmp / (std::string(bad) + ".png");
      writePicture(path, 0xFF10F010u);
      messages.clear();
      answers = {path.string()};
      c.choose(*this);
      ASSERT_EQ(messages.size(), 1u);
      EXPECT_EQ(messages[0].title, "Oops!");
      EXPECT_NE(messages[0].text.find("line break"), std::string::npos) << messages[0].text;
      EXPECT_EQ(App.Covers[kSlotFront].Path, good.string());
      EXPECT_EQ(App.OutputPath, good.string());
      EXPECT_EQ(tkText(kOutputPathField), good.string());
      EXPECT_EQ(App.SessionPath, session.string());
      EXPECT_FALSE(fs::exists(path.string() + ".ksm"));
    }
  }
  // What is saved afterwards is the session as it was.
  menu(kMenuSave);
  SessionRecord saved = readRecord(session);
  EXPECT_EQ(saved.CoverPaths[kSlotFront], good.string());
  EXPECT_EQ(saved.OutputPath, good.string());
}

TEST_F(Sessions, EveryFieldSurvivesSaveAndOpen) {
  std::array<fs::path, 6> pictures;
  const int buttons[] = {kFrontButton, kBackButton, kLeftButton,
                         kRightButton, kTopButton,  kBottomButton};
  for (int slot = 0; slot < 6; ++slot) {
    pictures[slot] = tmp / ("cover" + std::to_string(slot) + ".png");
    writePicture(pictures[slot], 0xFF000000u | (0x2A * (slot + 1)) << 8);
    answers = {pictures[slot].string()};
    control(buttons[slot]);
  }
  answers = {(tmp / "final.bmp").string()};
  control(kOutputPathButton);
  click(kFirstStyleButton + 16, 1);  // style 17
  typeInto(kWidthField, "640");
  typeInto(kHeightField, "$1E0");  // 480
  click(kFilterList, 1);
  click(kAntiAliasCheck, 0);
  click(kShadowsCheck, 0);
  click(kBlackRadio, 1);
  click(kAngleScroll, 123);
  click(kRangeScroll, 15);
  click(kAmbientScroll, 200);
  click(kOptimizeCheck, 0);
  iRotateNode(App.CameraPivot, 12.5f, 77.0f, 0);
  iPositionNode(App.Camera, 0.25f, 3.5f, -7.75f);

  fs::path path = tmp / "everything.ksm";
  saveAs(path);
  SessionRecord saved = readRecord(path);
  EXPECT_FLOAT_EQ(saved.PivotRotationX, 12.5f);
  EXPECT_FLOAT_EQ(saved.PivotRotationY, 77.0f);
  EXPECT_FLOAT_EQ(saved.CameraX, 0.25f);
  EXPECT_FLOAT_EQ(saved.CameraY, 3.5f);
  EXPECT_FLOAT_EQ(saved.CameraZ, -7.75f);
  EXPECT_EQ(saved.Style, 17);
  for (int slot = 0; slot < 6; ++slot) EXPECT_EQ(saved.CoverPaths[slot], pictures[slot].string());
  EXPECT_EQ(saved.OutputPath, (tmp / "final.bmp").string());
  EXPECT_EQ(saved.OutputWidth, 640);
  EXPECT_EQ(saved.OutputHeight, 480);
  EXPECT_EQ(saved.FilterType, 1);
  EXPECT_EQ(saved.AntiAlias, 0);
  EXPECT_EQ(saved.Shadows, 0);
  EXPECT_EQ(saved.Background, 1);
  EXPECT_EQ(saved.LightAngle, 123);
  EXPECT_FLOAT_EQ(saved.LightRange, 15.0f);
  EXPECT_EQ(saved.AmbientLevel, 200);
  EXPECT_EQ(saved.OptimizeTextures, 0);

  menu(kMenuNew);
  ASSERT_EQ(App.CurrentStyle, 3);
  open(path);
  EXPECT_EQ(dialogs.back().kind, TkFileDialogKind::Open);
  EXPECT_EQ(dialogs.back().title, "Open Session..");
  EXPECT_EQ(dialogs.back().defaultFile, "*.ksm");
  EXPECT_EQ(dialogs.back().filters, kSessionFilters);
  EXPECT_EQ(App.SessionPath, path.string());
  EXPECT_EQ(tkWindowTitle(), "Tallowmere Kestrum v1.0 - everything.ksm");

  // The scene and every control show the file.
  EXPECT_EQ(App.CurrentStyle, 17);
  EXPECT_TRUE(iNodeVisible(App.ModelTable[17]));
  EXPECT_EQ(tkState(kFirstStyleButton + 16), 1);
  const int fields[] = {kFrontField, kBackField, kLeftField, kRightField, kTopField, kBottomField};
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(App.Covers[slot].Path, pictures[slot].string());
    EXPECT_NE(App.Covers[slot].Texture, 0);
    EXPECT_EQ(tkText(fields[slot]), pictures[slot].string());
  }
  for (const TextureBinding& binding : App.TextureBindings) {
    int slot = CoverSlotOfTextureName(binding.Name);
    if (slot >= 0) {
      EXPECT_EQ(iNodeMaterial(binding.Node).textures[0], App.Covers[slot].Texture);
    }
  }
  EXPECT_EQ(tkText(kOutputPathField), (tmp / "final.bmp").string());
  EXPECT_EQ(tkText(kWidthField), "640");
  EXPECT_EQ(tkText(kHeightField), "480");
  EXPECT_EQ(tkState(kFilterList), 1);
  EXPECT_TRUE(tkMenuItemChecked(kMenuFilterBilinear));
  EXPECT_EQ(tkState(kAntiAliasCheck), 0);
  EXPECT_EQ(tkState(kShadowsCheck), 0);
  EXPECT_EQ(tkState(kBlackRadio), 1);
  EXPECT_TRUE(tkMenuItemChecked(kMenuBlack));
  EXPECT_EQ(tkState(kAngleScroll), 123);
  EXPECT_EQ(tkState(kRangeScroll), 15);
  EXPECT_EQ(tkState(kAmbientScroll), 200);
  EXPECT_EQ(tkState(kOptimizeCheck), 0);
  EXPECT_FALSE(tkMenuItemChecked(kMenuOptimizeTextures));
  EXPECT_FLOAT_EQ(iLightRadius(App.Light), 15.0f);
  EXPECT_EQ(App.ProgressShown, 0);

  // Saved again at once, the file is the same byte for byte.
  std::vector<uint8_t> first = fileBytes(path);
  control(kToolSave);
  EXPECT_EQ(fileBytes(path), first);
}

TEST_F(Sessions, CameraRollIsDroppedOnReopen) {
  iRotateNode(App.CameraPivot, 15.0f, 200.0f, 30.0f);
  fs::path path = tmp / "roll.ksm";
  saveAs(path);
  menu(kMenuNew);
  open(path);
  EngineVec3 pivot, tilt;
  iNodeRotation(App.CameraPivot, &pivot);
  iNodeRotation(App.Camera, &tilt);
  SessionRecord saved = readRecord(path);
  EXPECT_NEAR(pivot.x, saved.PivotRotationX, 1e-3);
  EXPECT_NEAR(pivot.y, saved.PivotRotationY, 1e-3);
  EXPECT_NEAR(pivot.z, 0.0f, 1e-3);
  EXPECT_NEAR(tilt.x, 35.0f, 1e-3);
  EXPECT_NEAR(tilt.y, 0.0f, 1e-3);
  EXPECT_NEAR(tilt.z, 0.0f, 1e-3);
}

TEST_F(Sessions, RangeScrollBarShowsTheStoredRangeRoundedHalfToEven) {
  const std::pair<float, int> cases[] = {{12.5f, 12}, {13.5f, 14}, {12.6f, 13}, {8.49f, 8}};
  for (auto [range, shown] : cases) {
    SCOPED_TRACE(range);
    SessionRecord record;
    record.Style = 3;
    record.LightRange = range;
    record.OutputWidth = 800;
    record.OutputHeight = 836;
    fs::path path = tmp / "range.ksm";
    writeRecord(path, record);
    open(path);
    EXPECT_FLOAT_EQ(App.LightRange, range);
    EXPECT_EQ(tkState(kRangeScroll), shown);
    EXPECT_FLOAT_EQ(iLightRadius(App.Light), range);
  }
}

// A level outside the grey scale from a file lights the scene with the nearest level the scale
// has, and the scroll bar shows that level too (its last position, 254, stands for the top).
TEST_F(Sessions, AmbientLevelOutsideTheGreyScaleIsClampedForSceneAndScrollBar) {
  struct Case {
    int32_t stored, level, bar;
  } cases[] = {{300, 255, 254}, {-40, 0, 0}, {100000, 255, 254}, {255, 255, 254}, {17, 17, 17}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    SessionRecord record = kestrum::newSessionRecord();
    record.AmbientLevel = c.stored;
    fs::path path = tmp / "ambient.ksm";
    writeRecord(path, record);
    open(path);
    EXPECT_EQ(App.AmbientLevel, c.level);
    EXPECT_EQ(iAmbientLightColour(), 0xFF000000u | uint32_t(c.level) * 0x010101u);
    EXPECT_EQ(tkState(kAmbientScroll), c.bar);
    menu(kMenuSave);
    EXPECT_EQ(readRecord(path).AmbientLevel, c.level);
  }
}

TEST_F(Sessions, OpenWithAnEmptySlotShowsItsStockPicture) {
  fs::path picture = tmp / "left.png";
  writePicture(picture, 0xFF3050F0u);
  answers = {picture.string()};
  control(kLeftButton);
  ASSERT_NE(App.Covers[kSlotLeft].Texture, 0);
  SessionRecord record;
  record.Style = 3;
  record.LightRange = 12;
  fs::path path = tmp / "noleft.dat";  // any ending is accepted
  writeRecord(path, record);
  open(path);
  EXPECT_EQ(App.SessionPath, path.string());
  EXPECT_EQ(App.Covers[kSlotLeft].Path, "");
  EXPECT_EQ(App.Covers[kSlotLeft].Texture, 0);
  EXPECT_EQ(tkText(kLeftField), "");
  EXPECT_EQ(iFindTexture(picture.string()), 0);  // let go when the session replaced it
  for (const TextureBinding& binding : App.TextureBindings) {
    if (CoverSlotOfTextureName(binding.Name) == kSlotLeft) {
      EXPECT_EQ(iNodeMaterial(binding.Node).textures[0], App.StockTextures[kSlotLeft]);
    }
  }
}

TEST_F(Sessions, StoredStyleOutsideTheCatalogueKeepsTheStyleShown) {
  click(kFirstStyleButton + 5, 1);
  for (int style : {0, 21, -1, 1 << 30}) {
    SCOPED_TRACE(style);
    SessionRecord record;
    record.Style = style;
    record.LightRange = 10;
    record.AmbientLevel = 40;
    fs::path path = tmp / "bad_style.ksm";
    writeRecord(path, record);
    open(path);
    EXPECT_EQ(App.CurrentStyle, 6);
    EXPECT_TRUE(iNodeVisible(App.ModelTable[6]));
    EXPECT_EQ(tkState(kFirstStyleButton + 5), 1);
    EXPECT_EQ(App.AmbientLevel, 40);  // the rest of the file is applied
  }
}

TEST_F(Sessions, ShortFileReadsMissingFieldsAsZero) {
  SessionRecord record;
  record.Style = 9;
  record.CoverPaths[0] = "missing_front.png";
  std::vector<uint8_t> bytes = kestrum::encodeSessionRecord(record);
  bytes.resize(24 + 19);  // the file ends after the first text line
  fs::path path = tmp / "short.ksm";
  {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<char*>(bytes.data()), bytes.size());
  }
  open(path);
  EXPECT_EQ(App.CurrentStyle, 9);
  EXPECT_EQ(App.Covers[kSlotFront].Path, "missing_front.png");
  EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
  EXPECT_EQ(App.OutputWidth, 0);
  EXPECT_EQ(tkText(kWidthField), "0");
  EXPECT_EQ(App.FilterType, 0);
  EXPECT_TRUE(tkMenuItemChecked(kMenuFilterNone));
  EXPECT_EQ(App.AmbientLevel, 0);
}

TEST_F(Sessions, OpenThatFailsKeepsTheSessionAndSaysWhy) {
  fs::path good = tmp / "good.ksm";
  saveAs(good);
  click(kFirstStyleButton + 9, 1);
  messages.clear();
  for (fs::path bad : {tmp / "missing.ksm", tmp}) {
    SCOPED_TRACE(bad.string());
    open(bad);
    EXPECT_EQ(App.SessionPath, good.string());
    EXPECT_EQ(tkWindowTitle(), "Tallowmere Kestrum v1.0 - good.ksm");
    EXPECT_EQ(App.CurrentStyle, 10);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "Oops!");
    EXPECT_NE(messages.back().text.find(bad.string()), std::string::npos);
  }
  // Cancelled: nothing at all.
  size_t shown = messages.size();
  open("");
  EXPECT_EQ(messages.size(), shown);
  EXPECT_EQ(App.SessionPath, good.string());
}

TEST_F(Sessions, FailedSaveLeavesTheOldFileWholeAndSaysSo) {
  fs::path good = tmp / "good.ksm";
  saveAs(good);
  std::vector<uint8_t> before = fileBytes(good);
  click(kFirstStyleButton + 3, 1);
  messages.clear();
  // A folder that does not exist, and a "folder" that is a file.
  for (fs::path bad : {tmp / "no_such_folder" / "s.ksm", good / "inside.ksm"}) {
    SCOPED_TRACE(bad.string());
    saveAs(bad);
    EXPECT_FALSE(fs::exists(bad));
    EXPECT_EQ(fileBytes(good), before);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "Oops!");
    EXPECT_NE(messages.back().text.find(bad.string()), std::string::npos);
    EXPECT_NE(messages.back().title, "Information");
  }
  // Nothing half-written is left beside the good file.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(tmp)) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 1);
}

TEST_F(Sessions, TypedSizeIsWhatTheFileStores) {
  typeInto(kWidthField, "  321abc");
  tkSetText(kHeightField, "%1000000000");  // no event read it: 512
  fs::path path = tmp / "typed.ksm";
  saveAs(path);
  SessionRecord saved = readRecord(path);
  EXPECT_EQ(saved.OutputWidth, 321);
  EXPECT_EQ(saved.OutputHeight, 512);
  EXPECT_EQ(App.OutputWidth, 321);
  EXPECT_EQ(App.OutputHeight, 512);
}

TEST_F(Sessions, RelativeCoversAreFoundBesideAMovedSession) {
  fs::create_directories(tmp / "moved" / "covers");
  writePicture(tmp / "moved" / "covers" / "front.png", 0xFF20C0F0u);
  SessionRecord record;
  record.Style = 3;
  record.LightRange = 12;
  record.CoverPaths[kSlotFront] = "covers/front.png";
  record.CoverPaths[kSlotBack] = "covers/nowhere.png";
  fs::path path = tmp / "moved" / "moved.ksm";
  writeRecord(path, record);
  open(path);
  EXPECT_EQ(App.Covers[kSlotFront].Path, (tmp / "moved" / "covers" / "front.png").string());
  EXPECT_NE(App.Covers[kSlotFront].Texture, 0);
  EXPECT_EQ(App.Covers[kSlotBack].Path, "covers/nowhere.png");  // kept as stored
  EXPECT_EQ(App.Covers[kSlotBack].Texture, 0);
}

}  // namespace
}  // namespace uitest
