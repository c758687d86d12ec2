// A test fixture that runs the kilnshot program as a user would: in the run folder, with HOME in
// a folder of the test's own, keeping what it printed on stderr.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "image/image.h"
#include "persist/session_record.h"
#include "scratch_folder.h"
#include "system/system.h"

// A new session at a small size, quick to render.
inline kestrum::SessionRecord smallSession() {
  kestrum::SessionRecord r = kestrum::newSessionRecord();
  r.OutputWidth = 200;
  r.OutputHeight = 209;
  return r;
}

class KilnshotRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = kestrum::test::freshTestFolder();
    std::filesystem::create_directories(dir / "home");
    oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", (dir / "home").c_str(), 1);
  }
  void TearDown() override { setenv("HOME", oldHome.c_str(), 1); }

  // Runs kilnshot in the run folder; returns its exit status and keeps what it printed.
  int run(const std::vector<std::string>& args) {
    const std::string runDir = KESTRUM_RUN_DIR;
    std::vector<std::string> shArgs = {"-c", "exec \"$0\" \"$@\" 2>\"$KILN_ERR\"",
                                       runDir + "/kilnshot"};
    shArgs.insert(shArgs.end(), args.begin(), args.end());
    setenv("KILN_ERR", (dir / "stderr.txt").c_str(), 1);
    int status = kestrum::sys::runProgramAndWait("/bin/sh", shArgs, runDir);
    printed = kestrum::test::fileText(dir / "stderr.txt");
    return status;
  }
  std::string save(const kestrum::SessionRecord& r, const std::string& name) {
    std::string path = (dir / name).string();
    EXPECT_TRUE(kestrum::writeSessionFile(path, r));
    return path;
  }
  kestrum::Image load(const std::filesystem::path& p) {
    auto picture = kestrum::loadImage(p.string());
    EXPECT_TRUE(picture) << p;
    return picture ? *picture : kestrum::Image{};
  }

  std::filesystem::path dir;
  std::string oldHome;
  std::string printed;
};
