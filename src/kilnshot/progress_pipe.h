// kilnshot's progress report (persist/render_progress.h) on the descriptor that --progress-fd
// names, for the window that started it. One report for the whole process: the command line's
// errors and the writer thread's results go to it from wherever they arise.
//
// The per cent runs over the whole run: loading the scene takes the first part, then each
// picture an equal share, half for drawing and half for writing. Without an open descriptor
// every call does nothing.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace kestrum {

class ProgressPipe {
 public:
  // Starts reporting to `fd`; false, with a reason, when it is no descriptor open for writing.
  bool open(int fd, std::string* error);
  bool active() const { return fd_ >= 0; }

  // Loading the scene: `part` (0..1) of that share done.
  void loading(double part, const std::string& text);
  // The number of pictures the run will make (before the first is drawn).
  void setPictures(int count);
  void drawing(int picture, const std::string& text);
  void writing(int picture, const std::string& path);
  void wrote(int picture, const std::string& path);
  void error(const std::string& text);

 private:
  int percentAt(double picturesDone) const;
  void send(const std::string& line);

  int fd_ = -1;
  std::atomic<int> pictures_{1};
  std::mutex mutex_;  // the writer thread reports too
};

// The report of this process.
ProgressPipe& progressPipe();

}  // namespace kestrum
