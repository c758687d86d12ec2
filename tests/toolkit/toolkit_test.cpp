// Widget logic of the toolkit on Qt's offscreen platform.
#include <algorithm>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "system/system.h"
#include "toolkit/toolkit.h"
#include "toolkit_qt.h"

namespace {

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(tkOpenWindow("Test Window", 720, 497)) << tkLastError(); }
  void TearDown() override { tkShutdown(); }

  // The queued events, leaving out the plain input notices unless asked for.
  static std::vector<TkEvent> drain(bool withInput = false) {
    std::vector<TkEvent> events;
    for (TkEvent e = tkPollEvent(); e.kind != TkEventKind::None; e = tkPollEvent())
      if (withInput || e.kind != TkEventKind::Input) events.push_back(e);
    return events;
  }
};

std::vector<uint8_t> pngBytes(int width, int height, QColor colour) {
  QImage image(width, height, QImage::Format_ARGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return {bytes.begin(), bytes.end()};
}

bool sameEvent(const TkEvent& a, const TkEvent& b) {
  return a.kind == b.kind && a.id == b.id && (a.kind != TkEventKind::Control || a.type == b.type);
}

TkEvent control(int id, TkControlEvent type = TkControlEvent::Change) {
  return {TkEventKind::Control, id, type};
}

// --- Window ----------------------------------------------------------------------------------

TEST_F(Toolkit, WindowIsFixedSizeWithCloseBoxOnly) {
  QMainWindow* window = tkqt::mainWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->size(), QSize(720, 497));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(tkWindowTitle(), "Test Window");
  tkSetWindowTitle("session.ksm - Test");
  EXPECT_EQ(tkWindowTitle(), "session.ksm - Test");
}

TEST_F(Toolkit, ActivatingBringsBackTheNormalState) {
  QMainWindow* window = tkqt::mainWindow();
  window->showMaximized();
  tkActivateWindow();
  EXPECT_FALSE(window->isMaximized());
  EXPECT_TRUE(window->isVisible());
  window->hide();
  tkActivateWindow();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->size(), QSize(720, 497));
}

TEST_F(Toolkit, MenuAndStatusBarTakeTheirHeightOutOfTheClientArea) {
  int w = 0, h = 0;
  tkInnerSize(&w, &h);
  EXPECT_EQ(w, 720);
  EXPECT_EQ(h, 497);
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  tkMenuItem(0, "New");
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  QCoreApplication::processEvents();
  tkInnerSize(&w, &h);
  EXPECT_EQ(tkqt::mainWindow()->size(), QSize(720, 497));
  int menu = tkqt::mainWindow()->menuBar()->height();
  int status = tkqt::mainWindow()->statusBar()->height();
  EXPECT_GT(menu, 0);
  EXPECT_GT(status, 0);
  EXPECT_EQ(h, 497 - menu - status);
  // The layout the program puts in the window needs 450 pixels below the menu bar.
  EXPECT_GE(h, 450);
}

TEST_F(Toolkit, SecondWindowAndControlsWithoutWindowFail) {
  EXPECT_FALSE(tkOpenWindow("Another", 100, 100));
  EXPECT_NE(tkLastError().find("already open"), std::string::npos);
  tkCloseWindow();
  EXPECT_FALSE(tkWindowIsOpen());
  EXPECT_FALSE(tkButton(1, 0, 0, 10, 10, "x"));
  EXPECT_NE(tkLastError().find("no main window"), std::string::npos);
  EXPECT_FALSE(tkControlExists(1));
}

TEST_F(Toolkit, CloseRequestQueuesCloseEventAndKeepsWindow) {
  tkqt::mainWindow()->close();
  EXPECT_TRUE(tkWindowIsOpen());
  EXPECT_TRUE(tkqt::mainWindow()->isVisible());
  TkEvent e = tkPollEvent();
  EXPECT_EQ(e.kind, TkEventKind::Close);
  EXPECT_EQ(tkPollEvent().kind, TkEventKind::None);
}

TEST_F(Toolkit, RegistersPrimaryDisplaySize) {
  kestrum::sys::DisplaySize size = kestrum::sys::primaryDisplaySize();
  QScreen* screen = QGuiApplication::primaryScreen();
  // In the display's own pixels, not Qt's scaled ones (the same here, at a ratio of 1).
  EXPECT_EQ(size.width, qRound(screen->size().width() * screen->devicePixelRatio()));
  EXPECT_EQ(size.height, qRound(screen->size().height() * screen->devicePixelRatio()));
  EXPECT_GT(size.width, 0);
}

// --- Controls --------------------------------------------------------------------------------

TEST_F(Toolkit, ControlsAreMadeByIdWhereAsked) {
  TkImage picture = [] {
    auto png = pngBytes(24, 24, Qt::red);
    return tkCatchImage(png.data(), png.size());
  }();
  ASSERT_NE(picture, 0);
  struct Case {
    int id;
    TkControlKind kind;
    std::function<bool(int, int, int, int, int)> make;
  };
  const std::vector<Case> cases = {
      {0, TkControlKind::GroupBox,
       [](int i, int x, int y, int w, int h) { return tkGroupBox(i, x, y, w, h, ""); }},
      {78, TkControlKind::Frame,
       [](int i, int x, int y, int w, int h) { return tkFrame(i, x, y, w, h); }},
      {9, TkControlKind::Button,
       [](int i, int x, int y, int w, int h) { return tkButton(i, x, y, w, h, "Render Image"); }},
      {1, TkControlKind::ImageButton,
       [&](int i, int x, int y, int w, int h) { return tkImageButton(i, x, y, w, h, picture); }},
      {79, TkControlKind::Label,
       [](int i, int x, int y, int w, int h) { return tkLabel(i, x, y, w, h, "text"); }},
      {13, TkControlKind::TextField,
       [](int i, int x, int y, int w, int h) { return tkTextField(i, x, y, w, h, ""); }},
      {22, TkControlKind::CheckBox,
       [](int i, int x, int y, int w, int h) { return tkCheckBox(i, x, y, w, h, "Check"); }},
      {26, TkControlKind::RadioButton,
       [](int i, int x, int y, int w, int h) {
         return tkRadioButton(i, x, y, w, h, "White", true);
       }},
      {75, TkControlKind::ComboBox,
       [](int i, int x, int y, int w, int h) { return tkComboBox(i, x, y, w, h); }},
      {81, TkControlKind::ScrollBar,
       [](int i, int x, int y, int w, int h) { return tkScrollBar(i, x, y, w, h, 0, 255); }},
      {60, TkControlKind::Image,
       [&](int i, int x, int y, int w, int h) { return tkImageControl(i, x, y, w, h, picture); }},
  };
  int y = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    ASSERT_TRUE(c.make(c.id, 5, y, 100, 20)) << tkLastError();
    EXPECT_TRUE(tkControlExists(c.id));
    EXPECT_EQ(tkControlKind(c.id), c.kind);
    QWidget* w = tkqt::controlWidget(c.id);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->geometry(), QRect(5, y, 100, 20));
    EXPECT_EQ(w->parentWidget(), tkqt::clientWidget());
    y += 20;
  }
  EXPECT_FALSE(tkControlExists(2));
  EXPECT_EQ(tkControlKind(2), TkControlKind::None);
}

