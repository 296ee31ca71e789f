#include "scope/ScopeExport.h"

#include <QImage>
#include <gtest/gtest.h>

#include "scope/PlotValues.h"
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

TEST(ScopeExport, UncreatableFileNamesTheFileAndTheReason) {
  TTempDir Dir;
  const std::string Name = Dir.File("missing/plot.txt");
  EXPECT_EXCEPTION_MESSAGE(SaveFileContents(Name, "x"),
                           "Cannot create file \"" + Name + "\". No such file or directory");
  const std::string Picture = Dir.File("missing/plot.bmp");
  EXPECT_EXCEPTION_MESSAGE(SavePicture(Picture, QImage(4, 4, QImage::Format_RGB32)),
                           "Cannot create file \"" + Picture + "\". No such file or directory");
}

TEST(ScopeExport, FailedSaveLeavesTheEarlierFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("plot.bmp");
  WriteTextFile(Name, "earlier");
  // A null image cannot be written: the earlier file stays as it was.
  EXPECT_THROW(SavePicture(Name, QImage()), Exception);
  EXPECT_EQ(ReadTextFile(Name), "earlier");
}

TEST(ScopeExport, PictureIsABitmapOfTheScreen) {
  TTempDir Dir;
  TScopeRenderer R;
  TScopeSamples Samples;
  Samples.fill(127);
  const QImage& Screen = R.ScopePaint(Samples, 1000, 700);
  const std::string Name = Dir.File("plot.bmp");
  SavePicture(Name, Screen);
  EXPECT_EQ(ReadTextFile(Name).substr(0, 2), "BM");
  QImage Loaded(QString::fromStdString(Name), "BMP");
  ASSERT_EQ(Loaded.size(), QSize(1000, 700));
  EXPECT_EQ(Loaded.convertToFormat(QImage::Format_RGB32), Screen);
}

} // namespace
