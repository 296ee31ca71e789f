#include "cport/platform/PosixDevice.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "cport/CPort.h"
#include "cport/platform/PosixTermios.h"
#include "tests/cport/CPortTestUtil.h"

namespace {

TDeviceControlBlock ScopeRecord() {
  TDeviceControlBlock Dcb;
  Dcb.DCBlength = 28;
  Dcb.BaudRate = 57600;
  Dcb.Flags = dcb::Binary | dcb::RtsControlEnable;
  Dcb.XonLim = Dcb.XoffLim = 256;
  Dcb.ByteSize = 8;
  Dcb.XonChar = 17;
  Dcb.XoffChar = 19;
  return Dcb;
}

} // namespace

TEST(DevicePath, NamesMapToDevicePaths) {
  EXPECT_EQ(DevicePathForPort("/dev/pts/3"), "/dev/pts/3");
  EXPECT_EQ(DevicePathForPort("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathForPort("COM12"), "/dev/ttyS11");
  EXPECT_EQ(DevicePathForPort("ttyUSB0"), "/dev/ttyUSB0");
  // Not of the COMn form: looked up under /dev as they are.
  EXPECT_EQ(DevicePathForPort("COM0"), "/dev/COM0");
  EXPECT_EQ(DevicePathForPort("COM"), "/dev/COM");
  EXPECT_EQ(DevicePathForPort("COMx"), "/dev/COMx");
  EXPECT_EQ(DevicePathForPort("com3"), "/dev/com3");
  EXPECT_EQ(DevicePathForPort("COM99999999999"), "/dev/COM99999999999");
}

TEST(TermiosImage, LineSettingsBecomeRawTermiosFlags) {
  struct TRow {
    const char* Name;
    std::function<void(TDeviceControlBlock&)> Change;
    std::uint32_t CFlag, IFlag;
    TLineDrive Dtr, Rts;
  };
  constexpr std::uint32_t Base = CLOCAL | CREAD;
  using enum TLineDrive;
  const TRow Rows[] = {
      {"scope settings", [](TDeviceControlBlock&) {}, Base | CS8 | B57600, 0, ldOff, ldOn},
      {"odd", [](TDeviceControlBlock& D) { D.Parity = 1; }, Base | CS8 | B57600 | PARENB | PARODD,
       0, ldOff, ldOn},
      {"even", [](TDeviceControlBlock& D) { D.Parity = 2; }, Base | CS8 | B57600 | PARENB, 0, ldOff,
       ldOn},
      {"mark", [](TDeviceControlBlock& D) { D.Parity = 3; },
       Base | CS8 | B57600 | PARENB | PARODD | CMSPAR, 0, ldOff, ldOn},
      {"space", [](TDeviceControlBlock& D) { D.Parity = 4; }, Base | CS8 | B57600 | PARENB | CMSPAR,
       0, ldOff, ldOn},
      {"even, checked: bytes arrive unchanged, the counters report",
       [](TDeviceControlBlock& D) {
         D.Parity = 2;
         D.Flags |= dcb::Parity;
       },
       Base | CS8 | B57600 | PARENB, 0, ldOff, ldOn},
      {"even, checked, replaced by 0",
       [](TDeviceControlBlock& D) {
         D.Parity = 2;
         D.Flags |= dcb::Parity | dcb::ErrorChar;
       },
       Base | CS8 | B57600 | PARENB, INPCK, ldOff, ldOn},
      {"replacement without the check",
       [](TDeviceControlBlock& D) {
         D.Parity = 2;
         D.Flags |= dcb::ErrorChar;
         D.ErrorChar = '?';
       },
       Base | CS8 | B57600 | PARENB, 0, ldOff, ldOn},
      {"check without parity", [](TDeviceControlBlock& D) { D.Flags |= dcb::Parity; },
       Base | CS8 | B57600, 0, ldOff, ldOn},
      {"two stop bits", [](TDeviceControlBlock& D) { D.StopBits = 2; },
       Base | CS8 | B57600 | CSTOPB, 0, ldOff, ldOn},
      {"1.5 stop bits with 5 data bits",
       [](TDeviceControlBlock& D) {
         D.StopBits = 1;
         D.ByteSize = 5;
       },
       Base | CS5 | B57600 | CSTOPB, 0, ldOff, ldOn},
      {"6 data bits", [](TDeviceControlBlock& D) { D.ByteSize = 6; }, Base | CS6 | B57600, 0, ldOff,
       ldOn},
      {"7 data bits", [](TDeviceControlBlock& D) { D.ByteSize = 7; }, Base | CS7 | B57600, 0, ldOff,
       ldOn},
      {"dtr on rts off",
       [](TDeviceControlBlock& D) { D.Flags = dcb::Binary | dcb::DtrControlEnable; },
       Base | CS8 | B57600, 0, ldOn, ldOff},
      {"cts flow with the rts handshake",
       [](TDeviceControlBlock& D) {
         D.Flags = dcb::Binary | dcb::OutxCtsFlow | dcb::RtsControlHandshake;
       },
       Base | CS8 | B57600 | CRTSCTS, 0, ldOff, ldLeave},
      {"xon/xoff", [](TDeviceControlBlock& D) { D.Flags |= dcb::OutX | dcb::InX; },
       Base | CS8 | B57600, IXON | IXOFF, ldOff, ldOn},
      {"xon/xoff, continue after xoff",
       [](TDeviceControlBlock& D) { D.Flags |= dcb::OutX | dcb::InX | dcb::TXContinueOnXoff; },
       Base | CS8 | B57600, IXON | IXOFF, ldOff, ldOn},
      {"9600", [](TDeviceControlBlock& D) { D.BaudRate = 9600; }, Base | CS8 | B9600, 0, ldOff,
       ldOn},
      {"115200", [](TDeviceControlBlock& D) { D.BaudRate = 115200; }, Base | CS8 | B115200, 0,
       ldOff, ldOn},
      {"110", [](TDeviceControlBlock& D) { D.BaudRate = 110; }, Base | CS8 | B110, 0, ldOff, ldOn},
  };
  for (const TRow& Row : Rows) {
    SCOPED_TRACE(Row.Name);
    TDeviceControlBlock Dcb = ScopeRecord();
    Row.Change(Dcb);
    TPosixLineSettings Line;
    ASSERT_EQ(DcbToPosixLine(Dcb, Line), 0);
    EXPECT_EQ(Line.Termios.CFlag, Row.CFlag);
    EXPECT_EQ(Line.Termios.IFlag, Row.IFlag);
    EXPECT_EQ(Line.Termios.OFlag, 0u);
    EXPECT_EQ(Line.Termios.LFlag, 0u);
    EXPECT_FALSE(Line.Termios.CustomSpeed);
    EXPECT_EQ(Line.Termios.VStart, 17);
    EXPECT_EQ(Line.Termios.VStop, 19);
    EXPECT_EQ(Line.Termios.VMin, 0);
    EXPECT_EQ(Line.Dtr, Row.Dtr);
    EXPECT_EQ(Line.Rts, Row.Rts);
  }
}

TEST(TermiosImage, RatesWithoutConstantUseCustomSpeed) {
  for (std::uint32_t Rate : {14400u, 56000u, 128000u, 256000u, 250000u, 31250u, 1u}) {
    TDeviceControlBlock Dcb = ScopeRecord();
    Dcb.BaudRate = Rate;
    TPosixLineSettings Line;
    ASSERT_EQ(DcbToPosixLine(Dcb, Line), 0) << Rate;
    EXPECT_TRUE(Line.Termios.CustomSpeed) << Rate;
    EXPECT_EQ(Line.Termios.Speed, Rate);
    EXPECT_EQ(Line.Termios.CFlag & CBAUD, 0u) << Rate;
  }
}

TEST(TermiosImage, RequestsTheDriverCannotHonourAreRefused) {
  const std::pair<const char*, std::function<void(TDeviceControlBlock&)>> Rows[] = {
      {"dsr output flow", [](TDeviceControlBlock& D) { D.Flags |= dcb::OutxDsrFlow; }},
      {"dtr handshake", [](TDeviceControlBlock& D) { D.Flags |= dcb::DtrControlHandshake; }},
      {"rts toggle", [](TDeviceControlBlock& D) { D.Flags |= dcb::RtsControlToggle; }},
      {"dsr sensitivity", [](TDeviceControlBlock& D) { D.Flags |= dcb::DsrSensitivity; }},
      {"cts flow without the rts handshake",
       [](TDeviceControlBlock& D) { D.Flags |= dcb::OutxCtsFlow; }},
      {"rts handshake without cts flow",
       [](TDeviceControlBlock& D) { D.Flags = dcb::Binary | dcb::RtsControlHandshake; }},
      {"parity errors replaced by another character than 0",
       [](TDeviceControlBlock& D) {
         D.Parity = 2;
         D.Flags |= dcb::Parity | dcb::ErrorChar;
         D.ErrorChar = '?';
       }},
      {"equal xon and xoff", [](TDeviceControlBlock& D) { D.XoffChar = D.XonChar; }},
      {"1.5 stop bits with 8 data bits", [](TDeviceControlBlock& D) { D.StopBits = 1; }},
      {"2 stop bits with 5 data bits",
       [](TDeviceControlBlock& D) {
         D.StopBits = 2;
         D.ByteSize = 5;
       }},
      {"4 data bits", [](TDeviceControlBlock& D) { D.ByteSize = 4; }},
      {"parity 5", [](TDeviceControlBlock& D) { D.Parity = 5; }},
      {"stop bits 3", [](TDeviceControlBlock& D) { D.StopBits = 3; }},
      {"rate 0", [](TDeviceControlBlock& D) { D.BaudRate = 0; }},
  };
  for (const auto& [Name, Change] : Rows) {
    TDeviceControlBlock Dcb = ScopeRecord();
    Change(Dcb);
    TPosixLineSettings Line;
    EXPECT_EQ(DcbToPosixLine(Dcb, Line), EINVAL) << Name;
  }
}

TEST(ReadPlan, TimeoutsChooseHowAReadWaits) {
  struct TRow {
    const char* Name;
    TCommTimeouts Timeouts;
    std::int32_t Count;
    TReadPlan Plan;
  };
  const TRow Rows[] = {
      {"default: at once", {MAXDWORD, 0, 0, 100, 1000}, 64, {true, false, 0, 0}},
      {"first byte within 500 ms", {MAXDWORD, MAXDWORD, 500, 0, 0}, 64, {false, true, 500, 0}},
      {"multiplier MAXDWORD without constant",
       {MAXDWORD, MAXDWORD, 0, 0, 0},
       2,
       {false, false, 2ull * MAXDWORD, 0}},
      {"constant MAXDWORD",
       {MAXDWORD, MAXDWORD, MAXDWORD, 0, 0},
       1,
       {false, false, 2ull * MAXDWORD, 0}},
      {"all zero: until Count bytes", {0, 0, 0, 0, 0}, 10, {false, false, 0, 0}},
      {"total only", {0, 10, 100, 0, 0}, 5, {false, false, 150, 0}},
      {"interval only", {20, 0, 0, 0, 0}, 5, {false, false, 0, 20}},
      {"interval and total", {20, 1, 5, 0, 0}, 1000, {false, false, 1005, 20}},
      {"interval MAXDWORD with a total", {MAXDWORD, 0, 300, 0, 0}, 8, {false, false, 300, 0}},
      {"large count does not overflow",
       {0, 4000000, 0, 0, 0},
       2147483647,
       {false, false, 4000000ull * 2147483647ull, 0}},
  };
  for (const TRow& Row : Rows)
    EXPECT_EQ(PlanRead(Row.Timeouts, Row.Count), Row.Plan) << Row.Name;
}

TEST(LineCounters, ChangedCountersBecomeLineErrors) {
  const TLineCounters Before{1, 2, 3, 4, 5};
  EXPECT_EQ(CounterChangesToErrors(Before, Before), 0u);
  EXPECT_EQ(CounterChangesToErrors(Before, {2, 2, 3, 4, 5}), CE_FRAME);
  EXPECT_EQ(CounterChangesToErrors(Before, {1, 3, 3, 4, 5}), CE_OVERRUN);
  EXPECT_EQ(CounterChangesToErrors(Before, {1, 2, 4, 4, 5}), CE_RXPARITY);
  EXPECT_EQ(CounterChangesToErrors(Before, {1, 2, 3, 5, 5}), CE_BREAK);
  EXPECT_EQ(CounterChangesToErrors(Before, {1, 2, 3, 4, 6}), CE_RXOVER);
  // A counter that wrapped around still counts as a change.
  EXPECT_EQ(CounterChangesToErrors({2147483647, 0, 0, 0, 0}, {-2147483647 - 1, 0, 0, 0, 0}),
            CE_FRAME);
}

// ---- Pseudo-terminals ----

namespace {

class PseudoTerminal : public ::testing::Test {
protected:
  PseudoTerminal() {
    InitComPortErrors();
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0)
      throw std::runtime_error("no pseudo-terminal");
    SlavePath = ptsname(Master);
    Port.SetPort(SlavePath);
    Port.SetEvents({});
    Port.SetBaudRate(TBaudRate::br57600);
    Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsEnable);
  }
  ~PseudoTerminal() override {
    // Close the port while its other end is still there.
    try {
      Port.ClosePort();
    } catch (const EComPort&) {
    }
    if (Master >= 0)
      close(Master);
  }
  void WriteMaster(const std::string& Bytes) {
    ASSERT_EQ(write(Master, Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
  }
  // The terminal driver hands bytes to the device end asynchronously: wait
  // until Count of them are there.
  void AwaitQueued(int Count) {
    while (Port.InQueueCount() < Count) {
      pollfd Poll{static_cast<int>(Port.DeviceHandle()), POLLIN, 0};
      ASSERT_GE(poll(&Poll, 1, 1000), 0);
    }
  }

  int Master = -1;
  std::string SlavePath;
  TComPort Port;
};

} // namespace

TEST_F(PseudoTerminal, OpensAtScopeSettingsAndReadsWhatArrived) {
  Port.OpenPort();
  ASSERT_TRUE(Port.Connected());
  termios T;
  ASSERT_EQ(tcgetattr(static_cast<int>(Port.DeviceHandle()), &T), 0);
  EXPECT_EQ(cfgetospeed(&T), speed_t(B57600));
  EXPECT_EQ(T.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(T.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(T.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(Port.LineSignals(), TComLineSignals{}); // no modem lines on a pty

  char Buffer[8] = {};
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 0);
  WriteMaster("\x55\x01\xAA");
  AwaitQueued(3);
  EXPECT_EQ(Port.InQueueCount(), 3);
  EXPECT_EQ(Port.ReadBytes(Buffer, 5), 3);
  EXPECT_EQ(std::string(Buffer, 3), "\x55\x01\xAA");
  EXPECT_EQ(Port.InQueueCount(), 0);
  EXPECT_EQ(Port.TakeLineErrors(), TComErrors{});
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

TEST_F(PseudoTerminal, SecondOpenOfTheSameDeviceFails) {
  Port.OpenPort();
  TComPort Second;
  Second.SetPort(SlavePath);
  try {
    Second.OpenPort();
    ADD_FAILURE() << "second open succeeded";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), peOpenFailed);
    EXPECT_EQ(E.SystemErrorCode(), EBUSY);
  }
  EXPECT_FALSE(Second.Connected());
  Port.ClosePort();
  Second.OpenPort();
  EXPECT_TRUE(Second.Connected());
}

TEST_F(PseudoTerminal, MissingDeviceGivesSystemErrorTwo) {
  Port.SetPort("hxt24-no-such-port");
  try {
    Port.OpenPort();
    ADD_FAILURE() << "opened a missing device";
  } catch (const EComPort& E) {
    EXPECT_EQ(std::string(E.what()), "Unable to open com port (win error code: 2)");
  }
  EXPECT_FALSE(Port.Connected());
}

TEST_F(PseudoTerminal, CustomRateAndUnsupportedRequests) {
  Port.SetBaudRate(TBaudRate::brCustom);
  Port.SetCustomBaudRate(250000);
  Port.OpenPort();
  EXPECT_TRUE(Port.Connected());
  // While open: refused, and the port stays open.
  try {
    Port.FlowControl().SetControlRTS(TRTSFlowControl::rtsToggle);
    ADD_FAILURE() << "RTS toggle accepted";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), peSetStateFailed);
    EXPECT_EQ(E.SystemErrorCode(), EINVAL);
  }
  EXPECT_TRUE(Port.Connected());
  Port.ClosePort();
  // While opening: the handle is closed again.
  const int Before = OpenDescriptorCount();
  EXPECT_THROW(Port.OpenPort(), EComPort);
  EXPECT_FALSE(Port.Connected());
  EXPECT_EQ(OpenDescriptorCount(), Before);
}

// What the driver keeps of each setting, read back from the device; what it
// cannot do is refused while the port stays open with its last good state.
TEST_F(PseudoTerminal, LineSettingsReadBackFromTheDevice) {
  Port.OpenPort();
  const int Descriptor = static_cast<int>(Port.DeviceHandle());
  auto Flags = [Descriptor] {
    termios T;
    EXPECT_EQ(tcgetattr(Descriptor, &T), 0);
    return std::pair<tcflag_t, tcflag_t>(T.c_iflag & (INPCK | IXON | IXOFF), T.c_cflag & CRTSCTS);
  };
  using TFlags = std::pair<tcflag_t, tcflag_t>;
  Port.Parity().SetBits(TParityBits::prEven);
  Port.Parity().SetCheck(true);
  EXPECT_EQ(Flags(), TFlags(0, 0)) << "a check alone";
  Port.Parity().SetReplace(true); // ReplaceChar is 0
  EXPECT_EQ(Flags(), TFlags(INPCK, 0)) << "replaced by 0";
  Port.FlowControl().SetFlowControl(TFlowControl::fcHardware);
  EXPECT_EQ(Flags(), TFlags(INPCK, CRTSCTS)) << "hardware handshake";
  Port.FlowControl().SetFlowControl(TFlowControl::fcSoftware);
  Port.FlowControl().SetTxContinueOnXoff(true);
  EXPECT_EQ(Flags(), TFlags(INPCK | IXON | IXOFF, 0)) << "xon/xoff, continue after xoff";

  // A refused value stays stored: each row puts the good one back.
  const struct {
    const char* Name;
    std::function<void()> Change, Undo;
  } Refused[] = {
      {"replaced by '?'", [this] { Port.Parity().SetReplaceChar('?'); },
       [this] { Port.Parity().SetReplaceChar(0); }},
      {"equal xon/xoff", [this] { Port.FlowControl().SetXoffChar(17); },
       [this] { Port.FlowControl().SetXoffChar(19); }},
      {"cts alone", [this] { Port.FlowControl().SetOutCTSFlow(true); },
       [this] { Port.FlowControl().SetOutCTSFlow(false); }},
  };
  for (const auto& [Name, Change, Undo] : Refused) {
    try {
      Change();
      ADD_FAILURE() << Name << " accepted";
    } catch (const EComPort& E) {
      EXPECT_EQ(E.ErrorCode(), peSetStateFailed) << Name;
      EXPECT_EQ(E.SystemErrorCode(), EINVAL) << Name;
    }
    EXPECT_EQ(Flags(), TFlags(INPCK | IXON | IXOFF, 0)) << Name;
    Undo();
  }
}

TEST_F(PseudoTerminal, DiscardNullDropsZeroBytesAndTheCountAgreesWithTheRead) {
  Port.SetDiscardNull(true);
  Port.OpenPort();
  WriteMaster(std::string("a\0b\0\0c", 6));
  AwaitQueued(3);
  // The count is what a read gets: a handler reading exactly that many gets
  // all of them.
  EXPECT_EQ(Port.InQueueCount(), 3);
  char Buffer[8] = {};
  EXPECT_EQ(Port.ReadBytes(Buffer, 3), 3);
  EXPECT_EQ(std::string(Buffer, 3), "abc");
  EXPECT_EQ(Port.InQueueCount(), 0);
}

TEST_F(PseudoTerminal, TotalTimeoutReadWaitsForTheRequestedBytes) {
  TComTimeouts Timeouts;
  Timeouts.SetReadInterval(0);
  Timeouts.SetReadTotalConstant(10000);
  Port.SetTimeouts(Timeouts);
  Port.OpenPort();
  WriteMaster("xyz");
  // The read waits until all three have arrived, within the total time.
  char Buffer[4] = {};
  EXPECT_EQ(Port.ReadBytes(Buffer, 3), 3);
  EXPECT_EQ(std::string(Buffer, 3), "xyz");
  // Nothing more comes: a short total time ends the read with none.
  Port.Timeouts().SetReadTotalConstant(1);
  EXPECT_EQ(Port.ReadBytes(Buffer, 1), 0);
}

TEST_F(PseudoTerminal, ClosingAfterHangUpDoesNotHangAndLeavesThePortClosed) {
  Port.OpenPort();
  const int Open = OpenDescriptorCount();
  close(Master);
  Master = -1;
  // The device end is hung up: the purge fails, the port is closed anyway.
  try {
    Port.ClosePort();
    ADD_FAILURE() << "the purge of a hung-up device succeeded";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), pePurgeFailed);
    EXPECT_EQ(E.SystemErrorCode(), EIO);
  }
  EXPECT_FALSE(Port.Connected());
  // The master end, the port and its read-ahead wake-up.
  EXPECT_EQ(OpenDescriptorCount(), Open - 3);
  // A new open of the vanished device fails cleanly.
  EXPECT_THROW(Port.OpenPort(), EComPort);
  EXPECT_FALSE(Port.Connected());
}
