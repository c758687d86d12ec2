#include "system/system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "file_bytes.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;
using namespace kestrum;

namespace {

using test::fileText;
using test::freshFolder;

// Sets an environment variable for the life of the object.
struct ScopedEnv {
  std::string name;
  std::string old;
  bool had;
  ScopedEnv(std::string n, const char* value) : name(std::move(n)) {
    const char* o = std::getenv(name.c_str());
    had = o != nullptr;
    if (had) old = o;
    if (value)
      setenv(name.c_str(), value, 1);
    else
      unsetenv(name.c_str());
  }
  ~ScopedEnv() {
    if (had)
      setenv(name.c_str(), old.c_str(), 1);
    else
      unsetenv(name.c_str());
  }
};

}  // namespace

TEST(PathParts, SplitsOnEitherSeparator) {
  struct Case {
    const char* path;
    const char* folder;
    const char* file;
  } cases[] = {
      {"front.png", "", "front.png"},
      {"bin/front.png", "bin/", "front.png"},
      {"bin\\front.png", "bin\\", "front.png"},
      {"/home/u/art/a\\b.png", "/home/u/art/a\\", "b.png"},
      {"/abs/", "/abs/", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sys::folderPart(c.path), c.folder) << c.path;
    EXPECT_EQ(sys::fileNamePart(c.path), c.file) << c.path;
  }
  EXPECT_EQ(sys::withTrailingSeparator("/a"), "/a/");
  EXPECT_EQ(sys::withTrailingSeparator("/a/"), "/a/");
  EXPECT_EQ(sys::withTrailingSeparator("C:\\x\\"), "C:\\x\\");
  EXPECT_EQ(sys::withTrailingSeparator(""), "");
}

TEST(PathParts, OnlyASlashMakesAPathAbsolute) {
  struct Case {
    const char* folder;
    const char* path;
    bool absolute;
    const char* resolved;
  } cases[] = {
      {"/s", "art/a.png", false, "/s/art/a.png"},
      {"/s/", "a.png", false, "/s/a.png"},
      {"/s", "/abs/a.png", true, "/abs/a.png"},
      // A backslash is part of a Linux file name, not a root.
      {"/s", "\\a.png", false, "/s/\\a.png"},
      {"", "art/a.png", false, "art/a.png"},
      {"/s", "", false, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sys::isAbsolutePath(c.path), c.absolute) << c.path;
    EXPECT_EQ(sys::resolvePath(c.folder, c.path), c.resolved) << c.folder << " + " << c.path;
  }
}

TEST(CurrentDirectory, ChangesAndRestores) {
  std::string before = sys::currentDirectory();
  ASSERT_FALSE(before.empty());
  fs::path dir = freshFolder("cwd");
  ASSERT_TRUE(sys::setCurrentDirectory(dir.string()));
  EXPECT_EQ(fs::path(sys::currentDirectory()), fs::canonical(dir));
  EXPECT_TRUE(sys::setCurrentDirectory(""));  // empty leaves it unchanged
  EXPECT_EQ(fs::path(sys::currentDirectory()), fs::canonical(dir));
  EXPECT_FALSE(sys::setCurrentDirectory((dir / "missing").string()));
  ASSERT_TRUE(sys::setCurrentDirectory(before));
  EXPECT_EQ(sys::currentDirectory(), before);
}

TEST(ProfileFolder, IsHomeWithSeparatorOrEmpty) {
  fs::path dir = freshFolder("home");
  {
    ScopedEnv home("HOME", dir.string().c_str());
    EXPECT_EQ(sys::profileFolder(), dir.string() + "/");
  }
  {
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(sys::profileFolder(), "");
  }
  {
    std::ofstream(dir / "file") << "x";
    ScopedEnv home("HOME", (dir / "file").string().c_str());
    EXPECT_EQ(sys::profileFolder(), "");
  }
}

TEST(DisplaySize, ComesFromTheRegisteredQuery) {
  sys::setDisplaySizeQuery(nullptr);
  EXPECT_EQ(sys::primaryDisplaySize().width, 0);
  sys::setDisplaySizeQuery([] { return sys::DisplaySize{1024, 768}; });
  EXPECT_EQ(sys::primaryDisplaySize().width, 1024);
  EXPECT_EQ(sys::primaryDisplaySize().height, 768);
  sys::setDisplaySizeQuery(nullptr);
}

TEST(Files, ReadDeleteAndRefusals) {
  fs::path dir = freshFolder("files");
  std::ofstream(dir / "a.bin", std::ios::binary) << "hello";
  auto data = sys::readFile((dir / "a.bin").string());
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->end()), "hello");

  std::string error;
  EXPECT_FALSE(sys::readFile((dir / "a.bin").string(), 4, &error));
  EXPECT_NE(error.find("too large"), std::string::npos);
  EXPECT_FALSE(sys::readFile(dir.string(), 100, &error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  EXPECT_FALSE(sys::readFile((dir / "none").string(), 100, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);

  EXPECT_TRUE(sys::fileExists((dir / "a.bin").string()));
  EXPECT_TRUE(sys::deleteFile((dir / "a.bin").string()));
  EXPECT_FALSE(sys::fileExists((dir / "a.bin").string()));
  EXPECT_FALSE(sys::deleteFile((dir / "a.bin").string()));
}

TEST(WriteFileAtomic, ReplacesTheFileWhole) {
  fs::path dir = freshFolder("atomic");
  fs::path target = dir / "session.ksm";
  std::ofstream(target) << "old contents";
  std::string text = "new contents";
  ASSERT_TRUE(sys::writeFileAtomic(target.string(), text.data(), text.size()));
  EXPECT_EQ(fileText(target), "new contents");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1)
      << "no temporary file may remain";
}

TEST(WriteFileAtomic, FailureKeepsWhatWasThere) {
  fs::path dir = freshFolder("atomic_fail");
  std::string text = "data";
  std::string error;
  // The folder does not exist.
  EXPECT_FALSE(
      sys::writeFileAtomic((dir / "no" / "x.ksm").string(), text.data(), text.size(), &error));
  EXPECT_FALSE(error.empty());
  // The target is a folder: the rename fails, the folder and its contents stay.
  fs::create_directories(dir / "taken");
  std::ofstream(dir / "taken" / "keep") << "keep";
  EXPECT_FALSE(sys::writeFileAtomic((dir / "taken").string(), text.data(), text.size(), &error));
  EXPECT_EQ(fileText(dir / "taken" / "keep"), "keep");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 1)
      << "the temporary file must be removed";
}

