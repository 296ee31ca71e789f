#include "base/SafeFile.h"

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/FileFault.h"
#include "tests/TestUtil.h"

namespace {

TEST(SafeFile, NewContentsReplaceTheOldFileWhole) {
  TTempDir Dir;
  const std::string Name = Dir.File("plot.txt");
  WriteTextFile(Name, std::string(100000, 'x'));
  chmod(Name.c_str(), 0640);
  SaveFileWhole(Name, "short");
  EXPECT_EQ(ReadTextFile(Name), "short");
  struct stat Info {};
  ASSERT_EQ(stat(Name.c_str(), &Info), 0);
  EXPECT_EQ(Info.st_mode & 0777, 0640u);
  EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"plot.txt"});
}

// A full disk can show at any step: the write, the flush to the disk (a
// small write fits the cache and fails only there), the close, the rename.
// Each leaves the old file as it was, no temporary file, and says why.
TEST(SafeFile, FailureAtAnyStepKeepsTheOldFile) {
  const struct {
    TFileStep Step;
    const char* Message;
  } Rows[] = {
      {TFileStep::fsCreate, "Cannot create file \"%s\". No space left on device"},
      {TFileStep::fsWrite, "Cannot write file \"%s\". No space left on device"},
      {TFileStep::fsFlush, "Cannot write file \"%s\". No space left on device"},
      {TFileStep::fsClose, "Cannot write file \"%s\". No space left on device"},
      {TFileStep::fsCommit, "Cannot write file \"%s\". No space left on device"},
  };
  for (const auto& Row : Rows) {
    SCOPED_TRACE(static_cast<int>(Row.Step));
    TTempDir Dir;
    const std::string Name = Dir.File("plot.txt");
    WriteTextFile(Name, "earlier contents");
    std::string Expected = Row.Message;
    Expected.replace(Expected.find("%s"), 2, Name);
    {
      TFileFaultScope Fault(Row.Step);
      EXPECT_EXCEPTION_MESSAGE(SaveFileWhole(Name, "new contents"), Expected);
    }
    EXPECT_EQ(ReadTextFile(Name), "earlier contents");
    EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"plot.txt"});
  }
}

TEST(SafeFile, StreamedFileFailingLateKeepsTheOldFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("rec.bin");
  WriteTextFile(Name, "earlier");
  {
    TFileFaultScope Fault(TFileStep::fsWrite, ENOSPC, 3);
    TSafeFile File(Name);
    File.Write("one");
    File.Write("two");
    EXPECT_THROW(File.Write("three"), Exception);
    // Once failed, nothing more goes in and nothing is committed.
    EXPECT_THROW(File.Commit(), Exception);
  }
  EXPECT_EQ(ReadTextFile(Name), "earlier");
  EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"rec.bin"});
  {
    TSafeFile File(Name);
    File.Write("uncommitted");
  }
  EXPECT_EQ(ReadTextFile(Name), "earlier");
  EXPECT_EQ(FolderNames(Dir.Path()), std::vector<std::string>{"rec.bin"});
}

// A FIFO or a device named as the target is refused, stays what it was, and
// nothing waits on it.
TEST(SafeFile, TargetThatIsNotARegularFileIsRefused) {
  TTempDir Dir;
  const std::string Fifo = Dir.File("fifo");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0666), 0);
  std::vector<std::string> Targets = {Fifo};
  // The zero device, made in the test's own folder (needs the right to).
  const std::string Device = Dir.File("zero");
  if (mknod(Device.c_str(), S_IFCHR | 0666, makedev(1, 5)) == 0)
    Targets.push_back(Device);
  else
    std::printf("note: no device node can be made here; only the FIFO is checked\n");
  for (const std::string& Target : Targets) {
    SCOPED_TRACE(Target);
    struct stat Before {};
    ASSERT_EQ(lstat(Target.c_str(), &Before), 0);
    auto Save = std::async(std::launch::async, [&] {
      try {
        SaveFileWhole(Target, "x");
      } catch (const Exception& E) {
        return E.Message();
      }
      return std::string("saved");
    });
    if (Save.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Release a writer stuck on the FIFO, then fail.
      close(open(Fifo.c_str(), O_RDONLY | O_NONBLOCK));
      FAIL() << "the save blocked";
    }
    EXPECT_EQ(Save.get(), "Cannot create file \"" + Target + "\". Not a regular file");
    struct stat After {};
    ASSERT_EQ(lstat(Target.c_str(), &After), 0);
    EXPECT_EQ(After.st_mode & S_IFMT, Before.st_mode & S_IFMT);
    EXPECT_EQ(After.st_rdev, Before.st_rdev);
  }
  EXPECT_EXCEPTION_MESSAGE(SaveFileWhole(Dir.Path().string(), "x"),
                           "Cannot create file \"" + Dir.Path().string() + "\". Is a directory");
}

