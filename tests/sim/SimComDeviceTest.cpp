// The simulated scope behind the port's device layer, through the port: what
// the Windows --demo connects to.
#include "sim/SimComDevice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "base/ExceptionDisplay.h"
#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/platform/FakeDevice.h"
#include "scope/ByteSource.h"
#include "scope/ScopeLink.h"

namespace {

using namespace std::chrono_literals;
constexpr auto Patience = std::chrono::seconds(60);
constexpr double LineRate = 5760.0; // 57600 bit/s, 10 bits a byte

TSimOptions DemoLook() {
  TSimOptions Options;
  Options.Cycles = 2.5;
  Options.Amplitude = 90;
  Options.Drift = 0.004;
  Options.Settings.Volts = 6;
  Options.Settings.DC = true;
  return Options;
}

// The client's receiver reading from the port, as the main window does.
class TPortSource : public TByteSource {
public:
  explicit TPortSource(TComPort& Port) : FPort(Port) {}
  int ReadBytes(void* Buffer, int Count) override { return FPort.ReadBytes(Buffer, Count); }

private:
  TComPort& FPort;
};

class SimComDevice : public ::testing::Test {
protected:
  void SetUp() override {
    InitComPortErrors();
    SetExceptionHandler([this](const std::exception& E) { Shown.emplace_back(E.what()); });
  }
  void TearDown() override {
    SetExceptionHandler(nullptr);
    DoneComPortErrors();
  }

  TMainLoop Loop;
  TFakeComDevice Next;
  TSimComDevice Device{DemoLook(), LineRate, Next};
  std::vector<std::string> Shown;
};

TEST_F(SimComDevice, ThePortReceivesTheScopesFramesAndCloses) {
  TComPort Port;
  Port.SetDevice(Device);
  Port.SetPort(Device.PortName());
  Port.SetBaudRate(TBaudRate::br57600);
  TPortSource Source(Port);
  TScopeLink Link(&Source);
  std::vector<TScopeSamples> Traces;
  Link.OnFrameDone = [&](std::string_view Tag, int) {
    if (Tag == "BA")
      Traces.push_back(Link.State.Samples());
  };
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) { Link.ComPortRxChar(Count); });
  for (int Cycle = 0; Cycle < 2; ++Cycle) {
    Traces.clear();
    Port.OpenPort();
    ASSERT_TRUE(Loop.RunUntil([&] { return Traces.size() >= 3; }, Patience)) << Traces.size();
    Port.ClosePort();
    EXPECT_FALSE(Port.Connected());
    // Each open starts the scope's stream again: the frames are the
    // simulator's, in order, stored as the client stores a sample.
    TSimScope Expected(DemoLook());
    for (std::size_t Frame = 0; Frame < Traces.size(); ++Frame) {
      const TSimTrace Sent = Expected.Trace(static_cast<long long>(Frame));
      for (std::size_t i = 0; i < Sent.size(); ++i)
        ASSERT_EQ(Traces[Frame][i], static_cast<std::uint8_t>(256 - Sent[i]))
            << "frame " << Frame << " sample " << i;
    }
    EXPECT_EQ(Link.State.Panel(0), "run");
    EXPECT_EQ(Link.State.Panel(5), "DC");
  }
  EXPECT_TRUE(Shown.empty()) << Shown.front();
}

// The event wait sleeps until a frame is due or a stop; with no event asked
// for it sleeps until the stop alone. Unread frames fill the input queue up to
// its size and are flagged as lost beyond it.
TEST_F(SimComDevice, TheWaitEndsOnAFrameOrAStopAndTheQueueKeepsItsSize) {
  const TComHandle Handle = Device.Open(Device.PortName());
  ASSERT_NE(Handle, InvalidComHandle);
  EXPECT_EQ(Device.Open(Device.PortName()), InvalidComHandle);
  EXPECT_EQ(Device.LastError(), TSimComDevice::ErrorAccessDenied);
  ASSERT_TRUE(Device.SetupComm(Handle, 600, 600));
  ASSERT_TRUE(Device.SetCommTimeouts(Handle, {MAXDWORD, 0, 0, 0, 0}));

  auto Stop = Device.NewStopSignal();
  std::uint32_t Mask = 0;
  ASSERT_TRUE(Device.SetCommMask(Handle, EV_RXCHAR));
  for (int Frame = 0; Frame < 3; ++Frame) {
    ASSERT_EQ(Device.WaitCommEvent(Handle, *Stop, Mask), TComWaitResult::wrEvents);
    EXPECT_EQ(Mask, EV_RXCHAR);
  }
  std::uint32_t Errors = 0;
  std::int32_t InQueue = 0;
  ASSERT_TRUE(Device.ClearCommError(Handle, Errors, InQueue));
  EXPECT_EQ(InQueue, 600); // three frames of 266 bytes in a queue of 600
  EXPECT_EQ(Errors, CE_RXOVER);
  std::vector<std::uint8_t> Bytes(1000);
  std::int32_t Read = 0;
  ASSERT_TRUE(Device.ReadFile(Handle, Bytes.data(), 1000, Read));
  EXPECT_EQ(Read, 600);
  EXPECT_EQ(Bytes[0], 'B');
  EXPECT_EQ(Bytes[1], 'A');

  ASSERT_TRUE(Device.SetCommMask(Handle, 0));
  auto Waiting = std::async(std::launch::async, [&] {
    std::uint32_t Events = 0;
    return Device.WaitCommEvent(Handle, *Stop, Events);
  });
  EXPECT_EQ(Waiting.wait_for(300ms), std::future_status::timeout) << "no event was asked for";
  Stop->Signal();
  ASSERT_EQ(Waiting.wait_for(Patience), std::future_status::ready);
  EXPECT_EQ(Waiting.get(), TComWaitResult::wrStopped);
  ASSERT_TRUE(Device.Close(Handle));
  EXPECT_FALSE(Device.Close(Handle));
  EXPECT_EQ(Device.LastError(), TSimComDevice::ErrorInvalidHandle);
}

// Every other name is the next device's: a real port still opens (and waits,
// and stops) while the demo scope is installed.
TEST_F(SimComDevice, OtherPortsAreTheNextDevices) {
  Next.AddLine("COM7");
  Next.SetPortList({{"COM7", "USB Serial Port (COM7)"}});
  const std::vector<TComPortInfo> Expected = {{"DEMO", "Simulated HXT24 scope"},
                                              {"COM7", "USB Serial Port (COM7)"}};
  EXPECT_EQ(Device.ListPorts(), Expected);

  EXPECT_EQ(Device.Open("COM8"), InvalidComHandle);
  EXPECT_EQ(Device.LastError(), Next.LastError());
  EXPECT_NE(Device.LastError(), 0);

  TComPort Port;
  Port.SetDevice(Device);
  Port.SetPort("COM7");
  std::string Received;
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    std::string Chunk(static_cast<std::size_t>(Count), '\0');
    Received.append(Chunk, 0, static_cast<std::size_t>(Port.ReadBytes(Chunk.data(), Count)));
  });
  Port.OpenPort();
  ASSERT_TRUE(Next.IsOpen("COM7"));
  Next.PushReceived("COM7", "hello");
  Next.PushEvents("COM7", EV_RXCHAR);
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() >= 5; }, Patience));
  EXPECT_EQ(Received, "hello");
  Port.ClosePort();
  EXPECT_FALSE(Next.IsOpen("COM7"));
  EXPECT_TRUE(Shown.empty()) << Shown.front();
}

} // namespace
