#include "base/IniFile.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"
#include "base/WideText.h"

namespace {

// Settings files are small; a longer file is read up to its last line break
// within this size, and what lies beyond is not seen (its keys take their
// defaults). A FIFO or a device is never read: it could block or never end.
constexpr std::uint64_t MaxFileSize = 1 << 20;

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

int HexDigit(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

// The blanks the profile functions trim: the C blanks and the old
// end-of-file mark (other control characters stay part of a name or value).
bool IsIniBlank(char C) {
  return C == ' ' || (C >= '\t' && C <= '\r') || C == '\x1A';
}

bool HasLineBreak(std::string_view Text) {
  return Text.find_first_of("\r\n") != std::string_view::npos;
}

// One line of the text as the profile functions see it.
struct TIniLine {
  enum TKind { lkBlank, lkSection, lkKey, lkOther };
  std::size_t Begin = 0; // first byte of the line
  std::size_t Next = 0;  // first byte of the following line (after the line break)
  TKind Kind = lkBlank;
  std::string_view Name;  // section name or key, trimmed
  std::string_view Value; // trimmed value of a key line, inside the text
};

// Calls Visit(const TIniLine&) for each line in order until it returns false.
template <typename F> void ForEachLine(std::string_view Contents, F&& Visit) {
  // A UTF-8 byte order mark (editors on Windows write one) is not part of the
  // first line; it stays in the file as it is.
  std::size_t Pos = Contents.starts_with(Utf8Bom) ? Utf8Bom.size() : 0;
  // The next CR and the next LF, each searched for again only once passed:
  // every read of a value scans the file, and a search for either of two
  // bytes (find_first_of) costs a call per byte.
  std::size_t NextCr = Contents.find('\r', Pos);
  std::size_t NextLf = Contents.find('\n', Pos);
  while (Pos < Contents.size()) {
    TIniLine Line;
    Line.Begin = Pos;
    if (NextCr < Pos)
      NextCr = Contents.find('\r', Pos);
    if (NextLf < Pos)
      NextLf = Contents.find('\n', Pos);
    std::size_t End = std::min(NextCr, NextLf);
    if (End == std::string_view::npos)
      End = Line.Next = Contents.size();
    else
      Line.Next = End + (Contents.compare(End, 2, "\r\n") == 0 ? 2 : 1);
    const std::string_view Text = TrimIniBlanks(Contents.substr(Pos, End - Pos));
    Pos = Line.Next;
    const auto Close = Text.rfind(']');
    if (Text.empty()) {
      Line.Kind = TIniLine::lkBlank;
    } else if (Text.front() == '[' && Close != std::string_view::npos && Close > 0) {
      Line.Kind = TIniLine::lkSection;
      Line.Name = TrimIniBlanks(Text.substr(1, Close - 1));
    } else if (const auto Equals = Text.find('='); Equals != std::string_view::npos) {
      Line.Kind = TIniLine::lkKey;
      Line.Name = TrimIniBlanks(Text.substr(0, Equals));
      Line.Value = TrimIniBlanks(Text.substr(Equals + 1));
    } else {
      Line.Kind = TIniLine::lkOther;
    }
    if (!Visit(Line))
      return;
  }
}

// Calls Visit(const TIniLine&) for the lines of the first section named
// Section (the one the platform reads), header first, until it returns false
// or the next header.
template <typename F>
void ForEachLineOfSection(std::string_view Contents, std::string_view Section, F&& Visit) {
  const std::string_view Want = TrimIniBlanks(Section);
  if (Want.empty())
    return; // a section without a name is never found
  bool In = false;
  ForEachLine(Contents, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection) {
      if (In)
        return false;
      In = SameText(Line.Name, Want);
    }
    return !In || Visit(Line);
  });
}

