#pragma once

#include <QApplication>

#include <exception>
#include <string>

// The application object. Its title captions every error box; its notify is
// the last stop for an exception that leaves an event handler: the message is
// shown in an error box and the event loop goes on.
class THxtApplication : public QApplication {
public:
  THxtApplication(int& Argc, char** Argv);
  ~THxtApplication() override;

  static const QString& Title();
  static void SetTitle(const QString& Title);

  bool notify(QObject* Receiver, QEvent* Event) override;
};

// Shows E in a modal box captioned with the application title, with the error
// icon, and the text of ExceptionDisplayText. Must run on the main thread.
void ShowErrorBox(const std::exception& E);
