#include "progress_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>

#include "persist/render_progress.h"
#include "system/system.h"

namespace kestrum {
namespace {

// The share of the run that loading the scene takes, per cent.
constexpr double kLoadingShare = 20.0;

}  // namespace

bool ProgressPipe::open(int fd, std::string* error) {
  int flags = fd >= 0 ? fcntl(fd, F_GETFL) : -1;
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
    if (error) *error = std::to_string(fd) + " is no descriptor open for writing";
    return false;
  }
  // A reader that went away must not end the render: writes then fail quietly instead.
  std::signal(SIGPIPE, SIG_IGN);
  fd_ = fd;
  return true;
}

void ProgressPipe::loading(double part, const std::string& text) {
  send(formatProgressReport(static_cast<int>(std::clamp(part, 0.0, 1.0) * kLoadingShare), text));
}

void ProgressPipe::setPictures(int count) {
  pictures_ = std::max(1, count);
}

void ProgressPipe::drawing(int picture, const std::string& text) {
  send(formatProgressReport(percentAt(picture), text));
}

void ProgressPipe::writing(int picture, const std::string& path) {
  send(formatProgressReport(percentAt(picture + 0.5),
                            "Writing " + std::string(sys::fileNamePart(path))));
}

void ProgressPipe::wrote(int picture, const std::string& path) {
  send(formatProgressReport(percentAt(picture + 1.0),
                            "Wrote " + std::string(sys::fileNamePart(path))));
  send(formatWroteReport(path));
}

void ProgressPipe::error(const std::string& text) {
  send(formatErrorReport(text));
}

int ProgressPipe::percentAt(double picturesDone) const {
  double share = (100.0 - kLoadingShare) * picturesDone / pictures_;
  return static_cast<int>(std::floor(kLoadingShare + share));
}

void ProgressPipe::send(const std::string& line) {
  if (fd_ < 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

ProgressPipe& progressPipe() {
  static ProgressPipe pipe;
  return pipe;
}

}  // namespace kestrum
