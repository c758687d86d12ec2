// The main window, its menu, status bar and controls, the event queue, images, tooltips, dialogs
// and the progress window, over Qt Widgets.
#include "toolkit/toolkit.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include "system/system.h"
#include "toolkit_qt.h"

namespace {

// Widths at which tooltips wrap, and the frame band of a text field that counts as its border.
constexpr int kToolTipWidth = 180;
constexpr int kTextFieldFrame = 2;

class MainWindow : public QMainWindow {
 public:
  bool allowClose = false;

 protected:
  bool event(QEvent* event) override {
    // Menu items' status tips would push the status bar's fields aside.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
  }
  void closeEvent(QCloseEvent* event) override {
    if (allowClose) {
      event->accept();
      return;
    }
    // The program decides what a close request means.
    event->ignore();
    tkqt::pushEvent({TkEventKind::Close, 0, TkControlEvent::Change});
  }
};

class ProgressWindow : public QWidget {
 public:
  bool allowClose = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (allowClose)
      event->accept();
    else
      event->ignore();
  }
};

struct Control {
  TkControlKind kind = TkControlKind::None;
  QPointer<QWidget> widget;
  TkCursor cursor = TkCursor::Arrow;
};

// A place controls are created in: the client area, a container, or a tab panel's newest page.
struct Parent {
  TkControlKind kind = TkControlKind::None;
  QPointer<QWidget> widget;  // container or tab panel
};

class EventWatcher;

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

  bool latched[2] = {false, false};
  int quiet = 0;  // > 0 while the program itself changes a control: no events
  std::string lastError;
  EventWatcher* watcher = nullptr;
  bool started = false;
};

State& state() {
  static State s;
  return s;
}

bool fail(const std::string& why) {
  state().lastError = why;
  return false;
}

// Programmatic changes of controls must not look like user actions.
struct Quiet {
  Quiet() { ++state().quiet; }
  ~Quiet() { --state().quiet; }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
};

void pushControlEvent(int id, TkControlEvent type) {
  if (state().quiet > 0 || id == kTkNoId) return;
  tkqt::pushEvent({TkEventKind::Control, id, type});
}

// Texts are shown literally, so "&" must not become a mnemonic marker.
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

