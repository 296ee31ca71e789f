#include "base/IniFile.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/ResourceStrings.h"
#include "base/SafeFile.h"

namespace {

// Settings files are small; a longer file is read up to its last line break
// within this size, and what lies beyond is not seen (its keys take their
// defaults). A FIFO or a device is never read: it could block or never end.
constexpr std::uint64_t MaxFileSize = 1 << 20;

// False when there is no regular file to read.
bool ReadWholeFile(const std::string& FileName, std::string& Contents) {
  std::uint64_t Size = 0;
  std::string Reason;
  if (ReadRegularFile(FileName, 0, MaxFileSize + 1, Contents, Size, Reason) != TReadResult::rrOk)
    return false;
  if (Contents.size() > MaxFileSize) {
    // A line cut in the middle could read as a different value.
    const auto LastBreak = Contents.rfind('\n', MaxFileSize - 1);
    Contents.resize(LastBreak == std::string::npos ? 0 : LastBreak + 1);
  }
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

// One line of the file as the profile functions see it.
struct TIniLine {
  enum TKind { lkBlank, lkSection, lkKey, lkOther };
  std::size_t Begin = 0; // first byte of the line
  std::size_t Next = 0;  // first byte of the following line (after the line break)
  TKind Kind = lkBlank;
  std::string_view Name;  // section name or key, trimmed
  std::string_view Value; // trimmed value of a key line, inside the file's text
};

bool HasLineBreak(std::string_view Text) {
  return Text.find_first_of("\r\n") != std::string_view::npos;
}

// The line break a new line gets: the file's own (the first one in it), or the
// platform's for a file without any.
std::string_view LineBreakOf(std::string_view Contents) {
  const auto Lf = Contents.find('\n');
  if (Lf == std::string_view::npos)
    return "\n";
  return Lf > 0 && Contents[Lf - 1] == '\r' ? "\r\n" : "\n";
}

// Replaces the file's contents as one step (TSafeFile). Returns false, with
// the old file untouched, when any step fails.
bool ReplaceFile(const std::string& FileName, std::string_view Contents) {
  try {
    SaveFileWhole(FileName, Contents);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// Calls Visit(const TIniLine&) for each line in order until it returns false.
template <typename F> void ForEachLine(std::string_view Contents, F&& Visit) {
  // A UTF-8 byte order mark (editors on Windows write one) is not part of the
  // first line; it stays in the file as it is.
  std::size_t Pos = Contents.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (Pos < Contents.size()) {
    TIniLine Line;
    Line.Begin = Pos;
    std::size_t End = Contents.find('\n', Pos);
    Line.Next = End == std::string_view::npos ? Contents.size() : End + 1;
    if (End == std::string_view::npos)
      End = Contents.size();
    const std::string_view Text = TrimText(Contents.substr(Pos, End - Pos));
    Pos = Line.Next;
    if (Text.empty()) {
      Line.Kind = TIniLine::lkBlank;
    } else if (Text.front() == '[') {
      const auto Close = Text.find(']');
      Line.Kind = TIniLine::lkSection;
      Line.Name =
          TrimText(Text.substr(1, Close == std::string_view::npos ? Text.size() - 1 : Close - 1));
    } else if (const auto Equals = Text.find('='); Equals != std::string_view::npos) {
      Line.Kind = TIniLine::lkKey;
      Line.Name = TrimText(Text.substr(0, Equals));
      Line.Value = TrimText(Text.substr(Equals + 1));
    } else {
      Line.Kind = TIniLine::lkOther;
    }
    if (!Visit(Line))
      return;
  }
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
  std::optional<std::string> Found;
  ForEachLine(Contents, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection) {
      InSection = SameText(Line.Name, WantSection);
      return true;
    }
    if (!InSection || Line.Kind != TIniLine::lkKey || !SameText(Line.Name, WantIdent))
      return true;
    std::string_view Value = Line.Value;
    // A value in matching quotes is returned without them.
    if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
        Value.back() == Value.front())
      Value = Value.substr(1, Value.size() - 2);
    Found = std::string(Value);
    return false;
  });
  return Found;
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

std::vector<std::string> TIniFile::ReadSection(std::string_view Section) const {
  std::vector<std::string> Keys;
  std::string Contents;
  if (!ReadWholeFile(FFileName, Contents))
    return Keys;
  const std::string_view WantSection = TrimText(Section);
  bool InSection = false;
  ForEachLine(Contents, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection)
      InSection = SameText(Line.Name, WantSection);
    else if (InSection && Line.Kind == TIniLine::lkKey) {
      bool Seen = false;
      for (const auto& Key : Keys)
        Seen = Seen || SameText(Key, Line.Name);
      if (!Seen)
        Keys.emplace_back(Line.Name);
    }
    return true;
  });
  return Keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> Sections;
  std::string Contents;
  if (!ReadWholeFile(FFileName, Contents))
    return Sections;
  ForEachLine(Contents, [&](const TIniLine& Line) {
    if (Line.Kind == TIniLine::lkSection &&
        std::none_of(Sections.begin(), Sections.end(),
                     [&](const std::string& Name) { return SameText(Name, Line.Name); }))
      Sections.emplace_back(Line.Name);
    return true;
  });
  return Sections;
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
  const std::string_view WantSection = TrimText(Section);
  const std::string_view WantIdent = TrimText(Ident);
  // Anything that would read back as a different key or section is refused
  // rather than written: a value with a line break could plant keys of its own.
  if (HasLineBreak(WantSection) || WantSection.find(']') != std::string_view::npos ||
      HasLineBreak(WantIdent) || WantIdent.find('=') != std::string_view::npos ||
      (!WantIdent.empty() && WantIdent.front() == '[') || (Value && HasLineBreak(*Value)))
    WriteError();

