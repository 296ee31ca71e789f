// The system side of TSafeFile and ReadRegularFile on POSIX.
#include "base/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"

namespace {

[[noreturn]] void RaiseCreate(const std::string& FileName, const std::string& Reason) {
  throw Exception(Format(LoadResString(SCannotCreateFile), {FileName, Reason}));
}

// The file the name stands for: a symbolic link is replaced through, so that
// it keeps naming the file it named. Empty (with errno) when a link leads
// nowhere.
std::string ResolveTarget(const std::string& FileName) {
  struct stat Link {};
  if (lstat(FileName.c_str(), &Link) != 0 || !S_ISLNK(Link.st_mode))
    return FileName;
  char* Resolved = realpath(FileName.c_str(), nullptr);
  if (!Resolved)
    return {};
  std::string Target = Resolved;
  std::free(Resolved);
  return Target;
}

// A new file beside Beside, never an existing one and never through a link
// (O_EXCL fails on a link, even a dangling one; O_NOFOLLOW says so twice).
// Name gets its name; -1 with Error on failure.
int CreateNew(const std::string& Beside, mode_t Mode, std::string& Name, int& Error) {
  for (unsigned Attempt = 0; Attempt < 100; ++Attempt) {
    Name = ScratchName(Beside, static_cast<unsigned long>(getpid()));
    Error = FileFault(TFileStep::fsCreate);
    if (Error == 0) {
      const int Fd =
          open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, Mode);
      if (Fd >= 0)
        return Fd;
      Error = errno;
    }
    if (Error != EEXIST)
      break;
  }
  Name.clear();
  return -1;
}

// Removes the temporary files of FileName that processes now ended left in
// its folder: only regular files of this user, never through a link.
void RemoveLeftovers(const std::string& FileName) {
  const auto Slash = FileName.find_last_of('/');
  const std::string Folder = Slash == std::string::npos ? "." : FileName.substr(0, Slash + 1);
  const std::string Base = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
  DIR* Dir = opendir(Folder.c_str());
  if (!Dir)
    return;
  const unsigned long Self = static_cast<unsigned long>(getpid());
  while (const dirent* Entry = readdir(Dir)) {
    const unsigned long Owner = ScratchOwner(Entry->d_name, Base);
    if (Owner == 0 || Owner == Self || Owner > 0x7FFFFFFF)
      continue;
    if (kill(static_cast<pid_t>(Owner), 0) == 0 || errno != ESRCH)
      continue;
    struct stat Info {};
    if (fstatat(dirfd(Dir), Entry->d_name, &Info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(Info.st_mode) && Info.st_uid == geteuid())
      unlinkat(dirfd(Dir), Entry->d_name, 0);
  }
  closedir(Dir);
}

} // namespace

std::string CreateScratchFile(const std::string& FileName) {
  std::string Name;
  int Error = 0;
  const int Fd = CreateNew(FileName, 0600, Name, Error);
  if (Fd < 0)
    RaiseCreate(FileName, SystemErrorText(Error));
  close(Fd);
  return Name;
}

std::string SystemErrorText(int Error) {
  char Buffer[256];
  return strerror_r(Error, Buffer, sizeof Buffer);
}

TSafeFile::TSafeFile(std::string FileName) : FFileName(std::move(FileName)) {
  const std::string Target = ResolveTarget(FFileName);
  if (Target.empty())
    RaiseCreate(FFileName, SystemErrorText(errno));
  struct stat Old {};
  const bool Exists = stat(Target.c_str(), &Old) == 0;
  if (!Exists && errno != ENOENT)
    RaiseCreate(FFileName, SystemErrorText(errno));
  if (Exists) {
    // Never replace a folder, a FIFO or a device by a regular file (and never
    // open one: a FIFO would block until someone reads it).
    if (S_ISDIR(Old.st_mode))
      RaiseCreate(FFileName, SystemErrorText(EISDIR));
    if (!S_ISREG(Old.st_mode))
      RaiseCreate(FFileName, LoadResString(SNotRegularFile));
    // A file without any write permission is read-only for us too, even when
    // we run with the rights to replace it through the rename.
    if ((Old.st_mode & 0222) == 0 || access(Target.c_str(), W_OK) != 0)
      RaiseCreate(FFileName, SystemErrorText(EACCES));
  }
  int Error = 0;
  const int Fd = CreateNew(Target, 0666, FTemporary, Error);
  if (Fd < 0)
    RaiseCreate(FFileName, SystemErrorText(Error));
  FHandle = Fd;
  FTarget = Target;
  if (Exists) {
    if (fchmod(Fd, Old.st_mode & 07777) != 0) {
      Error = errno;
      Discard();
      RaiseCreate(FFileName, SystemErrorText(Error));
    }
    // Only a privileged writer can hand the file back to its owner; for
    // anyone else the owner is already right.
    if (Old.st_uid != geteuid() || Old.st_gid != getegid())
      (void)!fchown(Fd, Old.st_uid, Old.st_gid);
  }
}

