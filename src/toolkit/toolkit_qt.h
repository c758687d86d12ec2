// Inside the toolkit: the Qt objects behind ids, shared by the toolkit's own files and its tests.
// The program itself uses toolkit.h only.
#pragma once

#include <string>

#include <QPoint>
#include <QString>

#include "toolkit/toolkit.h"

class QAction;
class QMainWindow;
class QWidget;

namespace tkqt {

QMainWindow* mainWindow();
// The area below the menu bar where controls of the window go.
QWidget* clientWidget();
QWidget* controlWidget(int id);
QAction* menuAction(int id);
QWidget* progressWindow();
// The widget that shows the engine's frames, or null.
QWidget* engineViewWidget();

void setLastError(const std::string& text);
void pushEvent(const TkEvent& event);
QString toQString(const std::string& text);

// Engine view hooks used by the window code.
// The pointer is at `global` (screen coordinates): tell the engine where that is in the view.
void engineViewPointerMoved(QPoint global);
void engineViewClosed();

}  // namespace tkqt
