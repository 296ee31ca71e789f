// The port and its event thread on the Win32 backend, on the COM port that
// wine-on-pty.py maps (HXT24_TEST_PORT) and serves.
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ExceptionDisplay.h"
#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/ComThread.h"
#include "cport/platform/Win32Device.h"

namespace {

using namespace std::chrono_literals;
constexpr auto Patience = std::chrono::seconds(60);

class Win32Port : public ::testing::Test {
protected:
  void SetUp() override {
    const char* Name = std::getenv("HXT24_TEST_PORT");
    if (!Name)
      GTEST_SKIP() << "no COM port mapped for the test (see wine-on-pty.py)";
    InitComPortErrors();
    Port.SetDevice(PlatformComDevice());
    Port.SetPort(Name);
    Port.SetBaudRate(TBaudRate::br57600);
    SetExceptionHandler([this](const std::exception& E) {
      const auto* Error = dynamic_cast<const EComPort*>(&E);
      Shown.push_back(Error ? std::to_string(Error->ErrorCode()) + ":" +
                                  std::to_string(Error->SystemErrorCode())
                            : std::string(E.what()));
    });
  }
  void TearDown() override {
    try {
      Port.ClosePort();
    } catch (const EComPort&) {
    }
    SetExceptionHandler(nullptr);
    DoneComPortErrors();
  }
  // The port itself sends nothing; the test talks to the other end through
  // the same handle.
  void Send(const std::string& Command) {
    auto& Device = dynamic_cast<TWin32ComDevice&>(Port.Device());
    std::int32_t Written = 0;
    ASSERT_TRUE(Device.WriteFile(Port.DeviceHandle(), Command.data(),
                                 static_cast<std::int32_t>(Command.size()), Written));
    ASSERT_EQ(Written, static_cast<std::int32_t>(Command.size()));
  }

  TMainLoop Loop;
  TComPort Port;
  std::vector<std::string> Shown;
};

} // namespace

TEST_F(Win32Port, ALineRateStreamArrivesWholeThroughOnRxChar) {
  constexpr std::size_t Total = 57600;
  std::vector<std::uint8_t> Received;
  Port.SetOnRxChar([&](TObject*, std::int32_t Count) {
    std::vector<std::uint8_t> Chunk(static_cast<std::size_t>(Count));
    const std::int32_t Read = Port.ReadBytes(Chunk.data(), Count);
    Received.insert(Received.end(), Chunk.begin(), Chunk.begin() + Read);
  });
  Port.OpenPort();
  Send("STREAM " + std::to_string(Total) + "\n");
  ASSERT_TRUE(Loop.RunUntil([&] { return Received.size() >= Total; }, Patience))
      << Received.size() << " bytes";
  ASSERT_EQ(Received.size(), Total);
  for (std::size_t i = 0; i < Total; ++i)
    ASSERT_EQ(Received[i], static_cast<std::uint8_t>(i * 7 + 3)) << "byte " << i;
  EXPECT_TRUE(Shown.empty());
  Port.ClosePort();
  EXPECT_FALSE(Port.Connected());
}

TEST_F(Win32Port, HangUpReportsWaitFailedOnceAndTheThreadEnds) {
  Port.SetOnRxChar([&](TObject*, std::int32_t) {});
  Port.OpenPort();
  Send("HANGUP\n");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Shown.empty(); }, Patience));
  // A spinning thread would go on waking up (and reporting) here.
  Loop.Run(300ms);
  ASSERT_EQ(Shown.size(), 1u);
  EXPECT_EQ(Shown[0].substr(0, Shown[0].find(':')), std::to_string(peWaitFailed)) << Shown[0];
  EXPECT_TRUE(Port.EventThread()->Finished());
  EXPECT_LE(Port.EventThread()->Wakeups(), 2u);
  try {
    Port.ClosePort();
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), pePurgeFailed);
  }
  EXPECT_FALSE(Port.Connected());
}

TEST_F(Win32Port, OpeningAndClosingWhileTheLineIsQuiet) {
  Port.SetOnRxChar([&](TObject*, std::int32_t) {});
  for (int Cycle = 0; Cycle < 20; ++Cycle) {
    Port.OpenPort();
    ASSERT_TRUE(Port.Connected());
    if (Cycle % 2)
      Loop.Run(20ms); // the thread is asleep in its wait
    Port.ClosePort();
    ASSERT_FALSE(Port.Connected());
  }
  EXPECT_TRUE(Shown.empty());
}

// A device that opens but refuses the comm calls (the null device): the open
// succeeds and configuring fails at its first step, the queue sizes.
TEST(Win32PortDevice, ADeviceThatRefusesCommCallsFailsAtSetupComm) {
  InitComPortErrors();
  TComPort Port;
  Port.SetDevice(PlatformComDevice());
  Port.SetPort("\\\\.\\NUL");
  try {
    Port.OpenPort();
    ADD_FAILURE() << "the null device opened as a port";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), peSetupCommFailed) << E.what();
    EXPECT_NE(E.SystemErrorCode(), -1);
  }
  EXPECT_FALSE(Port.Connected());
  DoneComPortErrors();
}
