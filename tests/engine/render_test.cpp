// Rendering through headless EGL: colours, orientation, lighting, filtering, material types,
// supersampling, tiling and transparency. Needs an OpenGL 3.3 context (Mesa's llvmpipe will do);
// when none can be made the tests fail rather than skip.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "image/image.h"
#include "engine_queries.h"
#include "headless_gl.h"

namespace {

using kestrum::Image;

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;
};

// Mean colour of the pixels in [x0, x1) x [y0, y1), given as fractions of the picture.
Rgba meanColour(const Image& image, double x0, double y0, double x1, double y1) {
  const int px0 = int(x0 * image.width), px1 = std::max(px0 + 1, int(x1 * image.width));
  const int py0 = int(y0 * image.height), py1 = std::max(py0 + 1, int(y1 * image.height));
  Rgba sum;
  int n = 0;
  for (int y = py0; y < py1; ++y) {
    for (int x = px0; x < px1; ++x) {
      const uint8_t* p = image.pixel(x, y);
      sum.r += p[0];
      sum.g += p[1];
      sum.b += p[2];
      sum.a += p[3];
      ++n;
    }
  }
  return {sum.r / n, sum.g / n, sum.b / n, sum.a / n};
}

double brightness(const Rgba& c) {
  return (c.r + c.g + c.b) / 3.0;
}

void expectColour(const Rgba& actual, uint32_t expected, double tolerance, const char* where) {
  EXPECT_NEAR(actual.r, double(expected & 0xFF), tolerance) << where;
  EXPECT_NEAR(actual.g, double((expected >> 8) & 0xFF), tolerance) << where;
  EXPECT_NEAR(actual.b, double((expected >> 16) & 0xFF), tolerance) << where;
}

void setPixel(Image& image, int x, int y, uint32_t rgba) {
  uint8_t* p = image.pixel(x, y);
  p[0] = uint8_t(rgba);
  p[1] = uint8_t(rgba >> 8);
  p[2] = uint8_t(rgba >> 16);
  p[3] = uint8_t(rgba >> 24);
}

// A picture of four quadrants: top-left, top-right, bottom-left, bottom-right.
Image quadrants(int side, uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
  Image image = kestrum::makeImage(side, side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const bool right = x >= side / 2, bottom = y >= side / 2;
      setPixel(image, x, y, bottom ? (right ? br : bl) : (right ? tr : tl));
    }
  }
  return image;
}

// A quad in the plane z = `z`, facing a camera at the origin that looks along +z, wound
// clockwise as the camera sees it; UV (0, 0) at its top-left corner.
EngineHandle addQuad(float halfWidth, float halfHeight, float z, uint32_t colour = 0xFFFFFFFFu,
                     float uvScale = 1.0f) {
  const EngineHandle mesh = iCreateEmptyMesh(0);
  iAddBufferMesh(mesh, 1);
  const float corners[4][2] = {{-halfWidth, halfHeight},
                               {halfWidth, halfHeight},
                               {halfWidth, -halfHeight},
                               {-halfWidth, -halfHeight}};
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i < 4; ++i) {
    const EngineVertex v{corners[i][0],      corners[i][1],      z,        0,       0, -1, colour,
                         uv[i][0] * uvScale, uv[i][1] * uvScale, uv[i][0], uv[i][1]};
    iAddMVerticesMesh(mesh, &v, 1, 0);
  }
  iAddFaceMesh(mesh, 0, 1, 2, 0);
  iAddFaceMesh(mesh, 0, 2, 3, 0);
  return mesh;
}

// Shows the material's texture exactly: lit, but with white emissive light.
void showPlainly(EngineHandle mesh) {
  iMaterialFlagNode(mesh, kFlagLighting, true);
  iEmissiveColorNode(mesh, 0xFFFFFFFFu);
}

