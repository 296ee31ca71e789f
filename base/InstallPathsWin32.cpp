// Where the programs find their files: the parts that ask Windows.
#include "base/InstallPaths.h"

#include <windows.h>

#include <shlobj.h>

#include "base/ExePath.h"
#include "base/Win32Text.h"

namespace {

std::wstring Environment(const wchar_t* Name) {
  wchar_t Buffer[MAX_PATH * 4];
  const DWORD Length = GetEnvironmentVariableW(Name, Buffer, MAX_PATH * 4);
  return Length > 0 && Length < MAX_PATH * 4 ? std::wstring(Buffer, Length) : std::wstring();
}

} // namespace

std::string ConfigFilePath() {
  const std::string Beside = ExecutableDir() + "config.ini";
  if (GetFileAttributesW(ToWide(Beside).c_str()) != INVALID_FILE_ATTRIBUTES)
    return Beside;
  const std::wstring AppData = Environment(L"APPDATA");
  if (AppData.empty())
    return Beside;
  return FromWide(AppData) + "\\hxt24\\config.ini";
}

std::vector<std::string> SystemFolders() {
  // Program Files of both word sizes (a 32-bit program asking for the 64-bit one gets its
  // own), the folder installers keep shared data in, and Windows itself.
  std::vector<std::string> Folders;
  for (const int Id :
       {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_APPDATA, CSIDL_WINDOWS}) {
    wchar_t Path[MAX_PATH];
    if (SHGetFolderPathW(nullptr, Id, nullptr, SHGFP_TYPE_CURRENT, Path) == S_OK)
      Folders.push_back(FromWide(Path));
  }
  // Where the 64-bit Program Files is for a 32-bit program on a 64-bit system.
  const std::wstring Native = Environment(L"ProgramW6432");
  if (!Native.empty())
    Folders.push_back(FromWide(Native));
  return Folders;
}

bool IsWritableFolder(const std::string& Folder) {
  // Access rights on Windows are lists, not bits: the only sure answer is to
  // create a file there (it goes when its handle closes).
  std::wstring Probe = ToWide(Folder);
  if (!Probe.empty() && Probe.back() != L'\\' && Probe.back() != L'/')
    Probe += L'\\';
  Probe += L"hxt24-write-probe-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  HANDLE File = CreateFileW(
      Probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  CloseHandle(File);
  return true;
}
