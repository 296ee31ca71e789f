#include "app/qt/MainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "../../TestUtil.h"
#include "AppTestUtil.h"
#include "app/qt/AboutDlg.h"
#include "app/qt/PortDlg.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "cport/platform/FakeDevice.h"

namespace {

// A trace frame with mode 3, time base 20, x10 sensitivity 9, hold and
// memory, DC: every received value 200.
std::string TraceFrame() {
  std::string F = {0x42, 0x41, 10, 1, static_cast<char>(0xD4), static_cast<char>(0xF9), 0, 0, 0, 0};
  F.resize(266, static_cast<char>(200));
  return F;
}

// Answers the port dialog each time it shows: Act runs inside its modal loop.
class TPortDialogScript : public QObject {
public:
  explicit TPortDialogScript(TPortDialog& Dialog) : FDialog(Dialog) {
    Dialog.installEventFilter(this);
  }
  std::function<void(TPortDialog&)> Act = [](TPortDialog& D) { D.btnOK->click(); };
  int Shown = 0;

protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Watched == &FDialog && Event->type() == QEvent::Show) {
      ++Shown;
      QTimer::singleShot(0, &FDialog, [this] { Act(FDialog); });
    }
    return false;
  }

private:
  TPortDialog& FDialog;
};

class ConnectionTest : public ::testing::Test {
protected:
  ConnectionTest() {
    InitComPortErrors();
    Fake.AddLine("COM1");
    Fake.AddLine("COM3");
    Form = std::make_unique<TMainWindow>(Dir.File("config.ini"));
    Form->Core().ComPort().SetDevice(Fake);
    PortDialog = std::make_unique<TPortDialog>(Form.get());
    AboutDialog = std::make_unique<TAboutDialog>(Form.get());
    Form->UseDialogs(PortDialog.get(), AboutDialog.get());
    Script = std::make_unique<TPortDialogScript>(*PortDialog);
  }
  ~ConnectionTest() override {
    Script.reset();
    AboutDialog.reset();
    PortDialog.reset();
    Form.reset();
    DoneComPortErrors();
  }

  // What the scope's line delivers, announced as the port's event does: with
  // the count of all bytes waiting.
  void Receive(const std::string& Bytes) {
    const std::string& Port = Form->Core().ComPort().Port();
    Fake.PushReceived(Port, Bytes);
    Form->Core().ComPort().OnRxChar()(&Form->Core().ComPort(),
                                      static_cast<std::int32_t>(Fake.QueuedBytes(Port)));
  }
  bool TraceIsFlat() const {
    const auto& S = Form->Core().Samples();
    return std::all_of(S.begin(), S.end(), [](std::uint8_t V) { return V == 127; });
  }
  long Opens(const std::string& Port) const {
    const auto Calls = Fake.Calls();
    return std::count(Calls.begin(), Calls.end(), "Open " + Port);
  }
  bool MenuConnected() const {
    return !Form->itConnect->isEnabled() && Form->itDisconnect->isEnabled();
  }
  bool MenuDisconnected() const {
    return Form->itConnect->isEnabled() && !Form->itDisconnect->isEnabled();
  }

  TTempDir Dir;
  TFakeComDevice Fake;
  std::unique_ptr<TMainWindow> Form;
  std::unique_ptr<TPortDialog> PortDialog;
  std::unique_ptr<TAboutDialog> AboutDialog;
  std::unique_ptr<TPortDialogScript> Script;
};

} // namespace

