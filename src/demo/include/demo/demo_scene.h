// The demo scene: a lit, textured box on a floor under the program's home view. Shared by the
// demo program and the engine benchmark.
#pragma once

#include "engine/engine.h"
#include "image/image.h"

namespace kestrum {

// A cover-like picture: a coloured frame, a title band and a checker panel (width x height).
Image makeDemoCover(int width, int height);

// Starts the engine afresh and builds the scene: camera pivot and camera as the home view,
// point light at (-3.25, 5, -5) with radius 12, ambient grey 80, a 2 x 2.8 x 0.5 box turned by
// 40 degrees standing on a 40 x 40 floor. Returns the box's mesh.
EngineHandle buildDemoScene();

}  // namespace kestrum
