#include "scope/ScopeExport.h"

#include <gtest/gtest.h>

#include "scope/PlotValues.h"
#include "scope/ScopeLink.h"
#include "scope/ScopeRenderer.h"
#include "tests/TestUtil.h"

namespace {

TEST(ScopeExport, ValuesFileHoldsThePlotValuesText) {
  TTempDir Dir;
  TScopeState State;
  State.SetSample(0, 0);
  State.SetSample(1, 1);
  State.SetPanel(0, "norm");
  const std::string Name = Dir.File("plot.txt");
  SavePlotValues(Name, State.Panels(), State.Samples());
  const std::string Text = ReadTextFile(Name);
  EXPECT_EQ(Text, PlotValuesText(State.Panels(), State.Samples()));
  EXPECT_NE(Text.find("\r\n0=256\r\n1=255\r\n2=129\r\n"), std::string::npos);
}

TEST(ScopeExport, ExistingFileIsReplaced) {
  TTempDir Dir;
  const std::string Name = Dir.File("plot.txt");
  WriteTextFile(Name, std::string(100000, 'x'));
  SaveFileContents(Name, "short");
  EXPECT_EQ(ReadTextFile(Name), "short");
}

TEST(ScopeExport, FailedSaveLeavesTheEarlierFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("plot.bmp");
  WriteTextFile(Name, "earlier");
  // An empty picture cannot be written: the earlier file stays as it was.
  EXPECT_EXCEPTION_MESSAGE(SavePicture(Name, TPixelImage()),
                           "Cannot write file \"" + Name + "\". The picture is empty");
  EXPECT_EQ(ReadTextFile(Name), "earlier");
}

TEST(ScopeExport, PictureIsTheBmpFileOfTheScreen) {
  // The steep trace at 61 x 37 (rows of 183 bytes padded to 184): the file is
  // the one the client has always written, byte for byte.
  const std::string Data = HXT24_SOURCE_DIR "/tests/scope/data/";
  const std::string Recording = ReadTextFile(Data + "steep-frame.bin");
  TMemoryByteSource Source;
  TScopeLink Link(&Source);
  Source.Push(reinterpret_cast<const std::uint8_t*>(Recording.data()), Recording.size());
  Link.ComPortRxChar(Source.Waiting());
  TTempDir Dir;
  TScopeRenderer R;
  const std::string Name = Dir.File("plot.bmp");
  SavePicture(Name, R.ScopePaint(Link.State.Samples(), 61, 37));
  EXPECT_EQ(ReadTextFile(Name), ReadTextFile(Data + "steep-61x37.bmp"));

  // The header of a large one: sizes and the bottom-up height.
  SavePicture(Name, R.ScopePaint(Link.State.Samples(), 1000, 700));
  const std::string Bmp = ReadTextFile(Name);
  const auto U32 = [&](std::size_t At) {
    std::uint32_t V = 0;
    for (int I = 3; I >= 0; --I)
      V = V << 8 | static_cast<unsigned char>(Bmp[At + static_cast<std::size_t>(I)]);
    return V;
  };
  ASSERT_EQ(Bmp.size(), 54u + 3000u * 700u);
  EXPECT_EQ(U32(2), Bmp.size());
  EXPECT_EQ(U32(18), 1000u);
  EXPECT_EQ(U32(22), 700u);
  // The first row in the file is the bottom row of the picture.
  const std::uint32_t BottomLeft = R.Screen().Pixel(0, 699);
  EXPECT_EQ(U32(54) & 0xFFFFFF, BottomLeft & 0xFFFFFF);
}

} // namespace