// ---------------------------------------------------------------------------------------------
namespace tkqt {

QMainWindow* mainWindow() {
  return state().window;
}
QWidget* clientWidget() {
  return state().client;
}
QWidget* controlWidget(int id) {
  Control* c = find(id);
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
    s.watcher = new EventWatcher(qApp);
    qApp->installEventFilter(s.watcher);
    s.started = true;
  }
  kestrum::sys::setDisplaySizeQuery([] {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return kestrum::sys::DisplaySize{};
    QSize size = screen->size();
    return kestrum::sys::DisplaySize{size.width(), size.height()};
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

// --- Menus -----------------------------------------------------------------------------------
bool tkCreateMenu() {
  State& s = state();
  if (!s.window) return fail("no main window is open");
  s.menuBar = s.window->menuBar();
  s.menuBar->setMouseTracking(true);
  s.menu = nullptr;
  s.subMenus.clear();
  return true;
}

static QMenu* currentMenu() {
  State& s = state();
  while (!s.subMenus.empty() && !s.subMenus.back()) s.subMenus.pop_back();
  return s.subMenus.empty() ? s.menu.data() : s.subMenus.back().data();
}

void tkMenuTitle(const std::string& title) {
  State& s = state();
  if (!s.menuBar) return;
  s.subMenus.clear();
  s.menu = s.menuBar->addMenu(literal(title));
}

void tkMenuItem(int id, const std::string& text) {
  State& s = state();
  QMenu* menu = currentMenu();
  if (!menu) return;
  if (auto old = s.menuItems.find(id); old != s.menuItems.end() && old->second)
    delete old->second.data();
  QAction* action = menu->addAction(literal(text));
  s.menuItems[id] = action;
  QObject::connect(action, &QAction::triggered, action, [action, id](bool checked) {
    // Marks are the program's: undo Qt's own toggling before reporting the choice.
    if (action->isCheckable()) {
      Quiet quiet;
      action->setChecked(!checked);
    }
    tkqt::pushEvent({TkEventKind::Menu, id, TkControlEvent::Change});
  });
}

void tkMenuSeparator() {
  if (QMenu* menu = currentMenu()) menu->addSeparator();
}

void tkOpenSubMenu(const std::string& title) {
  QMenu* menu = currentMenu();
  if (!menu) return;
  state().subMenus.push_back(menu->addMenu(literal(title)));
}

void tkCloseSubMenu() {
  if (!state().subMenus.empty()) state().subMenus.pop_back();
}

void tkSetMenuItemChecked(int id, bool on) {
  QAction* action = tkqt::menuAction(id);
  if (!action) return;
  action->setCheckable(true);
  action->setChecked(on);
}

bool tkMenuItemChecked(int id) {
  QAction* action = tkqt::menuAction(id);
  return action && action->isChecked();
}

bool tkMenuItemExists(int id) {
  return tkqt::menuAction(id) != nullptr;
}

// --- Status bar ------------------------------------------------------------------------------
bool tkCreateStatusBar(const std::vector<int>& widths) {
  State& s = state();
  if (!s.window) return fail("no main window is open");
  if (widths.empty()) return fail("a status bar needs at least one field");
  for (int w : widths)
    if (w <= 0) return fail("status bar fields must be wider than 0 pixels");
  for (auto& field : s.statusFields) delete field.data();
  s.statusFields.clear();
  QStatusBar* bar = s.window->statusBar();
  bar->setSizeGripEnabled(false);
  bar->setMouseTracking(true);
  for (int w : widths) {
    auto* field = new QLabel(bar);
    field->setTextFormat(Qt::PlainText);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setFixedWidth(w);
    bar->addWidget(field);
    s.statusFields.push_back(field);
  }
  s.statusBar = bar;
  return true;
}

void tkStatusBarText(int field, const std::string& text) {
  auto& fields = state().statusFields;
  if (field < 0 || field >= static_cast<int>(fields.size()) || !fields[field]) return;
  fields[field]->setText(tkqt::toQString(text));
}

std::string tkStatusBarTextOf(int field) {
  auto& fields = state().statusFields;
  if (field < 0 || field >= static_cast<int>(fields.size()) || !fields[field]) return {};
  return fields[field]->text().toStdString();
}

// --- Controls --------------------------------------------------------------------------------
bool tkGroupBox(int id, int x, int y, int width, int height, const std::string& caption) {
  auto* box = makeControl<QGroupBox>(id, TkControlKind::GroupBox, x, y, width, height);
  if (!box) return false;
  box->setTitle(literal(caption));
  // The classic look the layout is drawn for: the caption sits on the frame's top line, so the
  // frame starts half a line below the box's top.
  box->setStyleSheet(QStringLiteral(
      "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
      "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0 2px; }"));
  box->lower();  // frames stay behind the controls they surround
  return true;
}

bool tkFrame(int id, int x, int y, int width, int height) {
  auto* frame = makeControl<QFrame>(id, TkControlKind::Frame, x, y, width, height);
  if (!frame) return false;
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame->setLineWidth(1);
  QPalette palette = frame->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Dark));
  frame->setPalette(palette);
  frame->lower();
  return true;
}

bool tkButton(int id, int x, int y, int width, int height, const std::string& caption) {
  auto* button = makeControl<QPushButton>(id, TkControlKind::Button, x, y, width, height);
  if (!button) return false;
  button->setText(literal(caption));
  button->setAutoDefault(false);
  QObject::connect(button, &QPushButton::clicked, button,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkImageButton(int id, int x, int y, int width, int height, TkImage img, bool toggle) {
  auto* button = makeControl<QPushButton>(id, TkControlKind::ImageButton, x, y, width, height);
  if (!button) return false;
  button->setAutoDefault(false);
  button->setCheckable(toggle);
  if (toggle)  // a pressed toggle must stand out among its neighbours
    button->setStyleSheet(
        QStringLiteral("QPushButton:checked { background-color: palette(midlight);"
                       " border: 2px solid palette(highlight); border-radius: 3px; }"));
  applyImage(button, TkControlKind::ImageButton, img);
  QObject::connect(button, &QPushButton::clicked, button,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkLabel(int id, int x, int y, int width, int height, const std::string& text) {
  auto* label = makeControl<QLabel>(id, TkControlKind::Label, x, y, width, height);
  if (!label) return false;
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setText(tkqt::toQString(text));
  return true;
}

bool tkTextField(int id, int x, int y, int width, int height, const std::string& text) {
  auto* field = makeControl<QLineEdit>(id, TkControlKind::TextField, x, y, width, height);
  if (!field) return false;
  field->setText(tkqt::toQString(text));
  field->setCursorPosition(0);
  field->setMouseTracking(true);
  QObject::connect(field, &QLineEdit::textEdited, field,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkCheckBox(int id, int x, int y, int width, int height, const std::string& caption) {
  auto* box = makeControl<QCheckBox>(id, TkControlKind::CheckBox, x, y, width, height);
  if (!box) return false;
  box->setText(literal(caption));
  QObject::connect(box, &QCheckBox::clicked, box,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkRadioButton(int id, int x, int y, int width, int height, const std::string& caption,
                   bool firstOfGroup) {
  State& s = state();
  auto* radio = makeControl<QRadioButton>(id, TkControlKind::RadioButton, x, y, width, height);
  if (!radio) return false;
  radio->setText(literal(caption));
  if (firstOfGroup || !s.radioGroup || s.radioGroup->parent() != radio->parentWidget()) {
    s.radioGroup = new QButtonGroup(radio->parentWidget());
    s.radioGroup->setExclusive(true);
  }
  s.radioGroup->addButton(radio);
  QObject::connect(radio, &QRadioButton::clicked, radio,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkComboBox(int id, int x, int y, int width, int height) {
  auto* combo = makeControl<QComboBox>(id, TkControlKind::ComboBox, x, y, width, height);
  if (!combo) return false;
  combo->setEditable(false);
  QObject::connect(combo, &QComboBox::activated, combo,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkScrollBar(int id, int x, int y, int width, int height, int minimum, int maximum) {
  auto* bar = makeControl<QScrollBar>(id, TkControlKind::ScrollBar, x, y, width, height);
  if (!bar) return false;
  bar->setOrientation(Qt::Horizontal);
  bar->setSingleStep(1);
  bar->setPageStep(1);
  tkSetScrollRange(id, minimum, maximum);
  QObject::connect(bar, &QScrollBar::valueChanged, bar,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  QObject::connect(bar, &QScrollBar::sliderReleased, bar,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  return true;
}

bool tkImageControl(int id, int x, int y, int width, int height, TkImage img) {
  auto* label = makeControl<QLabel>(id, TkControlKind::Image, x, y, width, height);
  if (!label) return false;
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  applyImage(label, TkControlKind::Image, img);
  return true;
}

bool tkTabPanel(int id, int x, int y, int width, int height) {
  auto* tabs = makeControl<QTabWidget>(id, TkControlKind::TabPanel, x, y, width, height);
  if (!tabs) return false;
  QObject::connect(tabs, &QTabWidget::currentChanged, tabs,
                   [id] { pushControlEvent(id, TkControlEvent::Change); });
  state().parents.push_back({TkControlKind::TabPanel, tabs});
  return true;
}

bool tkAddTabPage(const std::string& title) {
  State& s = state();
  currentParent();  // drops parents that no longer exist
  if (s.parents.empty() || s.parents.back().kind != TkControlKind::TabPanel)
    return fail("no tab panel is open");
  auto* tabs = static_cast<QTabWidget*>(s.parents.back().widget.data());
  Quiet quiet;  // the first page becomes current: not a user's choice
  tabs->addTab(new QWidget, literal(title));
  return true;
}

void tkCloseTabPanel() {
  State& s = state();
  currentParent();
  if (!s.parents.empty() && s.parents.back().kind == TkControlKind::TabPanel) s.parents.pop_back();
}

bool tkContainer(int id, int x, int y, int width, int height) {
  auto* box = makeControl<QWidget>(id, TkControlKind::Container, x, y, width, height);
  if (!box) return false;
  box->setFocusPolicy(Qt::ClickFocus);
  box->setMouseTracking(true);
  state().parents.push_back({TkControlKind::Container, box});
  return true;
}

void tkCloseContainer() {
  State& s = state();
  currentParent();
  if (!s.parents.empty() && s.parents.back().kind == TkControlKind::Container) s.parents.pop_back();
}

bool tkControlExists(int id) {
  return find(id) != nullptr;
}

TkControlKind tkControlKind(int id) {
  Control* c = find(id);
  return c ? c->kind : TkControlKind::None;
}

void tkFreeControl(int id) {
  Control* c = find(id);
  if (!c) return;
  QWidget* widget = c->widget;
  if (tkqt::engineViewWidget() && isInside(tkqt::engineViewWidget(), widget))
    tkqt::engineViewClosed();
  state().controls.erase(id);
  delete widget;
  purgeDeadControls();
}

void tkSetText(int id, const std::string& text) {
  Control* c = find(id);
  if (!c) return;
  Quiet quiet;
  QWidget* w = c->widget;
  switch (c->kind) {
    case TkControlKind::GroupBox:
      static_cast<QGroupBox*>(w)->setTitle(literal(text));
      break;
    case TkControlKind::Button:
    case TkControlKind::CheckBox:
    case TkControlKind::RadioButton:
      static_cast<QAbstractButton*>(w)->setText(literal(text));
      break;
    case TkControlKind::Label:
      static_cast<QLabel*>(w)->setText(tkqt::toQString(text));
      break;
    case TkControlKind::TextField: {
      auto* field = static_cast<QLineEdit*>(w);
      field->setText(tkqt::toQString(text));
      field->setCursorPosition(0);
      break;
    }
    case TkControlKind::ComboBox: {
      auto* combo = static_cast<QComboBox*>(w);
      if (combo->currentIndex() >= 0)
        combo->setItemText(combo->currentIndex(), tkqt::toQString(text));
      break;
    }
    case TkControlKind::TabPanel: {
      auto* tabs = static_cast<QTabWidget*>(w);
      if (tabs->currentIndex() >= 0) tabs->setTabText(tabs->currentIndex(), literal(text));
      break;
    }
    default:
      break;
  }
}

std::string tkText(int id) {
  Control* c = find(id);
  if (!c) return {};
  QWidget* w = c->widget;
  switch (c->kind) {
    case TkControlKind::GroupBox:
      return fromLiteral(static_cast<QGroupBox*>(w)->title());
    case TkControlKind::Button:
    case TkControlKind::CheckBox:
    case TkControlKind::RadioButton:
      return fromLiteral(static_cast<QAbstractButton*>(w)->text());
    case TkControlKind::Label:
      return static_cast<QLabel*>(w)->text().toStdString();
    case TkControlKind::TextField:
      return static_cast<QLineEdit*>(w)->text().toStdString();
    case TkControlKind::ComboBox:
      return static_cast<QComboBox*>(w)->currentText().toStdString();
    case TkControlKind::TabPanel: {
      auto* tabs = static_cast<QTabWidget*>(w);
      return tabs->currentIndex() >= 0 ? fromLiteral(tabs->tabText(tabs->currentIndex()))
                                       : std::string();
    }
    default:
      return {};
  }
}

void tkSetState(int id, int value) {
  Control* c = find(id);
  if (!c) return;
  Quiet quiet;
  QWidget* w = c->widget;
  switch (c->kind) {
    case TkControlKind::CheckBox:
    case TkControlKind::RadioButton:
    case TkControlKind::ImageButton: {
      auto* button = static_cast<QAbstractButton*>(w);
      if (!button->isCheckable()) break;
      // An exclusive group refuses to release its pressed radio button; release it by hand.
      QButtonGroup* group = button->group();
      bool exclusive = group && group->exclusive();
      if (exclusive && value == 0) group->setExclusive(false);
      button->setChecked(value != 0);
      if (exclusive && value == 0) group->setExclusive(true);
      break;
    }
    case TkControlKind::ComboBox: {
      auto* combo = static_cast<QComboBox*>(w);
      combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
      break;
    }
    case TkControlKind::ScrollBar:
      static_cast<QScrollBar*>(w)->setValue(value);  // QScrollBar keeps it in range
      break;
    case TkControlKind::TabPanel: {
      auto* tabs = static_cast<QTabWidget*>(w);
      if (value >= 0 && value < tabs->count()) tabs->setCurrentIndex(value);
      break;
    }
    case TkControlKind::ProgressBar: {
      auto* bar = static_cast<QProgressBar*>(w);
      bar->setValue(std::clamp(value, bar->minimum(), bar->maximum()));
      break;
    }
    default:
      break;
  }
}

int tkState(int id) {
  Control* c = find(id);
  if (!c) return 0;
  QWidget* w = c->widget;
  switch (c->kind) {
    case TkControlKind::CheckBox:
    case TkControlKind::RadioButton:
    case TkControlKind::ImageButton:
      return static_cast<QAbstractButton*>(w)->isChecked() ? 1 : 0;
    case TkControlKind::ComboBox:
      return static_cast<QComboBox*>(w)->currentIndex();
    case TkControlKind::ScrollBar:
      return static_cast<QScrollBar*>(w)->value();
    case TkControlKind::TabPanel:
      return static_cast<QTabWidget*>(w)->currentIndex();
    case TkControlKind::ProgressBar:
      return static_cast<QProgressBar*>(w)->value();
    default:
      return 0;
  }
}

void tkAddItem(int id, const std::string& text) {
  Control* c = find(id);
  if (!c || c->kind != TkControlKind::ComboBox) return;
  Quiet quiet;
  auto* combo = static_cast<QComboBox*>(c->widget.data());
  int selected = combo->currentIndex();
  combo->addItem(tkqt::toQString(text));
  // Qt selects the first entry added; the list starts with none selected, as the program expects
  // to choose it.
  if (selected < 0) combo->setCurrentIndex(-1);
}

int tkItemCount(int id) {
  Control* c = find(id);
  if (!c || c->kind != TkControlKind::ComboBox) return 0;
  return static_cast<QComboBox*>(c->widget.data())->count();
}

std::string tkItemText(int id, int index) {
  Control* c = find(id);
  if (!c || c->kind != TkControlKind::ComboBox) return {};
  auto* combo = static_cast<QComboBox*>(c->widget.data());
  if (index < 0 || index >= combo->count()) return {};
  return combo->itemText(index).toStdString();
}

void tkClearItems(int id) {
  Control* c = find(id);
  if (!c || c->kind != TkControlKind::ComboBox) return;
  Quiet quiet;
  static_cast<QComboBox*>(c->widget.data())->clear();
}

void tkSetScrollRange(int id, int minimum, int maximum) {
  Control* c = find(id);
  if (!c || c->kind != TkControlKind::ScrollBar) return;
  Quiet quiet;
  // A page of 1 leaves the thumb one short of the maximum.
  static_cast<QScrollBar*>(c->widget.data())->setRange(minimum, std::max(minimum, maximum - 1));
}

void tkSetEnabled(int id, bool on) {
  if (Control* c = find(id)) c->widget->setEnabled(on);
}

bool tkEnabled(int id) {
  Control* c = find(id);
  return c && c->widget->isEnabled();
}

void tkSetVisible(int id, bool on) {
  if (Control* c = find(id)) c->widget->setVisible(on);
}

bool tkVisible(int id) {
  Control* c = find(id);
  return c && !c->widget->isHidden();
}

void tkSetFocus(int id) {
  Control* c = find(id);
  if (!c) return;
  QWidget* w = c->widget;
  if (w->focusPolicy() == Qt::NoFocus) w->setFocusPolicy(Qt::TabFocus);
  w->setFocus(Qt::OtherFocusReason);
}

bool tkHasFocus(int id) {
  Control* c = find(id);
  return c && c->widget->hasFocus();
}

void tkSetImage(int id, TkImage img) {
  if (Control* c = find(id)) applyImage(c->widget, c->kind, img);
}

// --- Images ----------------------------------------------------------------------------------
static TkImage keepImage(QImage decoded, const std::string& what) {
  if (decoded.isNull()) {
    fail("cannot decode the picture " + what);
    return 0;
  }
  State& s = state();
  TkImage handle = s.nextImage++;
  s.images[handle] = std::move(decoded);
  return handle;
}

TkImage tkCatchImage(const void* data, size_t size) {
  if (!data || size == 0 || size > (size_t{1} << 30)) {
    fail("no picture data");
    return 0;
  }
  QImage decoded;
  decoded.loadFromData(static_cast<const uchar*>(data), static_cast<int>(size));
  return keepImage(std::move(decoded), "held in memory");
}

TkImage tkLoadImage(const std::string& path) {
  QImage decoded(tkqt::toQString(path));
  return keepImage(std::move(decoded), "\"" + path + "\"");
}

bool tkImageSize(TkImage handle, int* width, int* height) {
  const QImage* img = image(handle);
  if (width) *width = img ? img->width() : 0;
  if (height) *height = img ? img->height() : 0;
  return img != nullptr;
}

void tkFreeImage(TkImage handle) {
  state().images.erase(handle);
}

// --- Tooltips --------------------------------------------------------------------------------
void tkSetToolTip(int id, const std::string& title, const std::string& text) {
  Control* c = find(id);
  if (!c) return;
  QString body = tkqt::toQString(text).toHtmlEscaped().replace(QLatin1Char('\n'), "<br>");
  QString head = title.empty()
                     ? QString()
                     : QStringLiteral("<b>%1</b><br>").arg(tkqt::toQString(title).toHtmlEscaped());
  QFontMetrics metrics(QToolTip::font());
  bool wide = metrics.horizontalAdvance(tkqt::toQString(text)) > kToolTipWidth ||
              metrics.horizontalAdvance(tkqt::toQString(title)) > kToolTipWidth;
  // A table of fixed width makes Qt's rich text wrap long texts at that width.
  QString html = wide ? QStringLiteral(
                            "<table width=\"%1\" cellspacing=\"0\" cellpadding=\"0\">"
                            "<tr><td>%2%3</td></tr></table>")
                            .arg(kToolTipWidth)
                            .arg(head, body)
                      : QStringLiteral("<qt>%1%2</qt>").arg(head, body);
  c->widget->setToolTip(html);
}

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

// --- Dialogs and message boxes ---------------------------------------------------------------
std::string tkQtFilterList(const std::string& filters) {
  QStringList parts = tkqt::toQString(filters).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString label = parts[i].trimmed();
    QString patterns = i + 1 < parts.size() ? parts[i + 1] : QString();
    QStringList list = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& p : list) p = p.trimmed();
    list.removeAll(QString());
    if (label.isEmpty() && list.isEmpty()) continue;
    if (list.isEmpty()) list << QStringLiteral("*");
    if (label.isEmpty()) label = list.join(QLatin1Char(' '));
    out << QStringLiteral("%1 (%2)").arg(label, list.join(QLatin1Char(' ')));
  }
  return out.join(QStringLiteral(";;")).toStdString();
}

static std::string fileDialog(TkFileDialogKind kind, const std::string& title,
                              const std::string& defaultFile, const std::string& filters,
                              int filterIndex) {
  State& s = state();
  TkFileDialogRequest request{kind, title, defaultFile, filters, filterIndex};
  if (s.fileDialogHook) return s.fileDialogHook(request);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return {};

  QFileDialog dialog(s.window, tkqt::toQString(title));
  dialog.setAcceptMode(kind == TkFileDialogKind::Open ? QFileDialog::AcceptOpen
                                                      : QFileDialog::AcceptSave);
  dialog.setFileMode(kind == TkFileDialogKind::Open ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
  QStringList nameFilters =
      tkqt::toQString(tkQtFilterList(filters)).split(QStringLiteral(";;"), Qt::SkipEmptyParts);
  if (!nameFilters.isEmpty()) {
    dialog.setNameFilters(nameFilters);
    dialog.selectNameFilter(
        nameFilters.value(std::clamp<int>(filterIndex, 0, nameFilters.size() - 1)));
  }
  // The default name may carry a folder; a name with wildcards only filters, it is no name.
  QString start = tkqt::toQString(defaultFile);
  QString folder = tkqt::toQString(std::string(kestrum::sys::folderPart(defaultFile)));
  QString name = tkqt::toQString(std::string(kestrum::sys::fileNamePart(defaultFile)));
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!name.isEmpty() && !name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
    dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted) return {};
  QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

std::string tkOpenFileDialog(const std::string& title, const std::string& defaultFile,
                             const std::string& filters, int filterIndex) {
  return fileDialog(TkFileDialogKind::Open, title, defaultFile, filters, filterIndex);
}

std::string tkSaveFileDialog(const std::string& title, const std::string& defaultFile,
                             const std::string& filters, int filterIndex) {
  return fileDialog(TkFileDialogKind::Save, title, defaultFile, filters, filterIndex);
}

void tkSetFileDialogHook(std::function<std::string(const TkFileDialogRequest&)> hook) {
  state().fileDialogHook = std::move(hook);
}

TkMessageAnswer tkMessageBox(const std::string& title, const std::string& text,
                             TkMessageButtons buttons, TkMessageIcon icon) {
  State& s = state();
  TkMessageAnswer refusal = buttons == TkMessageButtons::Ok      ? TkMessageAnswer::Ok
                            : buttons == TkMessageButtons::YesNo ? TkMessageAnswer::No
                                                                 : TkMessageAnswer::Cancel;
  if (s.messageHook) return s.messageHook({title, text, buttons, icon});
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return refusal;

  QMessageBox box(s.window);
  box.setWindowTitle(tkqt::toQString(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(tkqt::toQString(text));
  switch (icon) {
    case TkMessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case TkMessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case TkMessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case TkMessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
  }
  switch (buttons) {
    case TkMessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case TkMessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case TkMessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return TkMessageAnswer::Ok;
    case QMessageBox::Yes:
      return TkMessageAnswer::Yes;
    case QMessageBox::No:
      return TkMessageAnswer::No;
    case QMessageBox::Cancel:
      return TkMessageAnswer::Cancel;
    default:
      return refusal;
  }
}

void tkSetMessageHook(std::function<TkMessageAnswer(const TkMessageRequest&)> hook) {
  state().messageHook = std::move(hook);
}

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
  s.controls[76] = Control{TkControlKind::ProgressBar, bar};
  s.controls[77] = Control{TkControlKind::Label, label};
  window->show();
  window->raise();
  showProgressNow();
  return true;
}

bool tkProgressWindowIsOpen() {
  return state().progress != nullptr;
}

static QProgressBar* progressBar() {
  Control* c = find(76);
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
  tkSetText(77, text);
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
  s.controls.erase(76);
  s.controls.erase(77);
}
