#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Files written whole or not at all, and small files read without surprises.
// Paths are UTF-8 on every platform; the system calls live in one source file
// per platform (SafeFilePosix.cpp).

// A file that replaces FileName only when Commit succeeds. The bytes go to a
// temporary file in the target's folder, created new under a name nobody can
// guess (ScratchName) and never through a link; Commit flushes it to the disk,
// closes it and renames it over the target in one step, then removes the
// temporary files that killed writers left beside the target. Until then, and after any
// failure, the old file is untouched; the destructor of an uncommitted file
// removes the temporary one.
//
// An existing target must be a regular file that may be written (a symbolic
// link is followed, and stays a link): a folder, a FIFO or a device is refused
// before anything is opened, so nothing ever blocks on it or replaces it. The
// old file's permission bits carry over.
//
// Failures raise Exception with the resource strings SCannotCreateFile (the
// constructor) and SCannotWriteFile (Write, Commit): the file name, then the
// system's reason, e.g. Cannot write file "/x/plot.txt". No space left on
// device
class TSafeFile {
public:
  explicit TSafeFile(std::string FileName);
  ~TSafeFile();
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // Writes all of Data (short writes are continued).
  void Write(std::string_view Data);
  // Flush, close, rename. A file whose Write failed cannot be committed.
  void Commit();

private:
  [[noreturn]] void Fail(int Error);
  void Discard() noexcept;

  std::string FFileName;
  std::string FTarget;    // the file the rename replaces (a link resolved)
  std::string FTemporary; // empty once committed or discarded
  std::intptr_t FHandle = -1;
  bool FFailed = false;
};

// TSafeFile with Contents as the whole new file.
void SaveFileWhole(const std::string& FileName, std::string_view Contents);

// Reads a regular file without blocking: a FIFO or a device is refused (after
// it is opened without waiting, so a swap between check and open is caught).
// Starts at Offset and stops after Limit bytes; FileSize gets the whole file's
// size, so a caller can tell that there was more. rrMissing: there is no such
// file. Reason gets the system's text of a failure.
enum class TReadResult { rrOk, rrMissing, rrCannotOpen, rrNotRegularFile, rrCannotRead };
TReadResult ReadRegularFile(const std::string& FileName, std::uint64_t Offset, std::uint64_t Limit,
                            std::string& Contents, std::uint64_t& FileSize, std::string& Reason);

// Creates a new, empty file beside FileName (in the same folder, private to the
// user) under a name of the ScratchName pattern and returns that name: a
// scratch copy for a change made in several steps. It is created exclusively
// and never through a link, so nothing planted in the folder is written; one
// left behind by a killed process goes with the next successful TSafeFile
// commit of FileName. Raises SCannotCreateFile with FileName.
std::string CreateScratchFile(const std::string& FileName);

// Temporary names: FileName + ".~" + process id + "-" + 16 random hex digits.
// ScratchOwner gives the process id when Entry is such a name for Base (both
// plain names, no folder), 0 otherwise; a scratch file whose process has ended
// is a leftover.
std::string ScratchName(const std::string& FileName, unsigned long ProcessId);
unsigned long ScratchOwner(std::string_view Entry, std::string_view Base);
// Tests: replaces the random part of the names (nullptr: random again).
void SetScratchNameSource(std::function<std::string()> Source);

// The system's text for an error number (errno on POSIX).
std::string SystemErrorText(int Error);

// Fault injection for tests. Each system call of a save or a read first asks
// the fault hook with its step; a non-zero answer is an error number (errno
// values, e.g. ENOSPC) with which that call then fails instead of running.
// An empty hook (the default) lets every call run.
enum class TFileStep { fsCreate, fsWrite, fsFlush, fsClose, fsCommit, fsOpen, fsRead };
using TFileFault = std::function<int(TFileStep Step)>;
void SetFileFault(TFileFault Fault);
// The hook's answer for Step (0 without a hook); the platform file calls it.
int FileFault(TFileStep Step);
