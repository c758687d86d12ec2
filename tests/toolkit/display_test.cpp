// The toolkit in real windows on an X server (run under xvfb-run): the OpenGL engine view, the
// pointer and the frame-hover notice, and a sample window with every control kind, saved as a
// picture for a person to look at.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <QWindow>

#include "engine/engine.h"
#include "scratch_folder.h"
#include "system/system.h"
#include "toolkit/toolkit.h"
#include "toolkit_qt.h"
#include "test_scene.h"
#ifdef KESTRUM_TEST_X11
#include "shown_cursor.h"
#endif

namespace {

void settle(int ms = 200) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

TkImage solidImage(int w, int h, QColor colour, bool alpha) {
  QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  image.fill(alpha ? Qt::transparent : Qt::white);
  for (int y = 2; y < h - 2; ++y)
    for (int x = 2; x < w - 2; ++x)
      if ((x - w / 2) * (x - w / 2) + (y - h / 2) * (y - h / 2) < (w * w) / 6)
        image.setPixelColor(x, y, colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return tkCatchImage(bytes.constData(), bytes.size());
}

class Display : public ::testing::Test {
 protected:
  void TearDown() override { tkShutdown(); }
};

uint32_t rgbAt(const QImage& image, int x, int y) {
  return image.pixel(x, y) & 0xFFFFFF;
}

TEST_F(Display, OpenGlViewShowsTheEnginesFrames) {
  ASSERT_TRUE(tkOpenWindow("GL view", 720, 497));
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  tkMenuItem(4, "Exit");
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  ASSERT_TRUE(tkGroupBox(7, 5, 55, 345, 370, "Preview"));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  iInitEngine();
  ASSERT_NE(tkCreateEngineView(8, kTkDriverOpenGL), 0) << tkLastError();
  tkCloseContainer();
  tkSetCursor(8, TkCursor::Cross);
  EXPECT_EQ(tkEngineViewDriver(), kTkDriverOpenGL);
  settle();

  struct Case {
    int r, g, b;
  };
  int frames = 0;
  for (Case c : {Case{255, 0, 0}, Case{0, 160, 0}}) {
    ASSERT_TRUE(tkBeginEngineFrame(0xFFFFFFFFu));
    iBeginScene(c.r, c.g, c.b, 255, true, true);
    iDrawScene();
    iEndScene();
    EXPECT_EQ(tkEngineViewFrameCount(), ++frames);
    settle(100);
    int w = 0, h = 0;
    std::vector<uint8_t> view = tkGrabEngineView(&w, &h);
    ASSERT_EQ(w, 335);
    ASSERT_EQ(h, 350);
    for (QPoint p : {QPoint(0, 0), QPoint(167, 175), QPoint(334, 349)}) {
      const uint8_t* px = &view[(static_cast<size_t>(p.y()) * w + p.x()) * 4];
      EXPECT_EQ(px[0], c.r);
      EXPECT_EQ(px[1], c.g);
      EXPECT_EQ(px[2], c.b);
    }
    // The window as it is composed on screen shows the frame inside the container.
    QImage window = tkqt::mainWindow()->grab().toImage();
    QPoint inView = tkqt::controlWidget(8)->mapTo(tkqt::mainWindow(), QPoint(100, 100));
    EXPECT_EQ(rgbAt(window, inView.x(), inView.y()),
              (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b));
  }
  EXPECT_FALSE(iRendererName().empty());
}

// The OpenGL view takes its sampling from the engine's anti-aliasing setting when it is made.
TEST_F(Display, OpenGlViewAntiAliasesWhileTheEngineAsks) {
  ASSERT_TRUE(tkOpenWindow("GL view", 720, 497));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  tkCloseContainer();
  settle();
  for (int on : {0, 1}) {
    SCOPED_TRACE(on);
    buildTriangleScene();
    iSetAntiAlias(on);
    ASSERT_NE(tkCreateEngineView(8, kTkDriverOpenGL), 0) << tkLastError();
    settle();
    ASSERT_TRUE(tkBeginEngineFrame(0xFF000000u));
    drawFrame();
    settle(100);
    expectTriangleShown(on);
  }
}

// Qt's GLX context and the headless EGL one take turns on the one thread: each view draws, and
// Qt never fails to make its context current to compose the window.
TEST_F(Display, OpenGlAndSoftwareViewsTakeTurns) {
  static std::vector<std::string> warnings;
  warnings.clear();
  QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        warnings.push_back(text.toStdString());
      });
  ASSERT_TRUE(tkOpenWindow("Turns", 720, 497));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  tkCloseContainer();
  settle();
  struct Case {
    int driver, r, g, b;
  };
  for (Case c : {Case{kTkDriverOpenGL, 255, 0, 0}, Case{kTkDriverSoftware, 0, 0, 255},
                 Case{kTkDriverOpenGL, 0, 160, 0}, Case{kTkDriverSoftware, 255, 255, 0}}) {
    SCOPED_TRACE(c.driver);
    iInitEngine();
    ASSERT_NE(tkCreateEngineView(8, c.driver), 0) << tkLastError();
    settle(100);
    for (int frame = 0; frame < 3; ++frame) {
      ASSERT_TRUE(tkBeginEngineFrame(0xFFFFFFFFu));
      iBeginScene(c.r, c.g, c.b, 255, true, true);
      iDrawScene();
      iEndScene();
      settle(30);
    }
    QImage window = tkqt::mainWindow()->grab().toImage();
    QPoint inView = tkqt::controlWidget(8)->mapTo(tkqt::mainWindow(), QPoint(100, 100));
    EXPECT_EQ(rgbAt(window, inView.x(), inView.y()),
              (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | uint32_t(c.b));
  }
  tkFreeEngineView();
  settle(100);
  qInstallMessageHandler(previous);
  for (const std::string& w : warnings)
    EXPECT_EQ(w.find("make context current"), std::string::npos) << w;
}

TEST_F(Display, PointerAndFrameHoverFollowTheRealPointer) {
  ASSERT_TRUE(tkOpenWindow("Pointer", 720, 497));
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  tkMenuItem(0, "New");
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  tkCloseContainer();
  tkActivateWindow();
  settle(300);
  tkClearEvents();

  QWidget* client = tkqt::clientWidget();
  QCursor::setPos(client->mapToGlobal(QPoint(100, 200)));
  settle();
  int x = 0, y = 0;
  tkPointerPosition(&x, &y);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, 200);
  tkClearEvents();

