// Where there is no system registry: the settings file per root key.
#include "base/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/TestUtil.h"

namespace {

// Every registry test of this program writes below a configuration folder of
// its own, never the user's.
class TConfigHomeEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    FHome = std::make_unique<TTempDir>();
    setenv("XDG_CONFIG_HOME", FHome->Path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    FHome.reset();
  }

private:
  std::unique_ptr<TTempDir> FHome;
};

[[maybe_unused]] ::testing::Environment* const ConfigHome =
    ::testing::AddGlobalTestEnvironment(new TConfigHomeEnvironment);

std::string UserFile() {
  return std::string(std::getenv("XDG_CONFIG_HOME")) + "/hxt24/HKEY_CURRENT_USER.ini";
}

const char* const KeyPath = "Software\\HXT24\\File Test";

} // namespace

TEST(RegistryFile, WhatOneProcessStoresTheNextReads) {
  DeleteRegistryKey(TRegRoot::rrCurrentUser, KeyPath);
  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    int Result = 1;
    try {
      auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, KeyPath);
      Key->WriteString("Port", "COM5");
      Key->WriteInteger("BaudRate", 57600);
      Key->WriteString("Lines", "one\ntwo");
      Key->WriteString("Zero", std::string_view("ab\0cd", 5));
      Result = 0;
    } catch (...) {
    }
    _exit(Result);
  }
  int Status = 0;
  ASSERT_EQ(waitpid(Child, &Status, 0), Child);
  ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);

  auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, "\\software\\hxt24\\FILE TEST\\", true);
  ASSERT_TRUE(Key);
  EXPECT_EQ(Key->ReadString("Port"), "COM5");
  EXPECT_EQ(Key->ReadInteger("BaudRate"), 57600);
  EXPECT_EQ(Key->ReadString("Lines"), "one\ntwo");
  EXPECT_EQ(Key->ReadString("Zero"), "ab");
  const std::string Text = ReadTextFile(UserFile());
  EXPECT_NE(Text.find("[Software\\HXT24\\File Test]\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Port=str:COM5\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("BaudRate=dword:0000e100\n"), std::string::npos) << Text;
  EXPECT_NE(Text.find("Lines=hex(1):6f6e650a74776f00\n"), std::string::npos) << Text;
}

TEST(RegistryFile, RefusedWritesFailWithTheValueName) {
  auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, KeyPath);
  ASSERT_TRUE(Key);
  // Names that would not read back as themselves from a line of the file.
  for (const char* Name : {"a=b", " Port", "[Port", "", "two\nlines"})
    EXPECT_EXCEPTION_MESSAGE(Key->WriteString(Name, "x"),
                             "Failed to set data for '" + std::string(Name) + "'");
  // A file that cannot be replaced: the write is refused, not lost silently.
  if (geteuid() != 0) {
    const std::string Folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/hxt24";
    ASSERT_EQ(chmod(Folder.c_str(), 0500), 0);
    EXPECT_EXCEPTION_MESSAGE(Key->WriteInteger("BaudRate", 9600),
                             "Failed to set data for 'BaudRate'");
    chmod(Folder.c_str(), 0700);
  }
  // Paths that cannot be a section name do not open.
  EXPECT_FALSE(OpenRegistryKey(TRegRoot::rrCurrentUser, "Software\\[x]"));
  EXPECT_FALSE(OpenRegistryKey(TRegRoot::rrCurrentUser, " Software"));
}

TEST(RegistryFile, HandWrittenValuesReadAsText) {
  const std::string Folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/hxt24";
  mkdir(Folder.c_str(), 0700);
  WriteTextFile(Folder + "/HKEY_LOCAL_MACHINE.ini",
                "[Software\\Vendor]\nPort=COM2\nRate=dword:zz\nNumber=dword:ffffffff\n");
  auto Key = OpenRegistryKey(TRegRoot::rrLocalMachine, "Software\\Vendor", true);
  ASSERT_TRUE(Key);
  EXPECT_EQ(Key->ReadString("Port"), "COM2");
  EXPECT_EQ(Key->ReadString("Rate"), "dword:zz");
  EXPECT_EQ(Key->ReadInteger("Number"), -1);
}

