#include "cport/ComThread.h"

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/ExceptionDisplay.h"
#include "base/MainLoop.h"
#include "cport/CPort.h"
#include "cport/platform/FakeDevice.h"

namespace {

using V = std::vector<std::string>;
constexpr auto Patience = std::chrono::seconds(20);

// The port with its event window procedure reachable from the tests, and a
// record of the event messages it was sent.
class TTestPort : public TComPort {
public:
  void PortWindowProc(TMessage& Message) override {
    if (Message.Msg == WM_PORTEVENT)
      WParams.push_back(Message.WParam);
    TComPort::PortWindowProc(Message);
  }
  std::vector<std::uintptr_t> WParams;
};

class ComThreadFake : public ::testing::Test {
protected:
  ComThreadFake() {
    InitComPortErrors();
    Fake.AddLine("COM1");
    Port.SetDevice(Fake);
    SetExceptionHandler([this](const std::exception& E) {
      const auto* Port = dynamic_cast<const EComPort*>(&E);
      Shown.push_back(Port ? std::to_string(Port->ErrorCode()) + ":" +
                                 std::to_string(Port->SystemErrorCode())
                           : std::string(E.what()));
    });
    Port.SetOnError([this](TObject*, TComErrors Errors) {
      Log.push_back("Error " + std::to_string(Errors.Bits()));
    });
    Port.SetOnRxChar(
        [this](TObject*, std::int32_t Count) { Log.push_back("RxChar " + std::to_string(Count)); });
    Port.SetOnRing([this](TObject*) { Log.push_back("Ring"); });
    Port.SetOnRLSDChange(
        [this](TObject*, bool OnOff) { Log.push_back("RLSD " + std::to_string(OnOff)); });
  }
  ~ComThreadFake() override {
    Port.ClosePort();
    SetExceptionHandler(nullptr);
    DoneComPortErrors();
  }

  // Runs the main loop until the log holds Count entries.
  bool AwaitLog(std::size_t Count) {
    return Loop.RunUntil([&] { return Log.size() >= Count; }, Patience);
  }
  // Opens the port and forgets the signal reports of the opening.
  void Open() {
    Port.OpenPort();
    Log.clear();
  }