TSafeFile::~TSafeFile() {
  Discard();
}

void TSafeFile::Discard() noexcept {
  if (FHandle >= 0)
    close(static_cast<int>(FHandle));
  FHandle = -1;
  if (!FTemporary.empty())
    unlink(FTemporary.c_str());
  FTemporary.clear();
}

void TSafeFile::Fail(int Error) {
  Discard();
  FFailed = true;
  throw Exception(Format(LoadResString(SCannotWriteFile), {FFileName, SystemErrorText(Error)}));
}

void TSafeFile::Write(std::string_view Data) {
  if (FFailed || FHandle < 0)
    Fail(EBADF);
  const int Fd = static_cast<int>(FHandle);
  while (!Data.empty()) {
    if (const int Error = FileFault(TFileStep::fsWrite))
      Fail(Error);
    const ssize_t N = write(Fd, Data.data(), Data.size());
    if (N < 0 && errno == EINTR)
      continue;
    if (N < 0)
      Fail(errno);
    // Nothing written without an error: the disk took no more.
    if (N == 0)
      Fail(ENOSPC);
    Data.remove_prefix(static_cast<std::size_t>(N));
  }
}

void TSafeFile::Commit() {
  if (FFailed || FHandle < 0)
    Fail(EBADF);
  const int Fd = static_cast<int>(FHandle);
  // The data must be on the disk before the name moves to it: a file system
  // that runs full at write-back reports it here, not at write.
  int Error = FileFault(TFileStep::fsFlush);
  if (Error == 0 && fsync(Fd) != 0)
    Error = errno;
  if (Error != 0)
    Fail(Error);
  FHandle = -1;
  Error = FileFault(TFileStep::fsClose);
  if (Error != 0)
    close(Fd);
  else if (close(Fd) != 0)
    Error = errno;
  if (Error != 0)
    Fail(Error);
  Error = FileFault(TFileStep::fsCommit);
  if (Error == 0 && rename(FTemporary.c_str(), FTarget.c_str()) != 0)
    Error = errno;
  if (Error != 0)
    Fail(Error);
  FTemporary.clear();
  RemoveLeftovers(FTarget);
  if (FTarget != FFileName)
    RemoveLeftovers(FFileName);
}

TReadResult ReadRegularFile(const std::string& FileName, std::uint64_t Offset, std::uint64_t Limit,
                            std::string& Contents, std::uint64_t& FileSize, std::string& Reason) {
  Contents.clear();
  FileSize = 0;
  int Error = FileFault(TFileStep::fsOpen);
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const int Fd = Error ? -1 : open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (Fd < 0) {
    Error = Error ? Error : errno;
    Reason = SystemErrorText(Error);
    return Error == ENOENT ? TReadResult::rrMissing : TReadResult::rrCannotOpen;
  }
  struct stat Info {};
  if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) {
    Reason = LoadResString(SNotRegularFile);
    close(Fd);
    return TReadResult::rrNotRegularFile;
  }
  FileSize = static_cast<std::uint64_t>(Info.st_size);
  const std::uint64_t Want = Offset < FileSize ? std::min(Limit, FileSize - Offset) : 0;
  Contents.resize(static_cast<std::size_t>(Want));
  std::size_t Done = 0;
  while (Done < Contents.size()) {
    Error = FileFault(TFileStep::fsRead);
    const ssize_t N = Error ? -1
                            : pread(Fd, Contents.data() + Done, Contents.size() - Done,
                                    static_cast<off_t>(Offset + Done));
    if (N < 0 && !Error && errno == EINTR)
      continue;
    if (N < 0) {
      Reason = SystemErrorText(Error ? Error : errno);
      close(Fd);
      Contents.clear();
      return TReadResult::rrCannotRead;
    }
    if (N == 0)
      break; // the file got shorter since fstat: what is there is all
    Done += static_cast<std::size_t>(N);
  }
  Contents.resize(Done);
  close(Fd);
  return TReadResult::rrOk;
}