// The line break a new line gets: the file's own (its first one), or LF for
// a file without any.
std::string_view LineBreakOf(std::string_view Contents) {
  const auto Break = Contents.find_first_of("\r\n");
  if (Break == std::string_view::npos || Contents[Break] == '\n')
    return "\n";
  return Contents.compare(Break, 2, "\r\n") == 0 ? "\r\n" : "\r";
}

// A value as the reader returns it: without one pair of matching quotes.
std::string_view Unquoted(std::string_view Value) {
  if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
      Value.back() == Value.front())
    return Value.substr(1, Value.size() - 2);
  return Value;
}

enum class TEncoding { enUtf8, enUtf16Le, enUtf16Be };

// The file's text as UTF-8: a file with a UTF-16 byte order mark is
// converted (its mark becomes the UTF-8 one). False when a UTF-16 file does
// not convert back to the very same bytes (broken text, a cut last unit):
// such a file is read, but not written.
bool DecodeText(std::string& Contents, TEncoding& Encoding) {
  Encoding = TEncoding::enUtf8;
  if (Contents.starts_with("\xFF\xFE"))
    Encoding = TEncoding::enUtf16Le;
  else if (Contents.starts_with("\xFE\xFF"))
    Encoding = TEncoding::enUtf16Be;
  else
    return true;
  const bool Little = Encoding == TEncoding::enUtf16Le;
  std::u16string Wide;
  Wide.reserve(Contents.size() / 2);
  for (std::size_t i = 0; i + 1 < Contents.size(); i += 2) {
    const auto A = static_cast<unsigned char>(Contents[i]);
    const auto B = static_cast<unsigned char>(Contents[i + 1]);
    Wide.push_back(static_cast<char16_t>(Little ? A | B << 8 : B | A << 8));
  }
  const bool Whole = Contents.size() % 2 == 0;
  std::string Text = Utf16ToUtf8(Wide);
  const auto Back = TryUtf8ToUtf16(Text);
  Contents = std::move(Text);
  return Whole && Back && *Back == Wide;
}

// UTF-8 text back in the file's encoding; false when it cannot be.
bool EncodeText(std::string_view Text, TEncoding Encoding, std::string& Bytes) {
  if (Encoding == TEncoding::enUtf8) {
    Bytes = std::string(Text);
    return true;
  }
  const auto Wide = TryUtf8ToUtf16(Text);
  if (!Wide)
    return false;
  Bytes.clear();
  Bytes.reserve(Wide->size() * 2);
  for (const char16_t Unit : *Wide) {
    const char Low = static_cast<char>(Unit & 0xFF), High = static_cast<char>(Unit >> 8);
    Bytes += Encoding == TEncoding::enUtf16Le ? Low : High;
    Bytes += Encoding == TEncoding::enUtf16Le ? High : Low;
  }
  return true;
}

// Reads a regular file of at most MaxFileSize bytes. rrOk with a longer file
// gives its first MaxFileSize bytes (the caller cuts them at a line break).
TReadResult ReadFileBytes(const std::string& FileName, std::string& Contents) {
  std::uint64_t Size = 0;
  std::string Reason;
  return ReadRegularFile(FileName, 0, MaxFileSize + 1, Contents, Size, Reason);
}

} // namespace

std::string_view TrimIniBlanks(std::string_view Text) {
  while (!Text.empty() && IsIniBlank(Text.front()))
    Text.remove_prefix(1);
  while (!Text.empty() && IsIniBlank(Text.back()))
    Text.remove_suffix(1);
  return Text;
}

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

std::optional<std::string> TIniText::FindValue(std::string_view Section,
                                               std::string_view Ident) const {
  const std::string_view Want = TrimIniBlanks(Ident);
  std::optional<std::string> Found;
  ForEachLineOfSection(FText, Section, [&](const TIniLine& Line) {
    if (Line.Kind != TIniLine::lkKey || !SameText(Line.Name, Want))
      return true;
    Found = std::string(Unquoted(Line.Value));
    return false;
  });
  return Found;
}

