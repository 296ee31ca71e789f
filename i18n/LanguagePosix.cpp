// The user's language on POSIX systems.
#include <cstdlib>

#include "i18n/gnugettext.h"

std::string DetectSystemLanguage() {
  // The user's locale on POSIX: the first of LC_ALL and LC_MESSAGES that is
  // set, as "ll_CC.charset@modifier". There is no locale identifier here, so
  // anything but a two-letter language with a two-letter country gives "C".
  std::string_view Name;
  for (const char* Variable : {"LC_ALL", "LC_MESSAGES"}) {
    const char* Value = std::getenv(Variable);
    if (Value && *Value) {
      Name = Value;
      break;
    }
  }
  Name = Name.substr(0, Name.find_first_of(".@"));
  const auto Underscore = Name.find('_');
  const std::string_view Language = Name.substr(0, Underscore);
  const std::string_view Country =
      Underscore == std::string_view::npos ? std::string_view() : Name.substr(Underscore + 1);
  return SystemLanguageCode(Language, Country, 0);
}
