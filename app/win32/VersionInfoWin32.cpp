// GetVersionValue on Windows: the VERSIONINFO resource of the running
// executable (Hxt24.rc), read the way the system offers it.
#include "app/VersionInfo.h"

#include <windows.h>

#include <vector>

#include "base/WideText.h"

std::string GetVersionValue(const std::string& Key) {
  wchar_t Path[MAX_PATH * 4];
  const DWORD Length = GetModuleFileNameW(nullptr, Path, sizeof Path / sizeof *Path);
  if (Length == 0 || Length >= sizeof Path / sizeof *Path)
    return {};
  DWORD Handle = 0;
  const DWORD Size = GetFileVersionInfoSizeW(Path, &Handle);
  if (Size == 0)
    return {};
  std::vector<unsigned char> Block(Size, 0);
  if (!GetFileVersionInfoW(Path, 0, Size, Block.data()))
    return {};
  // Only the US English / Windows Latin 1 table is looked at.
  const std::u16string Query = u"\\StringFileInfo\\040904E4\\" + Utf8ToUtf16(Key);
  void* Value = nullptr;
  UINT ValueLength = 0;
  if (!VerQueryValueW(Block.data(), reinterpret_cast<const wchar_t*>(Query.c_str()), &Value,
                      &ValueLength) ||
      !Value)
    return {};
  const auto* Text = static_cast<const char16_t*>(Value);
  std::u16string Wide;
  for (UINT i = 0; i < ValueLength && Text[i] != u'\0'; ++i)
    Wide += Text[i];
  return Utf16ToUtf8(Wide);
}