TEST_F(ConnectionTest, AMissingPortShowsOneErrorBoxAndLeavesTheStateAlone) {
  Form->Core().itConnectClick();
  Receive(TraceFrame());
  Form->Core().itDisconnectClick();
  Receive(""); // nothing
  Form->Core().ScopeLink().State.SetSample(7, 33);

  TBoxWatcher Boxes;
  Script->Act = [](TPortDialog& D) {
    D.cbPort->setEditText(QStringLiteral("COM9"));
    D.btnOK->click();
  };
  Form->itConnect->trigger(); // through the menu, so the box comes from the loop
  ProcessPendingEvents();
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Title, "HXT24");
  EXPECT_EQ(Boxes.Boxes()[0].Text, "Unable to open com port (win error code: 2)");
  EXPECT_EQ(Boxes.Boxes()[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_EQ(Form->Core().Samples()[7], 33); // not reset: the open failed
}

TEST_F(ConnectionTest, ShortcutsOfDisabledCommandsDoNothing) {
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));

  // Closed: Ctrl+F4 would reset the trace if Disconnect ran.
  Form->Core().ScopeLink().State.SetSample(0, 10);
  QTest::keyClick(Form.get(), Qt::Key_F4, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_EQ(Form->Core().Samples()[0], 10);
  EXPECT_EQ(Script->Shown, 0);

  // Ctrl+O connects; once open it does nothing.
  QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_EQ(Script->Shown, 1);
  ASSERT_TRUE(Form->Core().ComPort().Connected());
  // The dialog had the focus; the window gets it back as the user's window
  // manager would give it.
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_EQ(Script->Shown, 1);
  EXPECT_EQ(Opens("COM1"), 1);

  // Ctrl+F4 disconnects when open.
  QTest::keyClick(Form.get(), Qt::Key_F4, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_FALSE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
}

TEST_F(ConnectionTest, AFailureAfterOpeningStillLeavesAWayToDisconnect) {
  TBoxWatcher Boxes;
  Form->Core().ComPort().SetOnAfterOpen([](TObject*) { throw Exception("signal report failed"); });
  Form->itConnect->trigger();
  ProcessPendingEvents();
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Text, "signal report failed.");
  ASSERT_TRUE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(MenuConnected());
  Form->itDisconnect->trigger();
  ProcessPendingEvents();
  EXPECT_FALSE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
}

TEST_F(ConnectionTest, DisconnectAfterTheDeviceVanishedReturnsToDisconnected) {
  TBoxWatcher Boxes;
  Form->Core().itConnectClick();
  Receive(TraceFrame());
  // The event thread's wait fails and the port reports it on the main thread.
  Fake.Vanish("COM1");
  QEventLoop Loop;
  QTimer Guard;
  QObject::connect(&Guard, &QTimer::timeout, &Loop, [&] {
    if (!Boxes.Boxes().empty())
      Loop.quit();
  });
  Guard.start(5);
  QTimer::singleShot(15000, &Loop, &QEventLoop::quit);
  Loop.exec();
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Text.toStdString().rfind("WaitForEvent method failed", 0), 0u)
      << Boxes.Boxes()[0].Text.toStdString();
  EXPECT_TRUE(MenuConnected());

  Form->itDisconnect->trigger();
  ProcessPendingEvents();
  EXPECT_FALSE(Form->Core().ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_TRUE(TraceIsFlat());
  // One vanished device, one box: the dead line refusing the purge that
  // closing starts with is not shown again.
  EXPECT_EQ(Boxes.Boxes().size(), 1u);
}

TEST(Connection, AHangUpOnAPseudoTerminalShowsOneBoxThroughDisconnectAndClose) {
  InitComPortErrors();
  TTempDir Dir;
  TBoxWatcher Boxes;
  for (const bool ByDisconnect : {true, false}) {
    SCOPED_TRACE(ByDisconnect ? "Disconnect" : "closing the window");
    const int Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(Master, 0);
    ASSERT_EQ(grantpt(Master), 0);
    ASSERT_EQ(unlockpt(Master), 0);
    const std::size_t Before = Boxes.Boxes().size();
    auto Form = std::make_unique<TMainWindow>(Dir.File("config.ini"));
    Form->Core().ConnectTo(ptsname(Master));
    ASSERT_TRUE(Form->Core().ComPort().Connected());
    close(Master); // the scope's end hangs up
    // The event thread's wait fails and reports it on the main thread.
    QEventLoop Loop;
    QTimer Guard;
    QObject::connect(&Guard, &QTimer::timeout, &Loop, [&] {
      if (Boxes.Boxes().size() > Before)
        Loop.quit();
    });
    Guard.start(5);
    QTimer::singleShot(15000, &Loop, &QEventLoop::quit);
    Loop.exec();
    ASSERT_EQ(Boxes.Boxes().size(), Before + 1);
    EXPECT_TRUE(Boxes.Boxes().back().Text.startsWith("WaitForEvent method failed"))
        << Boxes.Boxes().back().Text.toStdString();
    if (ByDisconnect) {
      Form->itDisconnect->trigger();
      ProcessPendingEvents();
      EXPECT_FALSE(Form->Core().ComPort().Connected());
      EXPECT_TRUE(Form->itConnect->isEnabled());
    }
    Form.reset();
    ProcessPendingEvents();
    EXPECT_EQ(Boxes.Boxes().size(), Before + 1) << Boxes.Boxes().back().Text.toStdString();
  }
  DoneComPortErrors();
}

