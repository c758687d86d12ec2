// The main window's menu bar and status bar.
#include "toolkit/toolkit.h"

#include <string>
#include <vector>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

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