TEST_F(Toolkit, ReusedIdReplacesTheOldControl) {
  ASSERT_TRUE(tkButton(9, 0, 0, 50, 20, "Old"));
  QPointer<QWidget> old = tkqt::controlWidget(9);
  ASSERT_TRUE(tkCheckBox(9, 10, 10, 60, 20, "New"));
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(tkControlKind(9), TkControlKind::CheckBox);
  EXPECT_EQ(tkText(9), "New");
  tkFreeControl(9);
  EXPECT_FALSE(tkControlExists(9));
  // Calls on a missing id do nothing.
  tkSetText(9, "x");
  tkSetState(9, 1);
  EXPECT_EQ(tkText(9), "");
  EXPECT_EQ(tkState(9), 0);
}

TEST_F(Toolkit, AnonymousControlsCannotBeAddressed) {
  ASSERT_TRUE(tkLabel(kTkNoId, 0, 0, 50, 20, "logo"));
  EXPECT_FALSE(tkControlExists(kTkNoId));
  EXPECT_EQ(tkqt::clientWidget()->findChildren<QLabel*>().size(), 1);
}

TEST_F(Toolkit, TabPagesReceiveControlsMadeWhileOpen) {
  ASSERT_TRUE(tkTabPanel(11, 355, 55, 360, 395));
  EXPECT_FALSE(tkButton(100, 0, 0, 10, 10, "no page yet"));
  ASSERT_TRUE(tkAddTabPage("Box Styles"));
  ASSERT_TRUE(tkButton(55, 13, 8, 65, 65, "a"));
  ASSERT_TRUE(tkAddTabPage("Cover Art"));
  ASSERT_TRUE(tkLabel(35, 3, 8, 75, 15, "Front"));
  ASSERT_TRUE(tkAddTabPage("Render & Settings"));
  ASSERT_TRUE(tkScrollBar(30, 8, 253, 340, 20, 0, 360));
  tkCloseTabPanel();
  ASSERT_TRUE(tkButton(9, 265, 430, 85, 20, "Render Image"));

  auto* tabs = static_cast<QTabWidget*>(tkqt::controlWidget(11));
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tkqt::controlWidget(55)->parentWidget(), tabs->widget(0));
  EXPECT_EQ(tkqt::controlWidget(35)->parentWidget(), tabs->widget(1));
  EXPECT_EQ(tkqt::controlWidget(30)->parentWidget(), tabs->widget(2));
  EXPECT_EQ(tkqt::controlWidget(9)->parentWidget(), tkqt::clientWidget());
  EXPECT_EQ(tkqt::controlWidget(35)->pos(), QPoint(3, 8));

  EXPECT_EQ(tkState(11), 0);
  tkSetState(11, 2);
  EXPECT_EQ(tkState(11), 2);
  EXPECT_EQ(tkText(11), "Render & Settings");
  tkSetState(11, 7);  // no such page
  EXPECT_EQ(tkState(11), 2);
  EXPECT_TRUE(drain().empty()) << "the program's own page changes report nothing";

  tabs->setCurrentIndex(1);  // as a click on the tab would
  auto events = drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(sameEvent(events[0], control(11)));

  EXPECT_FALSE(tkAddTabPage("outside"));
  tkFreeControl(11);
  EXPECT_FALSE(tkControlExists(55));
  EXPECT_FALSE(tkControlExists(30));
  EXPECT_TRUE(tkControlExists(9));
}

TEST_F(Toolkit, ContainersHoldControlsUntilClosed) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_TRUE(tkLabel(200, 1, 2, 30, 10, "inside"));
  tkCloseContainer();
  ASSERT_TRUE(tkLabel(201, 1, 2, 30, 10, "outside"));
  EXPECT_EQ(tkqt::controlWidget(200)->parentWidget(), tkqt::controlWidget(8));
  EXPECT_EQ(tkqt::controlWidget(201)->parentWidget(), tkqt::clientWidget());
}

TEST_F(Toolkit, TextsAreShownLiterally) {
  ASSERT_TRUE(tkButton(1, 0, 0, 80, 20, "Save & Quit"));
  ASSERT_TRUE(tkGroupBox(2, 0, 30, 80, 40, "A&B"));
  ASSERT_TRUE(tkLabel(3, 0, 80, 80, 20, "<b>not bold</b>"));
  ASSERT_TRUE(tkTextField(4, 0, 100, 80, 20, "C:\\path & more"));
  EXPECT_EQ(tkText(1), "Save & Quit");
  EXPECT_EQ(static_cast<QAbstractButton*>(tkqt::controlWidget(1))->text(), "Save && Quit");
  EXPECT_EQ(tkText(2), "A&B");
  EXPECT_EQ(tkText(3), "<b>not bold</b>");
  EXPECT_EQ(static_cast<QLabel*>(tkqt::controlWidget(3))->textFormat(), Qt::PlainText);
  EXPECT_EQ(tkText(4), "C:\\path & more");
  tkSetText(4, "/home/user/out.png");
  EXPECT_EQ(tkText(4), "/home/user/out.png");
  EXPECT_TRUE(drain().empty()) << "setting a text is not an edit";
}

TEST_F(Toolkit, CheckBoxesAndRadioGroups) {
  ASSERT_TRUE(tkCheckBox(22, 8, 114, 220, 20, "Enable Anti-Aliasing (final render)"));
  ASSERT_TRUE(tkRadioButton(26, 8, 159, 110, 20, "White Background", true));
  ASSERT_TRUE(tkRadioButton(27, 133, 159, 110, 20, "Black Background", false));
  ASSERT_TRUE(tkRadioButton(40, 8, 200, 110, 20, "Other group", true));

  EXPECT_EQ(tkState(22), 0);
  tkSetState(22, 1);
  EXPECT_EQ(tkState(22), 1);

  tkSetState(26, 1);
  tkSetState(40, 1);
  EXPECT_EQ(tkState(26), 1);
  EXPECT_EQ(tkState(40), 1) << "a separate group keeps its own choice";
  tkSetState(27, 1);
  EXPECT_EQ(tkState(26), 0);
  EXPECT_EQ(tkState(27), 1);
  EXPECT_EQ(tkState(40), 1);
  tkSetState(27, 0);  // the program may release both
  EXPECT_EQ(tkState(26), 0);
  EXPECT_EQ(tkState(27), 0);
  EXPECT_TRUE(drain().empty());

  QTest::mouseClick(tkqt::controlWidget(26), Qt::LeftButton, {}, QPoint(5, 10));
  QTest::mouseClick(tkqt::controlWidget(22), Qt::LeftButton, {}, QPoint(5, 10));
  EXPECT_EQ(tkState(26), 1);
  EXPECT_EQ(tkState(22), 0);
  auto events = drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(sameEvent(events[0], control(26)));
  EXPECT_TRUE(sameEvent(events[1], control(22)));
}

