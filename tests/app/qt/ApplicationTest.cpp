#include "app/qt/Application.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <QEventLoop>

#include <stdexcept>
#include <thread>

#include "AppTestUtil.h"
#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "base/Thread.h"

namespace {

// An object whose event handler fails, as a command handler would.
class TFailingObject : public QObject {
public:
  explicit TFailingObject(std::function<void()> Fail) : FFail(std::move(Fail)) {}
  int Handled = 0;

protected:
  bool event(QEvent* Event) override {
    if (Event->type() == QEvent::User) {
      ++Handled;
      FFail();
      return true;
    }
    return QObject::event(Event);
  }

private:
  std::function<void()> FFail;
};

} // namespace

TEST(Application, ExceptionLeavingAHandlerShowsOneErrorBoxAndTheLoopGoesOn) {
  TBoxWatcher Watcher;
  TFailingObject Failing([] { throw Exception("Cannot create file"); });
  QCoreApplication::postEvent(&Failing, new QEvent(QEvent::User));
  QCoreApplication::postEvent(&Failing, new QEvent(QEvent::User));
  ProcessPendingEvents();

  EXPECT_EQ(Failing.Handled, 2);
  ASSERT_EQ(Watcher.Boxes().size(), 2u);
  EXPECT_EQ(Watcher.Boxes()[0].Title, "HXT24");
  EXPECT_EQ(Watcher.Boxes()[0].Text, "Cannot create file.");
  EXPECT_EQ(Watcher.Boxes()[0].Icon, QMessageBox::Critical);
}

TEST(Application, QueuedCommandsReachTheDisplayAndStandardExceptionsToo) {
  TBoxWatcher Watcher;
  QObject Context;
  QMetaObject::invokeMethod(
      &Context, [] { throw Exception("Unable to open com port (win error code: 2)"); },
      Qt::QueuedConnection);
  QMetaObject::invokeMethod(
      &Context, [] { throw std::runtime_error("out of range"); }, Qt::QueuedConnection);
  ProcessPendingEvents();

  ASSERT_EQ(Watcher.Boxes().size(), 2u);
  // ")" sorts before "." so nothing is appended.
  EXPECT_EQ(Watcher.Boxes()[0].Text, "Unable to open com port (win error code: 2)");
  EXPECT_EQ(Watcher.Boxes()[1].Text, "out of range.");
}

TEST(Application, TheApplicationIsTheExceptionDisplayOfTheRuntime) {
  TBoxWatcher Watcher;
  ShowException(Exception("WaitForEvent method failed (win error code: 5)"));
  ASSERT_EQ(Watcher.Boxes().size(), 1u);
  EXPECT_EQ(Watcher.Boxes()[0].Title, "HXT24");
  EXPECT_EQ(Watcher.Boxes()[0].Text, "WaitForEvent method failed (win error code: 5)");
}

TEST(Application, MessagesAreShownAsPlainText) {
  TBoxWatcher Watcher;
  ShowException(Exception("<b>COM7</b>"));
  ASSERT_EQ(Watcher.Boxes().size(), 1u);
  EXPECT_EQ(Watcher.Boxes()[0].Text, "<b>COM7</b>.");
  EXPECT_EQ(Watcher.Boxes()[0].Format, Qt::PlainText);
}

TEST(Application, HandoffsFromOtherThreadsRunInTheEventLoop) {
  QEventLoop Loop;
  // Only a guard against hanging when no call arrives.
  QTimer::singleShot(20000, &Loop, [&Loop] { Loop.exit(1); });
  std::thread::id RanOn;
  std::string Raised;
  std::thread Worker([&] {
    TThread::Synchronize([&] { RanOn = std::this_thread::get_id(); });
    try {
      TThread::Synchronize([] { throw Exception("port gone"); });
    } catch (const Exception& E) {
      Raised = E.Message(); // carried back to the waiting thread
    }
    TThread::Synchronize([&Loop] { Loop.exit(0); });
  });
  const int Result = Loop.exec();
  Worker.join();
  EXPECT_EQ(Result, 0);
  EXPECT_EQ(RanOn, std::this_thread::get_id());
  EXPECT_EQ(Raised, "port gone");
}
