#include "app/MainFrm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "../TestUtil.h"
#include "FakeMainView.h"
#include "base/ExePath.h"
#include "cport/CPort.h"
#include "cport/ComPortErrors.h"
#include "cport/platform/FakeDevice.h"
#include "scope/PixelImage.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// A trace frame with mode 3, time base 20, x10 sensitivity 9, hold and
// memory, DC: every received value 200.
std::string TraceFrame() {
  std::string F = {0x42, 0x41, 10, 1, static_cast<char>(0xD4), static_cast<char>(0xF9), 0, 0, 0, 0};
  F.resize(266, static_cast<char>(200));
  return F;
}

class MainFrmTest : public ::testing::Test {
protected:
  MainFrmTest() {
    InitComPortErrors();
    Fake.AddLine("COM1");
    Fake.AddLine("COM3");
  }
  ~MainFrmTest() override {
    Form.reset();
    DoneComPortErrors();
  }
  std::string IniFile() const { return Dir.File("config.ini"); }
  void WriteIni(std::string_view Contents) const { WriteTextFile(IniFile(), Contents); }
  TMainForm& Create() {
    Form.reset();
    View = FakeMainView();
    Form = std::make_unique<TMainForm>(View, IniFile());
    View.Form = Form.get();
    Form->ComPort().SetDevice(Fake);
    return *Form;
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
  // The core's menu state and the view's agree, and say connected.
  bool MenuConnected() const {
    return !Form->CommandEnabled(TMainCommand::mcConnect) &&
           Form->CommandEnabled(TMainCommand::mcDisconnect) && !View.ConnectEnabled &&
           View.DisconnectEnabled;
  }
  bool MenuDisconnected() const {
    return Form->CommandEnabled(TMainCommand::mcConnect) &&
           !Form->CommandEnabled(TMainCommand::mcDisconnect) && View.ConnectEnabled &&
           !View.DisconnectEnabled;
  }

  TTempDir Dir;
  TFakeComDevice Fake;
  FakeMainView View;
  std::unique_ptr<TMainForm> Form;
};

} // namespace

TEST_F(MainFrmTest, StartsDisconnectedWithTheDesignedSizeDefaultColoursAndAFlatTrace) {
  Create();
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_EQ(View.WindowW, 625);
  EXPECT_EQ(View.WindowH, 375);
  EXPECT_EQ(Form->TraceColor(), 0x00FF00u);
  EXPECT_EQ(Form->GridColor(), 0x808080u);
  EXPECT_EQ(Form->BackColor(), 0x808000u);
  EXPECT_TRUE(TraceIsFlat());
  for (int i = 0; i < TMainForm::PanelCount; ++i)
    EXPECT_EQ(Form->PanelText(i), "") << "panel " << i;
  EXPECT_EQ(Form->PortName(), "COM1");
  const std::array<int, TMainForm::PanelCount> Widths = {45, 75, 75, 50, 50, 50, 50, 50, 50, 50};
  EXPECT_EQ(TMainForm::PanelWidths, Widths);

  // The picture: background, grid and the flat line just above the middle,
  // in the default colours (0xFFRRGGBB pixels).
  const TPixelImage& Picture = Form->ScopePaint();
  ASSERT_EQ(Picture.Width(), 615);
  ASSERT_EQ(Picture.Height(), 284);
  int FirstTrace = -1;
  for (int y = 0; y < Picture.Height() && FirstTrace < 0; ++y)
    if (Picture.Pixel(3, y) == 0xFF00FF00u)
      FirstTrace = y;
  EXPECT_LT(FirstTrace, 284 / 2);
  EXPECT_GT(FirstTrace, 284 / 2 - 4);
  EXPECT_EQ(Picture.Pixel(0, 284 / 3), 0xFF808080u); // left edge line
  EXPECT_EQ(Picture.Pixel(3, 5), 0xFF008080u);
}

