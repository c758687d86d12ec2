// "Render Image": the hand-off of the scene to the final renderer, the checks made before it
// starts, and what the window says about the run. A stand-in renderer (a shell script in a
// start-up folder of the test's own) plays the renderer's part.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "persist/session_record.h"
#include "ui_fixture.h"

namespace uitest {
namespace {

using kestrum::SessionRecord;

SessionRecord readRecord(const fs::path& path) {
  SessionRecord record;
  EXPECT_TRUE(kestrum::readSessionFile(path.string(), &record)) << path;
  return record;
}

std::string firstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

class Render : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    if (HasFatalFailure()) return;
    start = tmp / "start";
    fs::create_directories(start);
    App.StartupFolder = start.string() + "/";
    picture = tmp / "shot.png";
    answers = {picture.string()};
    control(kOutputPathButton);
    ASSERT_EQ(App.OutputPath, picture.string());
    dialogs.clear();
    // By default the stand-in records how it was run and what it was handed, and writes the
    // picture without reporting anything, as a renderer of its own making would.
    renderer("cp \"" + App.ProfileFolder + "kestrum.tmp\" \"" + (tmp / "seen.ksm").string() +
             "\"\npwd > \"" + (tmp / "cwd.txt").string() + "\"\necho $# \"$@\" > \"" +
             (tmp / "args.txt").string() + "\"\n: > \"" + picture.string() + "\"\n");
  }

  // Makes the stand-in renderer run `body` (shell).
  void renderer(const std::string& body) {
    fs::path script = start / "kilnshot";
    std::ofstream(script) << "#!/bin/sh\n" << body;
    fs::permissions(script, fs::perms::owner_all);
  }

  // The one message shown, or a failure.
  const TkMessageRequest& onlyMessage() {
    static const TkMessageRequest none;
    EXPECT_EQ(messages.size(), 1u);
    return messages.empty() ? none : messages.back();
  }
  bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  fs::path start;
  fs::path picture;
};

// What other renderers rely on: the record in the profile folder, byte for byte what a save
// writes, the renderer started in the start-up folder with no session named, the file deleted.
TEST_F(Render, RendererSeesTheSessionRecordAndTheFileIsGoneAfterwards) {
  for (int trigger : {kToolRender, kRenderButton}) {
    SCOPED_TRACE(trigger);
    fs::remove(tmp / "seen.ksm");
    fs::remove(picture);
    messages.clear();
    click(kFirstStyleButton + 1, 1);
    typeInto(kWidthField, "400");
    typeInto(kHeightField, "300");
    control(trigger);
    ASSERT_TRUE(fs::exists(tmp / "seen.ksm")) << "the renderer did not run";
    EXPECT_FALSE(fs::exists(App.ProfileFolder + "kestrum.tmp"));
    EXPECT_EQ(firstLine(tmp / "args.txt"), "2 --progress-fd 1");
    EXPECT_EQ(fs::canonical(firstLine(tmp / "cwd.txt")), fs::canonical(start));
    SessionRecord handed = readRecord(tmp / "seen.ksm");
    EXPECT_EQ(handed.OutputWidth, 400);
    EXPECT_EQ(handed.OutputHeight, 300);
    EXPECT_EQ(handed.Style, 2);
    EXPECT_EQ(handed.OutputPath, picture.string());
    EXPECT_EQ(fileBytes(tmp / "seen.ksm"),
              kestrum::encodeSessionRecord(kestrum::captureSessionRecord(App)));
    EXPECT_EQ(App.SessionPath, "");
    EXPECT_EQ(tkWindowTitle(), kWindowTitle);
    EXPECT_EQ(App.RedrawFlag, 1);
    // The picture is there: the window says where.
    const TkMessageRequest& box = onlyMessage();
    EXPECT_EQ(box.title, "Information");
    EXPECT_EQ(box.text, "The picture has been rendered as...\n\"" + picture.string() + "\"");
    EXPECT_EQ(box.action, "Open Picture");
  }
}

TEST_F(Render, UnwritableHandOffSaysOopsAndRunsNothing) {
  App.ProfileFolder = (tmp / "no_profile").string() + "/";
  typeInto(kWidthField, "500");
  control(kToolRender);
  EXPECT_FALSE(fs::exists(tmp / "seen.ksm"));
  const TkMessageRequest& box = onlyMessage();
  EXPECT_EQ(box.title, "Oops!");
  EXPECT_EQ(box.text, "There was a problem saving your current setttings.");
  EXPECT_EQ(App.OutputWidth, 500);  // taken from the field all the same
}

TEST_F(Render, MissingRendererSaysSoAndTheFileIsStillDeleted) {
  fs::remove(start / "kilnshot");
  control(kRenderButton);
  const TkMessageRequest& box = onlyMessage();
  EXPECT_EQ(box.title, "Oops!");
  EXPECT_TRUE(contains(box.text, "could not be started")) << box.text;
  EXPECT_TRUE(contains(box.text, App.StartupFolder + "kilnshot")) << box.text;
  EXPECT_FALSE(fs::exists(App.ProfileFolder + "kestrum.tmp"));
}