  TMainLoop Loop;
  TFakeComDevice Fake;
  TTestPort Port;
  V Log;
  V Shown;
};

TEST(ComEventMask, ConvertsByTheTableAndDropsUnknownBits) {
  struct Row {
    TComEvent Event;
    std::uint32_t Mask;
  } const Rows[] = {{TComEvent::evRxChar, 0x0001}, {TComEvent::evTxEmpty, 0x0004},
                    {TComEvent::evRxFlag, 0x0002}, {TComEvent::evRing, 0x0100},
                    {TComEvent::evBreak, 0x0040},  {TComEvent::evCTS, 0x0008},
                    {TComEvent::evDSR, 0x0010},    {TComEvent::evError, 0x0080},
                    {TComEvent::evRLSD, 0x0020},   {TComEvent::evRx80Full, 0x0400}};
  for (const Row& R : Rows) {
    EXPECT_EQ(EventsToMask(TComEvents{R.Event}), R.Mask) << int(R.Event);
    EXPECT_EQ(MaskToEvents(R.Mask), TComEvents{R.Event}) << int(R.Event);
  }
  EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
  EXPECT_EQ(MaskToEvents(0xFFFFFFFF), AllComEvents);
  EXPECT_TRUE(MaskToEvents(0x0200 | 0x0800 | 0x8000).Empty());
}

TEST_F(ComThreadFake, MaskComesFromEventsAtOpenOnly) {
  Port.SetEvents({TComEvent::evRxChar});
  Open();
  EXPECT_EQ(Fake.CommMask("COM1"), 0x0001u);
  // Changing the set while open changes nothing at the device...
  Port.SetEvents(AllComEvents);
  EXPECT_EQ(Fake.CommMask("COM1"), 0x0001u);
  // ... and a ring the mask does not select is never delivered.
  Fake.PushEvents("COM1", EV_RING);
  Fake.PushReceived("COM1", "ab");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(AwaitLog(1));
  EXPECT_EQ(Log, (V{"RxChar 2"}));
  // Reopened, the new set counts.
  Port.ClosePort();
  EXPECT_EQ(Fake.CommMask("COM1"), 0u);
  Port.OpenPort();
  EXPECT_EQ(Fake.CommMask("COM1"), 0x05FFu);
}

TEST_F(ComThreadFake, ErrorIsDeliveredBeforeTheBytesItCameWith) {
  Open();
  Fake.PushReceived("COM1", "abc");
  Fake.FlagLineErrors("COM1", CE_FRAME);
  Fake.PushEvents("COM1", EV_RXCHAR | EV_ERR);
  ASSERT_TRUE(AwaitLog(2));
  EXPECT_EQ(Log, (V{"Error 1", "RxChar 3"}));
  EXPECT_EQ(Port.EventThread()->Wakeups(), 1u);
}

TEST_F(ComThreadFake, UnknownMaskBitsDeliverAnEmptyBatch) {
  Open();
  Fake.PushEvents("COM1", 0x0200 | 0x8000);
  ASSERT_TRUE(Loop.RunUntil([&] { return Port.EventThread()->Wakeups() == 1; }, Patience));
  Fake.PushReceived("COM1", "x");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(AwaitLog(1));
  EXPECT_EQ(Log, (V{"RxChar 1"}));
  EXPECT_EQ(Port.EventThread()->Wakeups(), 2u);
}

TEST_F(ComThreadFake, WindowSyncSendsOneMessagePerEventInDeliveryOrder) {
  Port.SetSyncMethod(TSyncMethod::smWindowSync);
  Fake.SetModemStatus("COM1", MS_RLSD_ON);
  Open();
  Fake.PushEvents("COM1", EV_RLSD | EV_RING);
  ASSERT_TRUE(AwaitLog(2));
  EXPECT_EQ(Log, (V{"Ring", "RLSD 1"}));
  EXPECT_EQ(Port.WParams, (std::vector<std::uintptr_t>{0x0100, 0x0020}));
  // The same events through the procedure itself, by their mask values.
  Log.clear();
  TMessage Rlsd{WM_PORTEVENT, 0x0020, 0, 0};
  TMessage Ring{WM_PORTEVENT, 0x0100, 0, 0};
  Port.PortWindowProc(Rlsd);
  Port.PortWindowProc(Ring);
  EXPECT_EQ(Log, (V{"RLSD 1", "Ring"}));
  // The method cannot change under an open port.
  try {
    Port.SetSyncMethod(TSyncMethod::smThreadSync);
    ADD_FAILURE() << "no EComPort";
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), peConnectedProperty);
  }
  EXPECT_EQ(Port.SyncMethod(), TSyncMethod::smWindowSync);
}

TEST_F(ComThreadFake, WindowProcOnlyRepliesToUnknownEventsAndOnAClosedPort) {
  TMessageWindow Window([&](TMessage& M) { Port.PortWindowProc(M); });
  auto SendFromThread = [&](std::uintptr_t WParam) {
    auto Result =
        std::async(std::launch::async, [&] { return Window.Send(WM_PORTEVENT, WParam, 0); });
    // The sender is released even though nothing is processed.
    while (Result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
      Loop.RunUntil([&] { return false; }, std::chrono::milliseconds(50));
    return Result.get();
  };
  Fake.PushReceived("COM1", "abc");
  // Closed: dropped without a device call.
  Fake.ClearCalls();
  EXPECT_EQ(SendFromThread(0x0001), 0);
  EXPECT_TRUE(Fake.Calls().empty());
  Open();
  Fake.ClearCalls();
  EXPECT_EQ(SendFromThread(0x0200), 0);
  EXPECT_EQ(SendFromThread(0x0001 | 0x0100), 0); // not exactly one event
  V Calls = Fake.Calls();
  std::erase(Calls, "WaitCommEvent");
  EXPECT_TRUE(Calls.empty()) << Calls.front();
  EXPECT_TRUE(Log.empty());
  // Other messages go to the default procedure.
  TMessage Other{WM_USER + 7, 0x0001, 0, 55};
  Port.PortWindowProc(Other);
  EXPECT_EQ(Other.Result, 0);
  EXPECT_TRUE(Log.empty());
}

TEST_F(ComThreadFake, WindowProcShowsTheErrorOfItsEventAndGoesOn) {
  Port.SetSyncMethod(TSyncMethod::smWindowSync);
  Open();
  Fake.FailCall("ClearCommError", 1, 5);
  Fake.PushReceived("COM1", "ab");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(Loop.RunUntil([&] { return !Shown.empty(); }, Patience));
  EXPECT_EQ(Shown, (V{"10:5"}));
  // The thread goes on.
  Fake.PushReceived("COM1", "c");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(AwaitLog(1));
  EXPECT_EQ(Log, (V{"RxChar 3"}));
}

TEST_F(ComThreadFake, RxBufTakesTheBytesWhenTheCountIsNotWanted) {
  Port.SetNotifyRxCount(false);
  EXPECT_FALSE(Port.RxCountMode());
  std::string Got;
  Port.SetOnRxBuf([&](TObject*, const void* Buffer, std::int32_t Count) {
    Got.assign(static_cast<const char*>(Buffer), std::size_t(Count));
    Log.push_back("RxBuf " + std::to_string(Count));
  });
  Open();
  Fake.PushReceived("COM1", "hello");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(AwaitLog(1));
  EXPECT_EQ(Log, (V{"RxBuf 5"}));
  EXPECT_EQ(Got, "hello");
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 0u);
}