std::vector<std::string> TIniText::ReadSection(std::string_view Section) const {
  std::vector<std::string> Keys;
  ForEachLineOfSection(FText, Section, [&](const TIniLine& Line) {
    if (Line.Kind != TIniLine::lkKey)
      return true;
    // The platform lists the names one after another, each ended by a zero,
    // and the list by an empty name: a key without a name ends it.
    if (Line.Name.empty())
      return false;
    if (Line.Name.front() != ';')
      Keys.emplace_back(Line.Name);
    return true;
  });
  return Keys;
}

std::vector<std::string> TIniText::ReadSections() const {
  std::vector<std::string> Sections;
  ForEachLine(FText, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection && !Line.Name.empty())
      Sections.emplace_back(Line.Name);
    return true;
  });
  return Sections;
}

bool TIniText::Update(std::string_view Section, std::string_view Ident,
                      std::optional<std::string_view> Value) {
  const std::string_view WantSection = TrimIniBlanks(Section);
  const std::string_view WantIdent = TrimIniBlanks(Ident);
  // Anything that would read back as a different key or section is refused
  // rather than written: a value with a line break could plant keys of its
  // own, a key without a name would end the section's listing, and a section
  // without a name is never read.
  // (A "]" in a section name is no trouble: a header's name runs to its last
  // one.)
  if (WantSection.empty() || HasLineBreak(WantSection) || WantIdent.empty() ||
      HasLineBreak(WantIdent) || WantIdent.find('=') != std::string_view::npos ||
      WantIdent.front() == '[' || (Value && HasLineBreak(*Value)))
    return false;

  // The key's line in the first section of that name (the only one read),
  // and the place for a new key: after the section's last key (or its
  // header), so that comments heading the next section stay with it; ahead
  // of a key without a name, which would hide it from the listing.
  std::optional<TIniLine> KeyLine;
  std::optional<std::size_t> InsertAt;
  bool Nameless = false;
  ForEachLineOfSection(FText, WantSection, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection) {
      InsertAt = Line.Next;
      return true;
    }
    if (Line.Kind != TIniLine::lkKey)
      return true;
    if (SameText(Line.Name, WantIdent)) {
      KeyLine = Line;
      return false;
    }
    if (Line.Name.empty() && !Nameless) {
      Nameless = true;
      InsertAt = Line.Begin;
    } else if (!Nameless) {
      InsertAt = Line.Next;
    }
    return true;
  });

  // The reader trims values and takes off one pair of matching quotes; a
  // value that would lose something that way is written inside double quotes,
  // so that every value reads back as written.
  std::string Quoted;
  if (Value && !Value->empty() &&
      (IsIniBlank(Value->front()) || IsIniBlank(Value->back()) || Unquoted(*Value) != *Value)) {
    Quoted = "\"" + std::string(*Value) + "\"";
    Value = Quoted;
  }

  const std::string_view Contents = FText;
  const std::string_view Break = LineBreakOf(Contents);
  std::string Result;
  if (!Value) {
    if (!KeyLine)
      return true;
    Result = std::string(Contents.substr(0, KeyLine->Begin));
    Result += Contents.substr(KeyLine->Next);
  } else if (KeyLine) {
    const auto ValueBegin = static_cast<std::size_t>(KeyLine->Value.data() - Contents.data());
    Result = std::string(Contents.substr(0, ValueBegin));
    Result += *Value;
    Result += Contents.substr(ValueBegin + KeyLine->Value.size());
  } else {
    std::string NewLines;
    const std::size_t At = InsertAt.value_or(Contents.size());
    const bool Ended = Contents.empty() || Contents.back() == '\n' || Contents.back() == '\r' ||
                       Contents == Utf8Bom;
    if (At == Contents.size() && !Ended)
      NewLines += Break;
    if (!InsertAt) {
      // A new section goes at the end, set off by a blank line.
      std::optional<TIniLine> Last;
      ForEachLine(Contents, [&](const TIniLine& Line) {
        Last = Line;
        return true;
      });
      if (Last && Last->Kind != TIniLine::lkBlank)
        NewLines += Break;
      NewLines += "[";
      NewLines += WantSection;
      NewLines += "]";
      NewLines += Break;
    }
    NewLines += WantIdent;
    NewLines += "=";
    NewLines += *Value;
    NewLines += Break;
    Result = std::string(Contents.substr(0, At));
    Result += NewLines;
    Result += Contents.substr(At);
  }
  FText = std::move(Result);
  return true;
}

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {}