class RenderTest : public kestrum::test::HeadlessGlTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(HeadlessGlTest::SetUp());
    iInitEngine();
    iFlagCreationTexture(kTextureMipmaps | kTextureQuality, true);
    iFlagCreationTexture(kTextureKeepSize, false);
    camera_ = iCreateCamera(0);  // at the origin, looking along +z
    iAmbientLight(0xFF000000u);
  }

  Image render(int width, int height, kestrum::OffscreenOptions options = {}) {
    std::string error;
    std::optional<Image> image = renderer().render(width, height, options, &error);
    EXPECT_TRUE(image.has_value()) << error;
    if (!image) return kestrum::makeImage(width, height);
    EXPECT_EQ(image->width, width);
    EXPECT_EQ(image->height, height);
    return std::move(*image);
  }

  static kestrum::OffscreenOptions clearTo(uint32_t colour, int samples = 1) {
    kestrum::OffscreenOptions o;
    o.clearColour = colour;
    o.samples = samples;
    return o;
  }

  EngineHandle camera_ = 0;
};

constexpr uint32_t kBlue = 0xFFFF0000u;
constexpr uint32_t kRed = 0xFF0000FFu;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kBlack = 0xFF000000u;

TEST_F(RenderTest, LitRedQuadIsRedInTheMiddleAndClearColourAround) {
  const EngineHandle quad = addQuad(1, 1, 5, kRed);  // covers about the middle half
  iMaterialFlagNode(quad, kFlagLighting, true);
  iCreateLight(kWhite, 50, 0);  // at the camera
  const Image image = render(64, 64, clearTo(kBlue));
  const Rgba middle = meanColour(image, 0.4, 0.4, 0.6, 0.6);
  EXPECT_GT(middle.r, 200);
  EXPECT_LT(middle.g, 10);
  EXPECT_LT(middle.b, 10);
  for (auto [x, y] : {std::pair{0.0, 0.0}, {0.9, 0.0}, {0.0, 0.9}, {0.9, 0.9}}) {
    expectColour(meanColour(image, x, y, x + 0.1, y + 0.1), kBlue, 0, "corner");
  }
  // Where the edges fall: the quad spans tan^-1(1/5) of a 22.5 degree half view.
  const double half = (1.0 / 5.0) / std::tan(22.5 * 3.14159265 / 180.0) / 2.0;
  EXPECT_GT(meanColour(image, 0.5 - half + 0.03, 0.5, 0.5 - half + 0.05, 0.52).r, 200);
  EXPECT_EQ(meanColour(image, 0.5 - half - 0.05, 0.5, 0.5 - half - 0.03, 0.52).b, 255);
  EXPECT_FALSE(iRendererName().empty());
  EXPECT_EQ(iRendererName(), renderer().rendererName());
}

TEST_F(RenderTest, UnlitMeshIsDarkWithoutLightAndFlatWithLightingOff) {
  const EngineHandle quad = addQuad(1, 1, 5, kRed);
  iMaterialFlagNode(quad, kFlagLighting, true);
  Image image = render(32, 32, clearTo(kBlue));
  EXPECT_LT(brightness(meanColour(image, 0.4, 0.4, 0.6, 0.6)), 2);  // no light, no ambient
  iAmbientLight(0xFF808080u);
  image = render(32, 32, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), 0xFF000080u, 2, "ambient only");
  iMaterialFlagNode(quad, kFlagLighting, false);
  image = render(32, 32, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), kRed, 0, "lighting off");
}

TEST_F(RenderTest, BackFacesAreNotDrawn) {
  // The same quad wound the other way round faces away from the camera.
  const EngineHandle quad = iCreateEmptyMesh(0);
  iAddBufferMesh(quad, 1);
  const EngineVertex v[4] = {{-1, 1, 5, 0, 0, -1, kRed, 0, 0, 0, 0},
                             {1, 1, 5, 0, 0, -1, kRed, 1, 0, 0, 0},
                             {1, -1, 5, 0, 0, -1, kRed, 1, 1, 0, 0},
                             {-1, -1, 5, 0, 0, -1, kRed, 0, 1, 0, 0}};
  iAddMVerticesMesh(quad, v, 4, 0);
  iAddFaceMesh(quad, 0, 2, 1, 0);  // counter-clockwise: back face
  Image image = render(32, 32, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), kBlue, 0, "back face");
  iAddFaceMesh(quad, 0, 1, 2, 0);  // clockwise: front face (the mesh is uploaded again)
  image = render(32, 32, clearTo(kBlue));
  expectColour(meanColour(image, 0.55, 0.35, 0.6, 0.4), kRed, 0, "front face");
  // A mirroring scale turns the winding round and keeps the front face front.
  iScaleNode(quad, -1, 1, 1);
  image = render(32, 32, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.35, 0.45, 0.4), kRed, 0, "mirrored front face");
}

