// The 3D engine: a scene graph addressed by integer handles, textures and images, and a renderer
// over OpenGL 3.3 core.
//
// Handles name nodes, textures and images; 0 means none. Every operation on handle 0, on a
// handle that was freed, or on a handle of the wrong kind does nothing (getters then give 0,
// false or zeros). Nothing here throws. The scene is plain data: building and inspecting it needs
// no GL context; only iBeginScene/iDrawScene/iEndScene draw, into the render target set with
// iSetRenderTarget in the GL context that is current (Qt's or a headless EGL one, see
// offscreen.h).
//
// Conventions: y up, left-handed; a camera looks along its own +z. Angles are degrees; a
// rotation (x, y, z) turns about x, then y, then z, in the parent's frame. Colours are 32-bit
// values with red in bits 0-7, green 8-15, blue 16-23 and alpha 24-31 (0xFFFFFFFF = opaque white).
// Matrices: column-major, acting on column vectors; world = parent world * local, and local =
// translation * Rz * Ry * Rx * scale. A positive angle turns clockwise seen from the positive end
// of its axis: +x tilts a camera's view (+z) down, +y turns +z towards +x.
// Texture coordinates: (0, 0) is the top-left corner of the picture, u grows to the right and v
// downwards; (1, 1) is the bottom-right corner.
// Front faces: a triangle (a, b, c) is front-facing when a, b, c run clockwise as seen by the
// camera; back faces are not drawn. A face whose normal points at the viewer is thus wound
// clockwise seen from the front (e.g. a quad facing -z, seen from z < 0: top-left, top-right,
// bottom-right, then top-left, bottom-right, bottom-left).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kestrum {
struct Image;
}

using EngineHandle = int32_t;

// One vertex as meshes receive it (44 bytes, in this order).
struct EngineVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t colour;
  float u, v;
  float u2, v2;
};
static_assert(sizeof(EngineVertex) == 44);

struct EngineVec3 {
  float x = 0, y = 0, z = 0;
};

// Material flags (iMaterialFlagNode). Of the filters, the strongest one on wins; none is
// nearest-texel sampling.
enum EngineMaterialFlag : int {
  kFlagLighting = 8,  // off: texture x vertex colour x diffuse x global colour, unlit
  kFlagBilinear = 256,
  kFlagTrilinear = 512,
  kFlagAnisotropic = 1024,       // trilinear where the driver has no anisotropic filtering
  kFlagFog = 2048,               // accepted, not drawn
  kFlagNormalizeNormals = 4096,  // off: scaled nodes light with their scaled normals
  kFlagAntiAlias = 16384,        // off: drawn without multisampling
};

// Material types (iMaterialTypeNode).
enum EngineMaterialType : int {
  kMaterialSolid = 0,       // layer 0 times lighting
  kMaterialDetail = 9,      // layer 1 added to layer 0 as a signed detail (grey 128 = no change)
  kMaterialSphereMap = 10,  // layer 0 looked up by the view-space reflection
};

// Texture creation flags (iFlagCreationTexture).
enum EngineTextureFlag : int {
  kTextureQuality = 4,    // 32 bits a pixel
  kTextureMipmaps = 16,   // make mipmaps (trilinear and anisotropic filtering make them anyway)
  kTextureKeepSize = 64,  // keep non-power-of-two sizes; off: scale up to the next power of two
};

enum class EngineNodeKind { None, Pivot, Camera, Light, Mesh };

// A node's material as set by the material operations (for inspection and tests).
struct EngineMaterial {
  int flags = 0;  // EngineMaterialFlag bits that are on
  int type = kMaterialSolid;
  EngineHandle textures[4] = {0, 0, 0, 0};
  uint32_t diffuse = 0xFFFFFFFFu;
  uint32_t ambient = 0xFFFFFFFFu;
  uint32_t emissive = 0xFF000000u;
  uint32_t global = 0xFFFFFFFFu;
};

