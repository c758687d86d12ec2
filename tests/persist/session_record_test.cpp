#include "persist/session_record.h"
#include "persist/render_progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <string>

#include <zlib.h>

#include "engine/engine.h"
#include "file_bytes.h"
#include "scratch_folder.h"
#include "state/app_state.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

SessionRecord fullSession() {
  SessionRecord r = newSessionRecord();
  r.PivotRotationX = -12.5f;
  r.PivotRotationY = 217.0f;
  r.CameraX = 0.25f;
  r.CameraZ = -3.5f;
  r.Style = 17;
  r.CoverPaths = {"/home/u/front.png", "back.jpg", "C:\\art\\left.bmp", "", "top.png", "b o t.png"};
  r.OutputPath = "/tmp/out.jpg";
  r.OutputWidth = 1600;
  r.OutputHeight = 1672;
  r.FilterType = 1;
  r.AntiAlias = 0;
  r.Shadows = 0;
  r.Background = 1;
  r.LightAngle = 270;
  r.LightRange = 19.0f;
  r.AmbientLevel = 255;
  r.OptimizeTextures = 0;
  return r;
}

}  // namespace

TEST(SessionRecord, FreshSessionIs78BytesWithSevenEmptyLines) {
  std::vector<uint8_t> bytes = encodeSessionRecord(newSessionRecord());
  ASSERT_EQ(bytes.size(), kEmptySessionRecordSize);
  for (int line = 0; line < 7; ++line) {
    EXPECT_EQ(bytes[24 + 2 * line], '\r');
    EXPECT_EQ(bytes[25 + 2 * line], '\n');
  }
  // Spot-check the layout: camera z at offset 16, style at 20, width at 38, range at 66.
  float z;
  std::memcpy(&z, &bytes[16], 4);
  EXPECT_EQ(z, -5.0f);
  EXPECT_EQ(bytes[20], 3);
  EXPECT_EQ(bytes[38] | bytes[39] << 8, 800);
  float range;
  std::memcpy(&range, &bytes[66], 4);
  EXPECT_EQ(range, 12.0f);
  EXPECT_EQ(bytes[74], 1);  // OptimizeTextures, the last field
}

TEST(SessionRecord, RoundTripsEveryField) {
  SessionRecord r = fullSession();
  std::vector<uint8_t> bytes = encodeSessionRecord(r);
  EXPECT_EQ(decodeSessionRecord(bytes.data(), bytes.size()), r);
  // Negative numbers and extreme values survive too.
  r.LightAngle = -1;
  r.OutputWidth = INT32_MIN;
  r.AmbientLevel = INT32_MAX;
  bytes = encodeSessionRecord(r);
  EXPECT_EQ(decodeSessionRecord(bytes.data(), bytes.size()), r);
}

TEST(SessionRecord, ReadsEveryLineEnd) {
  struct Case {
    const char* name;
    std::string ends;  // the line end used after the first cover path
    std::string next;  // what the second path reads as
  } cases[] = {
      {"CR LF", "\r\n", "b"},
      {"LF", "\n", "b"},
      {"CR", "\r", "b"},
      {"zero byte", std::string(1, '\0'), "b"},
      // CR then CR LF: the lone CR ends the line and leaves the CR LF as an empty line.
      {"CR CR LF", "\r\r\n", ""},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> bytes(24, 0);
    bytes[20] = 5;
    for (char ch : "a" + c.ends + "b\r\n") bytes.push_back(static_cast<uint8_t>(ch));
    SessionRecord r = decodeSessionRecord(bytes.data(), bytes.size());
    EXPECT_EQ(r.Style, 5) << c.name;
    EXPECT_EQ(r.CoverPaths[0], "a") << c.name;
    EXPECT_EQ(r.CoverPaths[1], c.next) << c.name;
  }
}

