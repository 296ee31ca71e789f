#include "app/qt/ResourceTranslator.h"

#include <algorithm>
#include <exception>

#include "i18n/gnugettext.h"

QString TResourceTranslator::translate(const char*, const char* SourceText, const char*,
                                       int) const {
  if (!SourceText || !*SourceText)
    return QString();
  const std::u16string Source = QString::fromUtf8(SourceText).toStdU16String();
  std::u16string Result;
  try {
    Result = TranslateResourceText(Source);
  } catch (const std::exception&) {
    // A damaged catalog must not throw through Qt's painting and layout;
    // Qt then shows its own text.
    return QString();
  }
  // The lookup puts a carriage return before every line feed; Qt's texts use
  // bare line feeds, so those returns are taken out again.
  if (Source.find(u'\r') == std::u16string::npos)
    Result.erase(std::remove(Result.begin(), Result.end(), u'\r'), Result.end());
  if (Result == Source)
    return QString();
  return QString::fromStdU16String(Result);
}
