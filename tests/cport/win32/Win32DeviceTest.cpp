// The Win32 backend on a real COM port. Under Wine, wine-on-pty.py maps a
// pseudo-terminal as the port (HXT24_TEST_PORT) and serves the other end:
// "STREAM n" sends n pattern bytes at the line rate, "HANGUP" goes away.
#include "cport/platform/Win32Device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/Win32Text.h"
#include "cport/platform/Win32Dcb.h"
#include "cport/platform/Win32Ports.h"

using namespace std::chrono_literals;

namespace {

std::uint8_t PatternByte(std::size_t Index) {
  return static_cast<std::uint8_t>(Index * 7 + 3);
}

TDeviceControlBlock ScopeLine() {
  TDeviceControlBlock Dcb;
  Dcb.DCBlength = sizeof Dcb;
  Dcb.BaudRate = 57600;
  Dcb.Flags = dcb::Binary | dcb::DtrControlEnable | dcb::RtsControlEnable;
  Dcb.XonLim = 1024;
  Dcb.XoffLim = 1024;
  Dcb.ByteSize = 8;
  Dcb.XonChar = 17;
  Dcb.XoffChar = 19;
  return Dcb;
}

class Win32Line : public ::testing::Test {
protected:
  void SetUp() override {
    const char* Port = std::getenv("HXT24_TEST_PORT");
    if (!Port)
      GTEST_SKIP() << "no COM port mapped for the test (see wine-on-pty.py)";
    FHandle = FDevice.Open(Port);
    ASSERT_NE(FHandle, InvalidComHandle) << Port << ": error " << FDevice.LastError();
    ASSERT_TRUE(FDevice.SetupComm(FHandle, 4096, 4096));
    ASSERT_TRUE(FDevice.SetCommState(FHandle, ScopeLine())) << FDevice.LastError();
    ASSERT_TRUE(FDevice.SetCommTimeouts(FHandle, {MAXDWORD, 0, 0, 0, 0}));
    ASSERT_TRUE(FDevice.PurgeComm(FHandle, PURGE_RXCLEAR | PURGE_TXCLEAR));
  }
  void TearDown() override {
    if (FHandle != InvalidComHandle)
      FDevice.Close(FHandle);
  }

  void Send(const std::string& Command) {
    std::int32_t Written = 0;
    ASSERT_TRUE(FDevice.WriteFile(FHandle, Command.data(),
                                  static_cast<std::int32_t>(Command.size()), Written))
        << FDevice.LastError();
    ASSERT_EQ(Written, static_cast<std::int32_t>(Command.size()));
  }

  TWin32ComDevice FDevice;
  TComHandle FHandle = InvalidComHandle;
};

// Signals Stop when the test has not called Cancel within Limit, so that a
// wait that never ends fails the test instead of hanging it.
class TWatchdog {
public:
  TWatchdog(TComStopSignal& Stop, std::chrono::milliseconds Limit)
      : FThread([this, &Stop, Limit] {
          if (FDone.get_future().wait_for(Limit) == std::future_status::timeout) {
            Fired = true;
            Stop.Signal();
          }
        }) {}
  ~TWatchdog() {
    FDone.set_value();
    FThread.join();
  }
  std::atomic<bool> Fired{false};

private:
  std::promise<void> FDone;
  std::thread FThread;
};

} // namespace