TEST_F(MainFrmTest, ConfigFileSetsSizeThenHeightAndColours) {
  struct Row {
    const char* Ini;
    int Width, Height;
    std::uint32_t Trace, Grid, Back;
  } const Rows[] = {
      {"[Settings]\nWidth=800\nHeight=600\n", 800, 600, 65280, 8421504, 8421376},
      {"[Settings]\nTraceColor=$0000FF\nGridColor=0xFF0000\nBackColor=255\n", 625, 375, 0xFF,
       0xFF0000, 0xFF},
      {"[settings]\nwidth=700\nHEIGHT=500\ntracecolor=$00FF00\n", 700, 500, 0xFF00, 8421504,
       8421376},
      {"[Settings]\nWidth=wide\nHeight=12px\n", 625, 375, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=50\nHeight=-300\n", 625, 375, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=16385\nHeight=100000\n", 625, 375, 65280, 8421504, 8421376},
      {"[Settings]\nWidth=16384\nHeight=150\n", 16384, 150, 65280, 8421504, 8421376},
      {"[Settings]\nTraceColor=$FF0000FF\nBackColor=-1\n", 625, 375, 0xFF, 8421504, 0xFFFFFF},
      {"[Other]\nWidth=800\nTraceColor=255\n", 625, 375, 65280, 8421504, 8421376},
  };
  for (const auto& R : Rows) {
    WriteIni(R.Ini);
    Create();
    EXPECT_EQ(View.WindowW, R.Width) << R.Ini;
    EXPECT_EQ(View.WindowH, R.Height) << R.Ini;
    EXPECT_EQ(Form->TraceColor(), R.Trace) << R.Ini;
    EXPECT_EQ(Form->GridColor(), R.Grid) << R.Ini;
    EXPECT_EQ(Form->BackColor(), R.Back) << R.Ini;
  }
  // The width is set first, the height then: each from the window as it is.
  WriteIni("[Settings]\nWidth=800\nHeight=600\n");
  Create();
  std::vector<std::string> Sizes;
  std::copy_if(View.Calls.begin(), View.Calls.end(), std::back_inserter(Sizes),
               [](const std::string& C) { return C.rfind("Size", 0) == 0; });
  EXPECT_EQ(Sizes, (std::vector<std::string>{"Size 800x375", "Size 800x600"}));
}

TEST_F(MainFrmTest, ConfigFileIsReadOnceAtCreationAndNeverWritten) {
  const std::string Ini = "[Settings]\r\nTraceColor=255\r\n; a comment\r\n";
  WriteIni(Ini);
  Create();
  WriteIni("[Settings]\nTraceColor=65280\nWidth=900\n");
  Form->ScopePaint();
  EXPECT_EQ(Form->TraceColor(), 255u);
  EXPECT_EQ(View.WindowW, 625);
  WriteIni(Ini);
  Form->itExitClick();
  EXPECT_EQ(View.Calls.back(), "Close");
  Form.reset();
  EXPECT_EQ(ReadTextFile(IniFile()), Ini);
}

