// The event queue the program's loop takes from, the watcher that turns the window system's input
// into events, and the pointer and mouse buttons.
#include "toolkit/toolkit.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

namespace {

// The band along a text field's edge that counts as its frame.
constexpr int kTextFieldFrame = 2;

void raiseFrameHover() {
  auto& q = state().queue;
  if (!q.empty() && q.back().kind == TkEventKind::FrameHover) return;
  tkqt::pushEvent({TkEventKind::FrameHover, 0, TkControlEvent::Change});
}

// Input anywhere in the main window wakes a waiting loop, so that it can look at the pointer.
void raiseInput() {
  auto& q = state().queue;
  if (!q.empty() && q.back().kind == TkEventKind::Input) return;
  tkqt::pushEvent({TkEventKind::Input, 0, TkControlEvent::Change});
}

bool onTextFieldFrame(const QWidget* field, QPoint pos) {
  QRect inner =
      field->rect().adjusted(kTextFieldFrame, kTextFieldFrame, -kTextFieldFrame, -kTextFieldFrame);
  return field->rect().contains(pos) && !inner.contains(pos);
}

// Watches the whole application: mouse presses for the latched button state, the pointer
// entering the window's frame areas, and focus changes of text fields and containers.
class EventWatcher : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* object, QEvent* event) override {
    State& s = state();
    if (isInput(event->type()) && s.window && object->isWidgetType() &&
        static_cast<QWidget*>(object)->window() == s.window.data())
      raiseInput();
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        if (!object->isWidgetType()) break;  // each press reaches a widget once
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) s.latched[0] = true;
        if (mouse->button() == Qt::RightButton) s.latched[1] = true;
        break;
      }
      default:
        break;
    }
    // A disabled container takes no input; the press above is still latched for the program.
    if (isBlockedInput(event->type()) && object->isWidgetType() &&
        insideBlockedContainer(static_cast<QWidget*>(object)))
      return true;
    switch (event->type()) {
      case QEvent::Enter:
        if (s.window && object->isWidgetType()) {
          auto* widget = static_cast<QWidget*>(object);
          if ((s.menuBar && isInside(widget, s.menuBar)) ||
              (s.statusBar && isInside(widget, s.statusBar))) {
            raiseFrameHover();
          } else if (isTextField(widget)) {
            auto* enter = static_cast<QEnterEvent*>(event);
            if (onTextFieldFrame(widget, enter->position().toPoint())) raiseFrameHover();
          }
        }
        break;
      case QEvent::Leave:
        if (s.window && object == s.window.data()) raiseFrameHover();
        break;
      case QEvent::MouseMove:
        if (object->isWidgetType()) {
          auto* widget = static_cast<QWidget*>(object);
          auto* mouse = static_cast<QMouseEvent*>(event);
          if (isTextField(widget) && onTextFieldFrame(widget, mouse->position().toPoint()))
            raiseFrameHover();
          if (tkqt::engineViewWidget() && isInside(widget, tkqt::engineViewWidget()))
            tkqt::engineViewPointerMoved(mouse->globalPosition().toPoint());
        }
        break;
      case QEvent::FocusIn:
      case QEvent::FocusOut:
        if (object->isWidgetType()) {
          int id = focusReporter(static_cast<QWidget*>(object));
          if (id != kTkNoId)
            pushControlEvent(id, event->type() == QEvent::FocusIn ? TkControlEvent::Focus
                                                                  : TkControlEvent::LostFocus);
        }
        break;
      default:
        break;
    }
    return false;
  }

 private:
  static bool isInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
        return true;
      default:
        return false;
    }
  }
  static bool isBlockedInput(QEvent::Type type) {
    switch (type) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::ContextMenu:
      case QEvent::TabletPress:
      case QEvent::TabletRelease:
      case QEvent::TouchBegin:
        return true;
      default:
        return false;
    }
  }
  static bool isTextField(const QWidget* widget) {
    for (const auto& [id, c] : state().controls)
      if (c.kind == TkControlKind::TextField && c.widget == widget) return true;
    return false;
  }
  // Text fields and containers report focus changes; other controls do not.
  static int focusReporter(const QWidget* widget) {
    for (const auto& [id, c] : state().controls)
      if ((c.kind == TkControlKind::TextField || c.kind == TkControlKind::Container) &&
          c.widget == widget)
        return id;
    return kTkNoId;
  }
};

}  // namespace

namespace tkstate {

void watchApplicationEvents() {
  qApp->installEventFilter(new EventWatcher(qApp));
}

}  // namespace tkstate

// --- Events ----------------------------------------------------------------------------------
static TkEvent takeEvent() {
  auto& q = state().queue;
  if (q.empty()) return {};
  TkEvent event = q.front();
  q.pop_front();
  return event;
}

TkEvent tkPollEvent() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  return takeEvent();
}

TkEvent tkWaitEvent(int timeoutMs) {
  if (!QCoreApplication::instance()) return takeEvent();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  QElapsedTimer clock;
  clock.start();
  while (state().queue.empty()) {
    if (timeoutMs < 0) {
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
      continue;
    }
    qint64 left = timeoutMs - clock.elapsed();
    if (left <= 0) break;
    QTimer wake;  // ends the wait when the time is up
    wake.setSingleShot(true);
    wake.start(static_cast<int>(left));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return takeEvent();
}

void tkPostEvent(const TkEvent& event) {
  tkqt::pushEvent(event);
}
void tkClearEvents() {
  state().queue.clear();
}
size_t tkPendingEventCount() {
  return state().queue.size();
}

// --- Pointer and mouse -----------------------------------------------------------------------
void tkPointerPosition(int* x, int* y) {
  int px = -1, py = -1;
  State& s = state();
  QPoint global = QCursor::pos();
  if (s.window && s.client && s.window->isVisible() && !s.window->isMinimized()) {
    QPoint p = s.client->mapFromGlobal(global);
    // The client area runs from below the menu bar to the bottom of the window.
    int height = s.window->height() - s.client->y();
    if (p.x() >= 0 && p.y() >= 0 && p.x() < s.client->width() && p.y() < height) {
      px = p.x();
      py = p.y();
    }
  }
  if (x) *x = px;
  if (y) *y = py;
  tkqt::engineViewPointerMoved(global);
}

bool tkMouseButtonDown(TkMouseButton button) {
  int index = button == TkMouseButton::Primary ? 0 : 1;
  Qt::MouseButton qtButton = index == 0 ? Qt::LeftButton : Qt::RightButton;
  bool held = QGuiApplication::instance() && (QGuiApplication::mouseButtons() & qtButton);
  bool down = held || state().latched[index];
  state().latched[index] = false;
  return down;
}

void tkSetCursor(int id, TkCursor cursor) {
  Control* c = find(id);
  if (!c) return;
  c->cursor = cursor;
  switch (cursor) {
    case TkCursor::Arrow:
      c->widget->unsetCursor();
      break;
    case TkCursor::Cross:
      c->widget->setCursor(Qt::CrossCursor);
      break;
    case TkCursor::SizeAll:
      c->widget->setCursor(Qt::SizeAllCursor);
      break;
    case TkCursor::SizeVer:
      c->widget->setCursor(Qt::SizeVerCursor);
      break;
  }
}

TkCursor tkCursorOf(int id) {
  Control* c = find(id);
  return c ? c->cursor : TkCursor::Arrow;
}
