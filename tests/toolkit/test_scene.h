// A tiny engine scene for the view tests: one white triangle with a slanted edge, seen by a
// camera straight ahead, drawn on black; and the check of a view's frame of it.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "toolkit/toolkit.h"

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

// Expects the engine view's last frame to show the triangle on black, with blended edge pixels
// exactly when `antiAliased`.
inline void expectTriangleShown(bool antiAliased) {
  int w = 0, h = 0;
  Coverage c = coverage(tkGrabEngineView(&w, &h));
  EXPECT_GT(c.bright, w * h / 10) << "the triangle is drawn";
  EXPECT_GT(c.dark, w * h / 10);
  if (antiAliased)
    EXPECT_GT(c.partial, 200) << "edge pixels are blended";
  else
    EXPECT_LT(c.partial, 20);
}
