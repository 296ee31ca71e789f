#include "base/Format.h"

#include "base/Exception.h"
#include "base/ResourceStrings.h"

#include <utility>

namespace {

enum class TFormatResult { frOk, frInvalid, frArgumentMissing };

TFormatResult TryFormat(std::string_view Fmt, std::initializer_list<TVarRec> Args,
                        std::string& Result) {
  Result.clear();
  Result.reserve(Fmt.size() + 16);
  auto Arg = Args.begin();
  for (std::size_t i = 0; i < Fmt.size(); ++i) {
    const char C = Fmt[i];
    if (C != '%') {
      Result += C;
      continue;
    }
    if (i + 1 >= Fmt.size())
      return TFormatResult::frInvalid;
    const char Directive = Fmt[++i];
    if (Directive == '%') {
      Result += '%';
      continue;
    }
    if (Directive != 'd' && Directive != 's')
      return TFormatResult::frInvalid;
    if (Arg == Args.end())
      return TFormatResult::frArgumentMissing;
    const auto& Value = Arg->Value();
    ++Arg;
    if (Directive == 'd') {
      const auto* Number = std::get_if<std::int64_t>(&Value);
      if (!Number)
        return TFormatResult::frInvalid;
      Result += std::to_string(*Number);
    } else {
      const auto* Text = std::get_if<std::string>(&Value);
      if (!Text)
        return TFormatResult::frInvalid;
      Result += *Text;
    }
  }
  return TFormatResult::frOk;
}

// The message about a bad format is itself a (possibly translated) format. A
// translation that does not fit its one %s must not start another round of
// errors, so it falls back to the text of the table.
[[noreturn]] void RaiseFormatError(const TResStringRec& Message, std::string_view Fmt) {
  std::string Text;
  if (TryFormat(LoadResString(Message), {Fmt}, Text) != TFormatResult::frOk)
    TryFormat(LoadStringFromTable(static_cast<std::uint32_t>(Message.Identifier)), {Fmt}, Text);
  throw Exception(std::move(Text));
}

} // namespace

std::string Format(std::string_view Fmt, std::initializer_list<TVarRec> Args) {
  std::string Result;
  switch (TryFormat(Fmt, Args, Result)) {
  case TFormatResult::frOk:
    break;
  case TFormatResult::frInvalid:
    RaiseFormatError(SInvalidFormat, Fmt);
  case TFormatResult::frArgumentMissing:
    RaiseFormatError(SArgumentMissing, Fmt);
  }
  return Result;
}
