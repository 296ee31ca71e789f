// Saving on POSIX systems: the failure messages carry the system's texts, and
// FIFOs and devices exist to be chosen in the dialog.
#include "scope/ScopeExport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "tests/FileFault.h"
#include "tests/TestUtil.h"

namespace {

TEST(ScopeExport, UncreatableFileNamesTheFileAndTheReason) {
  TTempDir Dir;
  const std::string Name = Dir.File("missing/plot.txt");
  EXPECT_EXCEPTION_MESSAGE(SaveFileContents(Name, "x"),
                           "Cannot create file \"" + Name + "\". No such file or directory");
  const std::string Picture = Dir.File("missing/plot.bmp");
  EXPECT_EXCEPTION_MESSAGE(SavePicture(Picture, TPixelImage(4, 4)),
                           "Cannot create file \"" + Picture + "\". No such file or directory");
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
  const TPixelImage Shot(8, 8);
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
    EXPECT_EXCEPTION_MESSAGE(SavePicture(Device, TPixelImage(8, 8)),
                             "Cannot create file \"" + Device + "\". Not a regular file");
    ASSERT_EQ(lstat(Device.c_str(), &Info), 0);
    EXPECT_TRUE(S_ISCHR(Info.st_mode));
  }
}

} // namespace