// --- Engine --------------------------------------------------------------------------------
// Starts the engine, or starts it afresh: every node, texture and image is dropped.
void iInitEngine();
// Anti-aliasing of frames drawn on screen, where the target supports it.
void iSetAntiAlias(int on);
int iAntiAliasSetting();  // what iSetAntiAlias last set (0 or 1), for the window that hosts the
                          // view

// --- Nodes ---------------------------------------------------------------------------------
EngineHandle iCreatePivot(EngineHandle parent);
EngineHandle iCreateCamera(EngineHandle parent);  // the newest camera becomes the active one
EngineHandle iCreateEmptyMesh(EngineHandle parent);
// A point light. Lighting is classic fixed-function lighting, per pixel: emissive + ambient
// light x ambient colour + the lights' diffuse light x diffuse colour (vertex colours multiply
// both), then times the texture and the global colour. A light's strength falls smoothly from
// full near it to nothing at its radius. The first four visible lights are drawn.
EngineHandle iCreateLight(uint32_t colour, float radius, EngineHandle parent);
// A parent of 0 means the scene's root.
void iAddChildNode(EngineHandle parent, EngineHandle child);
void iParentNode(EngineHandle node, EngineHandle parent);
EngineHandle iNodeParent(EngineHandle node);
EngineHandle iNodeRootScene();
EngineHandle iNodeChildren(EngineHandle node, int index);  // 0 past the last child
int iNodeChildCount(EngineHandle node);
EngineNodeKind iNodeKind(EngineHandle node);

// Local placement, absolute (relative to the parent).
void iPositionNode(EngineHandle node, float x, float y, float z);
void iRotateNode(EngineHandle node, float x, float y, float z);
void iScaleNode(EngineHandle node, float x, float y, float z);
// Relative placement in the node's own frame.
void iTurnNode(EngineHandle node, float x, float y, float z);
void iMoveNode(EngineHandle node, float x, float y, float z);
// Local values, turns and moves included; iPositionNode/iRotateNode with them restore the node.
void iNodePositionP(EngineHandle node, EngineVec3* out);
void iNodeRotation(EngineHandle node, EngineVec3* out);
void iNodeScale(EngineHandle node, EngineVec3* out);
// World values.
void iNodeAbsolutePosition(EngineHandle node, EngineVec3* out);
void iNodeAbsoluteRotation(EngineHandle node, EngineVec3* out);
// World transform as a column-major 4x4 matrix (for tests and the renderer).
void iNodeAbsoluteMatrix(EngineHandle node, float out[16]);
// World transforms are always computed on demand; this exists for callers that ask for it.
void iUpdateAbsolutePositionNode(EngineHandle node);
void iVisibleNode(EngineHandle node, bool on);
bool iNodeVisible(EngineHandle node);  // the node's own flag, not its parents'

// --- Camera and light ----------------------------------------------------------------------
void iNearValueCamera(EngineHandle camera, float value);
void iFarValueCamera(EngineHandle camera, float value);
void iFOVCamera(EngineHandle camera, float degrees);  // vertical field of view, default 45
void iActiveCamera(EngineHandle camera);
EngineHandle iActiveCameraNode();
void iTypeLight(EngineHandle light, int type);  // 0: point light (the only type)
void iRadiusLight(EngineHandle light, float radius);
float iLightRadius(EngineHandle light);
void iAmbientLight(uint32_t colour);
uint32_t iAmbientLightColour();

// --- Meshes --------------------------------------------------------------------------------
void iAddBufferMesh(EngineHandle mesh, int count);
void iAddMVerticesMesh(EngineHandle mesh, const EngineVertex* vertices, int count, int buffer);
// A triangle of vertex indices (from 0) of the same buffer; faces with an index outside the
// buffer's vertices are dropped when drawn.
void iAddFaceMesh(EngineHandle mesh, int a, int b, int c, int buffer);
int iMeshBufferCount(EngineHandle mesh);
int iMeshVertexCount(EngineHandle mesh, int buffer);
int iMeshFaceCount(EngineHandle mesh, int buffer);
const EngineVertex* iMeshVertices(EngineHandle mesh, int buffer);  // nullptr when none
const int* iMeshIndices(EngineHandle mesh, int buffer);            // 3 per face

