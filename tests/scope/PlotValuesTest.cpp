#include "scope/PlotValues.h"

#include <string>

#include <gtest/gtest.h>

#include "scope/ScopeLink.h"
#include "tests/scope/ScopeTestUtil.h"

namespace {

TEST(PlotValues, AfterATraceFrameByteForByte) {
  TMemoryByteSource Source;
  TScopeLink Link(&Source);
  std::vector<std::uint8_t> S(256, 200);
  S[0] = 128;
  S[1] = 130;
  S[2] = 131;
  S[3] = 0; // written as 256
  S[4] = 255;
  const auto Frame = MakeTraceFrame(0x0B, 0x04, S);
  Source.Push(Frame.data(), Frame.size());
  Link.ComPortRxChar(Source.Waiting());

  std::string Expected = "Trigger=norm\r\n"
                         "X=1ms/div\r\n"
                         "Y=0.1v/div\r\n"
                         "Hold=\r\n"
                         "Memory=\r\n"
                         "AC/DC=AC\r\n"
                         "Probe=x1\r\n"
                         "\r\n"
                         "0=128\r\n"
                         "1=130\r\n"
                         "2=131\r\n"
                         "3=256\r\n"
                         "4=255\r\n";
  for (int I = 5; I < 256; ++I)
    Expected += std::to_string(I) + "=200\r\n";
  EXPECT_EQ(PlotValuesText(Link.State.Panels(), Link.State.Samples()), Expected);
}

TEST(PlotValues, BeforeAnyFrame) {
  TScopeState State;
  const std::string Text = PlotValuesText(State.Panels(), State.Samples());
  std::string Expected = "Trigger=\r\n\r\n\r\nHold=\r\nMemory=\r\nAC/DC=\r\nProbe=\r\n\r\n";
  for (int I = 0; I < 256; ++I)
    Expected += std::to_string(I) + "=129\r\n";
  EXPECT_EQ(Text, Expected);
  std::size_t Lines = 0;
  for (std::size_t P = Text.find("\r\n"); P != std::string::npos; P = Text.find("\r\n", P + 2))
    ++Lines;
  EXPECT_EQ(Lines, 264u);
}

TEST(PlotValues, FlagsAndX10Probe) {
  TScopeState State;
  TScopeDecoder Decoder(State);
  Decoder.ShowScopeSettings(0xD4, 0xF9);
  const std::string Text = PlotValuesText(State.Panels(), State.Samples());
  EXPECT_EQ(Text.substr(0, Text.find("\r\n\r\n") + 4),
            "Trigger=roll\r\nX=1s/div\r\nY=40v/div\r\nHold=Hold\r\nMemory=Memory\r\n"
            "AC/DC=DC\r\nProbe=x10\r\n\r\n");
}

} // namespace