TEST_F(Toolkit, ToggleImageButtonFlipsOnEachClick) {
  auto png = pngBytes(50, 50, Qt::blue);
  TkImage thumb = tkCatchImage(png.data(), png.size());
  ASSERT_TRUE(tkImageButton(55, 13, 8, 65, 65, thumb, true));
  ASSERT_TRUE(tkImageButton(1, 10, 10, 35, 35, thumb, false));
  auto* toggle = static_cast<QAbstractButton*>(tkqt::controlWidget(55));
  EXPECT_EQ(toggle->iconSize(), QSize(50, 50));
  EXPECT_EQ(tkState(55), 0);
  for (int expected : {1, 0, 1}) {
    toggle->click();
    EXPECT_EQ(tkState(55), expected);
  }
  tkSetState(55, 0);
  EXPECT_EQ(tkState(55), 0);
  static_cast<QAbstractButton*>(tkqt::controlWidget(1))->click();
  EXPECT_EQ(tkState(1), 0) << "a plain image button never stays pressed";
  auto events = drain();
  ASSERT_EQ(events.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(sameEvent(events[i], control(55)));
  EXPECT_TRUE(sameEvent(events[3], control(1)));
}

TEST_F(Toolkit, ScrollBarPositionsRunFromMinimumToOneBelowMaximum) {
  struct Case {
    int minimum, maximum, set, expected;
  };
  const Case cases[] = {
      {0, 255, 255, 254}, {0, 255, 254, 254}, {0, 255, -3, 0}, {0, 360, 360, 359},
      {0, 360, 359, 359}, {8, 20, 20, 19},    {8, 20, 12, 12}, {8, 20, 0, 8},
      {5, 5, 9, 5},       {5, 3, 9, 5},
  };
  ASSERT_TRUE(tkScrollBar(32, 8, 298, 340, 20, 0, 10));
  auto* bar = static_cast<QScrollBar*>(tkqt::controlWidget(32));
  EXPECT_EQ(bar->orientation(), Qt::Horizontal);
  EXPECT_EQ(bar->pageStep(), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.minimum << ".." << c.maximum << " set " << c.set);
    tkSetScrollRange(32, c.minimum, c.maximum);
    tkSetState(32, c.set);
    EXPECT_EQ(tkState(32), c.expected);
  }
  EXPECT_TRUE(drain().empty()) << "the program's own changes report nothing";

  tkSetScrollRange(32, 0, 360);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(tkState(32), 359);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(tkState(32), 358);
  auto events = drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(sameEvent(events[0], control(32)));
  EXPECT_TRUE(sameEvent(events[1], control(32)));
}

TEST_F(Toolkit, DropDownListSelection) {
  ASSERT_TRUE(tkComboBox(75, 10, 430, 165, 20));
  const std::vector<std::string> entries = {"<Camera Default>", "Top Left", "Top Center"};
  for (const auto& e : entries) tkAddItem(75, e);
  auto* combo = static_cast<QComboBox*>(tkqt::controlWidget(75));
  EXPECT_FALSE(combo->isEditable());
  EXPECT_EQ(tkItemCount(75), 3);
  EXPECT_EQ(tkItemText(75, 1), "Top Left");
  EXPECT_EQ(tkItemText(75, 3), "");
  EXPECT_EQ(tkState(75), -1) << "nothing is selected until the program selects";
  tkSetState(75, 0);
  EXPECT_EQ(tkState(75), 0);
  EXPECT_EQ(tkText(75), "<Camera Default>");
  tkSetState(75, 2);
  EXPECT_EQ(tkText(75), "Top Center");
  tkSetState(75, 9);
  EXPECT_EQ(tkState(75), -1);
  EXPECT_TRUE(drain().empty());

  combo->setCurrentIndex(1);
  emit combo->activated(1);  // what choosing an entry with the mouse reports
  auto events = drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(sameEvent(events[0], control(75)));
  tkClearItems(75);
  EXPECT_EQ(tkItemCount(75), 0);
}

// The list opens below itself whatever entry is chosen, never over what lies above it.
TEST_F(Toolkit, DropDownListOpensDownwards) {
  ASSERT_TRUE(tkComboBox(75, 10, 100, 165, 20));
  for (int i = 0; i < 10; ++i) tkAddItem(75, "Entry " + std::to_string(i));
  tkActivateWindow();
  QCoreApplication::processEvents();
  auto* combo = static_cast<QComboBox*>(tkqt::controlWidget(75));
  for (int chosen : {0, 5, 9}) {
    SCOPED_TRACE(chosen);
    tkSetState(75, chosen);
    combo->showPopup();
    QCoreApplication::processEvents();
    QWidget* popup = combo->view()->window();
    ASSERT_TRUE(popup->isVisible());
    int comboBottom = combo->mapToGlobal(QPoint(0, combo->height())).y();
    EXPECT_GE(popup->geometry().top(), comboBottom - 1)
        << "popup at " << popup->geometry().top() << ", list ends at " << comboBottom;
    combo->hidePopup();
    QCoreApplication::processEvents();
  }
  EXPECT_TRUE(drain().empty());
}

TEST_F(Toolkit, EnabledVisibleAndFocus) {
  ASSERT_TRUE(tkTextField(17, 43, 43, 40, 20, "800"));
  ASSERT_TRUE(tkTextField(18, 128, 43, 40, 20, "836"));
  QApplication::setActiveWindow(tkqt::mainWindow());
  EXPECT_TRUE(tkEnabled(17));
  tkSetEnabled(17, false);
  EXPECT_FALSE(tkEnabled(17));
  tkSetEnabled(17, true);
  EXPECT_TRUE(tkVisible(17));
  tkSetVisible(17, false);
  EXPECT_FALSE(tkVisible(17));
  tkSetVisible(17, true);

  tkSetFocus(17);
  tkSetFocus(18);
  EXPECT_TRUE(tkHasFocus(18));
  EXPECT_FALSE(tkHasFocus(17));
  auto events = drain();
  // Focus changes of text fields are reported, so that the program can act on a field it left.
  bool lost17 = false;
  for (const auto& e : events)
    if (sameEvent(e, control(17, TkControlEvent::LostFocus))) lost17 = true;
  EXPECT_TRUE(lost17);
}

TEST_F(Toolkit, TextFieldEditsAreReported) {
  ASSERT_TRUE(tkTextField(17, 43, 43, 40, 20, ""));
  QTest::keyClicks(tkqt::controlWidget(17), "12");
  EXPECT_EQ(tkText(17), "12");
  std::vector<TkEvent> changes;
  for (const auto& e : drain())
    if (e.kind == TkEventKind::Control && e.type == TkControlEvent::Change) changes.push_back(e);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].id, 17);
}

