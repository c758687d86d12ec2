// The engine view's drivers on Qt's offscreen platform, which has no OpenGL: Direct3D and OpenGL
// fail cleanly and the fallback works (the software view, which needs EGL, is tested beside).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QCursor>
#include <QPointer>
#include <QWidget>

#include "engine/engine.h"
#include "toolkit/toolkit.h"
#include "toolkit_qt.h"
#include "view_fixture.h"

namespace {

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
