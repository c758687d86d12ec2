// The final renderer's core: turns a session record into a picture file with the same scene
// code and the same renderer as the preview, without any window.
//
// SceneRenderer loads the models and pictures once and renders any number of records. Each call
// checks the record first and refuses one it cannot use (style outside 1..20, sizes outside
// 1..16384, filter outside 0..3, numbers that are not finite, output folder missing) with a
// reason; a refused or failed render writes no file. Pictures are written whole or not at all.
//
// ShotOptions add what a session does not store: a transparent background, a mirror image of the
// model in the floor, and a turn of the model about its vertical axis. ShotWriter writes
// pictures on a worker thread so that the next one is drawn while the last is encoded.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "persist/session_record.h"

namespace kestrum {

inline constexpr int kMaxRenderSide = 16384;
// The preview's size in the window: the final picture keeps its framing.
inline constexpr int kPreviewWidth = 335;
inline constexpr int kPreviewHeight = 350;

inline constexpr int kCameraPresetCount = 10;

// How one shot departs from its session.
struct ShotOptions {
  // Background fully transparent (straight alpha); the shadow kept as a partly transparent dark
  // layer, so the picture laid over white looks like the white render.
  bool transparent = false;
  // Strength 0..1 of the model's mirror image in the floor; 0 draws none.
  float reflection = 0.0f;
  // Degrees the model (and its shadow) turns about its vertical axis from the stored view.
  float turn = 0.0f;
};

// The camera preset for `text`: an index 0..9 or a preset's name ignoring letter case, spaces
// and dashes ("top-left", "Top Left", "middle center", "default"); -1 for none.
int cameraPresetFromText(const std::string& text);

// Lays `top` over `bottom` (both straight alpha, the same size); the result is straight alpha.
void compositeOver(Image& bottom, const Image& top);

// Empty when the record can be rendered; otherwise why not.
std::string checkRenderRecord(const SessionRecord& record);

// The vertical field of view (degrees) that frames a picture of `aspect` (width / height) so
// that everything the preview shows is shown: the preview's own 45 degrees when the picture is
// at least as wide as the preview, wider when it is narrower.
float framingFieldOfView(float aspect);

// The folder holding bin/ and help/: `startFolder` itself when it has bin/shadow.a3d, else the
// folder of the running executable, else its ../share/kestrum; empty when none has the data.
std::string findDataFolder(const std::string& startFolder);

class SceneRenderer {
 public:
  // Makes the headless context and loads the scene from `dataFolder`. Null with a reason when no
  // OpenGL context can be had. `progress` receives short lines about slow work (may be empty).
  static std::unique_ptr<SceneRenderer> create(const std::string& dataFolder,
                                               std::function<void(const std::string&)> progress,
                                               std::string* error);
  ~SceneRenderer();

  // Renders `record` as a picture of its stored size. Relative cover paths are taken relative to
  // `baseFolder`. Returns the picture, or an empty optional with the reason.
  std::optional<Image> render(const SessionRecord& record, const std::string& baseFolder,
                              std::string* error, const ShotOptions& shot = {});
  // Renders and writes to `outputPath` (format `format`, or by its ending, PNG otherwise).
  bool renderToFile(const SessionRecord& record, const std::string& baseFolder,
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