TEST(Win32Dcb, TheRecordIsTheSystemsDcbByteForByte) {
  std::vector<TDeviceControlBlock> Rows;
  for (std::uint32_t Bit = 0; Bit < 15; ++Bit) {
    TDeviceControlBlock Dcb = ScopeLine();
    Dcb.Flags = 1u << Bit;
    Rows.push_back(Dcb);
  }
  TDeviceControlBlock Chars = ScopeLine();
  Chars.Flags = dcb::Binary | dcb::Parity | dcb::DtrControlHandshake | dcb::RtsControlToggle |
                dcb::ErrorChar | dcb::InX | dcb::OutX;
  Chars.BaudRate = 123456;
  Chars.Parity = 2;
  Chars.StopBits = 1;
  Chars.ByteSize = 7;
  Chars.XonLim = 0x1234;
  Chars.XoffLim = 0x4321;
  Chars.ErrorChar = 0xFE;
  Chars.EofChar = 0x1A;
  Chars.EvtChar = 0x0A;
  Rows.push_back(Chars);
  for (const TDeviceControlBlock& Row : Rows) {
    const DCB System = SystemDcb(Row);
    EXPECT_EQ(std::memcmp(&System, &Row, sizeof System), 0) << "flags " << Row.Flags;
    EXPECT_EQ(PortDcb(System), Row) << "flags " << Row.Flags;
  }
  const DCB System = SystemDcb(Chars);
  EXPECT_EQ(System.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
  EXPECT_EQ(System.fRtsControl, static_cast<DWORD>(RTS_CONTROL_TOGGLE));
  EXPECT_TRUE(System.fInX && System.fOutX && System.fErrorChar && System.fParity);
  EXPECT_FALSE(System.fNull || System.fOutxCtsFlow || System.fAbortOnError);
}

TEST(Win32Device, PortNamesAndAMissingPort) {
  EXPECT_EQ(Win32DevicePath("COM5"), "\\\\.\\COM5");
  EXPECT_EQ(Win32DevicePath("\\\\.\\COM12"), "\\\\.\\COM12");
  TWin32ComDevice Device;
  EXPECT_EQ(Device.Open("COM251"), InvalidComHandle);
  EXPECT_EQ(Device.LastError(), ERROR_FILE_NOT_FOUND);
}

// Names are UTF-8: one outside ASCII names the same device as its wide form
// (a file here, which a device path may name too).
TEST(Win32Device, PortNamesAreUtf8) {
  wchar_t Folder[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, Folder), 0u);
  TWin32ComDevice Device;
  for (const std::wstring Name : {L"hxt24-port.tmp", L"hxt24-p\u00f6rt-\u03a9-\u6e2c.tmp"}) {
    const std::wstring Path = std::wstring(Folder) + Name;
    HANDLE File = CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE) << GetLastError();
    CloseHandle(File);
    const TComHandle Handle = Device.Open("\\\\.\\" + FromWide(Path));
    EXPECT_NE(Handle, InvalidComHandle) << FromWide(Path) << ": error " << Device.LastError();
    if (Handle != InvalidComHandle) {
      EXPECT_TRUE(Device.Close(Handle));
    }
    DeleteFileW(Path.c_str());
  }
  EXPECT_EQ(Device.Open("COM\xff"), InvalidComHandle);
  EXPECT_EQ(Device.LastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(Win32Device, PortsOfTheDeviceMapInNumberOrder) {
  const std::vector<std::pair<std::string, std::string>> Map = {
      {"\\Device\\Serial1", "COM2"},   {"\\Device\\VCP0", "COM10"}, {"\\Device\\Serial0", "COM1"},
      {"\\Device\\Silabser0", "COM9"}, {"\\Device\\Gone", ""},      {"Other", "CNCA0"}};
  const std::vector<TComPortInfo> Expected = {{"COM1", "Serial0"},
                                              {"COM2", "Serial1"},
                                              {"COM9", "Silabser0"},
                                              {"COM10", "VCP0"},
                                              {"CNCA0", "Other"}};
  EXPECT_EQ(PortsFromDeviceMap(Map), Expected);
}

// The devices' names come first; the map adds the ports no device names.
TEST(Win32Device, DevicePortsMergedWithTheDeviceMap) {
  const std::vector<TComPortInfo> Devices = {{"COM10", "USB Serial Port (COM10)"},
                                             {"COM3", "USB Serial Port (COM3)"},
                                             {"com3", "twice"},
                                             {"", "no port name"}};
  const std::vector<TComPortInfo> Map = {
      {"CNCA0", "com0com0"}, {"COM3", "VCP0"}, {"COM1", "Serial0"}, {"Com10", "VCP1"}};
  const std::vector<TComPortInfo> Expected = {{"COM1", "Serial0"},
                                              {"COM3", "USB Serial Port (COM3)"},
                                              {"COM10", "USB Serial Port (COM10)"},
                                              {"CNCA0", "com0com0"}};
  EXPECT_EQ(MergePortLists(Devices, Map), Expected);
  EXPECT_EQ(MergePortLists({}, Map), MergePortLists(Map, {}));
}

// What this system offers: each port once, in COM number order, and each
// listed name opens (or is busy) rather than naming nothing.
TEST(Win32Device, TheMachinesPortsAreListedOnceInNumberOrder) {
  TWin32ComDevice Device;
  const std::vector<TComPortInfo> Ports = Device.ListPorts();
  EXPECT_EQ(MergePortLists(Ports, {}), Ports);
  RecordProperty("Ports", static_cast<int>(Ports.size()));
  for (const TComPortInfo& Port : Ports) {
    const TComHandle Handle = Device.Open(Port.Name);
    if (Handle != InvalidComHandle) {
      Device.Close(Handle);
      continue;
    }
    EXPECT_NE(Device.LastError(), ERROR_FILE_NOT_FOUND)
        << Port.Name << " (" << Port.Description << ")";
  }
}

TEST_F(Win32Line, OpenConfigureQueryClose) {
  TDeviceControlBlock State;
  ASSERT_TRUE(FDevice.GetCommState(FHandle, State));
  EXPECT_EQ(State.BaudRate, 57600u);
  EXPECT_EQ(State.ByteSize, 8);
  EXPECT_EQ(State.Parity, 0);
  EXPECT_EQ(State.StopBits, 0);
  EXPECT_TRUE(State.Flags & dcb::Binary);
  std::uint32_t Errors = 1;
  std::int32_t InQueue = -1;
  ASSERT_TRUE(FDevice.ClearCommError(FHandle, Errors, InQueue));
  EXPECT_EQ(Errors, 0u);
  EXPECT_EQ(InQueue, 0);
  std::uint32_t Status = 0;
  EXPECT_TRUE(FDevice.GetCommModemStatus(FHandle, Status)) << FDevice.LastError();
  EXPECT_TRUE(FDevice.EscapeCommFunction(FHandle, SETDTR)) << FDevice.LastError();
  EXPECT_TRUE(FDevice.EscapeCommFunction(FHandle, CLRRTS)) << FDevice.LastError();
  // Nothing waiting: a read under "return at once" returns at once, empty.
  char Buffer[16];
  std::int32_t Read = -1;
  ASSERT_TRUE(FDevice.ReadFile(FHandle, Buffer, sizeof Buffer, Read)) << FDevice.LastError();
  EXPECT_EQ(Read, 0);

  ASSERT_TRUE(FDevice.Close(FHandle));
  EXPECT_FALSE(FDevice.Close(FHandle));
  EXPECT_EQ(FDevice.LastError(), ERROR_INVALID_HANDLE);
  FHandle = InvalidComHandle;
}

// Reads under total timeouts go through the driver's overlapped read: they
// wait for the bytes asked for, or end empty when the time is up.
TEST_F(Win32Line, TimedReadsWaitForTheirBytesOrTheirTime) {
  ASSERT_TRUE(FDevice.SetCommTimeouts(FHandle, {0, 0, 300, 0, 0}));
  char Buffer[64] = {};
  std::int32_t Read = -1;
  ASSERT_TRUE(FDevice.ReadFile(FHandle, Buffer, 8, Read)) << FDevice.LastError();
  EXPECT_EQ(Read, 0); // a quiet line: the time ran out
  ASSERT_TRUE(FDevice.SetCommTimeouts(FHandle, {0, 0, 20000, 0, 0}));
  Send("STREAM 40\n");
  // Forty bytes take 7 ms on the line; the read waits for all of them.
  ASSERT_TRUE(FDevice.ReadFile(FHandle, Buffer, 40, Read)) << FDevice.LastError();
  ASSERT_EQ(Read, 40);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(static_cast<std::uint8_t>(Buffer[i]), PatternByte(static_cast<std::size_t>(i)));
  // Fewer bytes than asked for: the time runs out with those five.
  ASSERT_TRUE(FDevice.SetCommTimeouts(FHandle, {0, 0, 1000, 0, 0}));
  Send("STREAM 5\n");
  ASSERT_TRUE(FDevice.ReadFile(FHandle, Buffer, 40, Read)) << FDevice.LastError();
  EXPECT_EQ(Read, 5);
}

TEST_F(Win32Line, StreamAtTheLineRateLosesNothing) {
  constexpr std::size_t Total = 57600; // ten seconds of the line
  ASSERT_TRUE(FDevice.SetCommMask(FHandle, EV_RXCHAR));
  auto Stop = FDevice.NewStopSignal();
  std::vector<std::uint8_t> Received;
  int Wakeups = 0;
  TWatchdog Watchdog(*Stop, 60s);
  Send("STREAM " + std::to_string(Total) + "\n");
  while (Received.size() < Total) {
    std::uint32_t Mask = 0;
    const TComWaitResult Result = FDevice.WaitCommEvent(FHandle, *Stop, Mask);
    ASSERT_EQ(Result, TComWaitResult::wrEvents)
        << "after " << Received.size() << " bytes, error " << FDevice.LastError();
    ++Wakeups;
    EXPECT_TRUE(Mask & EV_RXCHAR) << Mask;
    std::uint32_t Errors = 0;
    std::int32_t InQueue = 0;
    ASSERT_TRUE(FDevice.ClearCommError(FHandle, Errors, InQueue));
    EXPECT_EQ(Errors, 0u);
    std::vector<std::uint8_t> Chunk(static_cast<std::size_t>(InQueue) + 16);
    std::int32_t Read = 0;
    ASSERT_TRUE(
        FDevice.ReadFile(FHandle, Chunk.data(), static_cast<std::int32_t>(Chunk.size()), Read));
    Received.insert(Received.end(), Chunk.begin(), Chunk.begin() + Read);
  }
  EXPECT_FALSE(Watchdog.Fired);
  ASSERT_EQ(Received.size(), Total);
  for (std::size_t i = 0; i < Total; ++i)
    ASSERT_EQ(Received[i], PatternByte(i)) << "byte " << i;
  // One wake-up per arrival at most, and arrivals are batched by the driver.
  EXPECT_GT(Wakeups, 0);
  EXPECT_LE(static_cast<std::size_t>(Wakeups), Total);
  RecordProperty("Wakeups", Wakeups);
}

// Two readers at once (an smNone handler and the owner): each read ends with
// its own transfer, not with the other's.
TEST_F(Win32Line, ConcurrentReadsEachEndWithTheirOwnTransfer) {
  ASSERT_TRUE(FDevice.SetCommTimeouts(FHandle, {0, 0, 20000, 0, 0}));
  std::vector<std::uint8_t> First(40), Second(5);
  auto Read = [this](std::vector<std::uint8_t>& Buffer) {
    std::int32_t Done = -1;
    EXPECT_TRUE(
        FDevice.ReadFile(FHandle, Buffer.data(), static_cast<std::int32_t>(Buffer.size()), Done))
        << FDevice.LastError();
    return Done;
  };
  auto FirstRead = std::async(std::launch::async, Read, std::ref(First));
  std::this_thread::sleep_for(100ms); // both reads pending, the first one first
  auto SecondRead = std::async(std::launch::async, Read, std::ref(Second));
  std::this_thread::sleep_for(100ms);
  Send("STREAM 45\n");
  ASSERT_EQ(FirstRead.wait_for(30s), std::future_status::ready);
  ASSERT_EQ(SecondRead.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(FirstRead.get(), 40);
  EXPECT_EQ(SecondRead.get(), 5);
  std::vector<std::uint8_t> Both(First);
  Both.insert(Both.end(), Second.begin(), Second.end());
  for (std::size_t i = 0; i < Both.size(); ++i)
    EXPECT_EQ(Both[i], PatternByte(i)) << "byte " << i;
}

TEST_F(Win32Line, StopEndsAPendingWaitAtOnce) {
  ASSERT_TRUE(FDevice.SetCommMask(FHandle, EV_RXCHAR));
  auto Stop = FDevice.NewStopSignal();
  std::atomic<bool> Returned{false};
  std::uint32_t Mask = 0;
  auto Waiter = std::async(std::launch::async, [&] {
    const TComWaitResult Result = FDevice.WaitCommEvent(FHandle, *Stop, Mask);
    Returned = true;
    return Result;
  });
  // The line is quiet: the wait must still be waiting (a device that cannot
  // wait would have ended it, or spun until it gave up).
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(Returned);
  const auto Begin = std::chrono::steady_clock::now();
  Stop->Signal();
  const bool InTime = Waiter.wait_for(100ms) == std::future_status::ready;
  ASSERT_EQ(Waiter.wait_for(10s), std::future_status::ready) << "the stopped wait hangs";
  EXPECT_TRUE(InTime) << "stopped after "
                      << std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - Begin)
                             .count()
                      << " ms";
  EXPECT_EQ(Waiter.get(), TComWaitResult::wrStopped);
  // A stop stays given: the next wait ends at once too.
  EXPECT_EQ(FDevice.WaitCommEvent(FHandle, *Stop, Mask), TComWaitResult::wrStopped);
  // And the port still works after it, with the events it had.
  auto Fresh = FDevice.NewStopSignal();
  TWatchdog Watchdog(*Fresh, 20s);
  Send("STREAM 10\n");
  EXPECT_EQ(FDevice.WaitCommEvent(FHandle, *Fresh, Mask), TComWaitResult::wrEvents);
  EXPECT_FALSE(Watchdog.Fired);
}

TEST_F(Win32Line, HangUpEndsTheWaitWithAFailure) {
  ASSERT_TRUE(FDevice.SetCommMask(FHandle, EV_RXCHAR));
  auto Stop = FDevice.NewStopSignal();
  TWatchdog Watchdog(*Stop, 20s);
  Send("HANGUP\n");
  int Events = 0;
  TComWaitResult Result = TComWaitResult::wrEvents;
  // A few arrivals may still be reported; a device that keeps reporting
  // events (or ends every wait at once) after the hang-up spins its thread.
  while (Result == TComWaitResult::wrEvents && Events < 100) {
    std::uint32_t Mask = 0;
    Result = FDevice.WaitCommEvent(FHandle, *Stop, Mask);
    if (Result == TComWaitResult::wrEvents)
      ++Events;
  }
  EXPECT_EQ(Result, TComWaitResult::wrFailed);
  EXPECT_NE(FDevice.LastError(), 0);
  EXPECT_LE(Events, 2);
  EXPECT_FALSE(Watchdog.Fired);
  RecordProperty("Error", FDevice.LastError());
}

// Without the modem-line library a pseudo-terminal under Wine cannot wait:
// every wait ends at once as "aborted". The device must give up with a wait
// failure instead of going round for ever.
TEST(Win32BareLine, AWaitThatCannotWaitFailsInsteadOfSpinning) {
  const char* Port = std::getenv("HXT24_TEST_PORT");
  if (!Port || !std::getenv("HXT24_TEST_BARE_LINE"))
    GTEST_SKIP() << "needs a line without the modem-line library (wine-on-pty.py --bare)";
  TWin32ComDevice Device;
  const TComHandle Handle = Device.Open(Port);
  ASSERT_NE(Handle, InvalidComHandle) << Device.LastError();
  TDeviceControlBlock Line = ScopeLine();
  Line.Flags = dcb::Binary; // no modem lines to drive
  ASSERT_TRUE(Device.SetCommState(Handle, Line)) << Device.LastError();
  ASSERT_TRUE(Device.SetCommMask(Handle, EV_RXCHAR));
  auto Stop = Device.NewStopSignal();
  TWatchdog Watchdog(*Stop, 20s);
  std::uint32_t Mask = 0;
  EXPECT_EQ(Device.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrFailed);
  EXPECT_EQ(Device.LastError(), ERROR_OPERATION_ABORTED);
  EXPECT_FALSE(Watchdog.Fired);
  // The port reports no modem signals rather than failing.
  std::uint32_t Status = 1;
  EXPECT_TRUE(Device.GetCommModemStatus(Handle, Status)) << Device.LastError();
  EXPECT_EQ(Status, 0u);
  Device.Close(Handle);
}
