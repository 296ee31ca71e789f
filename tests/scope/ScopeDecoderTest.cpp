#include "scope/ScopeDecoder.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scope/ScopeLink.h"
#include "tests/scope/ScopeTestUtil.h"

namespace {

class DecoderTest : public ::testing::Test {
protected:
  DecoderTest() : Link(&Source) {
    Link.State.OnRepaint = [this] { ++Repaints; };
    Link.State.OnPanelChange = [this](int Index, const std::string& Text) {
      Changes.push_back(std::to_string(Index) + ":" + Text);
    };
  }
  void Deliver(const std::vector<std::uint8_t>& Bytes) {
    Source.Push(Bytes.data(), Bytes.size());
    Link.ComPortRxChar(Source.Waiting());
  }
  std::vector<std::string> PanelTexts() const {
    return {Link.State.Panels().begin(), Link.State.Panels().end()};
  }

  TMemoryByteSource Source;
  TScopeLink Link;
  int Repaints = 0;
  std::vector<std::string> Changes;
};

TEST_F(DecoderTest, SettingsByteATable) {
  struct TCase {
    std::uint8_t A;
    const char* Mode;
    const char* Time;
  };
  for (const TCase& C : {TCase{0xD4, "roll", "X=1s/div"}, TCase{0x0B, "norm", "X=1ms/div"},
                         TCase{0x40, "run", "X=.2us/div"}, TCase{0x9F, "once", "X=1h/div"},
                         TCase{0x1D, "norm", "X=0.25h/div"}}) {
    SCOPED_TRACE(C.A);
    Link.Decoder.ShowScopeSettings(C.A, 0);
    EXPECT_EQ(Link.State.Panel(0), C.Mode);
    EXPECT_EQ(Link.State.Panel(1), C.Time);
  }
}

TEST_F(DecoderTest, SettingsByteBTable) {
  struct TCase {
    std::uint8_t B;
    std::vector<std::string> Panels2To6;
  };
  for (const TCase& C : {
           TCase{0x19, {"Y=40v/div", "", "", "AC", "x10"}},
           TCase{0xE9, {"Y=4v/div", "Hold", "Memory", "DC", "x1"}},
           TCase{0x04, {"Y=0.1v/div", "", "", "AC", "x1"}},
           TCase{0x14, {"Y=1v/div", "", "", "AC", "x10"}},
           TCase{0x11, {"Y=.1v/div", "", "", "AC", "x10"}},
           TCase{0x3B, {"Y=200v/div", "", "", "DC", "x10"}},
           TCase{0x80, {"Y=5mv/div", "Hold", "", "AC", "x1"}},
       }) {
    SCOPED_TRACE(C.B);
    Link.Decoder.ShowScopeSettings(0, C.B);
    const std::vector<std::string> All = PanelTexts();
    const std::vector<std::string> Got(All.begin() + 2, All.end());
    EXPECT_EQ(Got, C.Panels2To6);
  }
}

TEST_F(DecoderTest, PanelsAreWrittenInOrder) {
  Link.Decoder.ShowScopeSettings(0xD4, 0xE9);
  EXPECT_EQ(Changes, (std::vector<std::string>{"0:roll", "1:X=1s/div", "2:Y=4v/div", "3:Hold",
                                               "4:Memory", "5:DC", "6:x1"}));
}

TEST_F(DecoderTest, IndicesOutsideTheTablesLeaveTheirPanelUnchanged) {
  Link.Decoder.ShowScopeSettings(0x0B, 0x04);
  // t = 32 .. 63 has no time-base text; v = 12 .. 15 no sensitivity text.
  for (std::uint8_t A : {0x20, 0x3F, 0xE0}) {
    for (std::uint8_t B : {0x0C, 0x1F, 0xFD}) {
      Link.Decoder.ShowScopeSettings(A, B);
      EXPECT_EQ(Link.State.Panel(1), "X=1ms/div");
      EXPECT_EQ(Link.State.Panel(2), "Y=0.1v/div");
    }
  }
  // The other panels still follow the byte.
  EXPECT_EQ(Link.State.Panel(0), "roll");
  EXPECT_EQ(Link.State.Panel(3), "Hold");
  EXPECT_EQ(Link.State.Panel(6), "x10");
}

TEST_F(DecoderTest, TraceFrameStoresNegatedSamplesAndRepaintsOnce) {
  std::vector<std::uint8_t> S(256);
  for (int I = 0; I < 256; ++I)
    S[I] = static_cast<std::uint8_t>(I);
  Deliver(MakeTraceFrame(0x0B, 0x04, S));
  const auto& Stored = Link.State.Samples();
  EXPECT_EQ(Stored[0], 0);
  for (int I = 1; I < 256; ++I)
    ASSERT_EQ(Stored[I], 256 - I) << I;
  EXPECT_EQ(Repaints, 1);
  EXPECT_EQ(PanelTexts(),
            (std::vector<std::string>{"norm", "X=1ms/div", "Y=0.1v/div", "", "", "AC", "x1"}));
}

TEST_F(DecoderTest, ReceivedZeroIsStoredHighestAboveReceived255) {
  std::vector<std::uint8_t> S(256, 128);
  S[0] = 0;
  S[1] = 255;
  S[2] = 127;
  Deliver(MakeTraceFrame(0x0B, 0x04, S));
  EXPECT_EQ(Link.State.Samples()[0], 0);
  EXPECT_EQ(Link.State.Samples()[1], 1);
  EXPECT_EQ(Link.State.Samples()[2], 129);
  EXPECT_EQ(Link.State.Samples()[3], 128);
}

TEST_F(DecoderTest, SingleSampleFramePositions) {
  struct TCase {
    int T;
    std::uint8_t P;
    int Pos;
  };
  for (const TCase& C : {TCase{20, 200, 200}, TCase{22, 14, 2}, TCase{31, 255, 0}, TCase{31, 0, 0},
                         TCase{21, 255, 127}, TCase{29, 255, 0}, TCase{26, 120, 2}}) {
    SCOPED_TRACE("t = " + std::to_string(C.T) + ", P = " + std::to_string(C.P));
    Link.State.ResetTrace();
    const int Before = Repaints;
    Deliver(MakeSingleSampleFrame(static_cast<std::uint8_t>(C.T), 0, C.P, 10));
    for (int I = 0; I < 256; ++I)
      ASSERT_EQ(Link.State.Samples()[I], I == C.Pos ? 246 : 127) << I;
    EXPECT_EQ(Repaints, Before + 1);
  }
}

TEST_F(DecoderTest, SingleSampleFrameWithoutRollTimeBaseStoresNothing) {
  for (std::uint8_t A : {0x0B, 0x13, 0x20, 0x3F}) {
    Changes.clear();
    const int Before = Repaints;
    Deliver(MakeSingleSampleFrame(A, 0x30, 0, 10));
    for (int I = 0; I < 256; ++I)
      ASSERT_EQ(Link.State.Samples()[I], 127) << I;
    // The status bar is still written and the area repainted.
    EXPECT_EQ(Link.State.Panel(5), "DC");
    EXPECT_EQ(Repaints, Before + 1);
  }
}

TEST_F(DecoderTest, FrameTypeRChangesNothing) {
  Deliver(MakeTraceFrame(0x0B, 0x04, std::vector<std::uint8_t>(256, 50)));
  const auto Samples = Link.State.Samples();
  const auto Panels = PanelTexts();
  const int Before = Repaints;
  int Done = 0;
  Link.OnFrameDone = [&](std::string_view Tag, int L) {
    EXPECT_EQ(Tag, "BR");
    EXPECT_EQ(L, 266);
    ++Done;
  };
  auto Frame = MakeTraceFrame(0xD4, 0xE9, std::vector<std::uint8_t>(256, 1));
  Frame[1] = 'R';
  Deliver(Frame);
  EXPECT_EQ(Done, 1);
  EXPECT_EQ(Link.State.Samples(), Samples);
  EXPECT_EQ(PanelTexts(), Panels);
  EXPECT_EQ(Repaints, Before);
}

TEST_F(DecoderTest, ShortSingleSampleFrameReadsWhatEarlierFramesLeft) {
  // The decoders read fixed offsets whatever the length: a "BS" frame of 8
  // bytes takes its value from offset 10 of the trace frame before it.
  std::vector<std::uint8_t> S(256, 77);
  Deliver(MakeTraceFrame(0x0B, 0x04, S));
  Deliver(MakeFrame('S', 20, 0, {5}));
  EXPECT_EQ(Link.State.Samples()[5], 256 - 77);
}

TEST_F(DecoderTest, ResetTraceSetsTheFlatLineAndRepaints) {
  Deliver(MakeTraceFrame(0x0B, 0x04, std::vector<std::uint8_t>(256, 3)));
  const int Before = Repaints;
  Link.State.ResetTrace();
  for (auto V : Link.State.Samples())
    ASSERT_EQ(V, 127);
  EXPECT_EQ(Repaints, Before + 1);
  // The status bar keeps its texts.
  EXPECT_EQ(Link.State.Panel(0), "norm");
}

} // namespace
