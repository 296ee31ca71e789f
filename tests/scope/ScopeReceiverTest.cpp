#include "scope/ScopeReceiver.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/scope/ScopeTestUtil.h"

namespace {

struct TFrameSeen {
  std::string Tag;
  int L;
  std::vector<std::uint8_t> Bytes; // the whole frame as it sat in the buffer
  bool operator==(const TFrameSeen&) const = default;
};

class ReceiverTest : public ::testing::Test {
protected:
  ReceiverTest() : Receiver(&Source) {
    Receiver.OnFrame = [this](std::string_view Tag, int L, const std::uint8_t* Frame) {
      Frames.push_back({std::string(Tag), L, std::vector<std::uint8_t>(Frame, Frame + L)});
    };
  }
  // One received-characters event with everything that waits.
  void Deliver(const std::vector<std::uint8_t>& Bytes) {
    Source.Push(Bytes);
    Receiver.ComPortRxChar(Source.Waiting());
  }
  std::vector<std::uint8_t> BRFrame(std::uint8_t Fill = 0x11) {
    return MakeFrame('R', 1, 2, std::vector<std::uint8_t>(5, Fill));
  }

  TRecordingSource Source;
  TScopeReceiver Receiver;
  std::vector<TFrameSeen> Frames;
};

TEST_F(ReceiverTest, SkipsNoiseBeforeTheFirstSyncByteOneByteAtATime) {
  std::vector<std::uint8_t> Stream = {0x00, 0x53, 0xFF, 0x41, 0x10};
  const auto Frame = BRFrame();
  Append(Stream, Frame);
  Deliver(Stream);
  ASSERT_EQ(Frames.size(), 1u);
  EXPECT_EQ(Frames[0].Tag, "BR");
  EXPECT_EQ(Frames[0].L, 12);
  EXPECT_EQ(Frames[0].Bytes, Frame);
  // Five noise bytes and the sync byte singly, then header and payload blocks.
  EXPECT_EQ(Source.Reads, (std::vector<int>{1, 1, 1, 1, 1, 1, 6, 5}));
  EXPECT_EQ(Source.Waiting(), 0);
}

TEST_F(ReceiverTest, TraceFrameInOneEventIsDispatchedOnceInThatEvent) {
  std::vector<std::uint8_t> Samples(256);
  for (int I = 0; I < 256; ++I)
    Samples[I] = static_cast<std::uint8_t>(I);
  const auto Frame = MakeTraceFrame(0x0B, 0x04, Samples);
  ASSERT_EQ(Frame.size(), 266u);
  Deliver(Frame);
  ASSERT_EQ(Frames.size(), 1u);
  EXPECT_EQ(Frames[0].Tag, "BA");
  EXPECT_EQ(Frames[0].L, 266);
  EXPECT_EQ(Frames[0].Bytes, Frame);
  EXPECT_EQ(Source.Reads, (std::vector<int>{1, 6, 259}));
  // Back to hunting; the next sync byte starts the next frame.
  EXPECT_FALSE(Receiver.HeaderDone());
  EXPECT_EQ(Receiver.Needed(), 1);
  EXPECT_EQ(Receiver.RxBuffer()[0], 0xFF);
}

TEST_F(ReceiverTest, OneBytePerEventReadsOnlyWhenAWholeBlockWaits) {
  const auto Frame = MakeTraceFrame(0x0B, 0x04, std::vector<std::uint8_t>(256, 9));
  std::vector<std::vector<int>> ReadsPerEvent;
  for (std::size_t I = 0; I < Frame.size(); ++I) {
    Source.Reads.clear();
    Deliver({Frame[I]});
    ReadsPerEvent.push_back(Source.Reads);
    if (I + 1 < Frame.size()) {
      EXPECT_TRUE(Frames.empty()) << "dispatched early at byte " << I;
    }
  }
  ASSERT_EQ(Frames.size(), 1u);
  EXPECT_EQ(Frames[0].Bytes, Frame);
  for (std::size_t I = 0; I < ReadsPerEvent.size(); ++I) {
    std::vector<int> Expected;
    if (I == 0)
      Expected = {1}; // the sync byte
    else if (I == 6)
      Expected = {6}; // the 6th byte after the sync byte is waiting
    else if (I == 265)
      Expected = {259}; // all of the payload is waiting
    EXPECT_EQ(ReadsPerEvent[I], Expected) << "event " << I;
  }
}

TEST_F(ReceiverTest, TwoFramesInOneEventAreBothDispatchedInOrder) {
  const auto First = MakeSingleSampleFrame(0xD4, 0x19, 200, 7);
  const auto Second = MakeTraceFrame(0x0B, 0xE9, std::vector<std::uint8_t>(256, 3));
  std::vector<std::uint8_t> Stream = First;
  Append(Stream, Second);
  Deliver(Stream);
  ASSERT_EQ(Frames.size(), 2u);
  EXPECT_EQ(Frames[0].Tag, "BS");
  EXPECT_EQ(Frames[0].Bytes, First);
  EXPECT_EQ(Frames[1].Tag, "BA");
  EXPECT_EQ(Frames[1].Bytes, Second);
}

TEST_F(ReceiverTest, LengthLimitsOfTheHeader) {
  struct TCase {
    int L;
    bool Accepted;
  };
  for (const TCase& C : {TCase{7, false}, TCase{8, true}, TCase{273, true}, TCase{274, false},
                         TCase{0, false}, TCase{0xFFFF, false}}) {
    SCOPED_TRACE("L = " + std::to_string(C.L));
    TRecordingSource S;
    TScopeReceiver R(&S);
    std::vector<std::string> Tags;
    R.OnFrame = [&](std::string_view Tag, int L, const std::uint8_t*) {
      Tags.push_back(std::string(Tag) + ":" + std::to_string(L));
    };
    const int PayloadSize = std::max(C.L - 7, 0);
    auto Stream = MakeFrame('R', 0, 0, std::vector<std::uint8_t>(PayloadSize, 0x55), C.L);
    // A frame with a good header follows; for a dropped header the hunt finds
    // it after skipping the unread payload bytes.
    Append(Stream, MakeFrame('R', 0, 0, {1, 2}));
    S.Push(Stream);
    R.ComPortRxChar(S.Waiting());
    if (C.Accepted) {
      EXPECT_EQ(Tags, (std::vector<std::string>{"BR:" + std::to_string(C.L), "BR:9"}));
    } else {
      EXPECT_EQ(Tags, (std::vector<std::string>{"BR:9"}));
    }
  }
}

TEST_F(ReceiverTest, BadTypeLetterDropsTheSixHeaderBytes) {
  // A second sync byte at offset 1 is a bad type; the six header bytes hold
  // what looks like the start of a frame, which must not be found again.
  std::vector<std::uint8_t> Stream = {0x42, 0x42, 0x53, 0x0C, 0x00, 0x42, 0x41};
  const auto Good = BRFrame(0x33);
  Append(Stream, Good);
  Deliver(Stream);
  ASSERT_EQ(Frames.size(), 1u);
  EXPECT_EQ(Frames[0].Bytes, Good);
  EXPECT_EQ(Source.Waiting(), 0);
}

TEST_F(ReceiverTest, FrameCutByADisconnectIsCompletedByTheNextConnection) {
  const auto Cut = MakeTraceFrame(0x0B, 0x04, std::vector<std::uint8_t>(256, 200));
  Source.Push(std::vector<std::uint8_t>(Cut.begin(), Cut.begin() + 100));
  Receiver.ComPortRxChar(Source.Waiting());
  EXPECT_TRUE(Frames.empty());
  EXPECT_TRUE(Receiver.HeaderDone());
  // Disconnect drops the bytes still queued; the next connection is a new
  // source, and its first 259 bytes complete the frame that was cut off.
  TRecordingSource Next;
  Receiver.SetSource(&Next);
  const auto Fresh = MakeTraceFrame(0xD4, 0x19, std::vector<std::uint8_t>(256, 9));
  Next.Push(Fresh);
  Receiver.ComPortRxChar(Next.Waiting());
  ASSERT_EQ(Frames.size(), 1u);
  std::vector<std::uint8_t> Expected(Cut.begin(), Cut.begin() + 7);
  Expected.insert(Expected.end(), Fresh.begin(), Fresh.begin() + 259);
  EXPECT_EQ(Frames[0].Bytes, Expected);
  EXPECT_EQ(Next.Reads, (std::vector<int>{259, 1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(ReceiverTest, BudgetIsTheEventCountNotTheQueue) {
  const auto Frame = BRFrame();
  Source.Push(Frame);
  // An event that reports fewer bytes than wait reads no more than it reports.
  Receiver.ComPortRxChar(6);
  EXPECT_EQ(Source.Reads, (std::vector<int>{1}));
  EXPECT_EQ(Source.Waiting(), 11);
  Receiver.ComPortRxChar(Source.Waiting());
  ASSERT_EQ(Frames.size(), 1u);
}

TEST_F(ReceiverTest, RaisingHandlerLeavesTheReceiverHunting) {
  int Calls = 0;
  Receiver.OnFrame = [&](std::string_view, int, const std::uint8_t*) {
    if (++Calls == 1)
      throw std::runtime_error("decoder failed");
  };
  EXPECT_THROW(Deliver(BRFrame()), std::runtime_error);
  Deliver(BRFrame());
  EXPECT_EQ(Calls, 2);
}

// Random streams cut into random events: what is dispatched never depends on
// how the bytes were chunked.
std::vector<TFrameSeen> RunChunked(const std::vector<std::uint8_t>& Stream,
                                   const std::vector<int>& Chunks) {
  TMemoryByteSource S;
  TScopeReceiver R(&S);
  std::vector<TFrameSeen> Seen;
  R.OnFrame = [&](std::string_view Tag, int L, const std::uint8_t* Frame) {
    Seen.push_back({std::string(Tag), L, std::vector<std::uint8_t>(Frame, Frame + L)});
  };
  std::size_t Pos = 0;
  for (std::size_t I = 0; Pos < Stream.size(); ++I) {
    const std::size_t N = std::min<std::size_t>(static_cast<std::size_t>(Chunks[I % Chunks.size()]),
                                                Stream.size() - Pos);
    S.Push(Stream.data() + Pos, N);
    Pos += N;
    R.ComPortRxChar(S.Waiting());
  }
  return Seen;
}

TEST(ReceiverProperty, DispatchedFramesDoNotDependOnChunking) {
  std::mt19937 Rng(20261207);
  auto Byte = [&] { return static_cast<std::uint8_t>(Rng() & 0xFF); };
  for (int Round = 0; Round < 60; ++Round) {
    SCOPED_TRACE("round " + std::to_string(Round));
    std::vector<std::uint8_t> Stream;
    std::vector<std::vector<std::uint8_t>> Expected;
    bool Predictable = true;
    for (int Piece = 0; Piece < 25; ++Piece) {
      switch (Rng() % 4) {
      case 0: { // noise without a sync byte
        for (unsigned N = Rng() % 20; N > 0; --N) {
          std::uint8_t B = Byte();
          Stream.push_back(B == 0x42 ? 0x43 : B);
        }
        break;
      }
      case 1: { // a bad header, possibly holding sync bytes of its own
        Stream.push_back(0x42);
        for (int N = 0; N < 6; ++N)
          Stream.push_back(Rng() % 3 == 0 ? 0x42 : Byte());
        Predictable = false;
        break;
      }
      default: { // a valid frame
        const char Types[] = {'S', 'A', 'R'};
        std::vector<std::uint8_t> Payload(1 + Rng() % 266);
        for (auto& B : Payload)
          B = Byte();
        const auto F = MakeFrame(Types[Rng() % 3], Byte(), Byte(), Payload);
        Append(Stream, F);
        Expected.push_back(F);
        break;
      }
      }
    }
    const auto Whole = RunChunked(Stream, {static_cast<int>(Stream.size())});
    if (Predictable) {
      ASSERT_EQ(Whole.size(), Expected.size());
      for (std::size_t I = 0; I < Whole.size(); ++I)
        EXPECT_EQ(Whole[I].Bytes, Expected[I]);
    }
    EXPECT_EQ(RunChunked(Stream, {1}), Whole);
    EXPECT_EQ(RunChunked(Stream, {5, 1, 300, 7}), Whole);
    std::vector<int> RandomChunks(10);
    for (int& C : RandomChunks)
      C = 1 + static_cast<int>(Rng() % 400);
    EXPECT_EQ(RunChunked(Stream, RandomChunks), Whole);
  }
}

} // namespace
