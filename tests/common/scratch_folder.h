// Scratch folders for tests, under the test program's own KESTRUM_TEST_TMP in the build folder.
// A folder is emptied when it is handed out, not after the test, so a failure can be looked into.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace kestrum::test {

// An empty folder `name` in the scratch space; whatever an earlier run left there is removed.
inline std::filesystem::path freshFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(KESTRUM_TEST_TMP) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// freshFolder(name) as a string ending in '/', ready for file names to be appended.
inline std::string freshFolderPrefix(const std::string& name) {
  return freshFolder(name).string() + "/";
}

// The running test as "Suite_Test", fit for a file name ('/' of parameterised tests becomes '_').
inline std::string currentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

// An empty folder of the running test's own, named after its suite and test.
inline std::filesystem::path freshTestFolder() {
  return freshFolder(currentTestName());
}

}  // namespace kestrum::test
