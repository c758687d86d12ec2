// The real window under X: the example session opened, its box dressed with the sample covers in
// two styles, and the window's picture kept for the documentation; the pointer shapes the user
// sees over the view, the camera preset list, and a render followed from the window.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <set>

#include "image/image.h"
#include "shot/shot.h"
#include "ui_fixture.h"
#include "viewport/viewport.h"
#ifdef KESTRUM_TEST_X11
#include "shown_cursor.h"
#endif

namespace uitest {
namespace {

// Pixels of the engine view that are strongly coloured (the sample covers are; the stock
// pictures and the white ground are not).
double colourfulShare() {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba = tkGrabEngineView(&width, &height);
  if (rgba.empty()) return 0;
  int count = 0;
  for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
    int hi = std::max({rgba[i], rgba[i + 1], rgba[i + 2]});
    int lo = std::min({rgba[i], rgba[i + 1], rgba[i + 2]});
    count += hi - lo > 90 ? 1 : 0;
  }
  return double(count) / (double(width) * height);
}

QWidget* mainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (widget->isVisible() && widget->width() >= 700) return widget;
  return nullptr;
}

class Display : public UiTest {};

TEST_F(Display, ExampleSessionDressesTheBoxInTwoStyles) {
  fs::path example = fs::path(KESTRUM_SOURCE_DIR) / "examples" / "curved_box.ksm";
  ASSERT_TRUE(fs::exists(example));
  answers = {example.string()};
  menu(kMenuOpen);
  ASSERT_EQ(App.CurrentStyle, 3);
  for (int slot : {kSlotFront, kSlotBack, kSlotLeft}) {
    EXPECT_NE(App.Covers[slot].Texture, 0) << App.Covers[slot].Path;
  }
  // The first picture shows the Cover Art page, the second the style chosen on its own page.
  const std::pair<int, int> shots[] = {{3, kMenuCoverArt}, {9, kMenuBoxStyles}};
  for (auto [style, page] : shots) {
    SCOPED_TRACE(style);
    menu(page);
    click(kFirstStyleButton + style - 1, 1);
    EXPECT_EQ(tkState(kFirstStyleButton + style - 1), 1);
    DrawFrame();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_GT(colourfulShare(), 0.04);
    QWidget* window = mainWindow();
    ASSERT_NE(window, nullptr);
    QImage shot = window->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    char name[32];
    std::snprintf(name, sizeof name, "dressed_style%02d.png", style);
    EXPECT_TRUE(shot.save(QString::fromStdString((tmp / name).string())));
  }
}

void settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

QWidget* clientArea() {
  auto* window = qobject_cast<QMainWindow*>(mainWindow());
  return window ? window->centralWidget() : nullptr;
}

// A point of the main window's client area, on the screen.
QPoint onScreen(int x, int y) {
  return clientArea()->mapToGlobal(QPoint(x, y));
}

// The pointer's shape that Qt gave the main window's native window: what X shows over it.
Qt::CursorShape shapeShown() {
  return mainWindow()->windowHandle()->cursor().shape();
}

// Passes of the main loop while the window system delivers what they caused; each is woken by
// a plain input notice, so that a pass away from the view does not wait.
void passes(int count) {
  for (int i = 0; i < count; ++i) {
    tkPostEvent({TkEventKind::Input, 0, TkControlEvent::Change});
    ASSERT_TRUE(MainLoopPass());
    settle(40);
  }
}

// The user rests the pointer on the view, turns with the primary button and zooms with the
// secondary: the cross, the four-way and the vertical arrow show on the screen, not only in
// App.CursorState.
TEST_F(Display, ViewShowsTheNavigationCursors) {
  tkActivateWindow();
  settle(300);
  QPoint rest = onScreen(150, 220);
  QCursor::setPos(onScreen(500, 300));
  settle(150);
  ASSERT_EQ(shapeShown(), Qt::ArrowCursor);
#ifdef KESTRUM_TEST_X11
  const kestrum::test::ShownCursor arrow = kestrum::test::shownCursor();
  ASSERT_FALSE(arrow.empty());
#endif
  QCursor::setPos(rest);
  settle(150);
  passes(3);
  EXPECT_EQ(App.CursorState, kCursorCross);
  EXPECT_EQ(shapeShown(), Qt::CrossCursor) << "the idle view must show the cross";
#ifdef KESTRUM_TEST_X11
  EXPECT_FALSE(kestrum::test::shownCursor() == arrow) << "X shows the plain arrow over the view";
#endif

  QWidget* under = QApplication::widgetAt(rest);
  ASSERT_NE(under, nullptr);
  const QPoint local = under->mapFromGlobal(rest);
  struct Case {
    Qt::MouseButton button;
    int state;
    Qt::CursorShape shape;
  } cases[] = {{Qt::LeftButton, kCursorTurn, Qt::SizeAllCursor},
               {Qt::RightButton, kCursorZoom, Qt::SizeVerCursor}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape);
    QTest::mousePress(under, c.button, {}, local);
    passes(3);
    EXPECT_EQ(App.CursorState, c.state);
    EXPECT_EQ(shapeShown(), c.shape);
#ifdef KESTRUM_TEST_X11
    EXPECT_FALSE(kestrum::test::shownCursor() == arrow);
#endif
    QTest::mouseRelease(under, c.button, {}, local);
    passes(3);
    EXPECT_EQ(App.CursorState, kCursorCross);
    EXPECT_EQ(shapeShown(), Qt::CrossCursor);
  }
}

