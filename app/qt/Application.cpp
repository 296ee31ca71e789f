#include "app/qt/Application.h"

#include <QMessageBox>
#include <QThread>

#include "base/ExceptionDisplay.h"
#include "base/Thread.h"

namespace {

QString& TitleText() {
  static QString Text;
  return Text;
}

} // namespace

THxtApplication::THxtApplication(int& Argc, char** Argv) : QApplication(Argc, Argv) {
  SetExceptionHandler(ShowErrorBox);
  // A thread handing work to the main thread posts one queued call; the loop
  // runs it, in modal dialogs and message boxes as well. Never a blocking
  // queued connection: the handoff itself does the waiting.
  SetWakeMainThread([this] {
    QMetaObject::invokeMethod(
        this, [] { CheckSynchronize(); }, Qt::QueuedConnection);
  });
}

THxtApplication::~THxtApplication() {
  SetWakeMainThread(nullptr);
  SetExceptionHandler(nullptr);
}

const QString& THxtApplication::Title() {
  return TitleText();
}

void THxtApplication::SetTitle(const QString& Title) {
  // Not the display name: Qt would append that to the caption of every other
  // window ("Connect - HXT24").
  TitleText() = Title;
  setApplicationName(Title);
}

bool THxtApplication::notify(QObject* Receiver, QEvent* Event) {
  try {
    return QApplication::notify(Receiver, Event);
  } catch (const std::exception& E) {
    ShowErrorBox(E);
  }
  return false;
}

void ShowErrorBox(const std::exception& E) {
  const QString Text = QString::fromStdString(ExceptionDisplayText(E.what()));
  if (!qApp || QThread::currentThread() != qApp->thread()) {
    // Widgets live on the main thread only; anything else can only be logged.
    qWarning("%s", qPrintable(Text));
    return;
  }
  QMessageBox Box(QMessageBox::Critical, THxtApplication::Title(), Text, QMessageBox::Ok,
                  QApplication::activeWindow());
  Box.setTextFormat(Qt::PlainText);
  Box.exec();
}
