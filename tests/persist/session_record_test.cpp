#include "persist/session_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

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
