// Headless rendering: an EGL context with no window system (Mesa's llvmpipe, or a GPU's EGL
// device) in which the engine draws its scene into a picture of any size.
//
// create() returns null, with the reason in `error`, when no OpenGL 3.3 core context can be had.
// render() returns an empty optional, with the reason, when the size is out of range or a GL
// object cannot be made.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "image/image.h"

namespace kestrum {

struct OffscreenOptions {
  uint32_t clearColour = 0xFFFFFFFFu;  // the colour iBeginScene clears to (engine colour layout)
  // Samples a pixel for anti-aliasing: 1 draws one sample; more draws on a finer grid (and with
  // multisampling where the driver has it) and averages down.
  int samples = 1;
  // Keep the background's alpha: clear to transparent and return straight (not premultiplied)
  // alpha, so the picture can be laid over any background.
  bool transparent = false;
  // The largest tile drawn in one piece, in picture pixels a side; 0 picks one from the
  // driver's limits (4096 supersampled pixels a side at most). Tiles share the whole picture's
  // framing, so the result does not depend on it.
  int tileSize = 0;
};

class OffscreenRenderer {
 public:
  static std::unique_ptr<OffscreenRenderer> create(std::string* error = nullptr);
  ~OffscreenRenderer();
  OffscreenRenderer(const OffscreenRenderer&) = delete;
  OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

  // Makes this context current on the calling thread.
  bool makeCurrent();
  std::string rendererName() const;
  // The largest width or height render() accepts (the driver's limit, at most 16384).
  int maxSize() const;

  // Draws the engine's scene with its active camera at width x height and reads it back.
  // Large sizes and supersampling are drawn in tiles with the same framing as one piece.
  std::optional<Image> render(int width, int height, const OffscreenOptions& options = {},
                              std::string* error = nullptr);

 private:
  struct Impl;
  explicit OffscreenRenderer(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace kestrum