TEST_F(RenderTest, TextureAppearsUprightAndNotMirrored) {
  const uint32_t yellow = 0xFF00FFFFu;
  const EngineHandle texture = iAddTexture("corners", quadrants(8, kRed, kGreen, kBlue, yellow));
  const EngineHandle quad = addQuad(2, 2, 5);
  showPlainly(quad);
  iMaterialTextureNode(quad, texture, 0);
  const Image image = render(64, 64, clearTo(kBlack));
  // The quad fills the middle of the view; sample the middle of each quadrant of it.
  expectColour(meanColour(image, 0.33, 0.33, 0.37, 0.37), kRed, 0, "top-left");
  expectColour(meanColour(image, 0.63, 0.33, 0.67, 0.37), kGreen, 0, "top-right");
  expectColour(meanColour(image, 0.33, 0.63, 0.37, 0.67), kBlue, 0, "bottom-left");
  expectColour(meanColour(image, 0.63, 0.63, 0.67, 0.67), yellow, 0, "bottom-right");
}

TEST_F(RenderTest, NonPowerOfTwoTextureIsScaledUpAndDrawnTheSame) {
  const uint32_t yellow = 0xFF00FFFFu;
  const EngineHandle texture = iAddTexture("six", quadrants(6, kRed, kGreen, kBlue, yellow));
  EXPECT_EQ(kestrum::test::textureSizeOf(texture), (kestrum::test::PixelSize{8, 8}));
  const EngineHandle quad = addQuad(2, 2, 5);
  iMaterialTextureNode(quad, texture, 0);
  const Image image = render(64, 64, clearTo(kBlack));
  expectColour(meanColour(image, 0.3, 0.3, 0.36, 0.36), kRed, 0, "top-left");
  expectColour(meanColour(image, 0.64, 0.3, 0.7, 0.36), kGreen, 0, "top-right");
  expectColour(meanColour(image, 0.3, 0.64, 0.36, 0.7), kBlue, 0, "bottom-left");
  expectColour(meanColour(image, 0.64, 0.64, 0.7, 0.7), yellow, 0, "bottom-right");
}

TEST_F(RenderTest, TexturesShowTheirExactColoursUnlitOrWithWhiteEmissive) {
  const uint32_t colours[4] = {0xFF563412u, 0xFF0A0B0Cu, 0xFFF0E1D2u, 0xFF7F8081u};
  const EngineHandle texture =
      iAddTexture("exact", quadrants(4, colours[0], colours[1], colours[2], colours[3]));
  const EngineHandle quad = addQuad(2, 2, 5);
  iMaterialTextureNode(quad, texture, 0);
  iCreateLight(kWhite, 3, 0);  // must not matter
  iAmbientLight(0xFF404040u);
  for (int lit = 0; lit < 2; ++lit) {
    SCOPED_TRACE(lit ? "lit with white emissive" : "lighting off");
    if (lit) showPlainly(quad);
    const Image image = render(64, 64, clearTo(kBlack));
    expectColour(meanColour(image, 0.33, 0.33, 0.37, 0.37), colours[0], 0, "top-left");
    expectColour(meanColour(image, 0.63, 0.33, 0.67, 0.37), colours[1], 0, "top-right");
    expectColour(meanColour(image, 0.33, 0.63, 0.37, 0.67), colours[2], 0, "bottom-left");
    expectColour(meanColour(image, 0.63, 0.63, 0.67, 0.67), colours[3], 0, "bottom-right");
  }
}

