#include "demo/demo_scene.h"

#include <cmath>

namespace kestrum {

namespace {

void setPixel(Image& image, int x, int y, uint32_t rgba) {
  uint8_t* p = image.pixel(x, y);
  p[0] = uint8_t(rgba);
  p[1] = uint8_t(rgba >> 8);
  p[2] = uint8_t(rgba >> 16);
  p[3] = uint8_t(rgba >> 24);
}

EngineVertex vertex(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
  return EngineVertex{x, y, z, nx, ny, nz, 0xFFFFFFFFu, u, v, u, v};
}

// Adds a quad given by its corners as seen from the front (top-left, top-right, bottom-right,
// bottom-left), wound clockwise so it faces the viewer, with the whole picture on it.
void addQuad(EngineHandle mesh, const float c[4][3], const float n[3], float uvScale = 1.0f) {
  const int base = iMeshVertexCount(mesh, 0);
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i < 4; ++i) {
    const EngineVertex v =
        vertex(c[i][0], c[i][1], c[i][2], n[0], n[1], n[2], uv[i][0] * uvScale, uv[i][1] * uvScale);
    iAddMVerticesMesh(mesh, &v, 1, 0);
  }
  iAddFaceMesh(mesh, base, base + 1, base + 2, 0);
  iAddFaceMesh(mesh, base, base + 2, base + 3, 0);
}

}  // namespace

Image makeDemoCover(int width, int height) {
  Image image = makeImage(width, height, 0xFF3A2A1Cu);  // dark blue-grey
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const float fx = float(x) / float(width), fy = float(y) / float(height);
      uint32_t colour;
      if (fx < 0.06f || fx > 0.94f || fy < 0.04f || fy > 0.96f) {
        colour = 0xFF1060E0u;  // orange frame
      } else if (fy > 0.1f && fy < 0.25f) {
        colour = 0xFFF0F0F0u;  // title band
        if (fy > 0.15f && fy < 0.2f && fx > 0.15f && fx < 0.85f && int(fx * 40) % 3 != 0) {
          colour = 0xFF202020u;  // "lettering"
        }
      } else if (fy > 0.32f && fy < 0.9f && fx > 0.12f && fx < 0.88f) {
        const bool odd = (int((fx - 0.12f) * 12) + int((fy - 0.32f) * 12)) % 2;
        colour = odd ? 0xFF40B040u : 0xFF2090F0u;  // green / amber checker
      } else {
        const int shade = int(40 + 60 * fy);
        colour =
            0xFF000000u | uint32_t(shade / 2) << 16 | uint32_t(shade / 2) << 8 | uint32_t(shade);
      }
      setPixel(image, x, y, colour);
    }
  }
  return image;
}

EngineHandle buildDemoScene() {
  iInitEngine();
  iFlagCreationTexture(kTextureMipmaps | kTextureQuality, true);
  iFlagCreationTexture(kTextureKeepSize, false);

  // The rig of the program's home view.
  const EngineHandle cameraPivot = iCreatePivot(0);
  const EngineHandle camera = iCreateCamera(0);
  iNearValueCamera(camera, 0.01f);
  iAddChildNode(cameraPivot, camera);
  iPositionNode(camera, 0, 4.75f, -5.0f);
  iRotateNode(camera, 35, 0, 0);
  const EngineHandle lightPivot = iCreatePivot(0);
  const EngineHandle light = iCreateLight(0xFFFFFFFFu, 12, 0);
  iAddChildNode(lightPivot, light);
  iAmbientLight(0xFF505050u);
  iPositionNode(light, -3.25f, 5.0f, -5.0f);
  iTypeLight(light, 0);

  const EngineHandle cover = iAddTexture("demo_cover", makeDemoCover(256, 256));
  Image checker = makeImage(8, 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) setPixel(checker, x, y, (x + y) % 2 ? 0xFFB0B0B0u : 0xFF808080u);
  }
  const EngineHandle floorTexture = iAddTexture("demo_floor", checker);

  // Floor: a 40 x 40 quad at y = 0 facing up.
  const EngineHandle floor = iCreateEmptyMesh(0);
  iAddBufferMesh(floor, 1);
  const float floorCorners[4][3] = {{-20, 0, 20}, {20, 0, 20}, {20, 0, -20}, {-20, 0, -20}};
  const float up[3] = {0, 1, 0};
  addQuad(floor, floorCorners, up, 20.0f);
  iMaterialFlagNode(floor, kFlagLighting | kFlagTrilinear | kFlagNormalizeNormals, true);
  iMaterialTextureNode(floor, floorTexture, 0);

  // Box: 2 wide, 2.8 high, 0.5 deep, standing on the floor; the cover on every side.
  const EngineHandle boxPivot = iCreatePivot(0);
  iRotateNode(boxPivot, 0, 40, 0);
  const EngineHandle box = iCreateEmptyMesh(boxPivot);
  iAddBufferMesh(box, 1);
  const float w = 1.0f, h = 2.8f, d = 0.25f;
  const float front[4][3] = {{-w, h, -d}, {w, h, -d}, {w, 0, -d}, {-w, 0, -d}};
  const float back[4][3] = {{w, h, d}, {-w, h, d}, {-w, 0, d}, {w, 0, d}};
  const float left[4][3] = {{-w, h, d}, {-w, h, -d}, {-w, 0, -d}, {-w, 0, d}};
  const float right[4][3] = {{w, h, -d}, {w, h, d}, {w, 0, d}, {w, 0, -d}};
  const float top[4][3] = {{-w, h, d}, {w, h, d}, {w, h, -d}, {-w, h, -d}};
  const float nFront[3] = {0, 0, -1}, nBack[3] = {0, 0, 1}, nLeft[3] = {-1, 0, 0},
              nRight[3] = {1, 0, 0}, nTop[3] = {0, 1, 0};
  addQuad(box, front, nFront);
  addQuad(box, back, nBack);
  addQuad(box, left, nLeft);
  addQuad(box, right, nRight);
  addQuad(box, top, nTop);
  iMaterialFlagNode(box, kFlagLighting | kFlagAnisotropic | kFlagNormalizeNormals | kFlagAntiAlias,
                    true);
  iMaterialTextureNode(box, cover, 0);
  return box;
}

}  // namespace kestrum