TEST(SessionRecord, ShortFilesReadMissingFieldsAsZero) {
  SessionRecord full = fullSession();
  std::vector<uint8_t> bytes = encodeSessionRecord(full);
  for (size_t cut = 0; cut <= bytes.size(); ++cut) {
    SessionRecord r = decodeSessionRecord(bytes.data(), cut);
    // Reading past the end behaves exactly as if zero bytes followed.
    std::vector<uint8_t> padded(bytes.begin(), bytes.begin() + cut);
    padded.resize(cut + 128, 0);
    EXPECT_EQ(r, decodeSessionRecord(padded.data(), padded.size())) << "cut " << cut;
    // Fields wholly before the cut are intact; wholly after it, zero or empty.
    if (cut >= 24) {
      EXPECT_EQ(r.PivotRotationY, full.PivotRotationY);
      EXPECT_EQ(r.Style, full.Style);
    } else if (cut <= 20) {
      EXPECT_EQ(r.Style, 0) << "cut " << cut;
    }
    if (cut <= 24) {
      for (const auto& p : r.CoverPaths) EXPECT_EQ(p, "");
      EXPECT_EQ(r.OutputWidth, 0);
    }
  }
  EXPECT_EQ(decodeSessionRecord(bytes.data(), bytes.size()), full);
  // A number cut off keeps its present bytes as its low-order bytes.
  std::vector<uint8_t> style(20, 0);
  style.insert(style.end(), {0x34, 0x12, 0x99});
  EXPECT_EQ(decodeSessionRecord(style.data(), 22).Style, 0x1234);
}

TEST(SessionRecord, FileReadAndAtomicWrite) {
  fs::path dir = test::freshFolder("files");
  std::string path = (dir / "work.ksm").string();
  ASSERT_TRUE(writeSessionFile(path, fullSession()));
  SessionRecord back;
  ASSERT_TRUE(readSessionFile(path, &back));
  EXPECT_EQ(back, fullSession());

  // A failed write (the target is a folder) leaves the folder's neighbour, the old file, intact.
  std::string error;
  fs::create_directories(dir / "taken.ksm");
  EXPECT_FALSE(writeSessionFile((dir / "taken.ksm").string(), newSessionRecord(), &error));
  EXPECT_FALSE(error.empty());
  ASSERT_TRUE(readSessionFile(path, &back));
  EXPECT_EQ(back, fullSession());

  EXPECT_FALSE(readSessionFile((dir / "missing.ksm").string(), &back, &error));
  EXPECT_FALSE(readSessionFile(dir.string(), &back, &error));
}