// Ctrl+F4, Ctrl+O, Enter, as a user reconnects from the keyboard, after
// start-up connected to a port given by name: each Enter opens that port.
TEST_F(ConnectionTest, KeyboardReconnectsOpenTheSamePortEveryTime) {
  Fake.AddLine("/dev/ttyUSB3");
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  int Enters = 0;
  Script->Act = [&Enters](TPortDialog& D) {
    QApplication::setActiveWindow(&D);
    // A second Enter when the first left the dialog open.
    for (int i = 0; i < 2 && D.isVisible(); ++i) {
      ++Enters;
      QWidget* Focused = QApplication::focusWidget();
      QTest::keyClick(Focused ? Focused : &D, Qt::Key_Return);
    }
    if (D.isVisible())
      D.reject();
  };
  Form->Core().ConnectTo("/dev/ttyUSB3"); // as --port does
  for (int Round = 1; Round <= 3; ++Round) {
    SCOPED_TRACE(Round);
    // The dialog had the focus; the window gets it back as the user's window
    // manager would give it.
    QApplication::setActiveWindow(Form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QTest::keyClick(Form.get(), Qt::Key_F4, Qt::ControlModifier);
    ProcessPendingEvents();
    ASSERT_FALSE(Form->Core().ComPort().Connected());
    QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
    ProcessPendingEvents();
    EXPECT_EQ(Script->Shown, Round);
    EXPECT_EQ(Enters, Round);
    EXPECT_EQ(Opens("/dev/ttyUSB3"), Round + 1);
    EXPECT_EQ(Opens("COM1"), 0);
    ASSERT_TRUE(Form->Core().ComPort().Connected());
  }
}

// A Connect left with Cancel (clicked) does not move the focus of the next:
// it opens in the port field, typing goes there and Enter is OK.
TEST_F(ConnectionTest, AfterCancelTheNextConnectTakesTypingAndEnter) {
  Form->show();
  Script->Act = [](TPortDialog& D) { QTest::mouseClick(D.btnCancel, Qt::LeftButton); };
  Form->Core().itConnectClick();
  ASSERT_EQ(Script->Shown, 1);
  ASSERT_FALSE(Form->Core().ComPort().Connected());

  QWidget* Focused = nullptr;
  Script->Act = [&Focused](TPortDialog& D) {
    QApplication::setActiveWindow(&D);
    Focused = QApplication::focusWidget();
    if (Focused)
      QTest::keyClicks(Focused, QStringLiteral("COM3"));
    if (QApplication::focusWidget())
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    if (D.isVisible())
      D.reject();
  };
  try {
    Form->Core().itConnectClick();
  } catch (const std::exception& E) {
    ADD_FAILURE() << E.what() << ": " << Form->Core().PortName();
  }
  ASSERT_NE(Focused, nullptr);
  EXPECT_TRUE(Focused == PortDialog->cbPort || Focused->parentWidget() == PortDialog->cbPort)
      << Focused->metaObject()->className();
  EXPECT_EQ(Opens("COM3"), 1);
  EXPECT_TRUE(Form->Core().ComPort().Connected());
}
