// Running another program with a modal run window while the window system's loop goes on.
#include "toolkit/toolkit.h"

#include <string>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "toolkit_qt.h"
#include "toolkit_state.h"

using namespace tkstate;

namespace {

// How much of the program's standard error is kept for the caller.
constexpr qsizetype kErrorOutputLimit = 64 * 1024;

// A dialog that does not close on Escape or its close box: both ask for the program to stop,
// and the window closes when the program has ended.
class RunWindow : public QDialog {
 public:
  using QDialog::QDialog;
  std::function<void()> onStop;

 protected:
  void reject() override {
    if (onStop) onStop();
  }
};

// Registers a widget of the run window under an id for the control calls, for as long as the
// window is open.
class Registered {
 public:
  Registered(int id, TkControlKind kind, QWidget* widget) : id_(id) {
    if (id_ != kTkNoId) state().controls[id_] = Control{kind, widget};
  }
  ~Registered() {
    if (id_ != kTkNoId) state().controls.erase(id_);
  }
  Registered(const Registered&) = delete;
  Registered& operator=(const Registered&) = delete;

 private:
  int id_;
};

}  // namespace

// --- Running another program -----------------------------------------------------------------
TkRunResult tkRunProgram(const TkRunRequest& request,
                         const std::function<void(const std::string&)>& onOutputLine) {
  State& s = state();
  TkRunResult result;
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    result.reason = "the toolkit is not started";
    return result;
  }

  QProcess process;
  process.setProgram(tkqt::toQString(request.program));
  QStringList arguments;
  for (const std::string& a : request.arguments) arguments << tkqt::toQString(a);
  process.setArguments(arguments);
  if (!request.workingDirectory.empty())
    process.setWorkingDirectory(tkqt::toQString(request.workingDirectory));
  process.setStandardInputFile(QProcess::nullDevice());

  QByteArray pending;
  auto takeLines = [&](bool atEnd) {
    pending += process.readAllStandardOutput();
    qsizetype start = 0;
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
      QByteArray line = pending.mid(start, end - start);
      if (line.endsWith('\r')) line.chop(1);
      start = end + 1;
      if (onOutputLine) onOutputLine(line.toStdString());
    }
    pending.remove(0, start);
    if (atEnd && !pending.isEmpty() && onOutputLine) onOutputLine(pending.toStdString());
  };
  QByteArray errors;
  auto takeErrors = [&] {
    errors += process.readAllStandardError();
    if (errors.size() > kErrorOutputLimit) errors.remove(0, errors.size() - kErrorOutputLimit);
  };

  process.start();
  if (!process.waitForStarted()) {
    result.reason = "cannot start " + request.program + ": " + process.errorString().toStdString();
    return result;
  }
  result.started = true;

  RunWindow window(s.window);
  window.setWindowTitle(tkqt::toQString(request.title));
  window.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                        Qt::WindowCloseButtonHint);
  window.setFixedSize(320, 96);
  auto* label = new QLabel(&window);
  label->setGeometry(10, 8, 300, 36);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setText(tkqt::toQString(request.text));
  auto* bar = new QProgressBar(&window);
  bar->setGeometry(10, 46, 300, 16);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), &window);
  cancel->setGeometry(230, 68, 80, 22);
  cancel->setAutoDefault(false);
  Registered labelId(request.labelId, TkControlKind::Label, label);
  Registered barId(request.barId, TkControlKind::ProgressBar, bar);
  Registered cancelId(request.cancelId, TkControlKind::Button, cancel);

  QTimer killer;
  killer.setSingleShot(true);
  QObject::connect(&killer, &QTimer::timeout, &process, &QProcess::kill);
  window.onStop = [&] {
    if (result.cancelled) return;
    result.cancelled = true;
    cancel->setEnabled(false);
    label->setText(QStringLiteral("Stopping..."));
    process.terminate();
    killer.start(kTkRunStopSeconds * 1000);
  };
  QObject::connect(cancel, &QPushButton::clicked, &window, [&] { window.onStop(); });
  QObject::connect(&process, &QProcess::readyReadStandardOutput, &window,
                   [&] { takeLines(false); });
  QObject::connect(&process, &QProcess::readyReadStandardError, &window, takeErrors);
  QObject::connect(&process, &QProcess::finished, &window, [&] { window.accept(); });

  // A program that ended before the window could show needs no window.
  if (process.state() != QProcess::NotRunning) {
    window.setWindowModality(Qt::ApplicationModal);
    window.exec();
  }
  // The window closes only when the program has ended; this wait returns at once.
  process.waitForFinished(-1);
  takeLines(true);
  takeErrors();
  result.errorOutput = errors.toStdString();
  if (process.exitStatus() == QProcess::NormalExit)
    result.exitStatus = process.exitCode();
  else
    result.reason = request.program + (result.cancelled ? " was stopped" : " crashed");
  return result;
}
