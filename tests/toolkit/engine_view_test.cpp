// The engine view's drivers on Qt's offscreen platform, which has no OpenGL: Direct3D and OpenGL
// fail cleanly, software rendering through headless EGL and the fallback work.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCursor>
#include <QPointer>
#include <QWidget>

#include "engine/engine.h"
#include "engine/offscreen.h"
#include "toolkit/toolkit.h"
#include "toolkit/toolkit_qt.h"
#include "test_scene.h"

namespace {

constexpr int kContainer = 8;

class EngineView : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tkOpenWindow("View", 720, 497));
    ASSERT_TRUE(tkContainer(kContainer, 10, 70, 335, 350));
    tkCloseContainer();
    iInitEngine();
  }
  void TearDown() override { tkShutdown(); }

  static QWidget* container() { return tkqt::controlWidget(kContainer); }

  // The colour at a point of the view's picture, as 0xRRGGBB.
  static uint32_t pixel(int x, int y) {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba = tkGrabEngineView(&w, &h);
    if (x >= w || y >= h) return 0xFFFFFFFF;
    const uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
};

TEST_F(EngineView, UnavailableDriversFailWithoutLeavingAnything) {
  struct Case {
    int driver;
    const char* reason;
  };
  const Case cases[] = {
      {kTkDriverDirect3D, "Direct3D"},
      {kTkDriverOpenGL, "OpenGL"},  // the offscreen platform has none
      {3, "unknown driver"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    EXPECT_EQ(tkCreateEngineView(kContainer, c.driver), 0);
    EXPECT_NE(tkLastError().find(c.reason), std::string::npos) << tkLastError();
    EXPECT_EQ(tkEngineViewDriver(), 0);
    EXPECT_TRUE(container()->findChildren<QWidget*>().isEmpty());
    EXPECT_FALSE(tkBeginEngineFrame(0xFFFFFFFFu));
  }
}

TEST_F(EngineView, NeedsAContainer) {
  ASSERT_TRUE(tkButton(9, 0, 0, 50, 20, "not a container"));
  EXPECT_EQ(tkCreateEngineView(9, kTkDriverFallback), 0);
  EXPECT_EQ(tkCreateEngineView(99, kTkDriverFallback), 0);
  EXPECT_NE(tkLastError().find("not a container"), std::string::npos);
}

TEST_F(EngineView, FallbackShowsTheBackgroundColour) {
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverFallback), 0);
  EXPECT_EQ(tkEngineViewDriver(), kTkDriverFallback);
  EXPECT_EQ(tkqt::engineViewWidget()->geometry(), QRect(0, 0, 335, 350));
  EXPECT_FALSE(tkMakeEngineViewCurrent());
  EXPECT_FALSE(tkBeginEngineFrame(0xFF000000u)) << "no 3D: the engine must not draw";
  EXPECT_EQ(tkEngineViewFrameCount(), 1);
  EXPECT_EQ(pixel(0, 0), 0x000000u);
  EXPECT_EQ(pixel(334, 349), 0x000000u);
  EXPECT_FALSE(tkBeginEngineFrame(0xFFFFFFFFu));
  EXPECT_EQ(pixel(100, 100), 0xFFFFFFu);
}

TEST_F(EngineView, SoftwareDriverDrawsThroughHeadlessEgl) {
  std::string why;
  if (!kestrum::OffscreenRenderer::create(&why)) GTEST_SKIP() << "no headless EGL here: " << why;
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
  if (!kestrum::OffscreenRenderer::create(&why)) GTEST_SKIP() << "no headless EGL here: " << why;
  buildTriangleScene();
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverSoftware), 0) << tkLastError();
  for (int on : {0, 1}) {
    SCOPED_TRACE(on);
    iSetAntiAlias(on);
    ASSERT_TRUE(tkBeginEngineFrame(0xFF000000u));
    drawFrame();
    int w = 0, h = 0;
    Coverage c = coverage(tkGrabEngineView(&w, &h));
    EXPECT_GT(c.bright, w * h / 10) << "the triangle is drawn";
    EXPECT_GT(c.dark, w * h / 10);
    if (on)
      EXPECT_GT(c.partial, 200) << "edge pixels are blended";
    else
      EXPECT_LT(c.partial, 20);
  }
}

TEST_F(EngineView, NewViewReplacesTheOldAndGoesWithItsContainer) {
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverFallback), 0);
  QPointer<QWidget> first = tkqt::engineViewWidget();
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverFallback), 0);
  EXPECT_TRUE(first.isNull());
  EXPECT_EQ(container()->findChildren<QWidget*>().size(), 1);
  tkFreeControl(kContainer);
  EXPECT_EQ(tkEngineViewDriver(), 0);
  EXPECT_EQ(tkqt::engineViewWidget(), nullptr);
  EXPECT_FALSE(tkBeginEngineFrame(0xFFFFFFFFu));
}

TEST_F(EngineView, EnginePointerFollowsThePointerOverTheView) {
  ASSERT_NE(tkCreateEngineView(kContainer, kTkDriverFallback), 0);
  QWidget* view = tkqt::engineViewWidget();
  const QPoint points[] = {{0, 0}, {20, 30}, {334, 349}};
  for (QPoint p : points) {
    QCursor::setPos(view->mapToGlobal(p));
    int x = 0, y = 0;
    tkPointerPosition(&x, &y);
    EXPECT_EQ(x, p.x() + 10);
    EXPECT_EQ(y, p.y() + 70);
    EXPECT_EQ(iGetMouseX(), p.x());
    EXPECT_EQ(iGetMouseY(), p.y());
  }
}

}  // namespace
