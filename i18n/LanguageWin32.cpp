// The user's language on Windows: the user's default locale, as ISO 639
// language and ISO 3166 country names, with its locale identifier for the
// table of codes.
#include <windows.h>

#include "base/Win32Text.h"
#include "i18n/gnugettext.h"

namespace {

std::string LocaleText(LCTYPE Type) {
  wchar_t Buffer[16];
  const int Length = GetLocaleInfoW(LOCALE_USER_DEFAULT, Type, Buffer, 16);
  return Length > 1 ? FromWide(std::wstring_view(Buffer, static_cast<std::size_t>(Length - 1)))
                    : std::string();
}

} // namespace

std::string DetectSystemLanguage() {
  return SystemLanguageCode(LocaleText(LOCALE_SISO639LANGNAME), LocaleText(LOCALE_SISO3166CTRYNAME),
                            static_cast<std::uint32_t>(GetUserDefaultLCID()));
}