namespace {

size_t entryCount(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}));
}

fs::perms permissionBits(const fs::path& path) {
  return fs::status(path).permissions() & fs::perms::mask;
}

}  // namespace

// A session or picture reached through a link: the link stays a link, its target gets the new
// bytes and keeps its permissions, and the temporary file was made beside the target.
TEST(WriteFileAtomic, WritesThroughLinksAndKeepsTheMode) {
  struct Case {
    const char* name;
    const char* link;  // the link's text, relative to its own folder or absolute ("@" = target)
  };
  const Case cases[] = {
      {"relative link into another folder", "../real/work.ksm"},
      {"absolute link", "@"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path dir = freshFolder("atomic_link");
    fs::create_directories(dir / "real");
    fs::create_directories(dir / "links");
    fs::path target = dir / "real" / "work.ksm";
    fs::path link = dir / "links" / "work.ksm";
    std::ofstream(target) << "old contents";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(std::string(c.link) == "@" ? target : fs::path(c.link), link);

    std::string text = "new contents";
    std::string error;
    ASSERT_TRUE(sys::writeFileAtomic(link.string(), text.data(), text.size(), &error)) << error;
    EXPECT_TRUE(fs::is_symlink(link)) << "the link must stay a link";
    EXPECT_EQ(fs::read_symlink(link), std::string(c.link) == "@" ? target : fs::path(c.link));
    EXPECT_EQ(fileText(target), "new contents");
    EXPECT_EQ(fileText(link), "new contents");
    EXPECT_EQ(permissionBits(target),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(entryCount(dir / "real"), 1u) << "no temporary file may remain beside the target";
    EXPECT_EQ(entryCount(dir / "links"), 1u) << "nothing is made beside the link";
  }
}

TEST(WriteFileAtomic, KeepsTheModeOfAPlainFileAndGivesANewOneTheUsualOne) {
  fs::path dir = freshFolder("atomic_mode");
  fs::path kept = dir / "kept.png";
  std::ofstream(kept) << "old";
  const fs::perms mode0640 = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(kept, mode0640);
  std::string text = "picture";
  ASSERT_TRUE(sys::writeFileAtomic(kept.string(), text.data(), text.size()));
  EXPECT_EQ(permissionBits(kept), mode0640);

  mode_t mask = umask(022);
  ASSERT_TRUE(sys::writeFileAtomic((dir / "new.png").string(), text.data(), text.size()));
  umask(mask);
  EXPECT_EQ(permissionBits(dir / "new.png"), fs::perms::owner_read | fs::perms::owner_write |
                                                 fs::perms::group_read | fs::perms::others_read);
}

// A link whose target does not exist yet makes the target; links in a circle are refused.
TEST(WriteFileAtomic, DanglingLinksMakeTheirTargetAndCirclesAreRefused) {
  fs::path dir = freshFolder("atomic_dangling");
  fs::create_symlink("chain.ksm", dir / "first.ksm");
  fs::create_symlink("made.ksm", dir / "chain.ksm");
  std::string text = "made";
  ASSERT_TRUE(sys::writeFileAtomic((dir / "first.ksm").string(), text.data(), text.size()));
  EXPECT_TRUE(fs::is_symlink(dir / "first.ksm"));
  EXPECT_TRUE(fs::is_symlink(dir / "chain.ksm"));
  EXPECT_EQ(fileText(dir / "made.ksm"), "made");

  fs::create_symlink("loop_b", dir / "loop_a");
  fs::create_symlink("loop_a", dir / "loop_b");
  std::string error;
  EXPECT_FALSE(sys::writeFileAtomic((dir / "loop_a").string(), text.data(), text.size(), &error));
  EXPECT_NE(error.find("symbolic links"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_symlink(dir / "loop_a"));
  EXPECT_EQ(entryCount(dir), 5u) << "no temporary file may remain";
}

TEST(RunProgram, WaitsAndGivesTheExitStatus) {
  fs::path dir = freshFolder("run");
  EXPECT_EQ(sys::runProgramAndWait("/bin/sh", {"-c", "exit 3"}), 3);
  EXPECT_EQ(sys::runProgramAndWait("sh", {"-c", "pwd > where.txt"}, dir.string()), 0);
  EXPECT_EQ(fs::path(fileText(dir / "where.txt").substr(0, fileText(dir / "where.txt").size() - 1)),
            fs::canonical(dir));
  std::string before = sys::currentDirectory();
  std::string error;
  EXPECT_EQ(sys::runProgramAndWait((dir / "no-such-program").string(), {}, {}, &error), -1);
  EXPECT_NE(error.find("cannot start"), std::string::npos);
  EXPECT_EQ(sys::currentDirectory(), before);
}
