#include "base/IniFile.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace {

bool ReadWholeFile(const std::string& FileName, std::string& Contents) {
  std::ifstream In(FileName, std::ios::binary);
  if (!In)
    return false;
  Contents.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  return true;
}

int HexDigit(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

} // namespace

bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size())
    return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    char X = A[i], Y = B[i];
    if (X >= 'A' && X <= 'Z')
      X = static_cast<char>(X - 'A' + 'a');
    if (Y >= 'A' && Y <= 'Z')
      Y = static_cast<char>(Y - 'A' + 'a');
    if (X != Y)
      return false;
  }
  return true;
}

std::string_view TrimText(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ')
    Text.remove_prefix(1);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ')
    Text.remove_suffix(1);
  return Text;
}

std::optional<std::int32_t> TryStrToInt(std::string_view Text) {
  std::size_t i = 0;
  bool Negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
    Negative = Text[i] == '-';
    ++i;
  }
  bool Hex = false;
  if (i < Text.size() && Text[i] == '$') {
    Hex = true;
    ++i;
  } else if (i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    Hex = true;
    i += 2;
  }
  if (i >= Text.size())
    return std::nullopt;
  std::uint64_t Value = 0;
  for (; i < Text.size(); ++i) {
    if (Hex) {
      const int Digit = HexDigit(Text[i]);
      if (Digit < 0 || Value > 0xFFFFFFFu)
        return std::nullopt;
      Value = Value * 16 + static_cast<unsigned>(Digit);
    } else {
      if (Text[i] < '0' || Text[i] > '9')
        return std::nullopt;
      Value = Value * 10 + static_cast<unsigned>(Text[i] - '0');
      if (Value > 0x80000000u)
        return std::nullopt;
    }
  }
  if (Hex) {
    auto Bits = static_cast<std::uint32_t>(Value);
    if (Negative)
      Bits = 0u - Bits;
    return static_cast<std::int32_t>(Bits);
  }
  if (!Negative && Value > 0x7FFFFFFFu)
    return std::nullopt;
  const auto Signed = static_cast<std::int64_t>(Value);
  return static_cast<std::int32_t>(Negative ? -Signed : Signed);
}

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}

std::optional<std::string> TIniFile::FindValue(std::string_view Section,
                                               std::string_view Ident) const {
  std::string Contents;
  if (!ReadWholeFile(FFileName, Contents))
    return std::nullopt;
  const std::string_view WantSection = TrimText(Section);
  const std::string_view WantIdent = TrimText(Ident);
  bool InSection = false;
  std::size_t Pos = 0;
  while (Pos <= Contents.size()) {
    std::size_t End = Contents.find('\n', Pos);
    if (End == std::string::npos)
      End = Contents.size();
    const std::string_view Line = TrimText(std::string_view(Contents).substr(Pos, End - Pos));
    Pos = End + 1;
    if (!Line.empty() && Line.front() == '[') {
      const auto Close = Line.find(']');
      const auto Name =
          Line.substr(1, Close == std::string_view::npos ? Line.size() - 1 : Close - 1);
      InSection = SameText(TrimText(Name), WantSection);
      continue;
    }
    if (!InSection)
      continue;
    const auto Equals = Line.find('=');
    if (Equals == std::string_view::npos)
      continue;
    if (!SameText(TrimText(Line.substr(0, Equals)), WantIdent))
      continue;
    std::string_view Value = TrimText(Line.substr(Equals + 1));
    // A value in matching quotes is returned without them.
    if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
        Value.back() == Value.front())
      Value = Value.substr(1, Value.size() - 2);
    return std::string(Value);
  }
  return std::nullopt;
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Ident,
                                 std::string_view Default) const {
  auto Value = FindValue(Section, Ident);
  return Value ? std::move(*Value) : std::string(Default);
}

std::int32_t TIniFile::ReadInteger(std::string_view Section, std::string_view Ident,
                                   std::int32_t Default) const {
  const auto Value = FindValue(Section, Ident);
  if (!Value)
    return Default;
  return TryStrToInt(*Value).value_or(Default);
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
  return FindValue(Section, Ident).has_value();
}
