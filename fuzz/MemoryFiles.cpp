// The system side of base/SafeFile.h over an in-memory map, for fuzzers: it
// defines every function the POSIX source does, so the linker never takes
// that one from the library (a function missing here would bring it in and
// fail the link with duplicate definitions, never fall back to the disk
// silently). The fault hook is asked at each step, as on the disk.
#include "fuzz/MemoryFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"

std::map<std::string, std::string>& MemoryFiles() {
  static std::map<std::string, std::string> Files;
  return Files;
}

std::string SystemErrorText(int Error) {
  return std::strerror(Error);
}

std::string CreateScratchFile(const std::string& FileName) {
  for (unsigned Attempt = 0; Attempt < 100; ++Attempt) {
    const std::string Name = ScratchName(FileName, 1);
    if (MemoryFiles().emplace(Name, std::string()).second)
      return Name;
  }
  throw Exception(Format(LoadResString(SCannotCreateFile), {FileName, SystemErrorText(EEXIST)}));
}

// The contents being written wait in FTemporary; FHandle is 1 while open.
TSafeFile::TSafeFile(std::string FileName) : FFileName(std::move(FileName)) {
  if (const int Error = FileFault(TFileStep::fsCreate))
    throw Exception(Format(LoadResString(SCannotCreateFile), {FFileName, SystemErrorText(Error)}));
  FTarget = FFileName;
  FHandle = 1;
}

TSafeFile::~TSafeFile() {
  Discard();
}

void TSafeFile::Discard() noexcept {
  FHandle = -1;
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
  if (const int Error = FileFault(TFileStep::fsWrite))
    Fail(Error);
  FTemporary.append(Data);
}

void TSafeFile::Commit() {
  if (FFailed || FHandle < 0)
    Fail(EBADF);
  for (const TFileStep Step : {TFileStep::fsFlush, TFileStep::fsClose, TFileStep::fsCommit})
    if (const int Error = FileFault(Step))
      Fail(Error);
  MemoryFiles()[FTarget] = std::move(FTemporary);
  Discard();
}

TReadResult ReadRegularFile(const std::string& FileName, std::uint64_t Offset, std::uint64_t Limit,
                            std::string& Contents, std::uint64_t& FileSize, std::string& Reason) {
  Contents.clear();
  FileSize = 0;
  if (const int Error = FileFault(TFileStep::fsOpen)) {
    Reason = SystemErrorText(Error);
    return TReadResult::rrCannotOpen;
  }
  const auto Found = MemoryFiles().find(FileName);
  if (Found == MemoryFiles().end()) {
    Reason = SystemErrorText(ENOENT);
    return TReadResult::rrMissing;
  }
  const std::string& Text = Found->second;
  FileSize = Text.size();
  if (Offset < FileSize)
    Contents =
        Text.substr(static_cast<std::size_t>(Offset),
                    static_cast<std::size_t>(std::min<std::uint64_t>(Limit, FileSize - Offset)));
  return TReadResult::rrOk;
}
