// File dialogs and message boxes, each answerable by a hook instead of the user.
#include "toolkit/toolkit.h"

#include <algorithm>
#include <string>
#include <utility>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "system/system.h"
#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

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
  return tkMessageBox(TkMessageRequest{title, text, buttons, icon, {}});
}

TkMessageAnswer tkMessageBox(const TkMessageRequest& request) {
  State& s = state();
  TkMessageAnswer refusal = request.buttons == TkMessageButtons::Ok      ? TkMessageAnswer::Ok
                            : request.buttons == TkMessageButtons::YesNo ? TkMessageAnswer::No
                                                                         : TkMessageAnswer::Cancel;
  if (s.messageHook) return s.messageHook(request);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return refusal;

  QMessageBox box(s.window);
  box.setWindowTitle(tkqt::toQString(request.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(tkqt::toQString(request.text));
  switch (request.icon) {
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
  switch (request.buttons) {
    case TkMessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case TkMessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case TkMessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::No);  // Return must not say yes to a question unread
      break;
  }
  QPushButton* action = nullptr;
  if (!request.action.empty())
    action = box.addButton(literal(request.action), QMessageBox::ActionRole);
  int answer = box.exec();
  if (action && box.clickedButton() == action) return TkMessageAnswer::Action;
  switch (answer) {
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