// Another user may have planted a link at every name the writer could pick
// for its temporary file (or its scratch copy): none is followed, the file it
// leads to keeps its contents, and the writer takes the first free name.
TEST(SafeFile, LinksPlantedAtItsNamesAreNeverFollowed) {
  TTempDir Dir;
  const std::string Victim = Dir.File("victim"), Name = Dir.File("out.ini");
  WriteTextFile(Victim, "precious");
  WriteTextFile(Name, "old");
  unsigned Count = 0;
  SetScratchNameSource([&] { return std::to_string(Count++ % 100); });
  const std::string Pid = std::to_string(getpid());
  for (int i = 0; i < 100; ++i) {
    const std::string Planted = Name + ".~" + Pid + "-" + std::to_string(i);
    // Half lead to the victim, half nowhere (a link to be created through).
    ASSERT_EQ(symlink(i % 2 ? Victim.c_str() : Dir.File("new").c_str(), Planted.c_str()), 0);
  }
  EXPECT_EXCEPTION_MESSAGE(SaveFileWhole(Name, "new"),
                           "Cannot create file \"" + Name + "\". File exists");
  EXPECT_EXCEPTION_MESSAGE(CreateScratchFile(Name),
                           "Cannot create file \"" + Name + "\". File exists");
  // One name free: both take it and write nothing else.
  ASSERT_EQ(unlink((Name + ".~" + Pid + "-99").c_str()), 0);
  Count = 0;
  SaveFileWhole(Name, "new");
  Count = 0;
  const std::string Scratch = CreateScratchFile(Name);
  SetScratchNameSource(nullptr);
  EXPECT_EQ(Scratch, Name + ".~" + Pid + "-99");
  EXPECT_EQ(ReadTextFile(Scratch), "");
  EXPECT_EQ(ReadTextFile(Name), "new");
  EXPECT_EQ(ReadTextFile(Victim), "precious");
  EXPECT_FALSE(std::filesystem::exists(Dir.File("new")));
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 102u);
}

// A temporary file left by a writer that was killed goes with the next
// successful save of that file; those of running writers, other files' and
// anything that is not a plain file stay.
TEST(SafeFile, LeftoversOfEndedWritersAreRemovedByTheNextSave) {
  const pid_t Child = fork();
  if (Child == 0)
    _exit(0);
  ASSERT_GT(Child, 0);
  ASSERT_EQ(waitpid(Child, nullptr, 0), Child);
  const std::string Dead = std::to_string(Child), Alive = std::to_string(getppid());
  TTempDir Dir;
  const std::string Name = Dir.File("HKEY_CURRENT_USER.ini");
  const std::vector<std::string> Gone = {".~" + Dead + "-0", ".~" + Dead + "-0123456789abcdef"};
  const std::vector<std::string> Kept = {".~" + Alive + "-0", ".~" + Dead + "-x", ".~" + Dead,
                                         ".~" + Dead + "-"};
  for (const auto& Suffix : Gone)
    WriteTextFile(Name + Suffix, "left");
  for (const auto& Suffix : Kept)
    WriteTextFile(Name + Suffix, "kept");
  WriteTextFile(Dir.File("other.ini.~" + Dead + "-0"), "kept");
  ASSERT_EQ(mkdir((Name + ".~" + Dead + "-1").c_str(), 0700), 0);
  ASSERT_EQ(symlink("nowhere", (Name + ".~" + Dead + "-2").c_str()), 0);
  {
    TFileFaultScope Fault(TFileStep::fsCommit);
    EXPECT_THROW(SaveFileWhole(Name, "x"), Exception);
  }
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 9u); // a failed save removes nothing
  SaveFileWhole(Name, "x");
  for (const auto& Suffix : Gone)
    EXPECT_FALSE(std::filesystem::exists(Name + Suffix)) << Suffix;
  for (const auto& Suffix : Kept)
    EXPECT_EQ(ReadTextFile(Name + Suffix), "kept") << Suffix;
  EXPECT_EQ(FolderNames(Dir.Path()).size(), 8u);
}

TEST(SafeFile, ReadingStopsAtTheLimitAndRefusesWhatIsNotAFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("data");
  WriteTextFile(Name, "0123456789");
  std::string Contents, Reason;
  std::uint64_t Size = 0;
  EXPECT_EQ(ReadRegularFile(Name, 2, 5, Contents, Size, Reason), TReadResult::rrOk);
  EXPECT_EQ(Contents, "23456");
  EXPECT_EQ(Size, 10u);
  EXPECT_EQ(ReadRegularFile(Dir.File("absent"), 0, 5, Contents, Size, Reason),
            TReadResult::rrMissing);

  // A FIFO without a writer: opening it for reading would wait for one.
  const std::string Fifo = Dir.File("fifo");
  ASSERT_EQ(mkfifo(Fifo.c_str(), 0666), 0);
  auto Read = std::async(std::launch::async, [&] {
    std::string C, R;
    std::uint64_t S = 0;
    return ReadRegularFile(Fifo, 0, 100, C, S, R);
  });
  if (Read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    close(open(Fifo.c_str(), O_WRONLY | O_NONBLOCK));
    FAIL() << "reading the FIFO blocked";
  }
  EXPECT_EQ(Read.get(), TReadResult::rrNotRegularFile);
  // A link to an endless device is not read at all.
  const std::string Link = Dir.File("zero");
  ASSERT_EQ(symlink("/dev/zero", Link.c_str()), 0);
  EXPECT_EQ(ReadRegularFile(Link, 0, 100, Contents, Size, Reason), TReadResult::rrNotRegularFile);
  EXPECT_EQ(Reason, "Not a regular file");

  TFileFaultScope Fault(TFileStep::fsRead, EIO);
  EXPECT_EQ(ReadRegularFile(Name, 0, 5, Contents, Size, Reason), TReadResult::rrCannotRead);
  EXPECT_EQ(Reason, "Input/output error");
}

} // namespace