TEST_F(RenderTest, MovingTheLightBrightensTheSideThatFacesIt) {
  // A wide quad close to the camera; a light near its left or right end.
  const EngineHandle quad = addQuad(5, 1, 4, kWhite);
  iMaterialFlagNode(quad, kFlagLighting | kFlagNormalizeNormals, true);
  const EngineHandle light = iCreateLight(kWhite, 10, 0);
  iPositionNode(light, -3, 0, 2);
  Image image = render(96, 32, clearTo(kBlack));
  const double leftLit = brightness(meanColour(image, 0.1, 0.45, 0.2, 0.55));
  const double rightUnlit = brightness(meanColour(image, 0.8, 0.45, 0.9, 0.55));
  EXPECT_GT(leftLit, rightUnlit + 40);
  iPositionNode(light, 3, 0, 2);
  image = render(96, 32, clearTo(kBlack));
  EXPECT_GT(brightness(meanColour(image, 0.8, 0.45, 0.9, 0.55)),
            brightness(meanColour(image, 0.1, 0.45, 0.2, 0.55)) + 40);
  EXPECT_NEAR(brightness(meanColour(image, 0.8, 0.45, 0.9, 0.55)), leftLit, 3);
  // Beyond its radius the light reaches nothing.
  iRadiusLight(light, 1);
  image = render(96, 32, clearTo(kBlack));
  EXPECT_LT(brightness(meanColour(image, 0.0, 0.4, 1.0, 0.6)), 1);
}

TEST_F(RenderTest, FilterNoneAndBilinearSampleAMagnifiedCheckerDifferently) {
  const EngineHandle texture = iAddTexture("checker", quadrants(2, kBlack, kWhite, kWhite, kBlack));
  const EngineHandle quad = addQuad(2, 2, 5, kWhite, 2.0f);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iMaterialTextureNode(quad, texture, 0);
  auto countGreys = [&](const Image& image) {
    int greys = 0;
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width; ++x) {
        const uint8_t v = image.pixel(x, y)[0];
        greys += v > 30 && v < 225;
      }
    }
    return greys;
  };
  const Image nearest = render(64, 64, clearTo(kBlack));
  iMaterialFlagNode(quad, kFlagBilinear, true);
  const Image bilinear = render(64, 64, clearTo(kBlack));
  EXPECT_EQ(countGreys(nearest), 0);
  EXPECT_GT(countGreys(bilinear), 64 * 64 / 8);
  // The texel centres still show the texel colours.
  expectColour(meanColour(bilinear, 0.13, 0.13, 0.15, 0.15), kBlack, 30, "texel centre");
}

TEST_F(RenderTest, TrilinearFilteringAveragesAMinifiedCheckerEvenWithoutMipmapsMade) {
  iFlagCreationTexture(kTextureMipmaps, false);  // as the program makes its textures
  Image fine = kestrum::makeImage(256, 256);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) setPixel(fine, x, y, (x + y) % 2 ? kWhite : kBlack);
  }
  const EngineHandle texture = iAddTexture("fine", fine);
  const EngineHandle quad = addQuad(2, 2, 5);
  iMaterialTextureNode(quad, texture, 0);
  auto spread = [](const Image& image) {  // how far the middle strays from mid grey
    double sum = 0;
    int n = 0;
    for (int y = 12; y < 20; ++y) {
      for (int x = 12; x < 20; ++x, ++n) sum += std::abs(int(image.pixel(x, y)[0]) - 128);
    }
    return sum / n;
  };
  iMaterialFlagNode(quad, kFlagBilinear, true);
  const double bilinear = spread(render(32, 32, clearTo(kBlack)));
  for (int flag : {int(kFlagTrilinear), int(kFlagAnisotropic)}) {
    iMaterialFlagNode(quad, kFlagBilinear | kFlagTrilinear | kFlagAnisotropic, false);
    iMaterialFlagNode(quad, flag, true);
    const double filtered = spread(render(32, 32, clearTo(kBlack)));
    EXPECT_LT(filtered, 8) << flag;
    EXPECT_GT(bilinear, 3 * filtered + 20) << flag;
  }
}