TEST_F(ComThreadFake, UnassignedRxCharReadsNothing) {
  Port.SetOnRxChar(nullptr);
  Open();
  Fake.PushReceived("COM1", "hello");
  Fake.PushEvents("COM1", EV_RXCHAR | EV_RING);
  ASSERT_TRUE(AwaitLog(1));
  EXPECT_EQ(Log, (V{"Ring"}));
  EXPECT_EQ(Fake.QueuedBytes("COM1"), 5u);
}

TEST_F(ComThreadFake, HandlerErrorEndsTheThreadAndIsShownOnce) {
  Port.SetOnRxChar([](TObject*, std::int32_t) { throw Exception("Frame handler failed"); });
  Open();
  Fake.PushReceived("COM1", "a");
  Fake.PushEvents("COM1", EV_RXCHAR);
  ASSERT_TRUE(Loop.RunUntil([&] { return !Shown.empty(); }, Patience));
  const TComThread* Thread = Port.EventThread();
  // The thread has ended (or is about to): wait without a main loop.
  while (!Thread->Finished())
    Loop.RunUntil([&] { return Thread->Finished(); }, std::chrono::milliseconds(20));
  EXPECT_NE(Thread->FatalException(), nullptr);
  Fake.PushEvents("COM1", EV_RING);
  Loop.Run(std::chrono::milliseconds(50));
  EXPECT_TRUE(Log.empty());
  EXPECT_EQ(Shown, (V{"Frame handler failed"}));
  Port.ClosePort();
  EXPECT_FALSE(Fake.IsOpen("COM1"));
}

TEST_F(ComThreadFake, VanishedDeviceEndsTheWaitAndReportsWaitFailed) {
  Open();
  Fake.Vanish("COM1");
  ASSERT_TRUE(Loop.RunUntil([&] { return !Shown.empty(); }, Patience));
  EXPECT_EQ(Shown, (V{"21:5"}));
  try {
    Port.ClosePort();
  } catch (const EComPort& E) {
    EXPECT_EQ(E.ErrorCode(), pePurgeFailed); // the device is gone
  }
  EXPECT_FALSE(Port.Connected());
  Loop.Run(std::chrono::milliseconds(20));
  EXPECT_EQ(Shown.size(), 1u);
}

TEST_F(ComThreadFake, NoSyncRunsTheHandlersOnTheEventThread) {
  Port.SetSyncMethod(TSyncMethod::smNone);
  std::promise<bool> OnMain;
  Port.SetOnRing([&](TObject*) { OnMain.set_value(IsMainThread()); });
  Open();
  Fake.PushEvents("COM1", EV_RING);
  auto Result = OnMain.get_future();
  ASSERT_EQ(Result.wait_for(Patience), std::future_status::ready);
  EXPECT_FALSE(Result.get());
}

} // namespace