TEST(ReadLooseInteger, ReadsTheWayTheSizeFieldsDo) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {
      {"800", 800},
      {"  \t 836", 836},
      {"+12", 12},
      {"-12", -12},
      {"$1F", 31},
      {"$ff", 255},
      {"-$10", -16},
      {"%101", 5},
      {"%102", 2},  // stops at the first non-binary digit
      {"12px", 12},
      {"1 2", 1},
      {"", 0},
      {"abc", 0},
      {"$", 0},
      {"%", 0},
      {"+-3", 0},
      {" - 3", 0},
      {"\n5", 0},  // only blanks and tabs are skipped
      {"99999999999", INT32_MAX},
      {"-99999999999", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(readLooseInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(SessionRecord, CaptureTakesTheViewFromTheEngine) {
  iInitEngine();
  AppState state;
  state.CameraPivot = iCreatePivot(0);
  state.Camera = iCreateCamera(state.CameraPivot);
  iPositionNode(state.Camera, 0, 4.75f, -5.0f);
  iRotateNode(state.CameraPivot, 10, 30, 0);
  iMoveNode(state.Camera, 0, 0, 0.5f);
  EngineVec3 camera;
  iNodePositionP(state.Camera, &camera);
  state.CurrentStyle = 7;
  state.Covers[kSlotLeft].Path = "left.png";
  state.LightRange = 15.0f;
  SessionRecord r = captureSessionRecord(state);
  EXPECT_NEAR(r.PivotRotationX, 10, 1e-4);
  EXPECT_NEAR(r.PivotRotationY, 30, 1e-4);
  EXPECT_FLOAT_EQ(r.CameraX, camera.x);
  EXPECT_FLOAT_EQ(r.CameraZ, camera.z);
  EXPECT_NE(r.CameraZ, -5.0f);  // the zoom moved it
  EXPECT_EQ(r.Style, 7);
  EXPECT_EQ(r.CoverPaths[kSlotLeft], "left.png");
  EXPECT_EQ(r.LightRange, 15.0f);
}

// --- The trailing block ----------------------------------------------------------------------

SessionRecord recordWithEntries() {
  SessionRecord r = newSessionRecord();
  r.CoverPaths[kSlotFront] = "/art/front.png";
  EXPECT_TRUE(r.Entries.set("look", "studio"));
  EXPECT_TRUE(r.Entries.set("size.note", "two\nlines, a \\ and a\rreturn"));
  return r;
}

TEST(SessionBlock, ARecordWithoutEntriesIsTheFixedLayoutAlone) {
  SessionRecord r = newSessionRecord();
  r.CoverPaths[kSlotBack] = "b.png";
  std::vector<uint8_t> bytes = encodeSessionRecord(r);
  EXPECT_EQ(bytes.size(), kEmptySessionRecordSize + 5);
  EXPECT_TRUE(decodeSessionRecord(bytes.data(), bytes.size()).Entries.empty());
}

TEST(SessionBlock, EntriesRoundTripAfterTheFixedFields) {
  SessionRecord r = recordWithEntries();
  std::vector<uint8_t> bytes = encodeSessionRecord(r);
  SessionRecord plain = r;
  plain.Entries = {};
  std::vector<uint8_t> fixed = encodeSessionRecord(plain);
  // A reader of the fixed layout finds every field where it always was.
  ASSERT_GT(bytes.size(), fixed.size());
  EXPECT_TRUE(std::equal(fixed.begin(), fixed.end(), bytes.begin()));
  EXPECT_EQ(std::memcmp(bytes.data() + fixed.size(), kSessionBlockMarker, 8), 0);
  SessionRecord back = decodeSessionRecord(bytes.data(), bytes.size());
  EXPECT_EQ(back, r);
  EXPECT_EQ(back.Entries.get("size.note"), "two\nlines, a \\ and a\rreturn");
  EXPECT_EQ(back.Entries.entries().front().first, "look");  // the order is kept
}

TEST(SessionBlock, ADamagedBlockIsIgnoredAndTheRecordStillRead) {
  SessionRecord r = recordWithEntries();
  const std::vector<uint8_t> good = encodeSessionRecord(r);
  SessionRecord plain = r;
  plain.Entries = {};
  const size_t start = encodeSessionRecord(plain).size();
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> damage;
  } cases[] = {
      {"marker", [&](auto& b) { b[start + 1] = 'X'; }},
      {"version", [&](auto& b) { b[start + 8] = 2; }},
      {"length past the end", [&](auto& b) { b[start + 13] = 0x7F; }},
      {"text changed", [&](auto& b) { b[start + 17] ^= 0x20; }},
      {"checksum", [&](auto& b) { b.back() ^= 1; }},
      {"cut short", [&](auto& b) { b.resize(b.size() - 2); }},
      {"only the marker", [&](auto& b) { b.resize(start + 8); }},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good;
    c.damage(bytes);
    SessionRecord back = decodeSessionRecord(bytes.data(), bytes.size());
    EXPECT_TRUE(back.Entries.empty()) << c.name;
    EXPECT_EQ(back.CoverPaths[kSlotFront], "/art/front.png") << c.name;
    EXPECT_EQ(back.OptimizeTextures, 1) << c.name;
  }
}

// A block whose text is well framed but holds a line the rules refuse is ignored whole.
TEST(SessionBlock, BadLinesMakeTheBlockIgnored) {
  auto blockWith = [](const std::string& text) {
    std::vector<uint8_t> bytes = encodeSessionRecord(newSessionRecord());
    bytes.insert(bytes.end(), kSessionBlockMarker, kSessionBlockMarker + 8);
    auto putInt = [&](uint32_t v) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    putInt(kSessionBlockVersion);
    putInt(static_cast<uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
    putInt(static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()))));
    return decodeSessionRecord(bytes.data(), bytes.size()).Entries;
  };
  EXPECT_EQ(blockWith("look=studio\n").get("look"), "studio");  // the framing itself is right
  for (const char* text : {"look=studio", "look\n", "Look=x\n", "=x\n", "a=1\na=2\n",
                           "a=bad\\escape\n", "a=dangling\\\n", "a b=1\n"}) {
    EXPECT_TRUE(blockWith(text).empty()) << text;
  }
}