TEST_F(RenderTest, SupersamplingSmoothsEdges) {
  const EngineHandle quad = addQuad(1.5f, 1.5f, 5, kWhite);
  iRotateNode(quad, 0, 0, 20);  // slanted edges
  auto countIntermediate = [](const Image& image) {
    int n = 0;
    for (size_t i = 0; i < image.pixels.size(); i += 4)
      n += image.pixels[i] > 8 && image.pixels[i] < 247;
    return n;
  };
  const Image one = render(64, 64, clearTo(kBlack, 1));
  const Image four = render(64, 64, clearTo(kBlack, 4));
  EXPECT_EQ(countIntermediate(one), 0);
  EXPECT_GT(countIntermediate(four), 100);
  // The interior and the background are the same either way.
  expectColour(meanColour(four, 0.45, 0.45, 0.55, 0.55), kWhite, 0, "interior");
  expectColour(meanColour(four, 0.0, 0.0, 0.05, 0.05), kBlack, 0, "background");
  for (int samples : {2, 9, 16}) {
    const Image more = render(48, 32, clearTo(kBlack, samples));
    EXPECT_GT(countIntermediate(more), 40) << samples << " samples";
  }
}

TEST_F(RenderTest, SphereMapFollowsTheViewNotTheTextureCoordinates) {
  const EngineHandle texture =
      iAddTexture("environment", quadrants(64, kRed, kGreen, kBlue, kWhite));
  const EngineHandle quad = addQuad(3, 3, 4);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iMaterialFlagNode(quad, kFlagBilinear, true);
  iMaterialTextureNode(quad, texture, 0);
  // Every vertex at UV (0.2, 0.2): as a solid material the whole quad shows the red quadrant.
  const EngineVertex* v = iMeshVertices(quad, 0);
  std::vector<EngineVertex> flat(v, v + 4);
  for (EngineVertex& e : flat) e.u = e.v = 0.2f;
  const EngineHandle mesh = iCreateEmptyMesh(0);
  iAddBufferMesh(mesh, 1);
  iAddMVerticesMesh(mesh, flat.data(), 4, 0);
  iAddFaceMesh(mesh, 0, 1, 2, 0);
  iAddFaceMesh(mesh, 0, 2, 3, 0);
  iMaterialFlagNode(mesh, kFlagLighting, false);
  iMaterialTextureNode(mesh, texture, 0);
  iVisibleNode(quad, false);
  Image image = render(64, 64, clearTo(kBlack));
  expectColour(meanColour(image, 0.2, 0.2, 0.3, 0.3), kRed, 1, "solid top-left");
  expectColour(meanColour(image, 0.7, 0.7, 0.8, 0.8), kRed, 1, "solid bottom-right");

  iMaterialTypeNode(mesh, kMaterialSphereMap);
  image = render(64, 64, clearTo(kBlack));
  // The reflection of a view ray through the upper left leans up and left: the texture's
  // top-left; through the lower right, its bottom-right.
  expectColour(meanColour(image, 0.2, 0.2, 0.3, 0.3), kRed, 10, "sphere top-left");
  expectColour(meanColour(image, 0.7, 0.2, 0.8, 0.3), kGreen, 10, "sphere top-right");
  expectColour(meanColour(image, 0.2, 0.7, 0.3, 0.8), kBlue, 10, "sphere bottom-left");
  expectColour(meanColour(image, 0.7, 0.7, 0.8, 0.8), kWhite, 10, "sphere bottom-right");
}

