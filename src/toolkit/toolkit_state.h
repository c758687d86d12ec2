// Inside the toolkit: the one record of what the toolkit holds (the main window, the controls
// and menu items by id, images, the event queue, hooks) and the helpers its files share.
// toolkit_state.cpp defines them; each of the toolkit's files implements one part of toolkit.h.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "toolkit/toolkit.h"

class QAction;
class QButtonGroup;
class QCloseEvent;
class QEvent;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;

namespace tkstate {

// The main window keeps itself open: a close request becomes a Close event for the program.
class MainWindow : public QMainWindow {
 public:
  bool allowClose = false;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
};

// The progress window cannot be closed by the user.
class ProgressWindow : public QWidget {
 public:
  bool allowClose = false;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

struct Control {
  TkControlKind kind = TkControlKind::None;
  QPointer<QWidget> widget;
  TkCursor cursor = TkCursor::Arrow;
};

// A disabled container stays enabled for Qt, which would otherwise show its parent's pointer
// shape over it; it refuses input and the keyboard focus itself instead (see tkSetEnabled).
bool isBlockedContainer(const QWidget* widget);
// True when `widget` is a blocked container or lies inside one.
bool insideBlockedContainer(const QWidget* widget);
void setContainerBlocked(QWidget* container, bool blocked);

// A place controls are created in: the client area, a container, or a tab panel's newest page.
struct Parent {
  TkControlKind kind = TkControlKind::None;
  QPointer<QWidget> widget;  // container or tab panel
};

struct State {
  QPointer<MainWindow> window;
  QPointer<QWidget> client;
  std::map<int, Control> controls;
  std::vector<Parent> parents;
  QPointer<QButtonGroup> radioGroup;

  QPointer<QMenuBar> menuBar;
  QPointer<QMenu> menu;  // the title menu items go into
  std::vector<QPointer<QMenu>> subMenus;
  std::map<int, QPointer<QAction>> menuItems;

  QPointer<QStatusBar> statusBar;
  std::vector<QPointer<QLabel>> statusFields;

  QPointer<ProgressWindow> progress;

  std::deque<TkEvent> queue;
  std::map<int, QImage> images;
  int nextImage = 1;

  std::function<std::string(const TkFileDialogRequest&)> fileDialogHook;
  std::function<TkMessageAnswer(const TkMessageRequest&)> messageHook;

  bool latched[2] = {false, false};  // primary, secondary mouse button pressed since queried
  int quiet = 0;                     // > 0 while the program itself changes a control: no events
  std::string lastError;
  bool started = false;
};

State& state();

// Records why a call failed; false, for `return fail(...)`.
bool fail(const std::string& why);

// Programmatic changes of controls must not look like user actions.
struct Quiet {
  Quiet() { ++state().quiet; }
  ~Quiet() { --state().quiet; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
};

// Queues a control's report, unless the program itself is changing controls.
void pushControlEvent(int id, TkControlEvent type);

// Texts are shown literally, so "&" must not become a mnemonic marker.
QString literal(const std::string& text);
std::string fromLiteral(const QString& text);

bool isInside(const QWidget* widget, const QWidget* ancestor);

// The control with this id, or null; forgets it when its widget went with its parent.
Control* find(int id);
void purgeDeadControls();
// Where the next control goes; null when an open tab panel has no page yet.
QWidget* currentParent();

// Common part of every control: finds the parent, replaces an old control of the same id,
// places the widget and remembers it.
template <typename W>
W* makeControl(int id, TkControlKind kind, int x, int y, int width, int height) {
  State& s = state();
  if (!s.window) {
    fail("no main window is open");
    return nullptr;
  }
  if (width < 0 || height < 0) {
    fail("a control cannot have a negative size");
    return nullptr;
  }
  if (id != kTkNoId && find(id)) tkFreeControl(id);
  QWidget* parent = currentParent();
  if (!parent) {
    fail("the tab panel has no page to put controls on");
    return nullptr;
  }
  auto* widget = new W(parent);
  widget->setGeometry(x, y, width, height);
  widget->show();
  if (id != kTkNoId) s.controls[id] = Control{kind, widget};
  return widget;
}

// The decoded picture behind a handle, or null.
QImage* image(TkImage handle);
// Shows the picture on an image button or image control (none for handle 0).
void applyImage(QWidget* widget, TkControlKind kind, TkImage handle);

// Installs the application-wide watcher that turns input and focus changes into events.
void watchApplicationEvents();

}  // namespace tkstate
