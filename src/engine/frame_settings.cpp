// Where and how frames are drawn: plain settings the renderer reads.
#include <cmath>

#include "engine/engine.h"
#include "engine_internal.h"

using namespace kestrum::engine_detail;

void iSetRenderTarget(unsigned framebuffer, int width, int height) {
  EngineState& s = state();
  s.framebuffer = framebuffer;
  s.targetWidth = width > 0 ? width : 0;
  s.targetHeight = height > 0 ? height : 0;
}

void iSetPresentCallback(std::function<void()> present) {
  state().present = std::move(present);
}

void iSetViewWindow(float x0, float y0, float x1, float y1) {
  const bool valid = std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) &&
                     std::isfinite(y1) && x1 > x0 && y1 > y0;
  float* w = state().viewWindow;
  if (!valid) return;
  w[0] = x0;
  w[1] = y0;
  w[2] = x1;
  w[3] = y1;
}

void iSetViewAspect(float aspect) {
  state().viewAspect = std::isfinite(aspect) && aspect > 0 ? aspect : 0.0f;
}

void iSetGraphicsContext(const void* context) {
  EngineState& s = state();
  if (context == s.glContext) return;
  s.glContext = context;
  ++s.glGeneration;
}

std::string iRendererName() {
  return state().rendererName;
}
