// Bad input through the program's own operations, started offscreen as the user would drive it:
// cover pictures that cannot be read keep the program running with the stock picture in their
// slot and lose nothing else; hostile session files leave the window consistent, and kilnshot
// refuses them with a message.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "../ui/ui_fixture.h"
#include "persist/session_record.h"
#include "shot/shot.h"

namespace uitest {
namespace {

using kestrum::test::fileText;
using kestrum::test::writeBytes;

void appendChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
  auto be32 = [&png](uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  };
  be32(static_cast<uint32_t>(data.size()));
  size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  be32(static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// A PNG whose header claims width x height, with an empty IDAT: a few dozen bytes.
std::vector<uint8_t> pngClaiming(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<uint8_t> header;
  for (uint32_t v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<uint8_t>(v >> shift));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
  appendChunk(png, "IHDR", header);
  appendChunk(png, "IDAT", {});
  appendChunk(png, "IEND", {});
  return png;
}

class BadInput : public UiTest {};

struct BadCover {
  const char* name;
  std::function<fs::path(const fs::path& folder)> make;
};

TEST_F(BadInput, CoverThatCannotBeReadShowsTheStockPictureAndLosesNothingElse) {
  const std::vector<BadCover> cases = {
      {"folder",
       [](const fs::path& folder) {
         fs::create_directories(folder / "folder.png");
         return folder / "folder.png";
       }},
      {"empty file",
       [](const fs::path& folder) {
         writeBytes(folder / "empty.png", {});
         return folder / "empty.png";
       }},
      {"text named .png",
       [](const fs::path& folder) {
         std::ofstream(folder / "notes.png") << "shopping list: eggs, flour, milk\n";
         return folder / "notes.png";
       }},
      {"20000 x 20000 PNG",
       [](const fs::path& folder) {
         writeBytes(folder / "huge.png", pngClaiming(20000, 20000));
         return folder / "huge.png";
       }},
      {"FIFO nobody writes to",
       [](const fs::path& folder) {
         EXPECT_EQ(mkfifo((folder / "pipe.png").c_str(), 0644), 0);
         return folder / "pipe.png";
       }},
      {"missing file", [](const fs::path& folder) { return folder / "missing.png"; }},
  };

  // Another slot, the style and a setting the user chose before.
  fs::path back = tmp / "back.png";
  writePicture(back, 0xFF20A020u);
  answers = {back.string()};
  control(kBackButton);
  click(kFirstStyleButton + 4, 1);
  menu(kMenuBlack);
  ASSERT_EQ(App.Background, 1);
  const EngineHandle backTexture = App.Covers[kSlotBack].Texture;
  ASSERT_NE(backTexture, 0);

  for (const BadCover& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path path = c.make(tmp);
    // Should the reader wait on the FIFO, a writer that opens and closes it ends the wait, and
    // the test fails instead of hanging.
    std::atomic<bool> done{false}, unblocked{false};
    std::thread watchdog([&] {
      for (int i = 0; i < 200 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (done) return;
      int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK);
      if (fd >= 0) {
        unblocked = true;
        close(fd);
      }
    });
    answers = {path.string()};
    control(kFrontButton);
    done = true;
    watchdog.join();
    EXPECT_FALSE(unblocked) << "reading the cover waited for a writer";

    EXPECT_EQ(App.Covers[kSlotFront].Path, path.string());
    EXPECT_EQ(tkText(kFrontField), path.string());
    EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
    expectSlotShows(kSlotFront, App.StockTextures[kSlotFront]);
    // Nothing else lost.
    EXPECT_EQ(App.Covers[kSlotBack].Path, back.string());
    EXPECT_EQ(App.Covers[kSlotBack].Texture, backTexture);
    EXPECT_EQ(App.CurrentStyle, 5);
    EXPECT_EQ(App.Background, 1);
  }
}

struct HostileSession {
  const char* name;
  std::function<void(kestrum::SessionRecord&)> spoil;
};

std::vector<HostileSession> hostileSessions() {
  return {
      {"style 999", [](kestrum::SessionRecord& r) { r.Style = 999; }},
      {"negative sizes",
       [](kestrum::SessionRecord& r) {
         r.OutputWidth = -640;
         r.OutputHeight = -1;
       }},
      {"filter 7", [](kestrum::SessionRecord& r) { r.FilterType = 7; }},
      {"10 MB text line",
       [](kestrum::SessionRecord& r) { r.CoverPaths[0] = std::string(10 << 20, 'x'); }},
      {"10 MB output path",
       [](kestrum::SessionRecord& r) { r.OutputPath = std::string(10 << 20, 'y') + ".png"; }},
  };
}

kestrum::SessionRecord usableRecord(const fs::path& folder) {
  kestrum::SessionRecord record;
  record.PivotRotationX = 10;
  record.PivotRotationY = 30;
  record.CameraZ = 8;
  record.Style = 3;
  record.OutputPath = (folder / "shot.png").string();
  record.OutputWidth = 64;
  record.OutputHeight = 64;
  record.FilterType = 1;
  record.Shadows = 1;
  record.LightAngle = 45;
  record.LightRange = 12;
  record.AmbientLevel = 40;
  return record;
}

TEST_F(BadInput, HostileSessionLeavesTheWindowConsistent) {
  click(kFirstStyleButton + 6, 1);
  for (const HostileSession& c : hostileSessions()) {
    SCOPED_TRACE(c.name);
    kestrum::SessionRecord record = usableRecord(tmp);
    c.spoil(record);
    fs::path path = tmp / "hostile.ksm";
    ASSERT_TRUE(kestrum::writeSessionFile(path.string(), record));
    const int styleBefore = App.CurrentStyle;
    answers = {path.string()};
    menu(kMenuOpen);

    // The style shown is a catalogue style, the one stored when it is one.
    EXPECT_EQ(App.CurrentStyle, IsBoxStyle(record.Style) ? record.Style : styleBefore);
    EXPECT_TRUE(iNodeVisible(App.ModelTable[App.CurrentStyle]));
    EXPECT_EQ(tkState(kFirstStyleButton + App.CurrentStyle - 1), 1);
    // The controls show what App holds.
    EXPECT_EQ(tkText(kWidthField), std::to_string(App.OutputWidth));
    EXPECT_EQ(tkText(kHeightField), std::to_string(App.OutputHeight));
    // A text field holds at most 32767 characters: it shows the start of a longer path.
    EXPECT_EQ(tkText(kFrontField).empty(), App.Covers[kSlotFront].Path.empty());
    EXPECT_EQ(App.Covers[kSlotFront].Path.rfind(tkText(kFrontField), 0), 0u);
    int checkedFilters = 0;
    for (int item = kMenuFilterNone; item <= kMenuFilterAnisotropic; ++item)
      checkedFilters += tkMenuItemChecked(item) ? 1 : 0;
    const bool knownFilter = App.FilterType >= 0 && App.FilterType <= 3;
    EXPECT_EQ(checkedFilters, knownFilter ? 1 : 0);
    if (knownFilter) {
      EXPECT_TRUE(tkMenuItemChecked(kMenuFilterNone + App.FilterType));
    }
    EXPECT_EQ(App.Covers[kSlotFront].Texture, 0);
    expectSlotShows(kSlotFront, App.StockTextures[kSlotFront]);
  }
}

// kilnshot, run as a script would, refuses each hostile session with a message and writes
// nothing.
TEST_F(BadInput, KilnshotRefusesHostileSessions) {
  for (const HostileSession& c : hostileSessions()) {
    // A cover that cannot be read is drawn with the stock picture, as in the window.
    if (std::string(c.name) == "10 MB text line") continue;
    SCOPED_TRACE(c.name);
    kestrum::SessionRecord record = usableRecord(tmp);
    c.spoil(record);
    fs::path path = tmp / "hostile.ksm";
    ASSERT_TRUE(kestrum::writeSessionFile(path.string(), record));
    fs::remove(tmp / "shot.png");
    std::string command = std::string("'") + KESTRUM_RUN_DIR + "/kilnshot' '" + path.string() +
                          "' >'" + (tmp / "said.txt").string() + "' 2>&1";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string text = fileText(tmp / "said.txt");
    EXPECT_NE(text.find("kilnshot: "), std::string::npos) << text.substr(0, 300);
    EXPECT_FALSE(fs::exists(tmp / "shot.png"));
  }
}

}  // namespace
}  // namespace uitest