// A disabled container refuses clicks and the focus itself, but stays enabled for Qt, so that
// its pointer shape still shows over it (Qt shows a disabled widget's parent's shape instead).
TEST_F(Toolkit, DisabledContainerKeepsItsCursorAndRefusesInput) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_TRUE(tkLabel(200, 5, 5, 100, 20, "inside"));
  tkCloseContainer();
  tkSetCursor(8, TkCursor::Cross);
  QWidget* container = tkqt::controlWidget(8);
  QApplication::setActiveWindow(tkqt::mainWindow());

  tkSetEnabled(8, false);
  EXPECT_FALSE(tkEnabled(8));
  EXPECT_TRUE(container->isEnabled()) << "Qt would show the parent's pointer over it";
  EXPECT_EQ(container->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(container->focusPolicy(), Qt::NoFocus);
  drain();
  QTest::mouseClick(container, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseClick(tkqt::controlWidget(200), Qt::LeftButton);
  EXPECT_FALSE(container->hasFocus());
  EXPECT_TRUE(tkMouseButtonDown(TkMouseButton::Primary)) << "the press still counts as a press";
  for (const TkEvent& e : drain()) EXPECT_NE(e.kind, TkEventKind::Control) << e.id;

  tkSetEnabled(8, true);
  EXPECT_TRUE(tkEnabled(8));
  EXPECT_EQ(container->focusPolicy(), Qt::ClickFocus);
  QTest::mouseClick(container, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_TRUE(container->hasFocus());
  bool focused = false;
  for (const TkEvent& e : drain())
    focused = focused || sameEvent(e, control(8, TkControlEvent::Focus));
  EXPECT_TRUE(focused);

  // Disabling it takes the focus away, as disabling a window would.
  tkSetEnabled(8, false);
  EXPECT_FALSE(container->hasFocus());
  bool lost = false;
  for (const TkEvent& e : drain())
    lost = lost || sameEvent(e, control(8, TkControlEvent::LostFocus));
  EXPECT_TRUE(lost);
}

TEST_F(Toolkit, CursorShapes) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  tkCloseContainer();
  const std::pair<TkCursor, Qt::CursorShape> cases[] = {
      {TkCursor::Cross, Qt::CrossCursor},
      {TkCursor::SizeAll, Qt::SizeAllCursor},
      {TkCursor::SizeVer, Qt::SizeVerCursor},
      {TkCursor::Arrow, Qt::ArrowCursor},
  };
  for (auto [cursor, shape] : cases) {
    tkSetCursor(8, cursor);
    EXPECT_EQ(tkCursorOf(8), cursor);
    EXPECT_EQ(tkqt::controlWidget(8)->cursor().shape(), shape);
  }
}

TEST_F(Toolkit, ControlRectsAreWhereControlsWereMade) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_TRUE(tkLabel(200, 1, 2, 30, 10, "inside"));
  tkCloseContainer();
  ASSERT_TRUE(tkTabPanel(11, 355, 55, 360, 395));
  ASSERT_TRUE(tkAddTabPage("Box Styles"));
  ASSERT_TRUE(tkButton(55, 13, 8, 65, 65, "a"));
  tkCloseTabPanel();
  ASSERT_TRUE(tkButton(9, 265, 430, 85, 20, "Render Image"));
  ASSERT_TRUE(tkFrame(78, 5, 6, 0, 0));
  ASSERT_TRUE(tkOpenProgressWindow("Please Wait..."));
  struct Case {
    int id, x, y, width, height;
  };
  const Case cases[] = {
      {8, 10, 70, 335, 350},    // container in the client area
      {200, 1, 2, 30, 10},      // inside the container
      {11, 355, 55, 360, 395},  // tab panel
      {55, 13, 8, 65, 65},      // on its page
      {9, 265, 430, 85, 20},    // client area after the panel
      {78, 5, 6, 0, 0},         // empty box
      {76, 5, 30, 260, 15},     // the progress window's bar
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    int x = -7, y = -7, width = -7, height = -7;
    ASSERT_TRUE(tkControlRect(c.id, &x, &y, &width, &height));
    EXPECT_EQ(QRect(x, y, width, height), QRect(c.x, c.y, c.width, c.height));
    EXPECT_EQ(QRect(x, y, width, height), tkqt::controlWidget(c.id)->geometry());
  }
  int width = 0;
  EXPECT_TRUE(tkControlRect(9, nullptr, nullptr, &width, nullptr));
  EXPECT_EQ(width, 85);

  for (int missing : {kTkNoId, 2, 1000}) {
    SCOPED_TRACE(missing);
    int x = -7, y = -7, w = -7, h = -7;
    EXPECT_FALSE(tkControlRect(missing, &x, &y, &w, &h));
    EXPECT_EQ(QRect(x, y, w, h), QRect(0, 0, 0, 0));
  }
  tkFreeControl(8);
  EXPECT_FALSE(tkControlRect(200, nullptr, nullptr, nullptr, nullptr)) << "freed with its parent";
}

TEST_F(Toolkit, FocusWithinCountsTheControlsInside) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_TRUE(tkTextField(200, 1, 2, 60, 20, "inside"));
  tkCloseContainer();
  ASSERT_TRUE(tkTabPanel(11, 355, 55, 360, 395));
  ASSERT_TRUE(tkAddTabPage("Output"));
  ASSERT_TRUE(tkTextField(17, 43, 43, 40, 20, "800"));
  tkCloseTabPanel();
  ASSERT_TRUE(tkTextField(18, 128, 43, 40, 20, "836"));
  QApplication::setActiveWindow(tkqt::mainWindow());

  const int ids[] = {8, 200, 11, 17, 18};
  struct Case {
    int focused;
    std::vector<int> within;  // the ids that hold the focus
  };
  const Case cases[] = {
      {200, {8, 200}},
      {8, {8}},
      {17, {11, 17}},
      {18, {18}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.focused);
    tkSetFocus(c.focused);
    EXPECT_TRUE(tkHasFocus(c.focused));
    for (int id : ids) {
      bool expected = std::find(c.within.begin(), c.within.end(), id) != c.within.end();
      EXPECT_EQ(tkFocusWithin(id), expected) << "control " << id;
    }
  }
  EXPECT_FALSE(tkFocusWithin(2));
  EXPECT_FALSE(tkFocusWithin(kTkNoId));
}

TEST_F(Toolkit, FocusWithinAnInactiveWindowIsWhereItReturns) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  ASSERT_TRUE(tkTextField(200, 1, 2, 60, 20, "inside"));
  tkCloseContainer();
  ASSERT_TRUE(tkTextField(18, 128, 43, 40, 20, "836"));
  QApplication::setActiveWindow(nullptr);
  ASSERT_FALSE(tkqt::mainWindow()->isActiveWindow());
  tkSetFocus(200);
  EXPECT_FALSE(tkHasFocus(200));
  EXPECT_TRUE(tkFocusWithin(200));
  EXPECT_TRUE(tkFocusWithin(8));
  EXPECT_FALSE(tkFocusWithin(18));
  QApplication::setActiveWindow(tkqt::mainWindow());
  EXPECT_TRUE(tkHasFocus(200));
}

// --- Menus and status bar --------------------------------------------------------------------

TEST_F(Toolkit, MenuItemsSubmenusAndPlainCheckMarks) {
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  tkMenuItem(0, "New");
  tkMenuItem(4, "Exit");
  tkMenuTitle("Settings");
  tkMenuItem(9, "Optimize Textures");
  tkMenuSeparator();
  tkOpenSubMenu("Filter Type");
  tkMenuItem(10, "None");
  tkMenuItem(13, "Anisotropic");
  tkCloseSubMenu();
  tkMenuItem(14, "Enable AntiAliasing");
  ASSERT_TRUE(tkButton(9, 0, 0, 50, 20, "Button nine"));

  QMenuBar* bar = tkqt::mainWindow()->menuBar();
  ASSERT_EQ(bar->actions().size(), 2);
  EXPECT_EQ(bar->actions()[1]->text(), "Settings");
  QAction* sub = tkqt::menuAction(10);
  ASSERT_NE(sub, nullptr);
  auto* filterMenu = qobject_cast<QMenu*>(sub->parent());
  ASSERT_NE(filterMenu, nullptr);
  EXPECT_EQ(filterMenu->title(), "Filter Type");
  EXPECT_EQ(qobject_cast<QMenu*>(tkqt::menuAction(14)->parent())->title(), "Settings");

  EXPECT_FALSE(tkMenuItemChecked(13));
  tkSetMenuItemChecked(13, true);
  EXPECT_TRUE(tkMenuItemChecked(13));
  // Choosing a marked item reports it and leaves the mark to the program.
  tkqt::menuAction(13)->trigger();
  EXPECT_TRUE(tkMenuItemChecked(13));
  tkqt::menuAction(9)->trigger();
  EXPECT_FALSE(tkMenuItemChecked(9));
  tkSetMenuItemChecked(13, false);
  EXPECT_FALSE(tkMenuItemChecked(13));

  auto events = drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(sameEvent(events[0], {TkEventKind::Menu, 13}));
  EXPECT_TRUE(sameEvent(events[1], {TkEventKind::Menu, 9}));
  // Menu item 9 and button 9 are different things.
  EXPECT_EQ(tkText(9), "Button nine");
  EXPECT_FALSE(tkMenuItemExists(5));
}

