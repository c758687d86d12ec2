// "Render Image": the scene handed to the final renderer through the hand-off file, a run window
// fed by the renderer's own progress report while it works, and a message that says what came
// of it: the picture written, with a button to look at it, or why there is none.
#include <string>
#include <vector>

#include "image/image.h"
#include "persist/render_progress.h"
#include "persist/session_record.h"
#include "state/app_state.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "ui/ids.h"
#include "ui/operations.h"
#include "ops_common.h"

namespace {

#ifdef _WIN32
constexpr const char* kRendererProgram = "kilnshot.exe";
#else
constexpr const char* kRendererProgram = "kilnshot";
#endif

// The most lines of the renderer's own messages an "Oops!" box quotes.
constexpr size_t kQuotedLines = 6;

void oops(const std::string& text) {
  tkMessageBox("Oops!", text, TkMessageButtons::Ok, TkMessageIcon::Warning);
}

// Empty when a size field's value is a size the renderer can make; otherwise what is wrong.
std::string sizeProblem(const std::string& name, int field, int value) {
  if (value >= 1 && value <= kestrum::kMaxImageSide) return {};
  return "The " + name + " \"" + tkText(field) +
         "\" is not a size a picture can have.\nPlease type a whole number of pixels from 1 to " +
         std::to_string(kestrum::kMaxImageSide) + ".";
}

// What the renderer reported about its run.
struct RenderOutcome {
  std::vector<std::string> written;
  std::vector<std::string> errors;
};

// A renderer's message without the name of the hand-off file it read, which means nothing to
// the user, or the renderer's own name at the start of each line.
std::string userMessage(std::string text, const std::string& handOff) {
  for (const std::string& noise : {handOff + ": ", std::string("kilnshot: ")}) {
    for (size_t at = text.find(noise); at != std::string::npos; at = text.find(noise, at))
      text.erase(at, noise.size());
  }
  return text;
}

// The last few lines the renderer wrote to its standard error.
std::vector<std::string> lastLines(const std::string& output) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    if (end > start) lines.push_back(output.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() > kQuotedLines) lines.erase(lines.begin(), lines.end() - kQuotedLines);
  return lines;
}

void reportFailure(const TkRunResult& run, const RenderOutcome& outcome,
                   const std::string& handOff) {
  std::vector<std::string> why = outcome.errors;
  if (why.empty()) why = lastLines(run.errorOutput);
  if (why.size() > kQuotedLines) why.erase(why.begin(), why.end() - kQuotedLines);
  std::string text = "The picture could not be rendered.\n";
  for (const std::string& line : why) text += "\n" + userMessage(line, handOff);
  if (why.empty()) {
    text += "\nThe renderer " +
            (run.exitStatus >= 0 ? "stopped with status " + std::to_string(run.exitStatus)
                                 : std::string("did not finish")) +
            " without saying why.";
  }
  oops(text);
}

void reportPicture(const std::string& picture) {
  TkMessageRequest request;
  request.title = "Information";
  request.text = "The picture has been rendered as...\n\"" + picture + "\"";
  request.icon = TkMessageIcon::Information;
  request.action = "Open Picture";
  if (tkMessageBox(request) == TkMessageAnswer::Action && !kestrum::sys::openDocument(picture))
    oops("No program could be started to show the picture.");
}

}  // namespace

void RenderImage() {
  App.RedrawFlag = 1;
  readOutputSizeFields();
  for (const std::string& problem : {sizeProblem("width", kWidthField, App.OutputWidth),
                                     sizeProblem("height", kHeightField, App.OutputHeight)}) {
    if (!problem.empty()) return oops(problem);
  }
  if (App.OutputPath.empty()) {
    // No file was chosen for the picture yet: ask for one, as the ">>" button does. A picture is
    // never written to a place the user did not choose.
    ChooseOutputImage();
    if (App.OutputPath.empty()) return;
  }
  // The renderer runs in the start-up folder: a relative output path is taken from there.
  const std::string output = kestrum::sys::resolvePath(App.StartupFolder, App.OutputPath);
  const std::string folder(kestrum::sys::folderPart(output));
  if (!folder.empty() && !kestrum::sys::isDirectory(folder)) {
    return oops("The picture cannot be saved as...\n\"" + output + "\"\nThe folder \"" + folder +
                "\" does not exist. Please choose another place with the \">>\" button.");
  }
  if (kestrum::sys::fileNamePart(output).empty()) {
    return oops("The output path \"" + output + "\" names a folder, not a file.");
  }

  const std::string handOff = App.ProfileFolder + kestrum::kHandOffFileName;
  if (!WriteSessionRecord(handOff)) {
    kestrum::sys::deleteFile(handOff);
    return oops("There was a problem saving your current setttings.");
  }
  TkRunRequest request;
  request.program = App.StartupFolder + kRendererProgram;
  request.arguments = {kestrum::kProgressFdOption, "1"};
  request.workingDirectory = App.StartupFolder;
  request.title = "Render Image";
  request.text = "Starting the renderer...";
  request.labelId = kRenderProgressLabel;
  request.barId = kRenderProgressBar;
  request.cancelId = kRenderCancelButton;
  RenderOutcome outcome;
  TkRunResult run = tkRunProgram(request, [&outcome](const std::string& line) {
    kestrum::RenderReport report = kestrum::parseRenderReport(line);
    switch (report.kind) {
      case kestrum::RenderReport::Kind::Progress:
        tkSetState(kRenderProgressBar, report.percent);
        if (!report.text.empty()) tkSetText(kRenderProgressLabel, report.text + "...");
        break;
      case kestrum::RenderReport::Kind::Wrote:
        outcome.written.push_back(report.text);
        break;
      case kestrum::RenderReport::Kind::Error:
        outcome.errors.push_back(report.text);
        break;
      case kestrum::RenderReport::Kind::Other:
        break;
    }
  });
  kestrum::sys::deleteFile(handOff);

  if (!run.started) return oops("The renderer could not be started.\n" + run.reason);
  if (run.cancelled) return;  // the user stopped it: nothing to tell
  if (run.exitStatus != 0) return reportFailure(run, outcome, handOff);
  // A renderer that does not report what it wrote is taken at the job's word, but only once the
  // picture is there.
  const std::string picture = outcome.written.empty() ? output : outcome.written.back();
  if (!kestrum::sys::fileExists(picture)) {
    return oops("The renderer finished, but no picture was written as...\n\"" + picture + "\"");
  }
  reportPicture(picture);
}
