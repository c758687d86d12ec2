// The small progress window shown while the program works.
#include "toolkit/toolkit.h"

#include <algorithm>
#include <string>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

namespace {

// The window's controls, reachable with the control calls too.
constexpr int kBarId = 76;
constexpr int kLabelId = 77;

}  // namespace

namespace tkstate {

void ProgressWindow::closeEvent(QCloseEvent* event) {
  if (allowClose)
    event->accept();
  else
    event->ignore();
}

}  // namespace tkstate

// --- Progress window -------------------------------------------------------------------------
static void showProgressNow() {
  // The program does not run its loop while a batch is prepared: paint now.
  if (QWidget* w = state().progress) {
    w->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
}

bool tkOpenProgressWindow(const std::string& title) {
  State& s = state();
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    return fail("the toolkit is not started");
  if (s.progress) {
    s.progress->setWindowTitle(tkqt::toQString(title));
    return true;
  }
  auto* window = new ProgressWindow;
  window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowStaysOnTopHint);
  window->setWindowTitle(tkqt::toQString(title));
  window->resize(272, 53);
  auto* bar = new QProgressBar(window);
  bar->setGeometry(5, 30, 260, 15);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  auto* label = new QLabel(window);
  label->setGeometry(5, 10, 260, 20);
  label->setTextFormat(Qt::PlainText);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    window->move(screen->availableGeometry().center() - QPoint(136, 26));
  s.progress = window;
  s.controls[kBarId] = Control{TkControlKind::ProgressBar, bar};
  s.controls[kLabelId] = Control{TkControlKind::Label, label};
  window->show();
  window->raise();
  showProgressNow();
  return true;
}

bool tkProgressWindowIsOpen() {
  return state().progress != nullptr;
}

static QProgressBar* progressBar() {
  Control* c = find(kBarId);
  if (!state().progress || !c) return nullptr;
  return static_cast<QProgressBar*>(c->widget.data());
}

void tkSetProgress(int maximum, int value) {
  QProgressBar* bar = progressBar();
  if (!bar) return;
  bar->setMaximum(std::max(0, maximum));
  bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
  showProgressNow();
}

void tkSetProgressMaximum(int maximum) {
  if (QProgressBar* bar = progressBar()) tkSetProgress(maximum, bar->value());
}

void tkSetProgressValue(int value) {
  if (QProgressBar* bar = progressBar()) tkSetProgress(bar->maximum(), value);
}

void tkSetProgressText(const std::string& text) {
  if (!state().progress) return;
  tkSetText(kLabelId, text);
  showProgressNow();
}

void tkRaiseProgressWindow(bool activate) {
  QWidget* w = state().progress;
  if (!w) return;
  w->raise();
  if (activate) w->activateWindow();
}

void tkCloseProgressWindow() {
  State& s = state();
  if (!s.progress) return;
  s.progress->allowClose = true;
  delete s.progress.data();
  s.controls.erase(kBarId);
  s.controls.erase(kLabelId);
}