TEST_F(RenderTest, DetailLayerAddsASignedOffset) {
  const uint32_t base = 0xFFC89664u;  // (100, 150, 200)
  const EngineHandle layer0 = iAddTexture("base", kestrum::makeImage(4, 4, base));
  // Left half grey 128 (no change), right half 178 (+50), bottom-right 28 (-100).
  const EngineHandle layer1 =
      iAddTexture("detail", quadrants(4, 0xFF808080u, 0xFFB2B2B2u, 0xFF808080u, 0xFF1C1C1Cu));
  const EngineHandle quad = addQuad(2, 2, 5);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iMaterialTextureNode(quad, layer0, 0);
  iMaterialTextureNode(quad, layer1, 1);
  Image image = render(64, 64, clearTo(kBlack));
  expectColour(meanColour(image, 0.63, 0.33, 0.67, 0.37), base, 0, "solid ignores layer 1");

  iMaterialTypeNode(quad, kMaterialDetail);
  image = render(64, 64, clearTo(kBlack));
  expectColour(meanColour(image, 0.33, 0.33, 0.37, 0.37), base, 1, "grey 128");
  expectColour(meanColour(image, 0.63, 0.33, 0.67, 0.37), 0xFFFAC896u, 1, "+50");
  expectColour(meanColour(image, 0.63, 0.63, 0.67, 0.67), 0xFF643200u, 1, "-100");
}

TEST_F(RenderTest, GlobalAlphaBlendsOverWhatIsBehind) {
  const EngineHandle back = addQuad(2, 2, 6, kRed);
  const EngineHandle front = addQuad(2, 2, 5, kBlue);
  iMaterialFlagNode(back, kFlagLighting, false);
  iMaterialFlagNode(front, kFlagLighting, false);
  iGlobalColorNode(front, 0x80FFFFFFu);
  const Image image = render(32, 32, clearTo(kBlack));
  const Rgba mix = meanColour(image, 0.45, 0.45, 0.55, 0.55);
  EXPECT_NEAR(mix.r, 127, 3);
  EXPECT_NEAR(mix.b, 128, 3);
  // Global colour tints too.
  iGlobalColorNode(front, 0xFF00FFFFu);
  const Image tinted = render(32, 32, clearTo(kBlack));
  expectColour(meanColour(tinted, 0.45, 0.45, 0.55, 0.55), kBlack, 0, "blue times yellow");
}

TEST_F(RenderTest, HiddenParentsHideTheirChildren) {
  const EngineHandle pivot = iCreatePivot(0);
  const EngineHandle quad = addQuad(1, 1, 5, kRed);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iParentNode(quad, pivot);
  iVisibleNode(pivot, false);
  Image image = render(16, 16, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), kBlue, 0, "hidden");
  iVisibleNode(pivot, true);
  image = render(16, 16, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), kRed, 0, "shown");
}

TEST_F(RenderTest, FacesWithIndicesOutsideTheBufferAreDropped) {
  const EngineHandle quad = addQuad(1, 1, 5, kRed);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iAddFaceMesh(quad, 0, 1, 99, 0);
  iAddFaceMesh(quad, -1, 0, 1, 0);
  const Image image = render(16, 16, clearTo(kBlue));
  expectColour(meanColour(image, 0.4, 0.4, 0.6, 0.6), kRed, 0, "quad drawn");
}

// A scene with slanted edges, a texture, lighting and a blended mesh, for comparisons.
void buildBusyScene(EngineHandle camera) {
  iPositionNode(camera, 0, 2, -4);
  iRotateNode(camera, 20, 0, 0);
  iAmbientLight(0xFF303030u);
  const EngineHandle light = iCreateLight(kWhite, 20, 0);
  iPositionNode(light, -3, 5, -5);
  const EngineHandle texture = iAddTexture("busy", quadrants(16, kRed, kGreen, kBlue, kWhite));
  const EngineHandle a = addQuad(1, 1.4f, 0, kWhite);
  iRotateNode(a, 0, 30, 10);
  iMaterialFlagNode(a, kFlagLighting | kFlagTrilinear, true);
  iMaterialTextureNode(a, texture, 0);
  const EngineHandle b = addQuad(0.6f, 0.6f, -1, 0xFF00C0FFu);
  iPositionNode(b, 0.8f, 0.5f, 0);
  iGlobalColorNode(b, 0xA0FFFFFFu);
  iMaterialFlagNode(b, kFlagLighting, true);
}

