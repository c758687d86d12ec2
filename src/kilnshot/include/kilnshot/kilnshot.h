// kilnshot, the final renderer: turns session records into picture files with the same shot
// pipeline and the same renderer as the preview, without any window.
//
// SceneRenderer loads the scene once and renders any number of records. Each render checks the
// record first and refuses one it cannot use (checkRenderRecord) with a reason; a refused or
// failed render writes no file. ShotWriter writes pictures on a worker thread, whole or not at
// all, so that the next one is drawn while the last is encoded. kilnshotMain is the command line.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "persist/session_record.h"
#include "shot/shot.h"

namespace kestrum {

inline constexpr int kCameraPresetCount = 10;

// The camera preset for `text`: an index 0..9 or a preset's name ignoring letter case, spaces
// and dashes ("top-left", "Top Left", "middle center", "default"); -1 for none.
int cameraPresetFromText(const std::string& text);

// Empty when the record can be rendered; otherwise why not: a style outside 1..20, sizes outside
// 1..kMaxImageSide, a filter outside 0..3, camera or light numbers that are not finite.
std::string checkRenderRecord(const SessionRecord& record);

// The folder holding bin/ and help/: `startFolder` itself when it has bin/shadow.a3d, else the
// folder of the running executable, else its ../share/kestrum; empty when none has the data.
std::string findDataFolder(const std::string& startFolder);

class SceneRenderer {
 public:
  // Makes the headless context and loads the scene from `dataFolder` (the start-up folder of
  // the shot pipeline). Null with a reason when no OpenGL context can be had. `progress`
  // receives short lines about slow work and cover pictures that cannot be loaded (may be empty).
  static std::unique_ptr<SceneRenderer> create(const std::string& dataFolder,
                                               std::function<void(const std::string&)> progress,
                                               std::string* error);
  ~SceneRenderer();

  // Renders `record` as a picture of its stored size. `sessionFolder` is the folder of the
  // session file the record came from (empty for the render hand-off), where relative cover
  // paths are looked for when the data folder does not have them. Returns the picture, or an
  // empty optional with the reason.
  std::optional<Image> render(const SessionRecord& record, const std::string& sessionFolder,
                              std::string* error, const ShotOptions& shot = {});
  // Renders and writes to `outputPath` (format `format`, or by its ending, PNG otherwise).
  bool renderToFile(const SessionRecord& record, const std::string& sessionFolder,
                    const std::string& outputPath, std::string* error, const ShotOptions& shot = {},
                    ImageFormat format = ImageFormat::Unknown);

  std::string rendererName() const;

 private:
  struct Impl;
  explicit SceneRenderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Encodes and writes pictures on one worker thread, in the order they are handed over. At most
// `queueLimit` pictures wait; add() blocks while the queue is full. finish() waits for all and
// gives the failures, one line each.
class ShotWriter {
 public:
  explicit ShotWriter(size_t queueLimit = 2);
  ~ShotWriter();
  ShotWriter(const ShotWriter&) = delete;
  ShotWriter& operator=(const ShotWriter&) = delete;

  // `done` runs on the worker after the write with its result and reason (may be empty).
  void add(Image picture, std::string path, ImageFormat format,
           std::function<void(bool, const std::string&)> done = {});
  std::vector<std::string> finish();

 private:
  struct Item {
    Image picture;
    std::string path;
    ImageFormat format;
    std::function<void(bool, const std::string&)> done;
  };
  void work();
  size_t limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> queue_;
  std::vector<std::string> failures_;
  bool busy_ = false, stop_ = false;
  std::thread thread_;
};

// The whole command line; returns the exit status.
int kilnshotMain(int argc, char** argv);

}  // namespace kestrum