TEST(SessionBlock, NamesFollowTheRules) {
  SessionEntries entries;
  for (const char* good : {"look", "size.width-mm", "a_1"}) EXPECT_TRUE(entries.set(good, "v"));
  for (const std::string& bad :
       std::vector<std::string>{"", "Look", "a=b", "a b", "ä", std::string(65, 'a')}) {
    EXPECT_FALSE(entries.set(bad, "v")) << bad;
  }
  EXPECT_TRUE(entries.set("look", "classic"));  // replaces in place
  EXPECT_EQ(entries.entries().size(), 3u);
  EXPECT_EQ(entries.get("look"), "classic");
  entries.erase("look");
  EXPECT_FALSE(entries.get("look").has_value());
}

TEST(SessionBlock, EntriesTheProgramDoesNotUseAreKeptForTheNextSave) {
  SessionRecord opened = recordWithEntries();
  AppState state;
  applySessionRecord(opened, state);
  SessionRecord saved = captureSessionRecord(state);
  EXPECT_EQ(saved.Entries, opened.Entries);
  // A new session forgets them.
  applySessionRecord(newSessionRecord(), state);
  EXPECT_TRUE(captureSessionRecord(state).Entries.empty());
}

// --- Applying a record to AppState ------------------------------------------------------------

TEST(ApplySessionRecord, EachPartTakesItsFields) {
  SessionRecord r = newSessionRecord();
  r.Style = 9;
  r.CoverPaths[kSlotTop] = "top.png";
  r.OutputPath = "/out/shot.png";
  r.OutputWidth = 640;
  r.FilterType = 1;
  r.Background = 1;
  r.LightAngle = 90;
  r.LightRange = 7.0f;
  r.AmbientLevel = 30;
  r.OptimizeTextures = 0;
  struct Case {
    RecordPart part;
    bool optimize, session;
  } cases[] = {{RecordPart::SettingsButOptimize, false, false},
               {RecordPart::Settings, true, false},
               {RecordPart::Session, true, true}};
  for (const Case& c : cases) {
    AppState state;
    state.CurrentStyle = 3;
    state.OptimizeTextures = 1;
    state.Covers[kSlotTop].Path = "before.png";
    applySessionRecord(r, state, c.part);
    EXPECT_EQ(state.OutputPath, "/out/shot.png");
    EXPECT_EQ(state.OutputWidth, 640);
    EXPECT_EQ(state.FilterType, 1);
    EXPECT_EQ(state.Background, 1);
    EXPECT_EQ(state.LightAngle, 90);
    EXPECT_EQ(state.LightRange, 7.0f);
    EXPECT_EQ(state.AmbientLevel, 30);
    EXPECT_EQ(state.OptimizeTextures, c.optimize ? 0 : 1);
    EXPECT_EQ(state.CurrentStyle, c.session ? 9 : 3);
    EXPECT_EQ(state.Covers[kSlotTop].Path, c.session ? "top.png" : "before.png");
  }
}

TEST(ApplySessionRecord, KeepsTheStyleAndTheDefaultRangeForBadNumbers) {
  SessionRecord r = newSessionRecord();
  r.Style = 999;
  r.LightRange = std::numeric_limits<float>::quiet_NaN();
  AppState state;
  state.CurrentStyle = 5;
  applySessionRecord(r, state);
  EXPECT_EQ(state.CurrentStyle, 5);
  EXPECT_EQ(state.LightRange, newSessionRecord().LightRange);
}