  // Moving over the (disabled) view container wakes a waiting loop.
  tkSetEnabled(8, false);
  QCursor::setPos(tkqt::controlWidget(8)->mapToGlobal(QPoint(50, 50)));
  TkEvent woke = tkWaitEvent(3000);
  EXPECT_EQ(woke.kind, TkEventKind::Input);
  tkPointerPosition(&x, &y);
  EXPECT_EQ(x, 60);
  EXPECT_EQ(y, 120);
  settle();
  tkClearEvents();

  QMenuBar* menu = tkqt::mainWindow()->menuBar();
  QCursor::setPos(menu->mapToGlobal(QPoint(300, menu->height() / 2)));
  settle();
  bool hover = false;
  for (TkEvent e = tkPollEvent(); e.kind != TkEventKind::None; e = tkPollEvent())
    hover = hover || e.kind == TkEventKind::FrameHover;
  EXPECT_TRUE(hover) << "moving onto the menu bar raises the frame-hover notice";
  tkPointerPosition(&x, &y);
  EXPECT_EQ(x, -1);
  EXPECT_EQ(y, -1);
}

// While a file dialog is open over the window, the view keeps showing its last frame.
TEST_F(Display, ViewKeepsItsFrameWhileAFileDialogIsOpen) {
  for (int driver : {kTkDriverOpenGL, kTkDriverSoftware}) {
    SCOPED_TRACE(driver);
    ASSERT_TRUE(tkOpenWindow("Dialog", 720, 497));
    ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
    iInitEngine();
    ASSERT_NE(tkCreateEngineView(8, driver), 0) << tkLastError();
    tkCloseContainer();
    tkActivateWindow();
    settle(300);
    ASSERT_TRUE(tkBeginEngineFrame(0xFFFFFFFFu));
    iBeginScene(200, 30, 30, 255, true, true);
    iDrawScene();
    iEndScene();
    settle(200);
    QPoint inView = tkqt::controlWidget(8)->mapTo(tkqt::mainWindow(), QPoint(60, 300));
    ASSERT_EQ(rgbAt(tkqt::mainWindow()->grab().toImage(), inView.x(), inView.y()), 0xC81E1Eu);

    std::vector<uint32_t> seen;
    std::vector<uint32_t> shown;
    QTimer::singleShot(500, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      for (QPoint to : {QPoint(700, 600), QPoint(100, 100), QPoint(700, 600)}) {
        dialog->move(to);
        settle(300);
        seen.push_back(rgbAt(tkqt::mainWindow()->grab().toImage(), inView.x(), inView.y()));
        QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        QPoint global = tkqt::mainWindow()->mapToGlobal(inView);
        shown.push_back(rgbAt(screen, global.x(), global.y()));
      }
      dialog->close();
    });
    tkOpenFileDialog("Open Front Image..", "*.*", "Image File|*.png");
    for (uint32_t c : seen) EXPECT_EQ(c, 0xC81E1Eu);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], 0xC81E1Eu) << "on screen with the dialog beside the view";
    EXPECT_EQ(shown[2], 0xC81E1Eu) << "on screen after the dialog covered the view";
    tkShutdown();
  }
}

