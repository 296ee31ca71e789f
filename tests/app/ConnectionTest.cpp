#include "app/MainFrm.h"

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

#include "../TestUtil.h"
#include "AppTestUtil.h"
#include "app/AboutDlg.h"
#include "app/PortDlg.h"
#include "app/Startup.h"
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
    Form = std::make_unique<TMainForm>(Dir.File("config.ini"));
    Form->ComPort().SetDevice(Fake);
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
    const std::string& Port = Form->ComPort().Port();
    Fake.PushReceived(Port, Bytes);
    Form->ComPort().OnRxChar()(&Form->ComPort(), static_cast<std::int32_t>(Fake.QueuedBytes(Port)));
  }
  bool TraceIsFlat() const {
    const auto& S = Form->Samples();
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
  std::unique_ptr<TMainForm> Form;
  std::unique_ptr<TPortDialog> PortDialog;
  std::unique_ptr<TAboutDialog> AboutDialog;
  std::unique_ptr<TPortDialogScript> Script;
};

} // namespace

TEST_F(ConnectionTest, ThePortHasTheScopesLineSettingsAndTheComponentsDefaults) {
  TComPort& Port = Form->ComPort();
  EXPECT_EQ(Port.BaudRate(), TBaudRate::br57600);
  EXPECT_EQ(Port.Parity().Bits(), TParityBits::prNone);
  EXPECT_EQ(Port.StopBits(), TStopBits::sbOneStopBit);
  EXPECT_EQ(Port.DataBits(), TDataBits::dbEight);
  EXPECT_EQ(Port.Buffer().InputSize(), 1024);
  EXPECT_EQ(Port.FlowControl().ControlDTR(), TDTRFlowControl::dtrDisable);
  EXPECT_EQ(Port.FlowControl().ControlRTS(), TRTSFlowControl::rtsEnable);
  EXPECT_FALSE(Port.FlowControl().OutCTSFlow());
  EXPECT_FALSE(Port.FlowControl().OutDSRFlow());
  EXPECT_FALSE(Port.FlowControl().XonXoffOut());
  EXPECT_FALSE(Port.FlowControl().XonXoffIn());
  EXPECT_TRUE(static_cast<bool>(Port.OnRxChar()));
  EXPECT_FALSE(Port.Connected());
  TComPort Defaults;
  EXPECT_EQ(Port.Port(), Defaults.Port());
  EXPECT_EQ(Port.SyncMethod(), Defaults.SyncMethod());
  EXPECT_EQ(Port.Events(), Defaults.Events());

  // What reaches the device at Connect.
  Form->itConnectClick();
  const auto States = Fake.States();
  ASSERT_FALSE(States.empty());
  const TDeviceControlBlock& State = States.back();
  EXPECT_EQ(State.BaudRate, 57600u);
  EXPECT_EQ(State.ByteSize, 8);
  EXPECT_EQ(State.Parity, 0);
  EXPECT_EQ(State.StopBits, 0);
  EXPECT_EQ(State.Flags & dcb::DtrControlMask, 0u);
  EXPECT_EQ(State.Flags & (dcb::OutxCtsFlow | dcb::OutxDsrFlow), 0u);
  const auto Calls = Fake.Calls();
  EXPECT_NE(std::find(Calls.begin(), Calls.end(),
                      "SetupComm 1024 " + std::to_string(Defaults.Buffer().OutputSize())),
            Calls.end());
}

TEST_F(ConnectionTest, OkUntouchedConnectsCom1AndTheNextConnectOffersTheLastChoice) {
  Form->itConnectClick();
  EXPECT_EQ(Opens("COM1"), 1);
  EXPECT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuConnected());

  Form->itDisconnectClick();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());

  Script->Act = [](TPortDialog& D) {
    D.cbPort->setCurrentIndex(2);
    D.btnOK->click();
  };
  Form->itConnectClick();
  EXPECT_EQ(Opens("COM3"), 1);
  Form->itDisconnectClick();
  QString Offered;
  Script->Act = [&Offered](TPortDialog& D) {
    Offered = D.cbPort->currentText();
    D.btnOK->click();
  };
  Form->itConnectClick();
  EXPECT_EQ(Offered, "COM3");
  EXPECT_EQ(Opens("COM3"), 2);
}

TEST_F(ConnectionTest, CancelLeavesThePortClosedTheMenuAsItWasAndTheTraceFlat) {
  // A trace left from an earlier connection.
  Form->itConnectClick();
  Receive(TraceFrame());
  Form->ComPort().ClosePort();
  ASSERT_FALSE(TraceIsFlat());
  Form->itConnect->setEnabled(true);
  Form->itDisconnect->setEnabled(false);
  Fake.ClearCalls();

  Script->Act = [](TPortDialog& D) { D.btnCancel->click(); };
  Form->itConnectClick();
  EXPECT_EQ(Script->Shown, 2);
  EXPECT_TRUE(Fake.Calls().empty());
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_TRUE(TraceIsFlat());
}

TEST_F(ConnectionTest, AMissingPortShowsOneErrorBoxAndLeavesTheStateAlone) {
  Form->itConnectClick();
  Receive(TraceFrame());
  Form->itDisconnectClick();
  Receive(""); // nothing
  Form->ScopeLink().State.SetSample(7, 33);

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
  EXPECT_EQ(Form->Samples()[7], 33); // not reset: the open failed
}