// --- Materials -----------------------------------------------------------------------------
// A mesh is blended when its layer-0 picture has alpha or its global, diffuse or vertex colours
// are not opaque; blended meshes are drawn after the opaque ones, from far to near, without
// writing depth. Layer 1 of a detail material uses the second texture coordinates.
void iMaterialFlagNode(EngineHandle node, int flag, bool on);
void iMaterialTypeNode(EngineHandle node, int type);
void iMaterialTextureNode(EngineHandle node, EngineHandle texture, int layer);  // layer 0-3
void iDiffuseColorNode(EngineHandle node, uint32_t colour);
void iEmissiveColorNode(EngineHandle node, uint32_t colour);
void iAmbientColorNode(EngineHandle node, uint32_t colour);
void iGlobalColorNode(EngineHandle node, uint32_t colour);
EngineMaterial iNodeMaterial(EngineHandle node);

// --- Textures and images -------------------------------------------------------------------
void iFlagCreationTexture(int flag, bool on);
// Loads a picture file as a texture, known afterwards by `path` exactly as given.
EngineHandle iLoadTexture(const std::string& path);
// Makes a texture from a picture in memory, known by `name`.
EngineHandle iAddTexture(const std::string& name, const kestrum::Image& image);
// The texture loaded under exactly this path, or 0.
EngineHandle iFindTexture(const std::string& path);
void iTextureOriginalSize(EngineHandle texture, int* width, int* height);  // the file's size
void iTextureSize(EngineHandle texture, int* width, int* height);          // the size as made
std::string iTextureName(EngineHandle texture);
void iFreeTexture(EngineHandle texture);
int iTextureCount();  // textures alive

EngineHandle iLoadImage(const std::string& path);
void iImageDimension(EngineHandle image, int* width, int* height);
// Writes the image as a picture file (format by the name's ending, PNG otherwise). `flags`: 0.
bool iSaveImage(EngineHandle image, const std::string& path, int flags);
void iFreeImage(EngineHandle image);
// Text of the last texture or image load failure.
std::string iLastLoadError();

// --- Frames --------------------------------------------------------------------------------
// Where frames are drawn: an OpenGL framebuffer object of the current context (Qt's widget FBO,
// or an offscreen one) and its size in pixels. iEndScene calls `present` when one is set.
void iSetRenderTarget(unsigned framebuffer, int width, int height);
void iSetPresentCallback(std::function<void()> present);
// Draws only the part (x0, y0)-(x1, y1) of the full view, in fractions of the view's width and
// height from its top-left corner; (0, 0, 1, 1) is the whole view. Used to draw large pictures
// in tiles with the same framing as one piece.
void iSetViewWindow(float x0, float y0, float x1, float y1);
// The aspect (width / height) the camera frames; 0 (default) takes it from the render target.
void iSetViewAspect(float aspect);

// GL objects belong to the context they were made in. The engine recognises the current
// context by its EGL or GLX handle; a host whose context has neither names it (any pointer that
// identifies it) with iSetGraphicsContext before drawing. When the context changes, objects
// made in the previous one are forgotten and made again in the new one. Call iReleaseGraphics
// with a context still current before destroying it: it deletes the GL objects the engine made
// there (a later context at the same address would otherwise be taken for the old one).
void iSetGraphicsContext(const void* context);
void iReleaseGraphics();

void iBeginScene(int r, int g, int b, int a, bool clearColour, bool clearDepth);
void iDrawScene();
void iEndScene();
// Name of the OpenGL renderer in use (after the first frame); empty before.
std::string iRendererName();

// --- Pointer -------------------------------------------------------------------------------
// The pointer in view pixels, as the window that hosts the view reports it.
int iGetMouseX();
int iGetMouseY();
void iSetMousePosition(int x, int y);