std::optional<TIniText> TIniFile::Read() const {
  std::string Contents;
  if (ReadFileBytes(FFileName, Contents) != TReadResult::rrOk)
    return std::nullopt;
  const bool Cut = Contents.size() > MaxFileSize;
  if (Cut)
    Contents.resize(MaxFileSize);
  TEncoding Encoding;
  DecodeText(Contents, Encoding);
  if (Cut) {
    // A line cut in the middle could read as a different value.
    const auto LastBreak = Contents.find_last_of("\r\n");
    Contents.resize(LastBreak == std::string::npos ? 0 : LastBreak + 1);
  }
  return TIniText(std::move(Contents));
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Ident,
                                 std::string_view Default) const {
  const auto Text = Read();
  auto Value = Text ? Text->FindValue(Section, Ident) : std::nullopt;
  return Value ? std::move(*Value) : std::string(Default);
}

std::int32_t TIniFile::ReadInteger(std::string_view Section, std::string_view Ident,
                                   std::int32_t Default) const {
  const auto Text = Read();
  const auto Value = Text ? Text->FindValue(Section, Ident) : std::nullopt;
  if (!Value)
    return Default;
  return TryStrToInt(*Value).value_or(Default);
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Ident) const {
  const auto Text = Read();
  return Text && Text->FindValue(Section, Ident).has_value();
}

std::vector<std::string> TIniFile::ReadSection(std::string_view Section) const {
  const auto Text = Read();
  return Text ? Text->ReadSection(Section) : std::vector<std::string>();
}

std::vector<std::string> TIniFile::ReadSections() const {
  const auto Text = Read();
  return Text ? Text->ReadSections() : std::vector<std::string>();
}

void TIniFile::WriteString(std::string_view Section, std::string_view Ident,
                           std::string_view Value) {
  Update(Section, Ident, Value);
}

void TIniFile::WriteInteger(std::string_view Section, std::string_view Ident, std::int32_t Value) {
  Update(Section, Ident, std::to_string(Value));
}

void TIniFile::DeleteKey(std::string_view Section, std::string_view Ident) {
  Update(Section, Ident, std::nullopt);
}

void TIniFile::WriteError() const {
  throw Exception(Format(LoadResString(SIniFileWriteError), {FFileName}));
}

void TIniFile::Update(std::string_view Section, std::string_view Ident,
                      std::optional<std::string_view> Value) {
  // Only a regular file is updated, and only one read whole: the rest of a
  // longer file would be lost with the rewrite.
  std::string Contents;
  const TReadResult Read = ReadFileBytes(FFileName, Contents);
  if ((Read != TReadResult::rrOk && Read != TReadResult::rrMissing) ||
      Contents.size() > MaxFileSize)
    WriteError();
  const std::string Old = Contents;
  TEncoding Encoding;
  if (!DecodeText(Contents, Encoding))
    WriteError();
  TIniText Text(std::move(Contents));
  if (!Text.Update(Section, Ident, Value))
    WriteError();
  std::string Bytes;
  if (!EncodeText(Text.Text(), Encoding, Bytes))
    WriteError();
  if (!Value && Bytes == Old)
    return; // no such key: nothing to delete
  try {
    SaveFileWhole(FFileName, Bytes);
  } catch (const Exception&) {
    WriteError();
  }
}
