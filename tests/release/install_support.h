// Installs the build into a fresh temporary prefix for a test, and runs shell commands there.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <sys/wait.h>

#include "scratch_folder.h"

namespace releasetest {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string output;  // standard output and error together
};

inline Result run(const std::string& command) {
  Result result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  std::array<char, 256> buffer{};
  while (fgets(buffer.data(), buffer.size(), pipe)) result.output += buffer.data();
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

inline std::string quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

// A fresh folder of the test's own, with the build installed under prefix/.
inline fs::path installIntoFreshPrefix(const std::string& name) {
  const fs::path folder = kestrum::test::freshFolder(name);
  Result install = run(std::string("'") + KESTRUM_CMAKE + "' --install '" + KESTRUM_BUILD_DIR +
                       "' --prefix " + quoted(folder / "prefix"));
  EXPECT_EQ(install.status, 0) << install.output;
  return folder;
}

}  // namespace releasetest