TEST_F(ConnectionTest, ShortcutsOfDisabledCommandsDoNothing) {
  Form->show();
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));

  // Closed: Ctrl+F4 would reset the trace if Disconnect ran.
  Form->ScopeLink().State.SetSample(0, 10);
  QTest::keyClick(Form.get(), Qt::Key_F4, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_EQ(Form->Samples()[0], 10);
  EXPECT_EQ(Script->Shown, 0);

  // Ctrl+O connects; once open it does nothing.
  QTest::keyClick(Form.get(), Qt::Key_O, Qt::ControlModifier);
  ProcessPendingEvents();
  EXPECT_EQ(Script->Shown, 1);
  ASSERT_TRUE(Form->ComPort().Connected());
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
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
}

TEST_F(ConnectionTest, FramesFromThePortFillTheWindowAndDisconnectFlattensTheTraceOnly) {
  Form->itConnectClick();
  const std::string Frame = TraceFrame();
  // One frame in three pieces, as the line delivers it.
  Receive(Frame.substr(0, 5));
  Receive(Frame.substr(5, 200));
  EXPECT_EQ(Form->PanelText(0), "");
  Receive(Frame.substr(205));
  const char* Expected[] = {"roll", "X=1s/div", "Y=40v/div", "Hold", "Memory", "DC", "x10"};
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(Form->PanelText(i), Expected[i]);
  EXPECT_EQ(Form->Samples()[100], 56);
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 0u);

  Form->itDisconnectClick();
  EXPECT_TRUE(TraceIsFlat());
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(Form->PanelText(i), Expected[i]);
}

TEST_F(ConnectionTest, AFrameCutByDisconnectIsCompletedByTheNextConnection) {
  Form->itConnectClick();
  const std::string Frame = TraceFrame();
  // Sync byte and header taken; the payload is awaited when the line closes.
  Receive(Frame.substr(0, 7));
  Form->itDisconnectClick();
  EXPECT_EQ(Form->PanelText(0), "");
  Form->itConnectClick();
  Receive(Frame.substr(7));
  EXPECT_EQ(Form->PanelText(0), "roll");
}

TEST_F(ConnectionTest, ClosingTheWindowWhileConnectedClosesThePortFirst) {
  Form->show();
  ProcessPendingEvents();
  Form->itConnectClick();
  ASSERT_TRUE(Fake.IsOpen("COM1"));
  ASSERT_FALSE(Form->ScopePicture().isNull());
  // The window's drawing objects must still be there when the port closes.
  TMainForm* Closing = Form.get();
  int Closes = 0;
  bool PictureThere = false;
  Closing->ComPort().SetOnAfterClose([&](TObject*) {
    ++Closes;
    PictureThere = !Closing->ScopePicture().isNull();
  });
  Script.reset();
  PortDialog.reset(); // children of the window: gone first here
  AboutDialog.reset();
  Form.reset();
  EXPECT_EQ(Closes, 1);
  EXPECT_TRUE(PictureThere);
  EXPECT_FALSE(Fake.IsOpen("COM1"));
  EXPECT_EQ(Fake.OpenHandles(), 0);
}

TEST_F(ConnectionTest, AFailureAfterOpeningStillLeavesAWayToDisconnect) {
  TBoxWatcher Boxes;
  Form->ComPort().SetOnAfterOpen([](TObject*) { throw Exception("signal report failed"); });
  Form->itConnect->trigger();
  ProcessPendingEvents();
  ASSERT_EQ(Boxes.Boxes().size(), 1u);
  EXPECT_EQ(Boxes.Boxes()[0].Text, "signal report failed.");
  ASSERT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuConnected());
  Form->itDisconnect->trigger();
  ProcessPendingEvents();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
}

TEST_F(ConnectionTest, DisconnectAfterTheDeviceVanishedReturnsToDisconnected) {
  TBoxWatcher Boxes;
  Form->itConnectClick();
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
  EXPECT_FALSE(Form->ComPort().Connected());
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
    auto Form = std::make_unique<TMainForm>(Dir.File("config.ini"));
    Form->ConnectTo(ptsname(Master));
    ASSERT_TRUE(Form->ComPort().Connected());
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
      EXPECT_FALSE(Form->ComPort().Connected());
      EXPECT_TRUE(Form->itConnect->isEnabled());
    }
    Form.reset();
    ProcessPendingEvents();
    EXPECT_EQ(Boxes.Boxes().size(), Before + 1) << Boxes.Boxes().back().Text.toStdString();
  }
  DoneComPortErrors();
}

TEST(CommandLine, Options) {
  struct Row {
    std::vector<std::string> Args;
    bool Help, Version, Demo;
    const char* Port;
    bool Error;
  } const Rows[] = {
      {{"hxt24"}, false, false, false, "", false},
      {{"hxt24", "--port", "COM3"}, false, false, false, "COM3", false},
      {{"hxt24", "--port=/dev/pts/4"}, false, false, false, "/dev/pts/4", false},
      {{"hxt24", "--demo"}, false, false, true, "", false},
      {{"hxt24", "--help"}, true, false, false, "", false},
      {{"hxt24", "--version"}, false, true, false, "", false},
      {{"hxt24", "-platform", "offscreen"}, false, false, false, "", false},
      {{"hxt24", "--port"}, false, false, false, "", true},
      {{"hxt24", "--frobnicate"}, false, false, false, "", true},
      {{"hxt24", "--demo", "--port", "COM1"}, false, false, true, "COM1", true},
  };
  for (const auto& R : Rows) {
    const TCommandLine Line = ParseCommandLine(R.Args);
    const std::string Args = R.Args.size() > 1 ? R.Args[1] : "";
    EXPECT_EQ(Line.Help, R.Help) << Args;
    EXPECT_EQ(Line.Version, R.Version) << Args;
    EXPECT_EQ(Line.Demo, R.Demo) << Args;
    if (!R.Error) {
      EXPECT_EQ(Line.Port, R.Port) << Args;
    }
    EXPECT_EQ(!Line.Error.empty(), R.Error) << Args;
  }
}
