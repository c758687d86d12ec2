// The toolkit's one record and the helpers its files share, and the view of it that
// toolkit_qt.h gives the toolkit's tests and the engine view.
#include "toolkit_state.h"

#include <iterator>

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>

#include "toolkit_qt.h"

namespace tkstate {

State& state() {
  static State s;
  return s;
}

bool fail(const std::string& why) {
  tkqt::setLastError(why);
  return false;
}

void pushControlEvent(int id, TkControlEvent type) {
  if (state().quiet > 0 || id == kTkNoId) return;
  tkqt::pushEvent({TkEventKind::Control, id, type});
}

QString literal(const std::string& text) {
  return tkqt::toQString(text).replace(QLatin1Char('&'), QLatin1String("&&"));
}

std::string fromLiteral(const QString& text) {
  QString plain = text;
  return plain.replace(QLatin1String("&&"), QLatin1String("&")).toStdString();
}

bool isInside(const QWidget* widget, const QWidget* ancestor) {
  for (const QWidget* w = widget; w; w = w->parentWidget())
    if (w == ancestor) return true;
  return false;
}

namespace {
constexpr const char* kBlockedProperty = "tkBlocked";
}  // namespace

bool isBlockedContainer(const QWidget* widget) {
  return widget && widget->property(kBlockedProperty).toBool();
}

bool insideBlockedContainer(const QWidget* widget) {
  for (const QWidget* w = widget; w && !w->isWindow(); w = w->parentWidget())
    if (isBlockedContainer(w)) return true;
  return false;
}

void setContainerBlocked(QWidget* container, bool blocked) {
  container->setProperty(kBlockedProperty, blocked);
  container->setFocusPolicy(blocked ? Qt::NoFocus : Qt::ClickFocus);
  // As a disabled widget would, it gives the keyboard focus up.
  if (blocked && container->hasFocus()) container->clearFocus();
}

Control* find(int id) {
  auto& controls = state().controls;
  auto it = controls.find(id);
  if (it == controls.end()) return nullptr;
  if (!it->second.widget) {  // destroyed with its parent
    controls.erase(it);
    return nullptr;
  }
  return &it->second;
}

void purgeDeadControls() {
  auto& controls = state().controls;
  for (auto it = controls.begin(); it != controls.end();)
    it = it->second.widget ? std::next(it) : controls.erase(it);
}

QWidget* currentParent() {
  State& s = state();
  while (!s.parents.empty() && !s.parents.back().widget) s.parents.pop_back();
  if (s.parents.empty()) return s.client;
  const Parent& p = s.parents.back();
  if (p.kind == TkControlKind::TabPanel) {
    auto* tabs = static_cast<QTabWidget*>(p.widget.data());
    return tabs->count() > 0 ? tabs->widget(tabs->count() - 1) : nullptr;
  }
  return p.widget;
}

QImage* image(TkImage handle) {
  auto& images = state().images;
  auto it = images.find(handle);
  return it == images.end() ? nullptr : &it->second;
}

void applyImage(QWidget* widget, TkControlKind kind, TkImage handle) {
  const QImage* img = image(handle);
  QPixmap pixmap = img ? QPixmap::fromImage(*img) : QPixmap();
  if (kind == TkControlKind::ImageButton) {
    auto* button = static_cast<QPushButton*>(widget);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.isNull() ? QSize() : pixmap.size());
  } else if (kind == TkControlKind::Image) {
    static_cast<QLabel*>(widget)->setPixmap(pixmap);
  }
}

}  // namespace tkstate

namespace tkqt {

using tkstate::state;

QMainWindow* mainWindow() {
  return state().window;
}
QWidget* clientWidget() {
  return state().client;
}
QWidget* controlWidget(int id) {
  tkstate::Control* c = tkstate::find(id);
  return c ? c->widget.data() : nullptr;
}
QAction* menuAction(int id) {
  auto& items = state().menuItems;
  auto it = items.find(id);
  return it == items.end() ? nullptr : it->second.data();
}
QWidget* progressWindow() {
  return state().progress;
}
void setLastError(const std::string& text) {
  state().lastError = text;
}
void pushEvent(const TkEvent& event) {
  state().queue.push_back(event);
}
QString toQString(const std::string& text) {
  return QString::fromUtf8(text.data(), text.size());
}

}  // namespace tkqt