TEST_F(Toolkit, StatusBarFields) {
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  tkStatusBarText(0, "Kestrum - packaging shots");
  tkStatusBarText(1, "Using OpenGL");
  tkStatusBarText(2, "no such field");
  tkStatusBarText(-1, "no such field");
  EXPECT_EQ(tkStatusBarTextOf(0), "Kestrum - packaging shots");
  EXPECT_EQ(tkStatusBarTextOf(1), "Using OpenGL");
  EXPECT_EQ(tkStatusBarTextOf(2), "");
  auto fields = tkqt::mainWindow()->statusBar()->findChildren<QLabel*>();
  ASSERT_EQ(fields.size(), 2);
  for (QLabel* f : fields) EXPECT_EQ(f->width(), 240);
  EXPECT_FALSE(tkCreateStatusBar({}));
  EXPECT_FALSE(tkCreateStatusBar({240, 0}));
}

// --- Images and tooltips ---------------------------------------------------------------------

TEST_F(Toolkit, ImagesDecodeOrFailCleanly) {
  auto png = pngBytes(385, 34, Qt::white);
  TkImage logo = tkCatchImage(png.data(), png.size());
  ASSERT_NE(logo, 0) << tkLastError();
  int w = 0, h = 0;
  EXPECT_TRUE(tkImageSize(logo, &w, &h));
  EXPECT_EQ(w, 385);
  EXPECT_EQ(h, 34);

  const std::vector<std::vector<uint8_t>> bad = {
      {}, {0x89, 'P', 'N', 'G'}, std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2)};
  for (const auto& bytes : bad) {
    EXPECT_EQ(tkCatchImage(bytes.data(), bytes.size()), 0);
    EXPECT_FALSE(tkLastError().empty());
  }
  EXPECT_EQ(tkLoadImage("/nonexistent/picture.png"), 0);

  ASSERT_TRUE(tkImageControl(kTkNoId, 326, 11, 385, 34, logo));
  ASSERT_TRUE(tkImageControl(70, 0, 0, 385, 34, logo));
  EXPECT_EQ(static_cast<QLabel*>(tkqt::controlWidget(70))->pixmap().size(), QSize(385, 34));
  tkFreeImage(logo);
  EXPECT_FALSE(tkImageSize(logo, &w, &h));
  EXPECT_EQ(w, 0);
}

TEST_F(Toolkit, BalloonToolTipsHaveBoldTitleAndWrapAt180Pixels) {
  ASSERT_TRUE(tkButton(4, 125, 10, 35, 35, ""));
  ASSERT_TRUE(tkButton(6, 195, 10, 35, 35, ""));
  tkSetToolTip(4, "Reload Textures",
               "Reloads all cover-art textures. Useful if you have made any recent edits in an "
               "external program.");
  tkSetToolTip(6, "", "Fish & <chips>");
  QString long_tip = tkqt::controlWidget(4)->toolTip();
  EXPECT_TRUE(long_tip.contains("<b>Reload Textures</b>"));
  EXPECT_TRUE(long_tip.contains("width=\"180\""));
  QString short_tip = tkqt::controlWidget(6)->toolTip();
  EXPECT_FALSE(short_tip.contains("<b>"));
  EXPECT_FALSE(short_tip.contains("width="));
  EXPECT_TRUE(short_tip.contains("Fish &amp; &lt;chips&gt;"));
  EXPECT_TRUE(Qt::mightBeRichText(short_tip));
}

TEST_F(Toolkit, ToolTipsReadBackAsShown) {
  const std::string longText =
      "Reloads all cover-art textures. Useful if you have made any recent edits in an external "
      "program.";
  struct Case {
    std::string title, text, shown;
  };
  const Case cases[] = {
      {"Reload Textures", longText, "Reload Textures\n" + longText},  // wraps: a table
      {"New Session", "Begin again.", "New Session\nBegin again."},
      {"", "Fish & <chips>", "Fish & <chips>"},
      {"A&B <i>", "two\nlines", "A&B <i>\ntwo\nlines"},
  };
  int id = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    ASSERT_TRUE(tkButton(id, 0, 0, 35, 35, ""));
    EXPECT_EQ(tkToolTip(id), "");
    tkSetToolTip(id, c.title, c.text);
    EXPECT_EQ(tkToolTip(id), c.shown);
    ++id;
  }
  EXPECT_EQ(tkToolTip(99), "");
}

// --- Events ----------------------------------------------------------------------------------

TEST_F(Toolkit, SignalsBecomeEventsInOrder) {
  ASSERT_TRUE(tkButton(1, 0, 0, 50, 20, "One"));
  ASSERT_TRUE(tkCheckBox(2, 0, 30, 50, 20, "Two"));
  ASSERT_TRUE(tkButton(3, 0, 60, 50, 20, "Three"));
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("Help");
  tkMenuItem(20, "About");

  static_cast<QAbstractButton*>(tkqt::controlWidget(3))->click();
  tkqt::menuAction(20)->trigger();
  static_cast<QAbstractButton*>(tkqt::controlWidget(2))->click();
  tkPostEvent({TkEventKind::Menu, 4});
  static_cast<QAbstractButton*>(tkqt::controlWidget(1))->click();
  EXPECT_EQ(tkPendingEventCount(), 5u);

  const TkEvent expected[] = {
      control(3), {TkEventKind::Menu, 20}, control(2), {TkEventKind::Menu, 4}, control(1)};
  for (const TkEvent& e : expected) {
    TkEvent got = tkWaitEvent();
    EXPECT_TRUE(sameEvent(got, e)) << static_cast<int>(got.kind) << " " << got.id;
  }
  EXPECT_EQ(tkPollEvent().kind, TkEventKind::None);
  EXPECT_EQ(tkWaitEvent(20).kind, TkEventKind::None);
}

TEST_F(Toolkit, WaitProcessesWindowEventsUntilOneArrives) {
  ASSERT_TRUE(tkButton(5, 0, 0, 50, 20, "Later"));
  QTimer::singleShot(30, [] { static_cast<QAbstractButton*>(tkqt::controlWidget(5))->click(); });
  TkEvent e = tkWaitEvent(5000);
  EXPECT_TRUE(sameEvent(e, control(5)));
}