  // Only a regular file is updated, and only one read whole: the rest of a
  // longer file would be lost with the rewrite.
  std::string Contents;
  std::uint64_t Size = 0;
  std::string Reason;
  const TReadResult Read = ReadRegularFile(FFileName, 0, MaxFileSize + 1, Contents, Size, Reason);
  if ((Read != TReadResult::rrOk && Read != TReadResult::rrMissing) ||
      Contents.size() > MaxFileSize)
    WriteError();

  // The key's line in the first occurrence that has it, and the place for a
  // new key: after the last key of the first occurrence of the section (or
  // after its header), so comments heading the next section stay with it.
  std::optional<TIniLine> KeyLine;
  std::optional<std::size_t> InsertAt;
  bool InSection = false, PastFirst = false;
  TIniLine::TKind LastKind = TIniLine::lkBlank;
  ForEachLine(Contents, [&](const TIniLine& Line) {
    LastKind = Line.Kind;
    if (Line.Kind == TIniLine::lkSection) {
      PastFirst = PastFirst || InsertAt.has_value();
      InSection = SameText(Line.Name, WantSection);
      if (InSection && !PastFirst)
        InsertAt = Line.Next;
      return true;
    }
    if (!InSection || Line.Kind != TIniLine::lkKey)
      return true;
    if (!PastFirst)
      InsertAt = Line.Next;
    if (SameText(Line.Name, WantIdent)) {
      KeyLine = Line;
      return false;
    }
    return true;
  });

  // The reader trims values and takes off one pair of matching quotes; a
  // value that would lose something that way is written inside double quotes,
  // so that every value reads back as written.
  std::string Quoted;
  if (Value && !Value->empty() &&
      (static_cast<unsigned char>(Value->front()) <= ' ' ||
       static_cast<unsigned char>(Value->back()) <= ' ' ||
       (Value->size() >= 2 && (Value->front() == '"' || Value->front() == '\'') &&
        Value->back() == Value->front()))) {
    Quoted = "\"" + std::string(*Value) + "\"";
    Value = Quoted;
  }

  const std::string_view Break = LineBreakOf(Contents);
  std::string Result;
  if (!Value) {
    if (!KeyLine)
      return;
    Result = Contents.substr(0, KeyLine->Begin) + Contents.substr(KeyLine->Next);
  } else if (KeyLine) {
    const std::size_t ValueBegin =
        static_cast<std::size_t>(KeyLine->Value.data() - Contents.data());
    Result = Contents.substr(0, ValueBegin);
    Result += *Value;
    Result += Contents.substr(ValueBegin + KeyLine->Value.size());
  } else {
    std::string NewLines;
    std::size_t At = InsertAt.value_or(Contents.size());
    if (At == Contents.size() && !Contents.empty() && Contents.back() != '\n')
      NewLines += Break;
    if (!InsertAt) {
      // A new section goes at the end, set off by a blank line.
      if (!Contents.empty() && LastKind != TIniLine::lkBlank)
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
    Result = Contents.substr(0, At) + NewLines + Contents.substr(At);
  }
  if (!ReplaceFile(FFileName, Result))
    WriteError();
}
