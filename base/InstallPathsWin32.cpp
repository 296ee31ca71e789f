// Where the programs find their files: the parts that ask Windows.
#include "base/InstallPaths.h"

#include <windows.h>

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
