#include "base/InstallPaths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "base/Win32Text.h"

namespace {

std::wstring Environment(const wchar_t* Name) {
  wchar_t Buffer[MAX_PATH];
  const DWORD Length = GetEnvironmentVariableW(Name, Buffer, MAX_PATH);
  return Length > 0 && Length < MAX_PATH ? std::wstring(Buffer, Length) : std::wstring();
}

} // namespace

// A program installed under Program Files: its folder is not offered to save in, even when this
// user may write there (an administrator; every user under Wine).
TEST(InstallPathsWin32, SaveDialogsNeverStartInProgramFiles) {
  const std::wstring ProgramFiles = Environment(L"ProgramFiles");
  ASSERT_FALSE(ProgramFiles.empty());
  const std::vector<std::string> Folders = SystemFolders();
  EXPECT_TRUE(std::any_of(Folders.begin(), Folders.end(), [&](const std::string& Folder) {
    return IsInFolder(FromWide(ProgramFiles), Folder);
  }));

  const std::wstring Installed =
      ProgramFiles + L"\\hxt24-test-" + std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(CreateDirectoryW(Installed.c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  wchar_t Temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, Temp), 0u);
  const std::string Pictures = FromWide(Temp);
  const std::string ExeDir = FromWide(Installed) + "\\";
  const bool Writable = IsWritableFolder(ExeDir);
  const std::string Start = SaveStartFolderFor(ExeDir, Pictures, "C:\\");
  RemoveDirectoryW(Installed.c_str());
  EXPECT_EQ(Start, Pictures) << (Writable ? "writable" : "not writable");
  // The same folder elsewhere is offered when writable.
  EXPECT_EQ(SaveStartFolderFor(Pictures, "C:\\nowhere", "C:\\"), Pictures);
}