TEST(RegistryFile, DeletingAKeyRemovesItsSectionsAndNothingElse) {
  const std::string Folder = std::string(std::getenv("XDG_CONFIG_HOME")) + "/hxt24";
  mkdir(Folder.c_str(), 0700);
  const std::string File = Folder + "/HKEY_CURRENT_USER.ini";
  WriteTextFile(File, "\xEF\xBB\xBF; mine\r\n[Software\\A]\r\nx=str:1\r\n"
                      "[software\\a\\Sub]\r\ny=str:2\r\n[Software\\AB]\r\nz=str:3\r\n"
                      "[Other]\r\n\r\nw=dword:00000001\r\n");
  EXPECT_TRUE(DeleteRegistryKey(TRegRoot::rrCurrentUser, "Software\\A"));
  EXPECT_EQ(
      ReadTextFile(File),
      "\xEF\xBB\xBF; mine\r\n[Software\\AB]\r\nz=str:3\r\n[Other]\r\n\r\nw=dword:00000001\r\n");
  EXPECT_FALSE(OpenRegistryKey(TRegRoot::rrCurrentUser, "Software\\A", true));
  EXPECT_FALSE(DeleteRegistryKey(TRegRoot::rrCurrentUser, "Software\\A"));
  EXPECT_FALSE(DeleteRegistryKey(TRegRoot::rrLocalMachine, "Software\\A")); // no such file

  // Lines end as the reader ends them (a lone CR too), and a "[" without "]"
  // is no header: the value after it stays in the section it belongs to.
  WriteTextFile(File, "[Other]\rx=str:1\r[Software\\A\ry=str:2\r[Software\\A]x]\rv=str:5\r"
                      "[ Software\\A ]\rz=str:3\r[Last]\rw=str:4");
  EXPECT_TRUE(DeleteRegistryKey(TRegRoot::rrCurrentUser, "Software\\A"));
  EXPECT_EQ(ReadTextFile(File),
            "[Other]\rx=str:1\r[Software\\A\ry=str:2\r[Software\\A]x]\rv=str:5\r[Last]\rw=str:4");
}

// Two programs storing their settings at the same moment, each under a key of
// its own: every value of both is there afterwards.
TEST(RegistryFile, ConcurrentStoresKeepEveryValue) {
  int Go[2];
  ASSERT_EQ(pipe(Go), 0);
  pid_t Children[2];
  for (int c = 0; c < 2; ++c) {
    Children[c] = fork();
    ASSERT_GE(Children[c], 0);
    if (Children[c] == 0) {
      close(Go[1]);
      char Byte;
      (void)!read(Go[0], &Byte, 1); // both start when the pipe closes
      int Result = 1;
      try {
        auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser,
                                   std::string("Software\\Race\\") + char('A' + c));
        for (int i = 0; i < 20; ++i)
          Key->WriteInteger("Value" + std::to_string(i), c * 100 + i);
        Result = 0;
      } catch (...) {
      }
      _exit(Result);
    }
  }
  close(Go[0]);
  close(Go[1]);
  for (pid_t Child : Children) {
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
  }
  for (int c = 0; c < 2; ++c) {
    auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser,
                               std::string("Software\\Race\\") + char('A' + c), true);
    ASSERT_TRUE(Key);
    for (int i = 0; i < 20; ++i)
      EXPECT_EQ(Key->ReadInteger("Value" + std::to_string(i)), c * 100 + i) << c << " " << i;
  }
}

// A store that would take the file past what can be read back, or that finds
// another writer holding the file for longer than the wait, fails saying so;
// the file stays as it was and later stores work.
TEST(RegistryFile, StoresRefusedForSizeOrLockKeepTheFile) {
  auto Key = OpenRegistryKey(TRegRoot::rrCurrentUser, KeyPath);
  ASSERT_TRUE(Key);
  Key->WriteBinaryData("Half", std::vector<std::uint8_t>(250000, 0xAB));
  const std::string Before = ReadTextFile(UserFile());
  EXPECT_EXCEPTION_MESSAGE(Key->WriteBinaryData("More", std::vector<std::uint8_t>(300000, 0xCD)),
                           "Failed to set data for 'More'. The settings file \"" + UserFile() +
                               "\" would grow past 1048576 bytes");
  EXPECT_EQ(ReadTextFile(UserFile()), Before);
  Key->WriteBinaryData("More", std::vector<std::uint8_t>(200000, 0xCD));
  Key->WriteString("Port", "COM7");
  EXPECT_EQ(Key->ReadString("Port"), "COM7");
  EXPECT_TRUE(Key->ValueExists("Half"));

  const int Held = open((UserFile() + ".lock").c_str(), O_RDWR);
  ASSERT_GE(Held, 0);
  ASSERT_EQ(flock(Held, LOCK_EX), 0);
  SetRegistryLockWait(std::chrono::milliseconds(20));
  const std::string Locked = ReadTextFile(UserFile());
  EXPECT_EXCEPTION_MESSAGE(Key->WriteString("Port", "COM8"),
                           "Failed to set data for 'Port'. The settings file \"" + UserFile() +
                               "\" is in use by another program");
  EXPECT_FALSE(DeleteRegistryKey(TRegRoot::rrCurrentUser, KeyPath));
  EXPECT_EQ(ReadTextFile(UserFile()), Locked);
  close(Held);
  SetRegistryLockWait(std::chrono::seconds(5));
  Key->WriteString("Port", "COM8");
  EXPECT_EQ(Key->ReadString("Port"), "COM8");
  EXPECT_TRUE(DeleteRegistryKey(TRegRoot::rrCurrentUser, KeyPath));
}
