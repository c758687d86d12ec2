// The application object and the main window.
#include "toolkit/toolkit.h"

#include <cstdlib>
#include <string>

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QScreen>
#include <QStyleFactory>

#include "system/system.h"
#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

namespace {

QFont programFont() {
  // The controls are small (buttons 20 pixels high, radio buttons 110 pixels wide): condensed
  // DejaVu at 10 pixels fits every caption; without it, DejaVu Sans narrowed to the same width.
  QFont font;
  if (QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans Condensed"))) {
    font.setFamily(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(10);
  } else {
    font.setFamily(QStringLiteral("DejaVu Sans"));
    font.setStretch(80);
    font.setPixelSize(11);
  }
  font.setStyleHint(QFont::SansSerif);
  return font;
}

bool displayReachable() {
  // Without a display Qt would abort the process; say so instead.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::string(platform).rfind("xcb", 0) != 0) return true;
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (display && *display) || (wayland && *wayland);
}

}  // namespace

namespace tkstate {

bool MainWindow::event(QEvent* event) {
  // Menu items' status tips would push the status bar's fields aside.
  if (event->type() == QEvent::StatusTip) return true;
  return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (allowClose) {
    event->accept();
    return;
  }
  // The program decides what a close request means.
  event->ignore();
  tkqt::pushEvent({TkEventKind::Close, 0, TkControlEvent::Change});
}

}  // namespace tkstate

// --- Application -----------------------------------------------------------------------------
bool tkInit() {
  State& s = state();
  if (!QApplication::instance()) {
    if (!displayReachable()) return fail("no display to show windows on (DISPLAY is not set)");
    static int argc = 1;
    static char name[] = "kestrum";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the rest of the process
  }
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    return fail("the application object is not a widget application");
  if (!s.started) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setFont(programFont());
    QApplication::setQuitOnLastWindowClosed(false);  // the program decides when to end
    watchApplicationEvents();
    s.started = true;
  }
  kestrum::sys::setDisplaySizeQuery([] {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return kestrum::sys::DisplaySize{};
    // The screen's size is in Qt's scaled pixels; a picture is made of the display's own.
    QSize size = screen->size();
    qreal ratio = screen->devicePixelRatio();
    return kestrum::sys::DisplaySize{qRound(size.width() * ratio), qRound(size.height() * ratio)};
  });
  return true;
}

void tkShutdown() {
  State& s = state();
  tkCloseProgressWindow();
  tkCloseWindow();
  s.images.clear();
  s.queue.clear();
  s.fileDialogHook = nullptr;
  s.messageHook = nullptr;
  s.latched[0] = s.latched[1] = false;
}

std::string tkLastError() {
  return state().lastError;
}

// --- Main window -----------------------------------------------------------------------------
bool tkOpenWindow(const std::string& title, int clientWidth, int clientHeight) {
  State& s = state();
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    return fail("the toolkit is not started");
  if (s.window) return fail("the main window is already open");
  if (clientWidth <= 0 || clientHeight <= 0) return fail("the window size must be positive");
  auto* window = new MainWindow;
  window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  window->setWindowTitle(tkqt::toQString(title));
  window->setFixedSize(clientWidth, clientHeight);
  auto* client = new QWidget(window);
  client->setMouseTracking(true);
  window->setCentralWidget(client);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    window->move(area.center() - QPoint(clientWidth / 2, clientHeight / 2));
  }
  s.window = window;
  s.client = client;
  s.parents.clear();
  window->show();
  return true;
}

void tkCloseWindow() {
  State& s = state();
  tkqt::engineViewClosed();
  if (s.window) {
    s.window->allowClose = true;
    delete s.window.data();
  }
  purgeDeadControls();  // the progress window's controls stay with it
  s.parents.clear();
  s.menuItems.clear();
  s.subMenus.clear();
  s.statusFields.clear();
}

bool tkWindowIsOpen() {
  return state().window != nullptr;
}

void tkSetWindowTitle(const std::string& title) {
  if (state().window) state().window->setWindowTitle(tkqt::toQString(title));
}

std::string tkWindowTitle() {
  return state().window ? state().window->windowTitle().toStdString() : std::string();
}

void tkActivateWindow() {
  QMainWindow* window = state().window;
  if (!window) return;
  // Never take the focus from another program: only while one of ours has it is the main
  // window brought back and activated.
  bool ours = QGuiApplication::applicationState() == Qt::ApplicationActive;
  if (window->isMaximized() || window->isFullScreen() || !window->isVisible() ||
      (window->isMinimized() && ours))
    window->showNormal();
  if (ours && !window->isActiveWindow() && !QApplication::activeModalWidget() &&
      !QApplication::activePopupWidget()) {
    window->raise();
    window->activateWindow();
  }
}

void tkInnerSize(int* width, int* height) {
  QWidget* client = state().client;
  if (width) *width = client ? client->width() : 0;
  if (height) *height = client ? client->height() : 0;
}