// The pointer's shape that Qt gave the main window's native window: what X shows over it.
Qt::CursorShape shapeShown() {
  return tkqt::mainWindow()->windowHandle()->cursor().shape();
}

// Over the view container the user sees the container's shape, whether the program has it
// enabled (navigating) or disabled (idle) at the time.
TEST_F(Display, ViewContainerShowsItsCursorEnabledOrNot) {
  ASSERT_TRUE(tkOpenWindow("Cursor", 720, 497));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_NE(tkCreateEngineView(8, kTkDriverFallback), 0);
  tkCloseContainer();
  tkActivateWindow();
  settle(300);
  QWidget* client = tkqt::clientWidget();
  QWidget* container = tkqt::controlWidget(8);
  auto pointAt = [](QWidget* widget, QPoint at) {
    QCursor::setPos(widget->mapToGlobal(at));
    settle(150);
  };
  pointAt(client, QPoint(500, 300));
  EXPECT_EQ(shapeShown(), Qt::ArrowCursor);
#ifdef KESTRUM_TEST_X11
  const kestrum::test::ShownCursor arrow = kestrum::test::shownCursor();
  ASSERT_FALSE(arrow.empty()) << "no cursor image from XFixes";
  std::map<TkCursor, kestrum::test::ShownCursor> enabledImages;
#endif
  struct Case {
    TkCursor cursor;
    Qt::CursorShape shape;
  };
  for (bool enabled : {true, false}) {
    for (Case c :
         {Case{TkCursor::Cross, Qt::CrossCursor}, Case{TkCursor::SizeAll, Qt::SizeAllCursor},
          Case{TkCursor::SizeVer, Qt::SizeVerCursor}}) {
      SCOPED_TRACE(testing::Message() << (enabled ? "enabled " : "disabled ") << c.shape);
      pointAt(client, QPoint(500, 300));
      tkSetEnabled(8, enabled);
      tkSetCursor(8, c.cursor);
      pointAt(container, QPoint(150, 170));
      EXPECT_EQ(shapeShown(), c.shape);
      // Changed while the pointer rests over it: shown at once.
      tkSetCursor(8, TkCursor::Cross);
      settle(100);
      EXPECT_EQ(shapeShown(), Qt::CrossCursor);
      tkSetCursor(8, c.cursor);
      settle(100);
      EXPECT_EQ(shapeShown(), c.shape);
#ifdef KESTRUM_TEST_X11
      kestrum::test::ShownCursor shown = kestrum::test::shownCursor();
      EXPECT_FALSE(shown == arrow) << "X shows the plain arrow over the view";
      if (enabled)
        enabledImages[c.cursor] = shown;
      else
        EXPECT_TRUE(shown == enabledImages[c.cursor]) << "X shows another shape than enabled";
#endif
    }
  }
}

