// The software engine view: the engine draws in a headless EGL context and each frame is copied
// into a plain widget. Needs an OpenGL driver (llvmpipe is enough), no display.
#include <string>

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "headless_gl.h"
#include "test_scene.h"
#include "toolkit/toolkit.h"
#include "view_fixture.h"

namespace {

TEST_F(EngineView, SoftwareDriverDrawsThroughHeadlessEgl) {
  std::string why;
  if (!kestrum::test::headlessGlAvailable(&why)) GTEST_SKIP() << "no headless EGL here: " << why;
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverSoftware), 0) << tkLastError();
  EXPECT_EQ(tkEngineViewDriver(), kTkDriverSoftware);

  struct Case {
    int r, g, b;
    uint32_t rgb;
  };
  int frame = 0;
  for (Case c : {Case{255, 0, 0, 0xFF0000u}, Case{0, 0, 255, 0x0000FFu}}) {
    ASSERT_TRUE(tkBeginEngineFrame(0xFFFFFFFFu));
    iBeginScene(c.r, c.g, c.b, 255, true, true);
    iDrawScene();
    iEndScene();
    EXPECT_EQ(tkEngineViewFrameCount(), ++frame);
    EXPECT_EQ(pixel(0, 0), c.rgb);
    EXPECT_EQ(pixel(167, 175), c.rgb);
    EXPECT_EQ(pixel(334, 349), c.rgb);
  }
}

TEST_F(EngineView, SoftwareDriverAntiAliasesWhileTheEngineAsks) {
  std::string why;
  if (!kestrum::test::headlessGlAvailable(&why)) GTEST_SKIP() << "no headless EGL here: " << why;
  buildTriangleScene();
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverSoftware), 0) << tkLastError();
  for (int on : {0, 1}) {
    SCOPED_TRACE(on);
    iSetAntiAlias(on);
    ASSERT_TRUE(tkBeginEngineFrame(0xFF000000u));
    drawFrame();
    expectTriangleShown(on);
  }
}

}  // namespace
