#include "scope/ScopeExport.h"

#include <QImage>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "scope/PlotValues.h"
#include "scope/ScopeRenderer.h"
#include "tests/FileFault.h"
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

// A full disk shows at the write or only when the file is flushed to the
// disk: either way the earlier file stays and the message says why.
TEST(ScopeExport, FullDiskKeepsTheEarlierFile) {
  TTempDir Dir;
  const std::string Values = Dir.File("plot.txt");
  const std::string Picture = Dir.File("plot.bmp");
  WriteTextFile(Values, "earlier values");
  WriteTextFile(Picture, "earlier picture");
  TScopeState State;
  QImage Shot(8, 8, QImage::Format_RGB32);
  Shot.fill(Qt::black);
  for (const TFileStep Step : {TFileStep::fsWrite, TFileStep::fsFlush}) {
    TFileFaultScope Fault(Step);
    EXPECT_EXCEPTION_MESSAGE(SavePlotValues(Values, State.Panels(), State.Samples()),
                             "Cannot write file \"" + Values + "\". No space left on device");
    TFileFaultScope PictureFault(Step);
    EXPECT_EXCEPTION_MESSAGE(SavePicture(Picture, Shot),
                             "Cannot write file \"" + Picture + "\". No space left on device");
  }
  EXPECT_EQ(ReadTextFile(Values), "earlier values");
  EXPECT_EQ(ReadTextFile(Picture), "earlier picture");
}

// A device or FIFO chosen in the dialog is not replaced by a file.
TEST(ScopeExport, DeviceOrFifoIsNotReplaced) {
  TTempDir Dir;
  const std::string Fifo = Dir.File("plot.txt");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0666), 0);
  const std::string Device = Dir.File("plot.bmp");
  const bool HaveDevice = mknod(Device.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
  TScopeState State;
  EXPECT_EXCEPTION_MESSAGE(SavePlotValues(Fifo, State.Panels(), State.Samples()),
                           "Cannot create file \"" + Fifo + "\". Not a regular file");
  struct stat Info {};
  ASSERT_EQ(lstat(Fifo.c_str(), &Info), 0);
  EXPECT_TRUE(S_ISFIFO(Info.st_mode));
  if (HaveDevice) {
    EXPECT_EXCEPTION_MESSAGE(SavePicture(Device, QImage(8, 8, QImage::Format_RGB32)),
                             "Cannot create file \"" + Device + "\". Not a regular file");
    ASSERT_EQ(lstat(Device.c_str(), &Info), 0);
    EXPECT_TRUE(S_ISCHR(Info.st_mode));
  }
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
