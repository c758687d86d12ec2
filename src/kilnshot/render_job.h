// The final renderer's core: turns a session record into a picture file with the same scene
// code and the same renderer as the preview, without any window.
//
// SceneRenderer loads the models and pictures once and renders any number of records. Each call
// checks the record first and refuses one it cannot use (style outside 1..20, sizes outside
// 1..16384, filter outside 0..3, numbers that are not finite, output folder missing) with a
// reason; a refused or failed render writes no file. Pictures are written whole or not at all.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "image/image.h"
#include "persist/session_record.h"

namespace kestrum {

inline constexpr int kMaxRenderSide = 16384;
// The preview's size in the window: the final picture keeps its framing.
inline constexpr int kPreviewWidth = 335;
inline constexpr int kPreviewHeight = 350;

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
                              std::string* error);
  // Renders and writes to `outputPath` (format by its ending, PNG otherwise).
  bool renderToFile(const SessionRecord& record, const std::string& baseFolder,
                    const std::string& outputPath, std::string* error);

  std::string rendererName() const;

 private:
  struct Impl;
  explicit SceneRenderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The whole command line; returns the exit status.
int kilnshotMain(int argc, char** argv);

}  // namespace kestrum