TEST_F(RenderTest, TiledRenderEqualsTheOnePieceRender) {
  buildBusyScene(camera_);
  for (int samples : {1, 4}) {
    SCOPED_TRACE(samples);
    kestrum::OffscreenOptions whole = clearTo(0xFF806040u, samples);
    kestrum::OffscreenOptions tiled = whole;
    tiled.tileSize = 37;  // uneven tiles, partial ones at the right and bottom
    const Image a = render(150, 100, whole);
    const Image b = render(150, 100, tiled);
    int differingPixels = 0, maxDiff = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 4) {
      int d = 0;
      for (size_t c = 0; c < 4; ++c)
        d = std::max(d, std::abs(int(a.pixels[i + c]) - int(b.pixels[i + c])));
      maxDiff = std::max(maxDiff, d);
      differingPixels += d > 2;
    }
    // Each tile has its own projection, so a pixel centre lying right on an edge may fall the
    // other way in float arithmetic: a rare flip with one sample, a small step with more.
    EXPECT_LE(differingPixels, 150 * 100 / 1000);
    if (samples > 1) {
      EXPECT_LE(maxDiff, 24);
    }
  }
}

TEST_F(RenderTest, PicturesBeyondTheTileLimitAreTiledWithTheSameFraming) {
  // 2200 pixels at 2 x 2 supersampling is wider than one 4096-pixel tile.
  iFOVCamera(camera_, 10);
  const EngineHandle quad = addQuad(60, 0.5f, 20, kWhite);
  iRotateNode(quad, 0, 0, 0.2f);  // slightly slanted, so the edges are smoothed
  const Image image = render(2200, 48, clearTo(kBlack, 4));
  // Symmetric about the centre (the slant turns it by half a turn): tiles joined in order.
  double asymmetry = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      asymmetry += std::abs(int(image.pixel(x, y)[0]) -
                            int(image.pixel(image.width - 1 - x, image.height - 1 - y)[0]));
    }
  }
  EXPECT_LT(asymmetry / (image.width * image.height), 1.0);
  expectColour(meanColour(image, 0.49, 0.4, 0.51, 0.6), kWhite, 0, "middle, at the seam");
  expectColour(meanColour(image, 0.0, 0.0, 0.01, 1.0), kBlack, 0, "left end");
  // The quad's half width is 60 / (20 tan 5 deg) / (2200 / 48) = 0.375 of the picture's width.
  const double half = 60.0 / (20.0 * std::tan(5.0 * 3.14159265 / 180.0)) / (2200.0 / 48.0) / 2.0;
  for (double edge : {0.5 - half, 0.5 + half}) {
    const double inward = edge < 0.5 ? 1 : -1;
    const double in0 = edge + inward * 0.005, in1 = edge + inward * 0.01;
    const double out0 = edge - inward * 0.005, out1 = edge - inward * 0.01;
    EXPECT_EQ(meanColour(image, std::min(in0, in1), 0.45, std::max(in0, in1), 0.55).r, 255) << edge;
    EXPECT_EQ(meanColour(image, std::min(out0, out1), 0.45, std::max(out0, out1), 0.55).r, 0)
        << edge;
  }
}

TEST_F(RenderTest, TransparentOptionKeepsBackgroundAlphaAndStraightEdges) {
  const EngineHandle quad = addQuad(1.5f, 1.5f, 5, kWhite);
  iRotateNode(quad, 0, 0, 20);
  iMaterialFlagNode(quad, kFlagLighting, false);
  kestrum::OffscreenOptions options = clearTo(0xFF000000u, 4);
  options.transparent = true;
  const Image image = render(64, 64, options);
  EXPECT_TRUE(image.hasAlpha);
  EXPECT_EQ(meanColour(image, 0.0, 0.0, 0.1, 0.1).a, 0);
  EXPECT_EQ(meanColour(image, 0.9, 0.9, 1.0, 1.0).a, 0);
  EXPECT_EQ(meanColour(image, 0.45, 0.45, 0.55, 0.55).a, 255);
  int edges = 0;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.pixel(x, y);
      if (p[3] == 0 || p[3] == 255) continue;
      ++edges;
      // Straight alpha: a white edge stays white however little of the pixel it covers.
      EXPECT_GE(p[0], 250) << x << "," << y << " alpha " << int(p[3]);
    }
  }
  EXPECT_GT(edges, 50);
  // Without the option the picture is opaque and shows the clear colour.
  const Image opaque = render(64, 64, clearTo(0x00FF0000u, 4));
  EXPECT_FALSE(opaque.hasAlpha);
  EXPECT_EQ(meanColour(opaque, 0.0, 0.0, 0.1, 0.1).a, 255);
  expectColour(meanColour(opaque, 0.0, 0.0, 0.1, 0.1), kBlue, 0, "opaque background");
}

