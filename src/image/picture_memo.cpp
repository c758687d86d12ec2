// The memo of pictures just written to files (keepWrittenPicture), so that reading such a file
// back right away costs no decode.
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "image/image.h"
#include "image_internal.h"

namespace kestrum {
namespace {

constexpr size_t kMostKept = 2;

// What identifies one version of a file: a rewrite, a replacement or a touch changes it.
struct FileStamp {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t seconds = 0, nanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

bool stampOf(const std::string& path, FileStamp* stamp) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *stamp = {st.st_dev, st.st_ino, st.st_size, int64_t(st.st_mtim.tv_sec),
            int64_t(st.st_mtim.tv_nsec)};
  return true;
}

struct KeptPicture {
  std::string path;
  FileStamp stamp;
  Image image;
};

std::mutex g_mutex;
std::vector<KeptPicture> g_kept;

}  // namespace

void keepWrittenPicture(const std::string& path, Image image) {
  FileStamp stamp;
  if (image.empty() || !stampOf(path, &stamp)) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  std::erase_if(g_kept, [&](const KeptPicture& k) { return k.path == path; });
  if (g_kept.size() >= kMostKept) g_kept.erase(g_kept.begin());
  g_kept.push_back({path, stamp, std::move(image)});
}

void forgetWrittenPictures() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_kept.clear();
}

namespace image_detail {

std::optional<Image> takeWrittenPicture(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = std::find_if(g_kept.begin(), g_kept.end(),
                         [&](const KeptPicture& k) { return k.path == path; });
  if (it == g_kept.end()) return std::nullopt;
  KeptPicture kept = std::move(*it);
  g_kept.erase(it);
  FileStamp now;
  if (!stampOf(path, &now) || !(now == kept.stamp)) return std::nullopt;
  return std::move(kept.image);
}

}  // namespace image_detail
}  // namespace kestrum