TEST_F(Toolkit, InputInTheWindowWakesAWaitingLoop) {
  ASSERT_TRUE(tkContainer(8, 10, 70, 335, 350));
  tkCloseContainer();
  ASSERT_TRUE(tkTextField(13, 400, 18, 300, 20, ""));
  tkSetEnabled(8, false);  // the program keeps the view disabled while not dragging
  drain(true);

  QWidget* view = tkqt::controlWidget(8);
  for (int i = 0; i < 5; ++i) QTest::mouseMove(view, QPoint(20 + i, 30));
  TkEvent e = tkWaitEvent(2000);
  EXPECT_EQ(e.kind, TkEventKind::Input);
  EXPECT_EQ(tkPollEvent().kind, TkEventKind::None) << "a run of moves is queued once";

  QTest::mousePress(view, Qt::RightButton, {}, QPoint(40, 40));
  EXPECT_EQ(tkWaitEvent(2000).kind, TkEventKind::Input);
  EXPECT_TRUE(tkMouseButtonDown(TkMouseButton::Secondary));
  QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(40, 40));
  drain(true);

  QTest::keyClick(tkqt::controlWidget(13), Qt::Key_A);
  auto events = drain(true);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, TkEventKind::Input);

  // Input in other windows does not concern the main loop.
  ASSERT_TRUE(tkOpenProgressWindow("Please Wait..."));
  drain(true);
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(tkqt::controlWidget(77), &move);
  for (const TkEvent& other : drain(true)) EXPECT_NE(other.kind, TkEventKind::Input);
}

TEST_F(Toolkit, ClearedQueueIsEmpty) {
  tkPostEvent({TkEventKind::Close});
  tkPostEvent(control(3));
  tkClearEvents();
  EXPECT_EQ(tkPendingEventCount(), 0u);
  EXPECT_EQ(tkPollEvent().kind, TkEventKind::None);
}

TEST_F(Toolkit, FrameHoverOnMenuBarStatusBarTextFieldFrameAndLeavingTheWindow) {
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  ASSERT_TRUE(tkCreateStatusBar({240, 240}));
  ASSERT_TRUE(tkTextField(13, 8, 18, 300, 20, ""));
  tkClearEvents();
  drain();

  auto enter = [](QWidget* w, QPoint at) {
    QEnterEvent e(at, w->mapTo(w->window(), at), w->mapToGlobal(at));
    QCoreApplication::sendEvent(w, &e);
  };
  struct Case {
    const char* what;
    std::function<void()> act;
    bool hover;
  };
  QWidget* field = tkqt::controlWidget(13);
  const std::vector<Case> cases = {
      {"menu bar",
       [&] {
         enter(tkqt::mainWindow()->menuBar(), {5, 5});
       },
       true},
      {"status bar",
       [&] {
         enter(tkqt::mainWindow()->statusBar(), {5, 5});
       },
       true},
      {"text field frame",
       [&] {
         enter(field, {0, 10});
       },
       true},
      {"text field inside",
       [&] {
         enter(field, {150, 10});
       },
       false},
      {"off the window",
       [&] {
         QEvent leave(QEvent::Leave);
         QCoreApplication::sendEvent(tkqt::mainWindow(), &leave);
       },
       true},
      {"client area",
       [&] {
         enter(tkqt::clientWidget(), {100, 100});
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.act();
    c.act();  // a second notice in a row is not queued again
    auto events = drain();
    if (c.hover) {
      ASSERT_EQ(events.size(), 1u);
      EXPECT_EQ(events[0].kind, TkEventKind::FrameHover);
    } else {
      EXPECT_TRUE(events.empty());
    }
  }
}

// --- Pointer and mouse -----------------------------------------------------------------------

TEST_F(Toolkit, PointerPositionInClientAreaOrMinusOne) {
  ASSERT_TRUE(tkCreateMenu());
  tkMenuTitle("File");
  QCoreApplication::processEvents();
  QWidget* client = tkqt::clientWidget();
  struct Case {
    QPoint at;  // relative to the area below the menu bar
    int x, y;
  };
  const Case cases[] = {{{0, 0}, 0, 0},       {{11, 71}, 11, 71},  {{719, 300}, 719, 300},
                        {{720, 300}, -1, -1}, {{100, -1}, -1, -1}, {{-5, 100}, -1, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.at.x() << "," << c.at.y());
    QCursor::setPos(client->mapToGlobal(c.at));
    int x = 0, y = 0;
    tkPointerPosition(&x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

TEST_F(Toolkit, MouseButtonPressesAreLatchedUntilQueried) {
  ASSERT_TRUE(tkButton(1, 0, 0, 50, 20, "x"));
  EXPECT_FALSE(tkMouseButtonDown(TkMouseButton::Primary));
  QTest::mouseClick(tkqt::controlWidget(1), Qt::LeftButton);
  QTest::mouseClick(tkqt::controlWidget(1), Qt::RightButton);
  EXPECT_TRUE(tkMouseButtonDown(TkMouseButton::Primary));
  EXPECT_FALSE(tkMouseButtonDown(TkMouseButton::Primary)) << "released and already reported";
  EXPECT_TRUE(tkMouseButtonDown(TkMouseButton::Secondary));
  EXPECT_FALSE(tkMouseButtonDown(TkMouseButton::Secondary));
}

// --- Dialogs ---------------------------------------------------------------------------------

TEST(ToolkitFilters, FilterListsBecomeQtFilters) {
  const std::pair<std::string, std::string> cases[] = {
      {"Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*",
       "Image File (png, jpg, bmp) (*.png *.jpg *.jpeg *.bmp);;All Files (*.*)"},
      {"Session File (.ksm)|*.ksm|All Files|*.*", "Session File (.ksm) (*.ksm);;All Files (*.*)"},
      {"Pictures|*.png", "Pictures (*.png)"},
      {"Odd label", "Odd label (*)"},
      {"A|*.a||", "A (*.a)"},
      {"|*.txt", "*.txt (*.txt)"},
      {"Spaced| *.a ; *.b ", "Spaced (*.a *.b)"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(tkQtFilterList(in), out) << in;
}

TEST_F(Toolkit, FileDialogsAskTheHook) {
  std::vector<TkFileDialogRequest> seen;
  tkSetFileDialogHook([&](const TkFileDialogRequest& r) {
    seen.push_back(r);
    return r.kind == TkFileDialogKind::Open ? std::string("/tmp/front.png") : std::string();
  });
  EXPECT_EQ(tkOpenFileDialog("Choose Front Cover..", "*.*",
                             "Image File (png, jpg, bmp)|*.png;*.jpg;*.jpeg;*.bmp|All Files|*.*"),
            "/tmp/front.png");
  EXPECT_EQ(tkSaveFileDialog("Save Session..", "*.*", "Session File (.ksm)|*.ksm|All Files|*.*", 1),
            "");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].kind, TkFileDialogKind::Open);
  EXPECT_EQ(seen[0].title, "Choose Front Cover..");
  EXPECT_EQ(seen[0].defaultFile, "*.*");
  EXPECT_EQ(seen[0].filterIndex, 0);
  EXPECT_EQ(seen[1].kind, TkFileDialogKind::Save);
  EXPECT_EQ(seen[1].filters, "Session File (.ksm)|*.ksm|All Files|*.*");
  EXPECT_EQ(seen[1].filterIndex, 1);
}

TEST_F(Toolkit, MessageBoxesAskTheHook) {
  std::vector<TkMessageRequest> seen;
  tkSetMessageHook([&](const TkMessageRequest& r) {
    seen.push_back(r);
    return r.buttons == TkMessageButtons::YesNo ? TkMessageAnswer::No : TkMessageAnswer::Ok;
  });
  EXPECT_EQ(tkMessageBox("Information", "The current session has been saved as...\n\"/a.ksm\""),
            TkMessageAnswer::Ok);
  EXPECT_EQ(tkMessageBox("Question", "Replace?", TkMessageButtons::YesNo, TkMessageIcon::Warning),
            TkMessageAnswer::No);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].title, "Information");
  EXPECT_EQ(seen[0].text, "The current session has been saved as...\n\"/a.ksm\"");
  EXPECT_EQ(seen[0].buttons, TkMessageButtons::Ok);
  EXPECT_EQ(seen[1].icon, TkMessageIcon::Warning);
}

// The answer of a real box is the button clicked; the extra button answers Action.
TEST_F(Toolkit, MessageBoxWithAnActionButton) {
  std::vector<TkMessageRequest> seen;
  tkSetMessageHook([&](const TkMessageRequest& r) {
    seen.push_back(r);
    return TkMessageAnswer::Action;
  });
  TkMessageRequest request{"Information", "Done.", TkMessageButtons::Ok, TkMessageIcon::Information,
                           "Open Picture"};
  EXPECT_EQ(tkMessageBox(request), TkMessageAnswer::Action);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].action, "Open Picture");
  EXPECT_EQ(seen[0].icon, TkMessageIcon::Information);
  tkSetMessageHook(nullptr);

  struct Case {
    const char* click;
    TkMessageAnswer answer;
  } cases[] = {{"Open Picture", TkMessageAnswer::Action}, {"OK", TkMessageAnswer::Ok}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.click);
    QStringList captions;
    QTimer::singleShot(50, [&] {
      QWidget* box = QApplication::activeModalWidget();
      ASSERT_NE(box, nullptr);
      for (QAbstractButton* b : box->findChildren<QAbstractButton*>()) {
        captions << b->text().remove(QLatin1Char('&'));
        if (b->text().remove(QLatin1Char('&')) == QLatin1String(c.click)) b->click();
      }
    });
    EXPECT_EQ(tkMessageBox(request), c.answer);
    EXPECT_TRUE(captions.contains(QStringLiteral("Open Picture")));
    EXPECT_TRUE(captions.contains(QStringLiteral("OK")));
  }
}

