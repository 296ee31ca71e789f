// The system side of TSafeFile and ReadRegularFile on Windows. Names are
// UTF-8 here and wide for the system; error numbers are the system's error
// codes (GetLastError), and so are the answers of the fault hook.
//
// A replaced file keeps its hidden and system attributes; the rename is
// ReplaceFileW over an existing file (which keeps its security and stream
// data), MoveFileExW for a new one. There are no symbolic links to follow.
#include "base/SafeFile.h"

#include <windows.h>

#include <algorithm>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/Win32Text.h"

namespace {

[[noreturn]] void RaiseCreate(const std::string& FileName, const std::string& Reason) {
  throw Exception(Format(LoadResString(SCannotCreateFile), {FileName, Reason}));
}

int LastError() {
  return static_cast<int>(GetLastError());
}

bool IsMissing(int Error) {
  return Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND;
}

// A name that stands for a device ("COM1", "NUL", "\\.\pipe\x", "CON.txt"):
// the system resolves it into the device namespace. Such a file is never
// opened, so that nothing blocks on it.
bool IsDeviceName(const std::wstring& Name) {
  wchar_t Full[MAX_PATH * 4];
  const DWORD Length = GetFullPathNameW(Name.c_str(), MAX_PATH * 4, Full, nullptr);
  if (Length == 0 || Length >= MAX_PATH * 4)
    return Name.rfind(L"\\\\.\\", 0) == 0;
  return std::wstring_view(Full, Length).rfind(L"\\\\.\\", 0) == 0;
}

// The full name with the system's separators: ReplaceFileW (Wine's at least)
// refuses a name written with forward slashes.
std::wstring SystemName(const std::string& FileName) {
  const std::wstring Name = ToWide(FileName);
  const DWORD Length = GetFullPathNameW(Name.c_str(), 0, nullptr, nullptr);
  if (Length == 0)
    return Name;
  std::wstring Full(Length, L'\0');
  const DWORD Written = GetFullPathNameW(Name.c_str(), Length, Full.data(), nullptr);
  if (Written == 0 || Written >= Length)
    return Name;
  Full.resize(Written);
  return Full;
}

// The attributes a replacement takes over from the file it replaces.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A new file named after Beside (CREATE_NEW never opens what is there, a
// reparse point included); Name gets its name. INVALID_HANDLE_VALUE with Error
// on failure.
HANDLE CreateNew(const std::wstring& Beside, DWORD Attributes, std::wstring& Name, int& Error) {
  const std::string Base = FromWide(Beside);
  for (unsigned Attempt = 0; Attempt < 100; ++Attempt) {
    Name = ToWide(ScratchName(Base, GetCurrentProcessId()));
    Error = FileFault(TFileStep::fsCreate);
    if (Error == 0) {
      HANDLE File = CreateFileW(Name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                Attributes | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (File != INVALID_HANDLE_VALUE)
        return File;
      Error = LastError();
    }
    if (Error != ERROR_FILE_EXISTS && Error != ERROR_ALREADY_EXISTS)
      break;
  }
  Name.clear();
  return INVALID_HANDLE_VALUE;
}

// True while the process with this id runs.
bool ProcessRuns(unsigned long Id) {
  HANDLE Process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, Id);
  if (!Process)
    return GetLastError() != ERROR_INVALID_PARAMETER; // no such process
  DWORD Code = 0;
  const bool Runs = !GetExitCodeProcess(Process, &Code) || Code == STILL_ACTIVE;
  CloseHandle(Process);
  return Runs;
}

// Removes the temporary files of FileName that processes now ended left in
// its folder (plain files only, never a folder or a reparse point).
void RemoveLeftovers(const std::wstring& FileName) {
  const auto Slash = FileName.find_last_of(L"\\/");
  const std::wstring Folder = Slash == std::wstring::npos ? L"" : FileName.substr(0, Slash + 1);
  const std::string Base =
      FromWide(Slash == std::wstring::npos ? FileName : FileName.substr(Slash + 1));
  WIN32_FIND_DATAW Found{};
  HANDLE Search = FindFirstFileW((FileName + L".~*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE)
    return;
  do {
    const unsigned long Owner = ScratchOwner(FromWide(Found.cFileName), Base);
    if (Owner == 0 || Owner == GetCurrentProcessId() || ProcessRuns(Owner) ||
        (Found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      continue;
    const std::wstring Name = Folder + Found.cFileName;
    SetFileAttributesW(Name.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(Name.c_str());
  } while (FindNextFileW(Search, &Found));
  FindClose(Search);
}

} // namespace

std::string CreateScratchFile(const std::string& FileName) {
  std::wstring Name;
  int Error = 0;
  HANDLE File = CreateNew(SystemName(FileName), FILE_ATTRIBUTE_NORMAL, Name, Error);
  if (File == INVALID_HANDLE_VALUE)
    RaiseCreate(FileName, SystemErrorText(Error));
  CloseHandle(File);
  return FromWide(Name);
}

std::string SystemErrorText(int Error) {
  wchar_t* Buffer = nullptr;
  const DWORD Length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(Error), 0, reinterpret_cast<wchar_t*>(&Buffer), 0, nullptr);
  if (Length == 0 || !Buffer)
    return "System error " + std::to_string(Error);
  std::wstring Text(Buffer, Length);
  LocalFree(Buffer);
  // The system's texts end with a full stop and a line break; ours are
  // followed by the caller's own punctuation.
  while (!Text.empty() && (Text.back() == L'\n' || Text.back() == L'\r' || Text.back() == L' ' ||
                           Text.back() == L'.'))
    Text.pop_back();
  return FromWide(Text);
}

TSafeFile::TSafeFile(std::string FileName) : FFileName(std::move(FileName)) {
  const std::wstring Target = SystemName(FFileName);
  if (IsDeviceName(Target))
    RaiseCreate(FFileName, LoadResString(SNotRegularFile));
  const DWORD Attributes = GetFileAttributesW(Target.c_str());
  const bool Exists = Attributes != INVALID_FILE_ATTRIBUTES;
  if (!Exists && !IsMissing(LastError()))
    RaiseCreate(FFileName, SystemErrorText(LastError()));
  if (Exists) {
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY)
      RaiseCreate(FFileName, SystemErrorText(ERROR_ACCESS_DENIED));
    if (Attributes & FILE_ATTRIBUTE_DEVICE)
      RaiseCreate(FFileName, LoadResString(SNotRegularFile));
    // A read-only file stays as it is, even for a user who may replace it.
    if (Attributes & FILE_ATTRIBUTE_READONLY)
      RaiseCreate(FFileName, SystemErrorText(ERROR_ACCESS_DENIED));
  }
  std::wstring Temporary;
  int Error = 0;
  HANDLE File = CreateNew(Target, FILE_ATTRIBUTE_NORMAL, Temporary, Error);
  if (File == INVALID_HANDLE_VALUE)
    RaiseCreate(FFileName, SystemErrorText(Error));
  FHandle = reinterpret_cast<std::intptr_t>(File);
  FTemporary = FromWide(Temporary);
  FTarget = FromWide(Target);
}

TSafeFile::~TSafeFile() {
  Discard();
}

void TSafeFile::Discard() noexcept {
  if (FHandle != -1)
    CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
  if (!FTemporary.empty()) {
    const std::wstring Temporary = ToWide(FTemporary);
    // Hidden or system attributes do not keep it from going.
    SetFileAttributesW(Temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(Temporary.c_str());
  }
  FTemporary.clear();
}

void TSafeFile::Fail(int Error) {
  Discard();
  FFailed = true;
  throw Exception(Format(LoadResString(SCannotWriteFile), {FFileName, SystemErrorText(Error)}));
}

void TSafeFile::Write(std::string_view Data) {
  if (FFailed || FHandle == -1)
    Fail(ERROR_INVALID_HANDLE);
  HANDLE File = reinterpret_cast<HANDLE>(FHandle);
  while (!Data.empty()) {
    if (const int Error = FileFault(TFileStep::fsWrite))
      Fail(Error);
    const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Data.size(), 1u << 30));
    DWORD Written = 0;
    if (!WriteFile(File, Data.data(), Chunk, &Written, nullptr))
      Fail(LastError());
    // Nothing written without an error: the disk took no more.
    if (Written == 0)
      Fail(ERROR_DISK_FULL);
    Data.remove_prefix(Written);
  }
}

void TSafeFile::Commit() {
  if (FFailed || FHandle == -1)
    Fail(ERROR_INVALID_HANDLE);
  HANDLE File = reinterpret_cast<HANDLE>(FHandle);
  // The data must be on the disk before the name moves to it.
  int Error = FileFault(TFileStep::fsFlush);
  if (Error == 0 && !FlushFileBuffers(File))
    Error = LastError();
  if (Error != 0)
    Fail(Error);
  FHandle = -1;
  Error = FileFault(TFileStep::fsClose);
  if (Error != 0)
    CloseHandle(File);
  else if (!CloseHandle(File))
    Error = LastError();
  if (Error != 0)
    Fail(Error);
  const std::wstring Target = ToWide(FTarget);
  const std::wstring Temporary = ToWide(FTemporary);
  Error = FileFault(TFileStep::fsCommit);
  if (Error == 0) {
    bool Moved = false;
    if (const DWORD Old = GetFileAttributesW(Target.c_str()); Old != INVALID_FILE_ATTRIBUTES) {
      if ((Old & KeptAttributes) != 0 &&
          !SetFileAttributesW(Temporary.c_str(), Old & KeptAttributes))
        Fail(LastError());
      Moved = ReplaceFileW(Target.c_str(), Temporary.c_str(), nullptr,
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
      Error = Moved ? 0 : LastError();
    }
    // A new file, or one that went away meanwhile: the temporary one moves in.
    if (!Moved && (Error == 0 || IsMissing(Error))) {
      Moved = MoveFileExW(Temporary.c_str(), Target.c_str(), MOVEFILE_WRITE_THROUGH);
      Error = Moved ? 0 : LastError();
    }
  }
  if (Error != 0)
    Fail(Error);
  FTemporary.clear();
  RemoveLeftovers(Target);
}

TReadResult ReadRegularFile(const std::string& FileName, std::uint64_t Offset, std::uint64_t Limit,
                            std::string& Contents, std::uint64_t& FileSize, std::string& Reason) {
  Contents.clear();
  FileSize = 0;
  const std::wstring Name = ToWide(FileName);
  int Error = FileFault(TFileStep::fsOpen);
  if (Error == 0) {
    // A folder or a device is refused without opening it.
    const DWORD Attributes = GetFileAttributesW(Name.c_str());
    if (Attributes != INVALID_FILE_ATTRIBUTES &&
        ((Attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0 ||
         IsDeviceName(Name))) {
      Reason = LoadResString(SNotRegularFile);
      return TReadResult::rrNotRegularFile;
    }
  }
  HANDLE File = INVALID_HANDLE_VALUE;
  if (Error == 0) {
    File = CreateFileW(Name.c_str(), GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (File == INVALID_HANDLE_VALUE)
      Error = LastError();
  }
  if (File == INVALID_HANDLE_VALUE) {
    Reason = SystemErrorText(Error);
    return IsMissing(Error) ? TReadResult::rrMissing : TReadResult::rrCannotOpen;
  }
  LARGE_INTEGER Size{};
  if (GetFileType(File) != FILE_TYPE_DISK || !GetFileSizeEx(File, &Size)) {
    Reason = LoadResString(SNotRegularFile);
    CloseHandle(File);
    return TReadResult::rrNotRegularFile;
  }
  FileSize = static_cast<std::uint64_t>(Size.QuadPart);
  const std::uint64_t Want = Offset < FileSize ? std::min(Limit, FileSize - Offset) : 0;
  Contents.resize(static_cast<std::size_t>(Want));
  std::size_t Done = 0;
  while (Done < Contents.size()) {
    Error = FileFault(TFileStep::fsRead);
    // The position of each read is given with it, as pread does.
    OVERLAPPED At{};
    const std::uint64_t Position = Offset + Done;
    At.Offset = static_cast<DWORD>(Position);
    At.OffsetHigh = static_cast<DWORD>(Position >> 32);
    const DWORD Chunk = static_cast<DWORD>(std::min<std::size_t>(Contents.size() - Done, 1u << 30));
    DWORD Read = 0;
    if (Error == 0 && !ReadFile(File, Contents.data() + Done, Chunk, &Read, &At)) {
      Error = LastError();
      // Reading at or past the end: the file got shorter since its size was taken.
      if (Error == ERROR_HANDLE_EOF) {
        Error = 0;
        Read = 0;
      }
    }
    if (Error != 0) {
      Reason = SystemErrorText(Error);
      CloseHandle(File);
      Contents.clear();
      return TReadResult::rrCannotRead;
    }
    if (Read == 0)
      break; // the file got shorter: what is there is all
    Done += Read;
  }
  Contents.resize(Done);
  CloseHandle(File);
  return TReadResult::rrOk;
}