// The display's size comes in the display's own pixels even when Qt scales the window: a child
// of this test runs on a display of its own at a scale factor of 2.
TEST(DisplayScaling, DisplaySizeIsInDevicePixels) {
  if (const char* expected = std::getenv("KESTRUM_EXPECT_DISPLAY")) {
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(expected, "%dx%d", &width, &height), 2);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->devicePixelRatio(), 2.0) << "Qt does not scale here";
    EXPECT_EQ(screen->size(), QSize(width / 2, height / 2));
    kestrum::sys::DisplaySize size = kestrum::sys::primaryDisplaySize();
    EXPECT_EQ(size.width, width);
    EXPECT_EQ(size.height, height);
    return;
  }
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  std::string error;
  int status = kestrum::sys::runProgramAndWait(
      KESTRUM_XVFB_RUN,
      {"-a", "-s", "-screen 0 2560x1440x24", "env", "QT_SCALE_FACTOR=2",
       "KESTRUM_EXPECT_DISPLAY=2560x1440", self,
       "--gtest_filter=DisplayScaling.DisplaySizeIsInDevicePixels"},
      {}, &error);
  EXPECT_EQ(status, 0) << error;
}

// Builds a window with every control kind at the sizes the program uses and saves it, with one
// balloon tooltip, for a person to look at.
TEST_F(Display, SampleWindowWithEveryControlKind) {
  ASSERT_TRUE(tkOpenWindow("Tallowmere Kestrum v1.0", 720, 497));
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  tkMenuItem(0, "New");
  tkMenuTitle("Settings");
  tkMenuItem(9, "Optimize Textures");
  tkMenuTitle("Help");
  tkMenuItem(20, "About");
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  tkStatusBarText(0, "Kestrum - 3D packaging shots");
  tkStatusBarText(1, "Using Fallback Renderer");

  ASSERT_TRUE(tkGroupBox(0, 5, 0, 710, 50, ""));
  const QColor colours[] = {Qt::yellow,    Qt::darkYellow, Qt::blue,
                            Qt::darkGreen, Qt::gray,       Qt::darkBlue};
  const int xs[] = {10, 45, 80, 125, 160, 195};
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(tkImageButton(1 + i, xs[i], 10, 35, 35, solidImage(24, 24, colours[i], true)));
  }
  tkSetToolTip(4, "Reload Textures",
               "Reloads all cover-art textures. Useful if you have made any recent edits in an "
               "external program.");
  ASSERT_TRUE(tkImageControl(kTkNoId, 326, 11, 385, 34, solidImage(385, 34, Qt::darkRed, false)));
  ASSERT_TRUE(tkGroupBox(7, 5, 55, 345, 370, "Preview"));
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_NE(tkCreateEngineView(8, kTkDriverFallback), 0);
  tkCloseContainer();
  tkBeginEngineFrame(0xFFE0E0E0u);
  ASSERT_TRUE(tkComboBox(75, 10, 430, 165, 20));
  for (const char* e : {"<Camera Default>", "Top Left", "Top Center"}) tkAddItem(75, e);
  tkSetState(75, 0);
  ASSERT_TRUE(tkButton(10, 180, 430, 85, 20, "Set Camera"));
  ASSERT_TRUE(tkButton(9, 265, 430, 85, 20, "Render Image"));

  ASSERT_TRUE(tkTabPanel(11, 355, 55, 360, 395));
  ASSERT_TRUE(tkAddTabPage("Box Styles"));
  for (int i = 0; i < 20; ++i) {
    int row = i / 5, column = i % 5;
    ASSERT_TRUE(tkImageButton(55 + i, 13 + 65 * column, 8 + 65 * row, 65, 65,
                              solidImage(50, 50, QColor::fromHsv(i * 18, 160, 200), true), true));
  }
  tkSetState(57, 1);
  ASSERT_TRUE(tkFrame(78, 3, 272, 346, 92));
  ASSERT_TRUE(tkLabel(79, 11, 288, 330, 68,
                      "Software Box - Classic boxed software package with front, back and side "
                      "panels; a long description wraps inside its frame."));
  ASSERT_TRUE(tkAddTabPage("Cover Art"));
  const char* rows[] = {"Front", "Left", "Top", "Back", "Right", "Bottom"};
  for (int n = 0; n < 6; ++n) {
    ASSERT_TRUE(tkLabel(35 + 3 * n, 3, 8 + 40 * n, 75, 15, rows[n]));
    ASSERT_TRUE(tkTextField(36 + 3 * n, 3, 23 + 40 * n, 300, 20,
                            n == 0 ? "/home/user/Pictures/a very long path/front cover.png" : ""));
    ASSERT_TRUE(tkButton(37 + 3 * n, 303, 23 + 40 * n, 45, 20, ">>"));
  }
  ASSERT_TRUE(tkCheckBox(80, 8, 247, 220, 20, "Optimize Non-Power2 Textures"));
  ASSERT_TRUE(tkButton(54, 198, 338, 75, 25, "Clear"));
  ASSERT_TRUE(tkButton(53, 273, 338, 75, 25, "Reload All"));
  ASSERT_TRUE(tkAddTabPage("Render Settings"));
  ASSERT_TRUE(tkGroupBox(12, 3, 3, 346, 65, "Output Image"));
  ASSERT_TRUE(tkTextField(13, 8, 18, 300, 20, ""));
  ASSERT_TRUE(tkButton(14, 308, 18, 40, 20, ">>"));
  ASSERT_TRUE(tkLabel(15, 8, 43, 35, 20, "Width"));
  ASSERT_TRUE(tkTextField(17, 43, 43, 40, 20, "800"));
  ASSERT_TRUE(tkLabel(16, 93, 43, 35, 20, "Height"));
  ASSERT_TRUE(tkTextField(18, 128, 43, 40, 20, "836"));
  ASSERT_TRUE(tkGroupBox(19, 3, 73, 346, 111, "Image Filters"));
  ASSERT_TRUE(tkLabel(20, 8, 93, 55, 20, "Filter Type"));
  ASSERT_TRUE(tkComboBox(21, 63, 88, 285, 20));
  for (const char* e : {"None", "Bilinear (low quality)", "Trilinear (medium quality)",
                        "Anisotropic (high quality)"})
    tkAddItem(21, e);
  tkSetState(21, 3);
  ASSERT_TRUE(tkCheckBox(22, 8, 114, 220, 20, "Enable Anti-Aliasing (final render)"));
  ASSERT_TRUE(tkCheckBox(25, 8, 134, 220, 20, "Enable Shadows"));
  tkSetState(22, 1);
  tkSetState(25, 1);
  ASSERT_TRUE(tkRadioButton(26, 8, 159, 110, 20, "White Background", true));
  ASSERT_TRUE(tkRadioButton(27, 133, 159, 110, 20, "Black Background", false));
  tkSetState(26, 1);
  ASSERT_TRUE(tkLabel(82, 8, 188, 65, 15, "Ambient Light"));
  ASSERT_TRUE(tkScrollBar(81, 8, 208, 340, 20, 0, 255));
  tkSetState(81, 80);
  ASSERT_TRUE(tkLabel(29, 8, 233, 65, 15, "Angle"));
  ASSERT_TRUE(tkScrollBar(30, 8, 253, 340, 20, 0, 360));
  ASSERT_TRUE(tkLabel(31, 8, 278, 65, 15, "Range"));
  ASSERT_TRUE(tkScrollBar(32, 8, 298, 340, 20, 8, 20));
  tkSetState(32, 12);
  ASSERT_TRUE(tkButton(34, 208, 338, 140, 25, "Defaults"));
  tkCloseTabPanel();
  tkActivateWindow();
  settle(300);

  const std::string folder = kestrum::test::freshFolder("toolkit_display").string();
  QWidget* window = tkqt::mainWindow();
  for (int page = 0; page < 3; ++page) {
    tkSetState(11, page);
    settle(100);
    QImage shot = window->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(720, 497));
    std::string path = folder + "/sample_window_page" + std::to_string(page) + ".png";
    EXPECT_TRUE(shot.save(QString::fromStdString(path))) << path;
  }

  // The balloon tooltip: a title line over text wrapped near 180 pixels.
  QWidget* button = tkqt::controlWidget(4);
  QToolTip::showText(button->mapToGlobal(QPoint(10, 30)), button->toolTip(), button);
  settle(300);
  QWidget* tip = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->inherits("QTipLabel") && w->isVisible()) tip = w;
  ASSERT_NE(tip, nullptr);
  EXPECT_LE(tip->width(), 180 + 24);
  EXPECT_GT(tip->height(), 3 * QFontMetrics(tip->font()).height());
  tip->grab().save(QString::fromStdString(folder + "/balloon_tooltip.png"));
}

}  // namespace
