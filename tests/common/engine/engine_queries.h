// Engine queries that return their answer, so that tests can compare it directly.
#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "engine/engine.h"

namespace kestrum::test {

// The node's rotation (degrees about x, y and z) relative to its parent.
inline EngineVec3 rotationOf(EngineHandle node) {
  EngineVec3 v;
  iNodeRotation(node, &v);
  return v;
}

// The node's position relative to its parent.
inline EngineVec3 positionOf(EngineHandle node) {
  EngineVec3 v;
  iNodePositionP(node, &v);
  return v;
}

// The node's position in the world.
inline EngineVec3 absolutePositionOf(EngineHandle node) {
  EngineVec3 v;
  iNodeAbsolutePosition(node, &v);
  return v;
}

// Expects each coordinate of `actual` within `tolerance` of `expected`.
inline void expectNear(const EngineVec3& actual, const EngineVec3& expected,
                       float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// A width and height in pixels; -1 where the engine did not give one.
struct PixelSize {
  int width = -1, height = -1;
  bool operator==(const PixelSize&) const = default;
};

inline void PrintTo(const PixelSize& size, std::ostream* out) {
  *out << size.width << " x " << size.height;
}

// The size a texture was made at (a power of two unless it keeps its picture's size).
inline PixelSize textureSizeOf(EngineHandle texture) {
  PixelSize size;
  iTextureSize(texture, &size.width, &size.height);
  return size;
}

// The size of the picture a texture was made from.
inline PixelSize originalSizeOf(EngineHandle texture) {
  PixelSize size;
  iTextureOriginalSize(texture, &size.width, &size.height);
  return size;
}

// The size of an engine image.
inline PixelSize imageSizeOf(EngineHandle image) {
  PixelSize size;
  iImageDimension(image, &size.width, &size.height);
  return size;
}

}  // namespace kestrum::test
