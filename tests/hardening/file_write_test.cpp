// Writes that replace a user's file (sessions, rendered pictures, any atomic write) fail cleanly
// when the disk is full or the folder is read-only: false with a reason, the old file exactly as
// it was, and no temporary file left behind. A full disk is made without privileges by lowering
// the file-size limit in a child process; a read-only folder by a read-only bind mount in a
// private mount namespace of a child process (root only; skipped otherwise).
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "image/image.h"
#include "persist/session_record.h"
#include "scratch_folder.h"
#include "system/system.h"

namespace fs = std::filesystem;

namespace {

using kestrum::test::fileBytes;

std::vector<std::string> folderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A picture that compresses badly, so that its file is large.
kestrum::Image noisyPicture(int side) {
  kestrum::Image image = kestrum::makeImage(side, side);
  uint32_t state = 12345;
  for (uint8_t& byte : image.pixels) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  for (size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
  return image;
}

// One writer that replaces `path`; returns its result and fills `error`.
struct Writer {
  const char* name;
  const char* fileName;
  std::function<bool(const std::string& path, std::string* error)> write;
};

void PrintTo(const Writer& writer, std::ostream* out) {
  *out << writer.name;
}

std::vector<Writer> writers() {
  return {
      {"png", "shot.png",
       [](const std::string& path, std::string* error) {
         return kestrum::saveImage(noisyPicture(400), path, {}, error);
       }},
      {"jpeg", "shot.jpg",
       [](const std::string& path, std::string* error) {
         return kestrum::saveImage(noisyPicture(400), path, {}, error);
       }},
      {"bmp", "shot.bmp",
       [](const std::string& path, std::string* error) {
         return kestrum::saveImage(noisyPicture(400), path, {}, error);
       }},
      {"session", "work.ksm",
       [](const std::string& path, std::string* error) {
         kestrum::SessionRecord record;
         record.Style = 3;
         for (std::string& cover : record.CoverPaths) cover = std::string(30000, 'c');
         record.OutputPath = "/home/someone/shot.png";
         return kestrum::writeSessionFile(path, record, error);
       }},
      {"atomic", "data.bin",
       [](const std::string& path, std::string* error) {
         std::vector<uint8_t> bytes(1 << 20, 0x5a);
         return kestrum::sys::writeFileAtomic(path, bytes.data(), bytes.size(), error);
       }},
  };
}

// Runs `body` in a child process; its exit status (-1 when it did not exit normally).
int inChild(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr int kRefused = 10;     // the write failed with a reason
constexpr int kSucceeded = 11;   // the write claimed success
constexpr int kNoReason = 12;    // the write failed without saying why
constexpr int kCannotMake = 77;  // the condition could not be set up

int tryWrite(const Writer& writer, const std::string& path) {
  std::string error;
  if (writer.write(path, &error)) return kSucceeded;
  return error.empty() ? kNoReason : kRefused;
}

class FileWrite : public ::testing::TestWithParam<Writer> {
 protected:
  void SetUp() override {
    folder = kestrum::test::freshTestFolder();
    path = folder / GetParam().fileName;
    std::ofstream(path, std::ios::binary) << "the user's earlier file";
    before = fileBytes(path);
  }

  void expectOldFileIntact() {
    EXPECT_EQ(fileBytes(path), before) << "the old file was changed";
    EXPECT_EQ(folderListing(folder), std::vector<std::string>{GetParam().fileName})
        << "something was left beside the file";
  }

  fs::path folder, path;
  std::vector<uint8_t> before;
};

TEST_P(FileWrite, FullDiskKeepsTheOldFile) {
  const Writer& writer = GetParam();
  int status = inChild([&] {
    // Files may grow to 16 KiB; a write beyond fails with EFBIG instead of a signal.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16 * 1024, 16 * 1024};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return kCannotMake;
    return tryWrite(writer, path.string());
  });
  ASSERT_NE(status, kCannotMake) << "could not lower the file-size limit";
  EXPECT_EQ(status, kRefused) << "10 = refused with a reason, 11 = claimed success, 12 = no reason";
  expectOldFileIntact();
}

TEST_P(FileWrite, ReadOnlyFolderKeepsTheOldFile) {
  const Writer& writer = GetParam();
  const std::string target = folder.string();
  int status = inChild([&] {
    // A private mount namespace: the read-only mount vanishes with the child, whatever happens.
    if (unshare(CLONE_NEWNS) != 0) return kCannotMake;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kCannotMake;
    if (mount(target.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) return kCannotMake;
    if (mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
      return kCannotMake;
    return tryWrite(writer, path.string());
  });
  if (status == kCannotMake)
    GTEST_SKIP() << "a read-only bind mount needs root in a private mount namespace";
  EXPECT_EQ(status, kRefused) << "10 = refused with a reason, 11 = claimed success, 12 = no reason";
  expectOldFileIntact();
}

// The same writes with room to spare replace the file whole.
TEST_P(FileWrite, WithRoomReplacesTheFile) {
  std::string error;
  ASSERT_TRUE(GetParam().write(path.string(), &error)) << error;
  EXPECT_NE(fileBytes(path), before);
  EXPECT_EQ(folderListing(folder), std::vector<std::string>{GetParam().fileName});
}

std::string writerName(const ::testing::TestParamInfo<Writer>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Each, FileWrite, ::testing::ValuesIn(writers()), writerName);

}  // namespace
