// The engine's state, shared by the scene, texture, renderer and headless parts (internal).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/engine.h"
#include "engine_math.h"
#include "image/image.h"

namespace kestrum::engine_detail {

// GL objects made for a piece of the scene. `generation` names the context they belong to
// (see EngineState::glGeneration); 0 = not made.
struct GpuBuffer {
  unsigned vao = 0, vbo = 0, ibo = 0;
  int indexCount = 0;
  uint64_t version = 0;  // the MeshBuffer version uploaded
  uint64_t generation = 0;
};

struct MeshBuffer {
  std::vector<EngineVertex> vertices;
  std::vector<int> indices;  // 3 per face, as given
  uint64_t version = 1;      // bumped on every change, so the renderer re-uploads
  bool vertexAlpha = false;  // some vertex colour is not opaque
  GpuBuffer gpu;
};

struct Node {
  EngineNodeKind kind = EngineNodeKind::None;
  EngineHandle parent = 0;
  std::vector<EngineHandle> children;
  Vec3d position;
  Vec3d rotation;  // Euler degrees
  Vec3d scale{1, 1, 1};
  bool visible = true;
  EngineMaterial material;
  // Camera.
  float fov = 45.0f;
  float nearValue = 1.0f;
  float farValue = 1000.0f;
  // Light.
  uint32_t lightColour = 0xFFFFFFFFu;
  float radius = 100.0f;
  int lightType = 0;
  // Mesh.
  std::vector<MeshBuffer> buffers;
};

// One version of a file on disk: rewriting, replacing or touching the file changes it.
struct FileVersion {
  uint64_t device = 0, inode = 0, size = 0;
  int64_t seconds = 0, nanoseconds = 0;
  bool valid = false;  // false when the file could not be examined
  bool operator==(const FileVersion&) const = default;
};
FileVersion fileVersion(const std::string& path);

struct Texture {
  std::string name;
  int originalWidth = 0, originalHeight = 0;
  // The size as made. `image` holds the picture at its own size until its first upload scales
  // it to this size (kept to upload again in a new context), so a texture freed before it is
  // drawn never pays for the scaling.
  int madeWidth = 0, madeHeight = 0;
  // Its pixels may also be missing (size and alpha flag kept) when an image took them, see
  // iLoadImage: restoreTexturePixels decodes the source file again before they are needed.
  Image image;
  FileVersion source;      // the file iLoadTexture read it from (not valid for other textures)
  std::string sourcePath;  // that file's absolute path
  bool mipmaps = false;    // made with mipmaps (creation flag 16)
  bool quality = true;
  unsigned glName = 0;
  bool glMipmaps = false;  // the GL texture has its mipmaps
  uint64_t generation = 0;
};

// A GL object to delete once its context is current again.
struct GlGarbage {
  enum Kind { TextureObject, BufferObject, VertexArrayObject } kind;
  unsigned name;
  uint64_t generation;
};

struct EngineState {
  std::unordered_map<EngineHandle, Node> nodes;
  std::unordered_map<EngineHandle, Texture> textures;
  std::unordered_map<std::string, EngineHandle> textureByName;
  std::unordered_map<EngineHandle, Image> images;
  // Where images loaded from files came from, and the file each was last saved to as a
  // byte-for-byte copy of that source (see iSaveImage).
  struct ImageSource {
    std::string path;
    FileVersion version;
    std::string savedTo;
  };
  std::unordered_map<EngineHandle, ImageSource> imageSources;
  EngineHandle root = 0;
  EngineHandle activeCamera = 0;
  uint32_t ambient = 0xFF000000u;
  int textureFlags = kTextureQuality | kTextureMipmaps;
  int antiAlias = 0;
  std::string lastLoadError;

  // Frames.
  unsigned framebuffer = 0;
  int targetWidth = 0, targetHeight = 0;
  float viewWindow[4] = {0, 0, 1, 1};
  float viewAspect = 0;
  std::function<void()> present;
  std::string rendererName;

  // Pointer.
  int mouseX = 0, mouseY = 0;

  // GL bookkeeping: every context the engine is told about gets a new generation; objects of an
  // older generation are forgotten, not deleted (their context may be gone).
  const void* glContext = nullptr;
  uint64_t glGeneration = 1;
  std::vector<GlGarbage> garbage;
};

EngineState& state();
// Handles never repeat within a process, across iInitEngine too.
EngineHandle newHandle();

Node* findNode(EngineHandle handle);
Node* findNode(EngineHandle handle, EngineNodeKind kind);
Texture* findTexture(EngineHandle handle);

Mat4 localMatrix(const Node& node);
Mat4 worldMatrix(EngineHandle handle);
// Whether the node and every parent up to the root are visible.
bool visibleInScene(EngineHandle handle);

// Queues the GL objects of a texture or a mesh buffer for deletion.
void discardGpu(Texture& texture);
void discardGpu(GpuBuffer& buffer);

// Makes sure a texture holds its pixels, decoding its source file again when an image took
// them; false when that file no longer gives a picture of the texture's size.
bool restoreTexturePixels(Texture& texture);

// Makes a texture from a picture under `name` with the creation flags in force; 0 with the
// reason in lastLoadError.
EngineHandle makeTexture(const std::string& name, Image image, int originalWidth,
                         int originalHeight);

// The size a texture of this size is made at with the current creation flags.
void madeTextureSize(int width, int height, int flags, int* madeWidth, int* madeHeight);

}  // namespace kestrum::engine_detail