#ifndef _WIN32
// A config.ini that is a FIFO is not waited on: the window opens at its
// designed size. (A watchdog releases a reader stuck on the FIFO, so a wrong
// build fails instead of hanging.)
TEST_F(MainFrmTest, ConfigFileThatIsAFifoGivesTheDefaults) {
  ASSERT_EQ(mkfifo(IniFile().c_str(), 0666), 0);
  std::atomic<bool> Done{false}, Released{false};
  std::thread Watchdog([&] {
    for (int i = 0; i < 1000 && !Done; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    while (!Done) {
      const int Fd = open(IniFile().c_str(), O_WRONLY | O_NONBLOCK);
      if (Fd >= 0) {
        Released = true;
        close(Fd);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  Create();
  Done = true;
  Watchdog.join();
  EXPECT_FALSE(Released) << "the window waited on the FIFO";
  EXPECT_EQ(View.WindowW, TMainForm::DesignedWidth);
  EXPECT_EQ(View.WindowH, TMainForm::DesignedHeight);
  EXPECT_EQ(Form->TraceColor(), 65280u);
}
#endif

TEST_F(MainFrmTest, ThePortHasTheScopesLineSettingsAndTheComponentsDefaults) {
  Create();
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

TEST_F(MainFrmTest, OkUntouchedConnectsCom1AndTheNextConnectOffersTheLastChoice) {
  Create();
  Form->itConnectClick();
  EXPECT_EQ(Opens("COM1"), 1);
  EXPECT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuConnected());
  // Connect is disabled while connected: a queued one does nothing.
  Form->itConnectClick();
  EXPECT_EQ(Opens("COM1"), 1);

  Form->itDisconnectClick();
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
  // Disconnect is disabled while closed: it would reset the trace.
  Form->ScopeLink().State.SetSample(0, 10);
  Form->itDisconnectClick();
  EXPECT_EQ(Form->Samples()[0], 10);

  View.PortDialog = [](std::string& Name) {
    Name = "COM3";
    return true;
  };
  Form->itConnectClick();
  EXPECT_EQ(Opens("COM3"), 1);
  Form->itDisconnectClick();
  // Cancel keeps the text the user left in the dialog, too.
  View.PortDialog = [](std::string& Name) {
    EXPECT_EQ(Name, "COM3");
    Name = "COM7";
    return false;
  };
  Form->itConnectClick();
  EXPECT_EQ(Form->PortName(), "COM7");
  std::string Offered;
  View.PortDialog = [&Offered](std::string& Name) {
    Offered = Name;
    Name = "COM3";
    return true;
  };
  Form->itConnectClick();
  EXPECT_EQ(Offered, "COM7");
  EXPECT_EQ(Opens("COM3"), 2);

  // A name given at start-up is what the dialog offers next.
  Form->itDisconnectClick();
  Form->ConnectTo("COM1");
  Form->itDisconnectClick();
  Form->itConnectClick();
  EXPECT_EQ(Offered, "COM1");
}

TEST_F(MainFrmTest, CancelLeavesThePortClosedTheMenuAsItWasAndTheTraceFlat) {
  Create();
  // A trace left from an earlier connection.
  Form->itConnectClick();
  Receive(TraceFrame());
  Form->itDisconnectClick();
  Form->ScopeLink().State.SetSample(7, 33);
  ASSERT_FALSE(TraceIsFlat());
  Fake.ClearCalls();

  View.PortDialog = [](std::string&) { return false; };
  Form->itConnectClick();
  EXPECT_TRUE(Fake.Calls().empty());
  EXPECT_FALSE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_TRUE(TraceIsFlat());
}

TEST_F(MainFrmTest, AMissingPortLeavesTheCommandAsAnExceptionAndTheStateAlone) {
  Create();
  Form->ScopeLink().State.SetSample(7, 33);
  View.PortDialog = [](std::string& Name) {
    Name = "COM9";
    return true;
  };
  try {
    Form->itConnectClick();
    ADD_FAILURE() << "no exception";
  } catch (const EComPort& E) {
    EXPECT_EQ(std::string(E.what()), "Unable to open com port (win error code: 2)");
  }
  EXPECT_TRUE(MenuDisconnected());
  EXPECT_EQ(Form->Samples()[7], 33); // not reset: the open failed
  EXPECT_EQ(Form->PortName(), "COM9");

  // A failure after the port opened leaves a way to Disconnect.
  Form->ComPort().SetOnAfterOpen([](TObject*) { throw Exception("signal report failed"); });
  View.PortDialog = [](std::string& Name) {
    Name = "COM1";
    return true;
  };
  EXPECT_EXCEPTION_MESSAGE(Form->itConnectClick(), "signal report failed");
  ASSERT_TRUE(Form->ComPort().Connected());
  EXPECT_TRUE(MenuConnected());
  Form->itDisconnectClick();
  EXPECT_TRUE(MenuDisconnected());
}

TEST_F(MainFrmTest, FramesFillThePanelsAndRepaintAtOnceAndDisconnectFlattensTheTraceOnly) {
  Create();
  Form->itConnectClick();
  const std::string Frame = TraceFrame();
  // One frame in three pieces, as the line delivers it.
  Receive(Frame.substr(0, 5));
  Receive(Frame.substr(5, 200));
  EXPECT_EQ(Form->PanelText(0), "");
  const int RepaintsBefore = View.Repaints;
  Receive(Frame.substr(205));
  const char* Expected[] = {"roll", "X=1s/div", "Y=40v/div", "Hold", "Memory", "DC", "x10"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Form->PanelText(i), Expected[i]);
    EXPECT_EQ(View.Panels[static_cast<std::size_t>(i)], Expected[i]);
  }
  EXPECT_EQ(Form->Samples()[100], 56);
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 0u);
  // Repainted inside the handler with the picture the export would save.
  EXPECT_EQ(View.Repaints, RepaintsBefore + 1);
  const TPixelImage Repainted = View.Shown;
  EXPECT_EQ(Repainted, Form->ScopePaint());
  EXPECT_EQ(Repainted.Width(), View.ScopeW);

  Form->itDisconnectClick();
  EXPECT_TRUE(TraceIsFlat());
  EXPECT_NE(View.Shown, Repainted);
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(Form->PanelText(i), Expected[i]);
}

TEST_F(MainFrmTest, AFrameCutByDisconnectIsCompletedByTheNextConnection) {
  Create();
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

TEST_F(MainFrmTest, DestroyingTheFormWhileConnectedClosesThePortFirst) {
  Create();
  Form->itConnectClick();
  ASSERT_TRUE(Fake.IsOpen("COM1"));
  // The drawing objects must still be there when the port closes.
  TMainForm* Closing = Form.get();
  int Closes = 0;
  bool PictureThere = false;
  Closing->ComPort().SetOnAfterClose([&](TObject*) {
    ++Closes;
    PictureThere = !Closing->ScopePaint().IsEmpty();
  });
  delete Form.release();
  EXPECT_EQ(Closes, 1);
  EXPECT_TRUE(PictureThere);
  EXPECT_FALSE(Fake.IsOpen("COM1"));
  EXPECT_EQ(Fake.OpenHandles(), 0);
}

TEST_F(MainFrmTest, SaveDialogsOfferTheirFilterExtensionNameAndFolder) {
  Create();
  View.Pictures = Dir.File("Pictures");
  View.Documents = Dir.File("Documents");
  View.Home = Dir.Path().string();
  Form->tbbCaptureClick();
  Form->tbSavePlotClick();
  ASSERT_EQ(View.SaveRequests.size(), 2u);
  const TSaveRequest& Picture = View.SaveRequests[0];
  EXPECT_EQ(Picture.Filter, "Bitmap (*.bmp)");
  EXPECT_EQ(Picture.Pattern, "*.BMP");
  EXPECT_EQ(Picture.DefaultExt, "bmp");
  EXPECT_EQ(Picture.FileName, "plot.bmp");
  const TSaveRequest& Values = View.SaveRequests[1];
  EXPECT_EQ(Values.Filter, "Text file (*.txt)");
  EXPECT_EQ(Values.Pattern, "*.txt");
  EXPECT_EQ(Values.DefaultExt, "txt");
  EXPECT_EQ(Values.FileName, "plot.txt");
  // The test's folder is writable: the dialogs start there, as in a build tree.
  EXPECT_EQ(Picture.InitialDir, ExecutableDir());
  EXPECT_EQ(Values.InitialDir, ExecutableDir());
  // Cancelled: nothing written.
  EXPECT_TRUE(std::filesystem::is_empty(Dir.Path()));
}

TEST_F(MainFrmTest, ExportsWriteTheChosenFilesAndFailuresLeaveTheCommand) {
  Create();
  View.SaveAnswer = Dir.File("values.txt");
  Form->tbSavePlotClick();
  // Before any frame: labels alone, and every position holds the reset value.
  const std::string Text = ReadTextFile(Dir.File("values.txt"));
  EXPECT_EQ(Text.substr(0, 60),
            "Trigger=\r\n\r\n\r\nHold=\r\nMemory=\r\nAC/DC=\r\nProbe=\r\n\r\n0=129\r\n1=129");
  EXPECT_EQ(std::count(Text.begin(), Text.end(), '\n'), 264);

  // The picture is what the scope area shows at the click, at its size.
  View.ScopeW = 1000 - 10;
  View.ScopeH = 700 - 91;
  View.SaveAnswer = Dir.File("shot.bmp");
  Form->tbbCaptureClick();
  const std::string Bmp = ReadTextFile(Dir.File("shot.bmp"));
  ASSERT_GE(Bmp.size(), 54u);
  EXPECT_EQ(Bmp.substr(0, 2), "BM");
  const auto Le32 = [&](std::size_t At) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(Bmp[At])) |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(Bmp[At + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(Bmp[At + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(Bmp[At + 3])) << 24;
  };
  EXPECT_EQ(Le32(18), 990u);
  EXPECT_EQ(Le32(22), 609u);

  View.SaveAnswer = Dir.File("missing/plot.txt");
  try {
    Form->tbSavePlotClick();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message().rfind("Cannot create file", 0), 0u) << E.Message();
  }
}

TEST_F(MainFrmTest, ExitAndAboutGoToTheView) {
  Create();
  View.Calls.clear();
  Form->itAboutClick();
  Form->itExitClick();
  EXPECT_EQ(View.Calls, (std::vector<std::string>{"About", "Close"}));
}
