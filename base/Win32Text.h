#pragma once

// UTF-8 <-> the system's wide text, for the Windows sources of the program
// (file names and texts handed to the W functions of the API). wchar_t is
// UTF-16 there.

#include <string>
#include <string_view>

#include "base/WideText.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows sources expect a 16-bit wchar_t");

inline std::wstring ToWide(std::string_view Text) {
  const std::u16string Wide = Utf8ToUtf16(Text);
  return std::wstring(Wide.begin(), Wide.end());
}

inline std::string FromWide(std::wstring_view Text) {
  return Utf16ToUtf8(std::u16string(Text.begin(), Text.end()));
}