// Sizes the renderer cannot make are refused before it starts, naming what was typed.
TEST_F(Render, SizesOutsideOneTo16384AreRefusedBeforeTheRendererRuns) {
  struct Case {
    int field;
    const char* text;
    const char* name;
  } cases[] = {{kWidthField, "abc", "width"},
               {kWidthField, "0", "width"},
               {kHeightField, "-5", "height"},
               {kHeightField, "", "height"},
               {kWidthField, "16385", "width"}};
  App.MaxOutputWidth = App.MaxOutputHeight = 0;  // no display limit holds the fields
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    messages.clear();
    typeInto(kWidthField, "640");
    typeInto(kHeightField, "480");
    typeInto(c.field, c.text);
    control(kToolRender);
    EXPECT_FALSE(fs::exists(tmp / "seen.ksm")) << "the renderer must not run";
    EXPECT_FALSE(fs::exists(App.ProfileFolder + "kestrum.tmp"));
    const TkMessageRequest& box = onlyMessage();
    EXPECT_EQ(box.title, "Oops!");
    EXPECT_TRUE(contains(box.text, std::string("The ") + c.name + " \"" + c.text + "\""))
        << box.text;
    EXPECT_TRUE(contains(box.text, "1 to 16384")) << box.text;
  }
}

TEST_F(Render, MissingOutputFolderOrAFolderForAFileIsRefusedBeforeTheRendererRuns) {
  struct Case {
    fs::path output;
    const char* says;
  } cases[] = {{tmp / "gone" / "shot.png", "does not exist"},
               {fs::path(tmp.string() + "/"), "names a folder"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output.string());
    messages.clear();
    answers = {c.output.string()};
    control(kOutputPathButton);
    control(kRenderButton);
    EXPECT_FALSE(fs::exists(tmp / "seen.ksm"));
    const TkMessageRequest& box = onlyMessage();
    EXPECT_EQ(box.title, "Oops!");
    EXPECT_TRUE(contains(box.text, c.says)) << box.text;
  }
}

// With no output file chosen, Render asks for one (the ">>" button's dialog) instead of writing
// somewhere the user never chose; cancelling it renders nothing.
TEST_F(Render, WithoutAnOutputFileItAsksForOne) {
  answers = {""};
  control(kOutputPathButton);
  ASSERT_EQ(App.OutputPath, "");
  dialogs.clear();

  answers = {""};
  control(kToolRender);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, "Save Image As..");
  EXPECT_FALSE(fs::exists(tmp / "seen.ksm"));
  EXPECT_TRUE(messages.empty());

  answers = {picture.string()};
  control(kToolRender);
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(App.OutputPath, picture.string());
  EXPECT_EQ(tkText(kOutputPathField), picture.string());
  EXPECT_EQ(readRecord(tmp / "seen.ksm").OutputPath, picture.string());
  EXPECT_EQ(onlyMessage().title, "Information");
}

// The renderer's report is read as it comes: the picture it names is the one the window names.
TEST_F(Render, SuccessNamesThePictureTheRendererReports) {
  fs::path elsewhere = tmp / "elsewhere.png";
  renderer("echo 'progress 5 Loading the box models'\necho 'progress 60 Drawing'\n: > \"" +
           elsewhere.string() + "\"\necho 'wrote " + elsewhere.string() +
           "'\necho 'progress 100 Wrote elsewhere.png'\n");
  control(kToolRender);
  const TkMessageRequest& box = onlyMessage();
  EXPECT_EQ(box.title, "Information");
  EXPECT_TRUE(contains(box.text, "\"" + elsewhere.string() + "\"")) << box.text;
}

// A failed run is never reported as a success: the renderer's own words, without the hand-off
// file's name, in an "Oops!" box.
TEST_F(Render, FailureShowsTheRenderersMessage) {
  const std::string handOff = App.ProfileFolder + "kestrum.tmp";
  struct Case {
    const char* name;
    std::string script;
    std::string says;
  } cases[] = {
      {"reported error",
       "echo 'progress 0 Reading the render job'\necho 'error " + handOff +
           ": texture filter 7 is not one of 0 to 3'\necho 'kilnshot: " + handOff +
           ": texture filter 7 is not one of 0 to 3' >&2\nexit 1\n",
       "texture filter 7 is not one of 0 to 3"},
      {"only standard error", "echo 'kilnshot: the output folder is full' >&2\nexit 1\n",
       "the output folder is full"},
      {"silent failure", "exit 3\n", "stopped with status 3"},
      {"crash", "kill -SEGV $$\n", "did not finish"},
      {"success without a picture", "exit 0\n", "no picture was written"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages.clear();
    fs::remove(picture);
    renderer(c.script);
    control(kRenderButton);
    const TkMessageRequest& box = onlyMessage();
    EXPECT_EQ(box.title, "Oops!");
    EXPECT_TRUE(contains(box.text, c.says)) << box.text;
    EXPECT_FALSE(contains(box.text, handOff)) << box.text;
    EXPECT_FALSE(contains(box.text, "kilnshot: ")) << box.text;
    EXPECT_FALSE(fs::exists(handOff));
  }
}

// The success box's button shows the picture with the desktop's viewer.
TEST_F(Render, OpenPictureHandsThePictureToTheDesktopViewer) {
  fs::path bin = tmp / "bin";
  fs::create_directories(bin);
  fs::path opened = tmp / "opened.txt";
  {
    std::ofstream opener(bin / "xdg-open");
    opener << "#!/bin/sh\necho \"$1\" > \"" << opened.string() << ".part\"\nmv \""
           << opened.string() << ".part\" \"" << opened.string() << "\"\n";
  }
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
  tkSetMessageHook([this](const TkMessageRequest& request) {
    messages.push_back(request);
    return request.action.empty() ? TkMessageAnswer::Ok : TkMessageAnswer::Action;
  });
  control(kRenderButton);
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(onlyMessage().title, "Information");
  // The viewer is started without waiting for it.
  for (int i = 0; i < 100 && !fs::exists(opened); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(firstLine(opened), picture.string());
}

}  // namespace
}  // namespace uitest
