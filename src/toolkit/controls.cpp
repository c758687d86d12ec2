// Making controls where they belong (the client area, a container, a tab panel's page) and
// freeing them.
#include "toolkit/toolkit.h"

#include <string>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabWidget>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

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
  // A drop-down list opens below itself, like a menu. Qt's own style would lay the list over
  // the box with the chosen entry on it, so a late entry opens it upwards over what lies above.
  combo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
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