TEST_F(RenderTest, SizesOutsideTheRangeAreRefusedWithAReason) {
  for (auto [w, h] : {std::pair{0, 10}, {10, 0}, {-5, 5}, {renderer().maxSize() + 1, 4}}) {
    std::string error;
    EXPECT_FALSE(renderer().render(w, h, {}, &error).has_value());
    EXPECT_NE(error.find("outside"), std::string::npos) << error;
  }
  EXPECT_GE(renderer().maxSize(), 4096);
  EXPECT_LE(renderer().maxSize(), 16384);
}

TEST_F(RenderTest, DrawsIntoTheFramebufferItIsGivenAndPresents) {
  ASSERT_TRUE(renderer().makeCurrent());
  GLuint fbo = 0, colour = 0;
  glGenFramebuffers(1, &fbo);
  glGenRenderbuffers(1, &colour);
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 8, 8);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
  ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
  glBindFramebuffer(GL_FRAMEBUFFER, 0);

  int presented = 0;
  iSetPresentCallback([&] { ++presented; });
  iSetRenderTarget(fbo, 8, 8);
  iBeginScene(10, 200, 30, 255, true, true);
  iDrawScene();
  iEndScene();
  EXPECT_EQ(presented, 1);
  uint8_t pixel[4] = {};
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 10);
  EXPECT_EQ(pixel[1], 200);
  EXPECT_EQ(pixel[2], 30);
  // Offscreen pictures do not call the host's present callback.
  render(8, 8);
  EXPECT_EQ(presented, 1);
  iSetPresentCallback(nullptr);
  iSetRenderTarget(0, 0, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDeleteFramebuffers(1, &fbo);
  glDeleteRenderbuffers(1, &colour);
}

TEST_F(RenderTest, SceneDrawsInANewContextAfterTheOldOneIsGone) {
  const EngineHandle quad = addQuad(1, 1, 5, kRed);
  iMaterialFlagNode(quad, kFlagLighting, false);
  iMaterialTextureNode(quad, iAddTexture("white", kestrum::makeImage(2, 2, kWhite)), 0);
  expectColour(meanColour(render(16, 16, clearTo(kBlue)), 0.4, 0.4, 0.6, 0.6), kRed, 0, "first");

  // A second context alongside, then the first one's scene drawn there.
  std::string error;
  auto second = kestrum::OffscreenRenderer::create(&error);
  ASSERT_NE(second, nullptr) << error;
  std::optional<Image> there = second->render(16, 16, clearTo(kBlue), &error);
  ASSERT_TRUE(there.has_value()) << error;
  expectColour(meanColour(*there, 0.4, 0.4, 0.6, 0.6), kRed, 0, "second context");
  second.reset();

  // Back in the first context after the second is gone, and after a fresh start.
  expectColour(meanColour(render(16, 16, clearTo(kBlue)), 0.4, 0.4, 0.6, 0.6), kRed, 0, "back");
  iInitEngine();
  const EngineHandle camera = iCreateCamera(0);
  ASSERT_NE(camera, 0);
  const EngineHandle green = addQuad(1, 1, 5, kGreen);
  iMaterialFlagNode(green, kFlagLighting, false);
  expectColour(meanColour(render(16, 16, clearTo(kBlue)), 0.4, 0.4, 0.6, 0.6), kGreen, 0, "fresh");
}

TEST_F(RenderTest, NoCameraGivesJustTheClearColour) {
  iInitEngine();
  addQuad(1, 1, 5, kRed);
  expectColour(meanColour(render(16, 16, clearTo(kGreen)), 0, 0, 1, 1), kGreen, 0, "no camera");
}

}  // namespace
