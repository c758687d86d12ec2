// What controls show and how they stand: texts, states, list entries, ranges, enabled, visible,
// focus, pictures, places and tooltips.
#include "toolkit/toolkit.h"

#include <algorithm>
#include <string>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolTip>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

namespace {

// Width at which tooltips wrap.
constexpr int kToolTipWidth = 180;

}  // namespace

// --- Controls --------------------------------------------------------------------------------
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
  Control* c = find(id);
  if (!c) return;
  if (c->kind == TkControlKind::Container)
    setContainerBlocked(c->widget, !on);
  else
    c->widget->setEnabled(on);
}

bool tkEnabled(int id) {
  Control* c = find(id);
  return c && c->widget->isEnabled() && !isBlockedContainer(c->widget);
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

bool tkFocusWithin(int id) {
  Control* c = find(id);
  if (!c) return false;
  // The window's focus widget is where the focus is, or returns to once the window is active.
  QWidget* focus = c->widget->window()->focusWidget();
  return focus && (focus == c->widget || c->widget->isAncestorOf(focus));
}

bool tkControlRect(int id, int* x, int* y, int* width, int* height) {
  Control* c = find(id);
  QRect box = c ? c->widget->geometry() : QRect(0, 0, 0, 0);
  if (x) *x = box.x();
  if (y) *y = box.y();
  if (width) *width = box.width();
  if (height) *height = box.height();
  return c != nullptr;
}

void tkSetImage(int id, TkImage img) {
  if (Control* c = find(id)) applyImage(c->widget, c->kind, img);
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

std::string tkToolTip(int id) {
  Control* c = find(id);
  if (!c || c->widget->toolTip().isEmpty()) return {};
  QTextDocument shown;
  shown.setHtml(c->widget->toolTip());
  // The wrapping table adds an empty line above and below.
  return shown.toPlainText().trimmed().toStdString();
}
