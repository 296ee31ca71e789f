// INI files on POSIX systems: permission bits, symbolic links, FIFOs and devices.
#include "base/IniFile.h"

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/FileFault.h"
#include "tests/TestUtil.h"

TEST(IniFileWrite, KeepsPermissionsAndFollowsLinks) {
  TTempDir Dir;
  const auto Name = Dir.File("real.ini");
  WriteTextFile(Name, "[A]\nx=1\n");
  std::filesystem::permissions(Name, std::filesystem::perms(0640));
  std::filesystem::create_symlink(Name, Dir.File("link.ini"));
  TIniFile(Dir.File("link.ini")).WriteInteger("A", "x", 2);
  EXPECT_TRUE(std::filesystem::is_symlink(Dir.File("link.ini")));
  EXPECT_EQ(ReadTextFile(Name), "[A]\nx=2\n");
  EXPECT_EQ(std::filesystem::status(Name).permissions(), std::filesystem::perms(0640));
  // Nothing but the two names is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 2);
}

// config.ini is read only when it is a regular file, never waited on, and only
// up to a size no settings file reaches: keys beyond take their defaults.
TEST(IniFile, ReadsOnlyARegularFileUpToItsSizeLimit) {
  TTempDir Dir;
  const std::string Fifo = Dir.File("fifo.ini");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0666), 0);
  const std::string Zero = Dir.File("zero.ini");
  ASSERT_EQ(symlink("/dev/zero", Zero.c_str()), 0);
  for (const std::string& Name : {Fifo, Zero}) {
    SCOPED_TRACE(Name);
    auto Read = std::async(std::launch::async,
                           [&] { return TIniFile(Name).ReadInteger("Settings", "Width", 625); });
    if (Read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      close(open(Fifo.c_str(), O_WRONLY | O_NONBLOCK));
      FAIL() << "reading blocked";
    }
    EXPECT_EQ(Read.get(), 625);
    EXPECT_THROW(TIniFile(Name).WriteInteger("Settings", "Width", 1), Exception);
  }

  const std::string Big = Dir.File("big.ini");
  const std::string Filler = "; " + std::string(1000, '-') + "\n";
  std::string Text = "[Settings]\nWidth=800\n";
  while (Text.size() < (1u << 20) - 4)
    Text += Filler;
  // The limit falls in the middle of this line: it is not read at all.
  Text += "Height=4000\nTraceColor=255\n";
  WriteTextFile(Big, Text);
  TIniFile Ini(Big);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 625), 800);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Height", 375), 375);
  EXPECT_EQ(Ini.ReadInteger("Settings", "TraceColor", 1), 1);
  // Writing would drop what was not read: refused, the file unchanged.
  EXPECT_THROW(Ini.WriteInteger("Settings", "Width", 1), Exception);
  EXPECT_EQ(ReadTextFile(Big), Text);
}