// The preset list opens below itself, whatever entry is chosen, so choosing an entry never
// happens over the view and never turns it.
TEST_F(Display, CameraPresetListOpensDownwards) {
  tkActivateWindow();
  settle(300);
  int x = 0, y = 0, width = 0, height = 0;
  ASSERT_TRUE(tkControlRect(kPresetList, &x, &y, &width, &height));
  auto* combo = qobject_cast<QComboBox*>(clientArea()->childAt(x + 5, y + 5));
  ASSERT_NE(combo, nullptr);
  EngineVec3 before;
  iNodeRotation(App.CameraPivot, &before);
  for (int entry : {0, 4, 9}) {
    SCOPED_TRACE(entry);
    tkSetState(kPresetList, entry);
    combo->showPopup();
    settle(150);
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(popup->isVisible());
    EXPECT_GE(popup->geometry().top(), onScreen(x, y + height).y() - 1);
    // A press on an entry of the open list is no press on the view.
    QCursor::setPos(popup->mapToGlobal(QPoint(20, popup->height() / 2)));
    settle(100);
    QTest::mousePress(combo->view()->viewport(), Qt::LeftButton, {},
                      QPoint(20, combo->view()->viewport()->height() / 2));
    passes(2);
    EXPECT_EQ(App.Tracking, 0);
    combo->hidePopup();
    settle(100);
    QTest::mouseRelease(clientArea(), Qt::LeftButton, {}, QPoint(600, 470));
    passes(1);
  }
  EngineVec3 after;
  iNodeRotation(App.CameraPivot, &after);
  EXPECT_NEAR(after.x, before.x, 1e-4);
  EXPECT_NEAR(after.y, before.y, 1e-4);
}

// A render with the real renderer, followed from the window: the run window shows kilnshot's own
// steps while the main window goes on being painted, and the box that follows names the picture.
TEST_F(Display, RenderIsFollowedInARunWindowWhileTheWindowStaysPainted) {
  const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", App.ProfileFolder.c_str(), 1);  // where kilnshot looks for the hand-off file
  fs::path picture = tmp / "render.png";
  answers = {picture.string()};
  control(kOutputPathButton);
  typeInto(kWidthField, "400");
  typeInto(kHeightField, "418");
  tkActivateWindow();
  settle(200);

  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } counter;
  clientArea()->installEventFilter(&counter);
  std::set<std::string> labels;
  int highest = 0, paintsWhileRunning = 0;
  bool modal = false;
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    QWidget* run = QApplication::activeModalWidget();
    if (!run || !tkControlExists(kRenderProgressLabel)) return;
    modal = modal || run->windowTitle() == "Render Image";
    labels.insert(tkText(kRenderProgressLabel));
    highest = std::max(highest, tkState(kRenderProgressBar));
    paintsWhileRunning = counter.paints;
    clientArea()->update();
  });
  sampler.start(50);
  control(kRenderButton);
  sampler.stop();
  clientArea()->removeEventFilter(&counter);
  setenv("HOME", home.c_str(), 1);

  EXPECT_TRUE(modal);
  EXPECT_TRUE(labels.count("Loading the box models...") ||
              labels.count("Reading the render job..."))
      << "kilnshot's steps were not shown";
  EXPECT_GT(highest, 0);
  EXPECT_GT(paintsWhileRunning, 0) << "the main window was not painted during the render";
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].title, "Information");
  EXPECT_EQ(messages[0].text, "The picture has been rendered as...\n\"" + picture.string() + "\"");
  auto written = kestrum::loadImage(picture.string());
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->width, 400);
  EXPECT_EQ(written->height, 418);
}

}  // namespace
}  // namespace uitest
