#include "base/Format.h"

#include "base/Exception.h"

namespace {

[[noreturn]] void InvalidFormat(std::string_view Fmt) {
  throw Exception("Format '" + std::string(Fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void ArgumentMissing(std::string_view Fmt) {
  throw Exception("No argument for format '" + std::string(Fmt) + "'");
}

} // namespace

std::string Format(std::string_view Fmt, std::initializer_list<TVarRec> Args) {
  std::string Result;
  Result.reserve(Fmt.size() + 16);
  auto Arg = Args.begin();
  for (std::size_t i = 0; i < Fmt.size(); ++i) {
    const char C = Fmt[i];
    if (C != '%') {
      Result += C;
      continue;
    }
    if (i + 1 >= Fmt.size())
      InvalidFormat(Fmt);
    const char Directive = Fmt[++i];
    if (Directive == '%') {
      Result += '%';
      continue;
    }
    if (Directive != 'd' && Directive != 's')
      InvalidFormat(Fmt);
    if (Arg == Args.end())
      ArgumentMissing(Fmt);
    const auto& Value = Arg->Value();
    ++Arg;
    if (Directive == 'd') {
      const auto* Number = std::get_if<std::int64_t>(&Value);
      if (!Number)
        InvalidFormat(Fmt);
      Result += std::to_string(*Number);
    } else {
      const auto* Text = std::get_if<std::string>(&Value);
      if (!Text)
        InvalidFormat(Fmt);
      Result += *Text;
    }
  }
  return Result;
}