// A level read from a file is brought into the grey scale once, here, so the light and the scroll
// bar that show it agree.
TEST(ApplySessionRecord, AmbientLevelOutsideTheGreyScaleTakesTheNearestEnd) {
  struct Case {
    int32_t stored, applied;
  } cases[] = {
      {300, 255}, {256, 255},       {255, 255}, {0, 0},
      {-1, 0},    {-2000000000, 0}, {80, 80},   {std::numeric_limits<int32_t>::max(), 255}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    SessionRecord r = newSessionRecord();
    r.AmbientLevel = c.stored;
    for (RecordPart part :
         {RecordPart::Session, RecordPart::Settings, RecordPart::SettingsButOptimize}) {
      AppState state;
      applySessionRecord(r, state, part);
      EXPECT_EQ(state.AmbientLevel, c.applied);
    }
  }
}

// A path with a line break (legal in a Linux file name) would end its line early and shift every
// later field: such a record is refused whole, and an existing file is left as it was.
TEST(SessionRecord, TextsWithLineBreaksOrZeroBytesAreNeverWritten) {
  EXPECT_TRUE(fitsSessionLine(""));
  EXPECT_TRUE(fitsSessionLine("/home/u/a b\t(c).png"));
  const std::string bad[] = {"/home/u/a\nb.png", "/home/u/a\rb.png", std::string("/a\0b.png", 8),
                             "\n"};
  fs::path dir = test::freshFolder("session_line_breaks");
  fs::path file = dir / "work.ksm";
  ASSERT_TRUE(writeSessionFile(file.string(), fullSession()));
  const std::vector<uint8_t> before = test::fileBytes(file);
  for (const std::string& text : bad) {
    EXPECT_FALSE(fitsSessionLine(text));
    for (int field = 0; field <= kCoverSlotCount; ++field) {
      SCOPED_TRACE(field);
      SessionRecord r = fullSession();
      (field < kCoverSlotCount ? r.CoverPaths[field] : r.OutputPath) = text;
      std::string error;
      EXPECT_FALSE(writeSessionFile(file.string(), r, &error));
      EXPECT_NE(error.find("line break"), std::string::npos) << error;
      EXPECT_EQ(test::fileBytes(file), before);
    }
  }
}

// --- The renderer's progress report -----------------------------------------------------------

TEST(RenderReport, EachKindReadsBackAsWritten) {
  struct Case {
    std::string line;
    RenderReport::Kind kind;
    int percent;
    std::string text;
  } cases[] = {
      {formatProgressReport(42, "Drawing the picture"), RenderReport::Kind::Progress, 42,
       "Drawing the picture"},
      {formatProgressReport(250, "done"), RenderReport::Kind::Progress, 100, "done"},
      {formatProgressReport(-3, ""), RenderReport::Kind::Progress, 0, ""},
      {formatWroteReport("/home/u/my shot.png"), RenderReport::Kind::Wrote, 0,
       "/home/u/my shot.png"},
      {formatErrorReport("texture filter 7 is not one of 0 to 3"), RenderReport::Kind::Error, 0,
       "texture filter 7 is not one of 0 to 3"},
      {formatErrorReport("two\nlines\r"), RenderReport::Kind::Error, 0, "two lines "},
      {"progress 7 loading\r\n", RenderReport::Kind::Progress, 7, "loading"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_FALSE(c.line.empty());
    EXPECT_EQ(c.line.find('\n'), c.line.size() - 1) << "one line, ended by LF";
    RenderReport report = parseRenderReport(c.line);
    EXPECT_EQ(report.kind, c.kind);
    EXPECT_EQ(report.percent, c.percent);
    EXPECT_EQ(report.text, c.text);
  }
}

TEST(RenderReport, OtherLinesAreNoReport) {
  for (const char* line : {"", "kilnshot: wrote x.png", "progress", "progress x text",
                           "progress 101 too far", "progress 5x", "wrote", "errors x", "Wrote x"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(parseRenderReport(line).kind, RenderReport::Kind::Other);
  }
}
