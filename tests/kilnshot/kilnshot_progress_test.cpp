// kilnshot's progress report for the program that started it (--progress-fd): what it is doing,
// each picture written and each reason a picture could not be made, one line at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "persist/render_progress.h"
#include "persist/session_record.h"

#include "kilnshot_fixture.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

class KilnshotProgress : public KilnshotRun {
 protected:
  // The reports among what kilnshot printed on stderr (descriptor 2 here).
  std::vector<RenderReport> reports() const {
    std::vector<RenderReport> out;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
      RenderReport report = parseRenderReport(line);
      if (report.kind != RenderReport::Kind::Other) out.push_back(report);
    }
    return out;
  }
  static std::vector<std::string> texts(const std::vector<RenderReport>& reports,
                                        RenderReport::Kind kind) {
    std::vector<std::string> out;
    for (const RenderReport& r : reports)
      if (r.kind == kind) out.push_back(r.text);
    return out;
  }
};

// The hand-off job as the window starts it: from reading the job to the written picture, the
// per cent only grows and ends at 100.
TEST_F(KilnshotProgress, HandOffRunReportsEachStepAndThePictureWritten) {
  SessionRecord r = smallSession();
  r.OutputPath = (dir / "shot.png").string();
  ASSERT_TRUE(writeSessionFile((dir / "home" / kHandOffFileName).string(), r));
  ASSERT_EQ(run({kProgressFdOption, "2"}), 0) << printed;
  EXPECT_TRUE(fs::exists(dir / "shot.png"));

  std::vector<RenderReport> all = reports();
  std::vector<std::string> steps = texts(all, RenderReport::Kind::Progress);
  ASSERT_GE(steps.size(), 4u) << printed;
  EXPECT_EQ(steps.front(), "Reading the render job");
  EXPECT_NE(std::find(steps.begin(), steps.end(), "Loading the box models"), steps.end());
  EXPECT_NE(std::find(steps.begin(), steps.end(), "Drawing the picture (200 x 209)"), steps.end());
  int last = -1;
  for (const RenderReport& report : all) {
    if (report.kind != RenderReport::Kind::Progress) continue;
    EXPECT_GE(report.percent, last) << report.text;
    last = report.percent;
  }
  EXPECT_EQ(last, 100);
  EXPECT_EQ(texts(all, RenderReport::Kind::Wrote),
            std::vector<std::string>{(dir / "shot.png").string()});
  EXPECT_TRUE(texts(all, RenderReport::Kind::Error).empty());
}

// Several pictures share the per cent; each is reported when it is written.
TEST_F(KilnshotProgress, TurntableReportsEveryFrame) {
  SessionRecord r = smallSession();
  r.OutputPath = (dir / "turn.png").string();
  ASSERT_EQ(run({kProgressFdOption, "2", "--turntable", "3", save(r, "turn.ksm")}), 0) << printed;
  std::vector<RenderReport> all = reports();
  EXPECT_EQ(
      texts(all, RenderReport::Kind::Wrote),
      (std::vector<std::string>{(dir / "turn_001.png").string(), (dir / "turn_002.png").string(),
                                (dir / "turn_003.png").string()}));
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back().kind, RenderReport::Kind::Wrote);
}

// A job it refuses is reported as an error line with kilnshot's reason, and nothing is written.
TEST_F(KilnshotProgress, RefusedJobIsReportedAsAnError) {
  SessionRecord r = smallSession();
  r.FilterType = 7;
  r.OutputPath = (dir / "shot.png").string();
  ASSERT_TRUE(writeSessionFile((dir / "home" / kHandOffFileName).string(), r));
  EXPECT_EQ(run({kProgressFdOption, "2"}), 1);
  std::vector<std::string> errors = texts(reports(), RenderReport::Kind::Error);
  ASSERT_EQ(errors.size(), 1u) << printed;
  EXPECT_NE(errors[0].find("texture filter 7 is not one of 0 to 3"), std::string::npos);
  EXPECT_TRUE(texts(reports(), RenderReport::Kind::Wrote).empty());
  EXPECT_FALSE(fs::exists(dir / "shot.png"));
}

TEST_F(KilnshotProgress, BadDescriptorsAreRefused) {
  for (const char* fd : {"1000", "abc", "-1", ""}) {
    SCOPED_TRACE(fd);
    EXPECT_EQ(run({kProgressFdOption, fd}), 2);
    EXPECT_NE(printed.find("--progress-fd"), std::string::npos) << printed;
  }
  EXPECT_EQ(run({kProgressFdOption}), 2);
}

}  // namespace
