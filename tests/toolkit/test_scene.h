// A tiny engine scene for the view tests: one white triangle with a slanted edge, seen by a
// camera straight ahead, drawn on black.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/engine.h"

inline void buildTriangleScene() {
  iInitEngine();
  EngineHandle camera = iCreateCamera(0);
  iPositionNode(camera, 0, 0, -5);
  EngineHandle mesh = iCreateEmptyMesh(0);
  iAddBufferMesh(mesh, 1);
  const EngineVertex corners[] = {
      {-1.5f, -1.2f, 0, 0, 0, -1, 0xFFFFFFFFu, 0, 0, 0, 0},
      {1.3f, -1.0f, 0, 0, 0, -1, 0xFFFFFFFFu, 1, 0, 0, 0},
      {0.2f, 1.4f, 0, 0, 0, -1, 0xFFFFFFFFu, 0, 1, 0, 0},
  };
  iAddMVerticesMesh(mesh, corners, 3, 0);
  iAddFaceMesh(mesh, 0, 1, 2, 0);
  iAddFaceMesh(mesh, 0, 2, 1, 0);  // seen from either side
  iEmissiveColorNode(mesh, 0xFFFFFFFFu);
  iMaterialFlagNode(mesh, kFlagAntiAlias, true);  // multisampled where the target has samples
}

// Pixels of an RGBA picture (top row first) by their red value: {dark, partly lit, bright}.
struct Coverage {
  int dark = 0, partial = 0, bright = 0;
};

inline Coverage coverage(const std::vector<uint8_t>& rgba) {
  Coverage c;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    uint8_t r = rgba[i];
    if (r < 24)
      ++c.dark;
    else if (r > 231)
      ++c.bright;
    else
      ++c.partial;
  }
  return c;
}

inline void drawFrame() {
  iBeginScene(0, 0, 0, 255, true, true);
  iDrawScene();
  iEndScene();
}
