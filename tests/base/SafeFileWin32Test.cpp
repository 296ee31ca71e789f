// Files written whole on Windows: the system's error codes and texts, wide
// names, attributes kept, devices and folders refused.
#include "base/SafeFile.h"

#include <windows.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "base/IniFile.h"
#include "base/Win32Text.h"
#include "tests/FileFault.h"
#include "tests/TestUtil.h"

// A failure at any step of a save leaves the old file and no temporary one,
// and names the system's reason.
TEST(SafeFileWin32, FailureAtAnyStepKeepsTheOldFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("values.txt");
  WriteTextFile(Name, "old");
  const std::string DiskFull = SystemErrorText(ERROR_DISK_FULL);
  EXPECT_FALSE(DiskFull.empty());
  EXPECT_NE(DiskFull.back(), '.');
  EXPECT_EQ(DiskFull.find('\n'), std::string::npos);
  for (const TFileStep Step : {TFileStep::fsCreate, TFileStep::fsWrite, TFileStep::fsFlush,
                               TFileStep::fsClose, TFileStep::fsCommit}) {
    SCOPED_TRACE(static_cast<int>(Step));
    TFileFaultScope Fault(Step, ERROR_DISK_FULL);
    const char* Verb = Step == TFileStep::fsCreate ? "create" : "write";
    EXPECT_EXCEPTION_MESSAGE(SaveFileWhole(Name, "new contents"),
                             std::string("Cannot ") + Verb + " file \"" + Name + "\". " + DiskFull);
    EXPECT_EQ(ReadTextFile(Name), "old");
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"values.txt"});
  }
  SaveFileWhole(Name, "new contents");
  EXPECT_EQ(ReadTextFile(Name), "new contents");
}

// The replacement keeps the hidden attribute; a read-only file, a folder and
// a device name are refused without being touched.
TEST(SafeFileWin32, KeepsAttributesAndRefusesWhatItMustNotReplace) {
  TTempDir Dir;
  const std::string Hidden = Dir.File("hidden.ini");
  WriteTextFile(Hidden, "[A]\nx=1\n");
  ASSERT_TRUE(SetFileAttributesW(ToWide(Hidden).c_str(), FILE_ATTRIBUTE_HIDDEN));
  TIniFile(Hidden).WriteInteger("A", "x", 2);
  EXPECT_EQ(ReadTextFile(Hidden), "[A]\nx=2\n");
  EXPECT_NE(GetFileAttributesW(ToWide(Hidden).c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  const std::string ReadOnly = Dir.File("readonly.ini");
  WriteTextFile(ReadOnly, "keep");
  ASSERT_TRUE(SetFileAttributesW(ToWide(ReadOnly).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_THROW(SaveFileWhole(ReadOnly, "new"), Exception);
  EXPECT_EQ(ReadTextFile(ReadOnly), "keep");
  SetFileAttributesW(ToWide(ReadOnly).c_str(), FILE_ATTRIBUTE_NORMAL);

  EXPECT_THROW(SaveFileWhole(Dir.Path().string(), "new"), Exception);
  EXPECT_EXCEPTION_MESSAGE(SaveFileWhole("NUL", "new"),
                           "Cannot create file \"NUL\". Not a regular file");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 2);

  std::string Contents, Reason;
  std::uint64_t Size = 0;
  EXPECT_EQ(ReadRegularFile("NUL", 0, 10, Contents, Size, Reason), TReadResult::rrNotRegularFile);
  EXPECT_EQ(ReadRegularFile(Dir.Path().string(), 0, 10, Contents, Size, Reason),
            TReadResult::rrNotRegularFile);
  EXPECT_EQ(ReadRegularFile(Dir.File("none"), 0, 10, Contents, Size, Reason),
            TReadResult::rrMissing);
  ASSERT_EQ(ReadRegularFile(ReadOnly, 1, 2, Contents, Size, Reason), TReadResult::rrOk);
  EXPECT_EQ(Contents, "ee");
  EXPECT_EQ(Size, 4u);
}

// Names outside every 8-bit code page reach the system as wide text.
TEST(SafeFileWin32, WideFileNames) {
  TTempDir Dir;
  // "Messgerät-測定.ini"
  const std::string Name = Dir.File("") + "Messger\xC3\xA4t-\xE6\xB8\xAC\xE5\xAE\x9A.ini";
  TIniFile Ini(Name);
  Ini.WriteString("Port", "Name", "COM5");
  Ini.WriteInteger("Port", "Rate", 57600);
  EXPECT_EQ(TIniFile(Name).ReadString("Port", "Name", ""), "COM5");
  EXPECT_EQ(TIniFile(Name).ReadInteger("Port", "Rate", 0), 57600);
  EXPECT_NE(GetFileAttributesW(ToWide(Name).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Whatever is planted at the names the writer could pick is never opened; a
// temporary file of an ended writer goes with the next save, one of a running
// writer stays.
TEST(SafeFileWin32, PlantedNamesAreNeverOpenedAndLeftoversGo) {
  TTempDir Dir;
  const std::string Name = Dir.File("out.ini");
  const std::string Own = Name + ".~" + std::to_string(GetCurrentProcessId()) + "-";
  unsigned Count = 0;
  SetScratchNameSource([&] { return std::to_string(Count++ % 100); });
  for (int i = 0; i < 100; ++i)
    WriteTextFile(Own + std::to_string(i), "planted");
  EXPECT_THROW(SaveFileWhole(Name, "new"), Exception);
  ASSERT_TRUE(DeleteFileW(ToWide(Own + "42").c_str()));
  Count = 0;
  SaveFileWhole(Name, "new");
  SetScratchNameSource(nullptr);
  EXPECT_EQ(ReadTextFile(Name), "new");
  EXPECT_EQ(ReadTextFile(Own + "0"), "planted");
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 100u);

  // No process has this id (ids are multiples of four far below it).
  const std::string Ended = Name + ".~4294967292-0123456789abcdef";
  WriteTextFile(Ended, "left");
  SaveFileWhole(Name, "newer");
  EXPECT_FALSE(std::filesystem::exists(ToWide(Ended)));
  EXPECT_EQ(ReadTextFile(Own + "0"), "planted");
}
