// Models: the reader of the program's binary model format, A3D, and the building of a model file
// into engine nodes (a root pivot, one pivot per object, one mesh per mesh record) with the
// (node, name) list App.TextureBindings through which covers and texture filters reach them.
//
// How calls fail: readA3D returns false, with a reason, only for a file whose first line does not
// begin with "A3D"; a truncated file is never an error (fields past the end read as zeros, and
// counts that cannot fit in what is left are cut short without allocating for them).
// LoadA3DModel returns 0 for a wrong header and an empty root pivot for a file that cannot be
// read; it never throws and always restores the working directory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace kestrum {

struct A3DMaterial {
  std::string name;
  int32_t unusedInts[3] = {0, 0, 0};
  float unusedFloats[2] = {0, 0};
  int32_t blendMode = 0;
  int32_t effectFlags = 0;
  float unusedFloats2[2] = {0, 0};
};

struct A3DTexture {
  std::string materialName;
  int32_t layer = 0;
  std::string fileName;
  int32_t layerValue = 0;
  int32_t layerFlags = 0;
  int32_t spare = 0;
};

// An object's own fields; its meshes follow as separate calls.
struct A3DObject {
  float position[3] = {0, 0, 0};
  float rotation[3] = {0, 0, 0};
  std::string parentName;
  std::string name;
};

struct A3DVertex {
  float position[3] = {0, 0, 0};
  float normal[3] = {0, 0, 0};
  float uv[2] = {0, 0};
  float w = 0;
  float uv2[2] = {0, 0};
  float w2 = 0;
  int32_t colour[3] = {0, 0, 0};  // blue, green, red in the engine's colour layout
  float alpha = 0;
};

struct A3DMesh {
  std::string materialName;
  std::vector<A3DVertex> vertices;
  // Faces whose three indices all name vertices of this mesh, in file order.
  std::vector<std::array<int32_t, 3>> faces;
  // Faces read but dropped because an index lies outside the mesh.
  int64_t skippedFaces = 0;
};

// Receives what the reader finds, in file order. Texture records are handed over as they are
// read, after every material; each mesh comes between its object's beginObject and endObject.
class A3DVisitor {
 public:
  virtual ~A3DVisitor() = default;
  virtual void material(const A3DMaterial&) {}
  virtual void texture(const A3DTexture&) {}
  virtual void beginObject(const A3DObject&) {}
  virtual void mesh(const A3DMesh&) {}
  virtual void endObject() {}
};

// Walks an A3D file held in memory. False (with the reason in `error`) only when the header line
// does not begin with "A3D"; then the visitor is never called.
bool readA3D(const uint8_t* data, size_t size, A3DVisitor& visitor, std::string* error = nullptr);

// The vertex colour of an A3D vertex in the engine's layout: the alpha byte (alpha x 255, an
// exact half rounded to even) times 2^24 plus the three components at 2^16, 2^8 and 1, neither
// clamped nor masked, modulo 2^32.
uint32_t packVertexColour(const A3DVertex& vertex);

}  // namespace kestrum

// The most engine nodes (object pivots and meshes) one model file makes. The shipped models make
// a few dozen; a file of millions of tiny records would otherwise take gigabytes of nodes. What a
// larger file holds past this many is read but not built, as if the file ended there.
inline constexpr int kMaxModelNodes = 10000;

// Builds the model file at `path` (absolute, or relative to the working directory; "/" and "\"
// both separate folders) under a new root pivot and returns that pivot. 0 when the header line
// does not begin with "A3D"; a pivot without children when the file cannot be read. Texture
// files named in the model are found relative to the model's folder and go through
// PrepareTexture.
EngineHandle LoadA3DModel(const std::string& path);

// Appends (node, name without leading and trailing spaces) to App.TextureBindings.
void RegisterNode(EngineHandle node, const std::string& name);
