// The program started as a user starts it, in the run folder with the generated models, with
// file dialogs and message boxes answered by the test, and events posted into the main loop.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "engine/engine.h"
#include "file_bytes.h"
#include "image/image.h"
#include "shot/shot.h"
#include "scratch_folder.h"
#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"

namespace uitest {

namespace fs = std::filesystem;
using kestrum::test::fileBytes;

// A square picture of one colour (RGBA as 0xAABBGGRR, the engine's layout).
inline void writePicture(const fs::path& path, uint32_t colour, int size = 16) {
  ASSERT_TRUE(kestrum::saveImage(kestrum::makeImage(size, size, colour), path.string()));
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = kestrum::sys::currentDirectory();
    ASSERT_TRUE(fs::exists(fs::path(KESTRUM_RUN_DIR) / "bin" / "box_curved.a3d"))
        << "the run folder has no generated models";
    ASSERT_TRUE(kestrum::sys::setCurrentDirectory(KESTRUM_RUN_DIR));
    tmp = kestrum::test::freshTestFolder();
    fs::create_directories(tmp / "profile");
    std::string error;
    ASSERT_TRUE(InitApplication(&error, 1280, 1024)) << error;
    App.ProfileFolder = (tmp / "profile").string() + "/";
    tkSetFileDialogHook([this](const TkFileDialogRequest& request) {
      dialogs.push_back(request);
      if (answers.empty()) return std::string();
      std::string answer = answers.front();
      answers.pop_front();
      return answer;
    });
    tkSetMessageHook([this](const TkMessageRequest& request) {
      messages.push_back(request);
      return TkMessageAnswer::Ok;
    });
    // Whatever the window system queued while the window came up is not part of the test.
    tkPollEvent();
    tkClearEvents();
  }

  void TearDown() override {
    tkSetFileDialogHook(nullptr);
    tkSetMessageHook(nullptr);
    ReleaseApplication();
    kestrum::sys::setCurrentDirectory(previous_);
  }

  // Public so that table rows (lambdas) can drive the window.
 public:
  // One event through the main loop, as the window system would deliver it.
  void post(TkEventKind kind, int id, TkControlEvent type = TkControlEvent::Change) {
    tkClearEvents();
    tkPostEvent({kind, id, type});
    for (int pass = 0; pass < 8 && tkPendingEventCount() > 0; ++pass) ASSERT_TRUE(MainLoopPass());
    EXPECT_EQ(tkPendingEventCount(), 0u);
  }
  void menu(int item) { post(TkEventKind::Menu, item); }
  void control(int id) { post(TkEventKind::Control, id); }
  // A click that the toolkit reports after changing the control's state.
  void click(int id, int newState) {
    tkSetState(id, newState);
    control(id);
  }
  void typeInto(int field, const std::string& text) {
    tkSetText(field, text);
    control(field);
  }

  // Expects every face of the cover slot, over all models, to show `texture`; fails also when
  // no model binds the slot.
  static void expectSlotShows(int slot, EngineHandle texture) {
    int faces = 0;
    for (const TextureBinding& binding : App.TextureBindings) {
      if (CoverSlotOfTextureName(binding.Name) != slot) continue;
      ++faces;
      EXPECT_EQ(iNodeMaterial(binding.Node).textures[0], texture)
          << "slot " << slot << " node " << binding.Node << " (" << binding.Name << ")";
    }
    EXPECT_GT(faces, 0) << "no model binds slot " << slot;
  }

  fs::path tmp;
  std::deque<std::string> answers;  // what the next file dialogs return ("" = cancelled)
  std::vector<TkFileDialogRequest> dialogs;
  std::vector<TkMessageRequest> messages;

 private:
  std::string previous_;
};

}  // namespace uitest