// A question that replaces something is not answered yes by a Return pressed without reading it.
TEST_F(Toolkit, ReturnAnswersNoToAYesNoQuestion) {
  QTimer::singleShot(50, [] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Return);
  });
  EXPECT_EQ(tkMessageBox("Save Session..", "\"a.ksm\" already exists.\nDo you want to replace it?",
                         TkMessageButtons::YesNo, TkMessageIcon::Warning),
            TkMessageAnswer::No);
}

// --- Running another program -----------------------------------------------------------------

class RunProgram : public Toolkit {
 protected:
  static constexpr int kLabel = 100, kBar = 101, kCancel = 102;
  TkRunRequest request(const std::string& script) {
    TkRunRequest r;
    r.program = "/bin/sh";
    r.arguments = {"-c", script};
    r.title = "Render Image";
    r.text = "Starting...";
    r.labelId = kLabel;
    r.barId = kBar;
    r.cancelId = kCancel;
    return r;
  }
};

// Counts the paints a widget gets.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// While the program runs, the loop goes on: the main window is painted, the modal run window
// shows what the program reported, and each line arrives as it is written.
TEST_F(RunProgram, LinesArriveAsWrittenWhileTheWindowStaysPainted) {
  ASSERT_TRUE(tkLabel(1, 10, 10, 200, 20, "main window"));
  QCoreApplication::processEvents();
  PaintCounter counter;
  tkqt::clientWidget()->installEventFilter(&counter);
  std::vector<std::string> lines;
  struct Seen {
    bool modal = false, mainBlocked = false;
    std::string title, label;
    int bar = -1, paints = 0, lines = 0;
    QRect labelBox, barBox, cancelBox;
    QSize size;
  } seen;
  QTimer::singleShot(400, [&] {
    QWidget* window = QApplication::activeModalWidget();
    ASSERT_NE(window, nullptr);
    seen.modal = window->windowModality() == Qt::ApplicationModal;
    seen.title = window->windowTitle().toStdString();
    seen.size = window->size();
    seen.label = tkText(kLabel);
    seen.bar = tkState(kBar);
    seen.labelBox = tkqt::controlWidget(kLabel)->geometry();
    seen.barBox = tkqt::controlWidget(kBar)->geometry();
    seen.cancelBox = tkqt::controlWidget(kCancel)->geometry();
    seen.lines = static_cast<int>(lines.size());
    tkqt::clientWidget()->update();
  });
  QTimer::singleShot(700, [&] { seen.paints = counter.paints; });
  counter.paints = 0;
  TkRunResult result = tkRunProgram(
      request("echo 'progress 40 first'; sleep 1; printf 'second\r\nthird'; echo err >&2; exit 4"),
      [&](const std::string& line) {
        lines.push_back(line);
        tkSetText(kLabel, line);
        tkSetState(kBar, 40);
      });
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.cancelled);
  EXPECT_EQ(result.exitStatus, 4);
  EXPECT_EQ(result.errorOutput, "err\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"progress 40 first", "second", "third"}));

  EXPECT_TRUE(seen.modal);
  EXPECT_EQ(seen.title, "Render Image");
  EXPECT_EQ(seen.size, QSize(320, 96));
  EXPECT_EQ(seen.lines, 1) << "the first line arrives while the program still runs";
  EXPECT_EQ(seen.label, "progress 40 first");
  EXPECT_EQ(seen.bar, 40);
  EXPECT_EQ(seen.labelBox, QRect(10, 8, 300, 36));
  EXPECT_EQ(seen.barBox, QRect(10, 46, 300, 16));
  EXPECT_EQ(seen.cancelBox, QRect(230, 68, 80, 22));
  EXPECT_GT(seen.paints, 0) << "the main window was not painted while the program ran";
  EXPECT_FALSE(tkControlExists(kLabel)) << "the run window's controls go with it";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(RunProgram, WaitingTakesNoProcessorTime) {
  std::clock_t before = std::clock();
  QElapsedTimer wall;
  wall.start();
  TkRunResult result = tkRunProgram(request("sleep 1.5"));
  double cpu = double(std::clock() - before) / CLOCKS_PER_SEC;
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_GE(wall.elapsed(), 1400);
  EXPECT_LT(cpu, 0.5) << "the loop must sleep while the program works, not poll";
}

// Cancel, Escape and the close box stop the program; one that ignores the request is killed.
TEST_F(RunProgram, CancelStopsTheProgram) {
  struct Case {
    const char* name;
    const char* script;
    std::function<void(QWidget*)> stop;
  };
  const Case cases[] = {
      {"cancel button", "sleep 30",
       [](QWidget*) { QTest::mouseClick(tkqt::controlWidget(kCancel), Qt::LeftButton); }},
      {"escape", "sleep 30", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }},
      {"close box", "sleep 30", [](QWidget* w) { w->close(); }},
      {"ignores the request", "trap '' TERM; exec sleep 30",
       [](QWidget*) { QTest::mouseClick(tkqt::controlWidget(kCancel), Qt::LeftButton); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string labelAfter;
    bool cancelEnabled = true;
    QTimer::singleShot(300, [&] {
      QWidget* window = QApplication::activeModalWidget();
      ASSERT_NE(window, nullptr);
      c.stop(window);
      labelAfter = tkText(kLabel);
      cancelEnabled = tkEnabled(kCancel);
    });
    QElapsedTimer wall;
    wall.start();
    TkRunResult result = tkRunProgram(request(c.script));
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(result.exitStatus, -1);
    EXPECT_EQ(labelAfter, "Stopping...");
    EXPECT_FALSE(cancelEnabled);
    EXPECT_LT(wall.elapsed(), (kTkRunStopSeconds + 5) * 1000);
  }
}

TEST_F(RunProgram, ProgramThatCannotStartShowsNoWindow) {
  bool windowSeen = false;
  QTimer::singleShot(0, [&] { windowSeen = QApplication::activeModalWidget() != nullptr; });
  TkRunRequest r = request("");
  r.program = "/no/such/renderer";
  TkRunResult result = tkRunProgram(r);
  EXPECT_FALSE(result.started);
  EXPECT_EQ(result.exitStatus, -1);
  EXPECT_NE(result.reason.find("cannot start /no/such/renderer"), std::string::npos)
      << result.reason;
  QCoreApplication::processEvents();
  EXPECT_FALSE(windowSeen);
  EXPECT_FALSE(tkControlExists(kLabel));
}

// --- Progress window -------------------------------------------------------------------------

TEST_F(Toolkit, ProgressWindowLayoutAndUpdates) {
  ASSERT_TRUE(tkOpenProgressWindow("Please Wait..."));
  QWidget* window = tkqt::progressWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->size(), QSize(272, 53));
  EXPECT_EQ(window->windowTitle(), "Please Wait...");
  EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
  auto* bar = qobject_cast<QProgressBar*>(tkqt::controlWidget(76));
  auto* label = qobject_cast<QLabel*>(tkqt::controlWidget(77));
  ASSERT_NE(bar, nullptr);
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(bar->geometry(), QRect(5, 30, 260, 15));
  EXPECT_EQ(label->geometry(), QRect(5, 10, 260, 20));
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(tkState(76), 0);
  EXPECT_EQ(tkText(77), "");

  struct Case {
    int maximum, value, shown;
  };
  for (Case c : {Case{100, 10, 10}, Case{100, 100, 100}, Case{100, 0, 0}, Case{100, 130, 100},
                 Case{50, 60, 50}, Case{100, -4, 0}}) {
    tkSetProgress(c.maximum, c.value);
    EXPECT_EQ(tkState(76), c.shown) << c.maximum << " " << c.value;
  }
  tkSetProgress(100, 40);
  tkSetProgressMaximum(20);
  EXPECT_EQ(bar->maximum(), 20);
  EXPECT_EQ(tkState(76), 20) << "the position stays within the new maximum";
  tkSetProgressMaximum(100);
  tkSetProgressValue(70);
  EXPECT_EQ(tkState(76), 70);
  tkSetProgressText("Preparing textures...");
  EXPECT_EQ(tkText(77), "Preparing textures...");

  // Opening again keeps the window and its bar, taking the new title.
  ASSERT_TRUE(tkOpenProgressWindow("Another"));
  EXPECT_EQ(tkqt::progressWindow(), window);
  EXPECT_EQ(window->windowTitle(), "Another");
  window->close();  // the user cannot close it
  EXPECT_TRUE(tkProgressWindowIsOpen());
  tkRaiseProgressWindow(false);

  // It outlives the main window's controls.
  tkCloseWindow();
  EXPECT_TRUE(tkControlExists(76));
  tkCloseProgressWindow();
  EXPECT_FALSE(tkProgressWindowIsOpen());
  EXPECT_FALSE(tkControlExists(76));
  EXPECT_FALSE(tkControlExists(77));
  tkSetProgress(100, 10);  // no window: nothing happens
  tkSetProgressText("x");
}

// --- Font ------------------------------------------------------------------------------------

// Captions and the boxes the program gives them: each must fit without clipping.
TEST_F(Toolkit, CaptionsFitTheirBoxes) {
  struct Case {
    TkControlKind kind;
    int width, height;
    const char* caption;
  };
  const Case cases[] = {
      {TkControlKind::Button, 85, 20, "Set Camera"},
      {TkControlKind::Button, 85, 20, "Render Image"},
      {TkControlKind::Button, 45, 20, ">>"},
      {TkControlKind::Button, 40, 20, ">>"},
      {TkControlKind::Button, 75, 25, "Reload All"},
      {TkControlKind::Button, 75, 25, "Clear"},
      {TkControlKind::Button, 140, 25, "Defaults"},
      {TkControlKind::CheckBox, 220, 20, "Optimize Non-Power2 Textures"},
      {TkControlKind::CheckBox, 220, 20, "Enable Anti-Aliasing (final render)"},
      {TkControlKind::CheckBox, 220, 20, "Enable Shadows"},
      {TkControlKind::RadioButton, 110, 20, "White Background"},
      {TkControlKind::RadioButton, 110, 20, "Black Background"},
      {TkControlKind::Label, 75, 15, "Bottom"},
      {TkControlKind::Label, 35, 20, "Width"},
      {TkControlKind::Label, 35, 20, "Height"},
      {TkControlKind::Label, 55, 20, "Filter Type"},
      {TkControlKind::Label, 65, 15, "Ambient Light"},
      {TkControlKind::ComboBox, 285, 20, "Anisotropic (high quality)"},
      {TkControlKind::ComboBox, 165, 20, "<Camera Default>"},
  };
  int id = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    switch (c.kind) {
      case TkControlKind::Button:
        ASSERT_TRUE(tkButton(id, 0, 0, c.width, c.height, c.caption));
        break;
      case TkControlKind::CheckBox:
        ASSERT_TRUE(tkCheckBox(id, 0, 0, c.width, c.height, c.caption));
        break;
      case TkControlKind::RadioButton:
        ASSERT_TRUE(tkRadioButton(id, 0, 0, c.width, c.height, c.caption, true));
        break;
      case TkControlKind::Label:
        ASSERT_TRUE(tkLabel(id, 0, 0, c.width, c.height, c.caption));
        break;
      default:
        ASSERT_TRUE(tkComboBox(id, 0, 0, c.width, c.height));
        tkAddItem(id, c.caption);
        tkSetState(id, 0);
        break;
    }
    QWidget* w = tkqt::controlWidget(id);
    QFontMetrics metrics(w->font());
    int text = metrics.horizontalAdvance(QString::fromUtf8(c.caption));
    EXPECT_LE(metrics.height(), c.height - 2);
    switch (c.kind) {
      case TkControlKind::Label:  // one line, no wrapping
        EXPECT_LE(text, c.width);
        break;
      case TkControlKind::Button:  // a little room on both sides
        EXPECT_LE(text + 8, c.width);
        break;
      case TkControlKind::ComboBox:  // room for the arrow
        EXPECT_LE(text + 28, c.width);
        break;
      default:  // indicator, spacing and text
        EXPECT_LE(w->sizeHint().width(), c.width);
        break;
    }
    ++id;
  }
}

}  // namespace
