// Settings files as people write them by hand, and what the platform's profile
// functions see in each (established under Wine, whose profile code follows
// Windows; the Windows suite checks that they still do). Both the INI file
// object and the system's functions must see exactly this.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/IniFile.h"

using namespace std::string_view_literals;

struct TIniReadRow {
  const char* Name;
  std::string_view Bytes; // the file
  // Lookups beyond the listings, "SECTION/KEY" separated by "|".
  const char* Probes;
  // Every listed section ("[NAME]"), then its listed keys with their values
  // ("KEY=VALUE"), then each probe ("SECTION/KEY=VALUE" or
  // "SECTION/KEY missing"), a line each. Text in the file's own bytes (UTF-16
  // files in UTF-8).
  const char* Expected;
};

inline const TIniReadRow IniReadRows[] = {
    {"lone CR line ends", "[Settings]\rWidth=800\rHeight=600\r"sv, "",
     "[Settings]\nWidth=800\nHeight=600\n"},
    {"CR LF, LF and CR mixed", "[S]\r\na=1\rb=2\nc=3\n\rd=4"sv, "", "[S]\na=1\nb=2\nc=3\nd=4\n"},
    {"a section written twice, in two case spellings",
     "[Settings]\r\nWidth=1\r\n[Other]\r\nx=2\r\n[SETTINGS]\r\nHeight=3\r\nWidth=9\r\n"sv,
     "Settings/Height|settings/WIDTH",
     "[Settings]\nWidth=1\n[Other]\nx=2\n[SETTINGS]\nWidth=1\n"
     "Settings/Height missing\nsettings/WIDTH=1\n"},
    {"headers without their closing bracket", "[Settings\nWidth=1\n[A]\nk=0\n[Other\nm=1\n]\n"sv,
     "Settings/Width|Other/m", "[A]\nk=0\nm=1\nSettings/Width missing\nOther/m missing\n"},
    {"more than one closing bracket", "[[S]]\na=1\n[S]]\nb=2\n[x]y] note\nc=3\n[T]x\nd=4\n"sv,
     "S/a", "[[S]]\na=1\n[S]]\nb=2\n[x]y]\nc=3\n[T]\nd=4\nS/a missing\n"},
    {"comments, lines without a name or without =, an empty header",
     "[S]\n;Width=1\n  ; note\nk=1\nplain line\n=value\nm=2\n[]\nafter=1\n[T]\n#hash=2\n"sv,
     "S/;Width|S/m|S/after|S/plain line",
     "[S]\nk=1\n[T]\n#hash=2\nS/;Width=1\nS/m=2\nS/after missing\nS/plain line missing\n"},
    {"keys above the first header", "x=1\n[S]\nk=2\n"sv, "S/x", "[S]\nk=2\nS/x missing\n"},
    {"the same key twice", "[S]\nk=1\nK=2\nk=3\nother=4\n"sv, "", "[S]\nk=1\nK=1\nk=1\nother=4\n"},
    {"spaces and tabs around names and values",
     "  [ Settings ]  \n  Width = 800 \n\tTab\t=\tx\t\nA B = c d \n[S2]\t\nk=1\n"sv,
     " settings / width ",
     "[Settings]\nWidth=800\nTab=x\nA B=c d\n[S2]\nk=1\n settings / width =800\n"},
    {"quotes",
     "[S]\nq1=\"quoted\"\nq2='single'\nq3=\" lead \"\nq4=\"\nq5=\"\"\nq6=\"a'\nq7=\"a\"b\"\n"
     "q8= \"x\" \n\"k\"=1\n"sv,
     "", "[S]\nq1=quoted\nq2=single\nq3= lead \nq4=\"\nq5=\nq6=\"a'\nq7=a\"b\nq8=x\n\"k\"=1\n"},
    {"blank lines, empty values, = inside values",
     "\r\n\r\n[S]\r\n\r\nempty=\r\n\r\neq=a=b=c\r\n \t \r\n"sv, "", "[S]\nempty=\neq=a=b=c\n"},
    {"control characters at either end",
     "[S]\nk=\x1a v\x0b\x0c\nm=\x01"
     "a\x01\n"sv,
     "",
     "[S]\nk=v\nm=\x01"
     "a\x01\n"},
    {"a byte order mark", "\xEF\xBB\xBF[S]\r\nk=1\r\n"sv, "", "[S]\nk=1\n"},
    {"UTF-8 text after a byte order mark",
     "\xEF\xBB\xBF[Gr\xC3\xB6\xC3\x9F"
     "e]\nSchl\xC3\xBCssel=Wert \xC3\xA4\n"sv,
     "",
     "[Gr\xC3\xB6\xC3\x9F"
     "e]\nSchl\xC3\xBCssel=Wert \xC3\xA4\n"},
    {"UTF-8 text without a byte order mark",
     "[Gr\xC3\xB6\xC3\x9F"
     "e]\nSchl\xC3\xBCssel=Wert \xC3\xA4\n"sv,
     "",
     "[Gr\xC3\xB6\xC3\x9F"
     "e]\nSchl\xC3\xBCssel=Wert \xC3\xA4\n"},
    {"UTF-16, little-endian", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE4\0\r\0\n\0"sv, "",
     "[S]\nk=\xC3\xA4\n"},
    {"UTF-16, big-endian", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0\xE4"sv, "", "[S]\nk=\xC3\xA4\n"},
    {"nothing but a byte order mark", "\xEF\xBB\xBF"sv, "S/k", "S/k missing\n"},
};

// What a reader of settings files offers to the table.
class TIniReader {
public:
  virtual ~TIniReader() = default;
  virtual std::vector<std::string> Sections() const = 0;
  virtual std::vector<std::string> Keys(const std::string& Section) const = 0;
  virtual std::optional<std::string> Value(const std::string& Section,
                                           const std::string& Key) const = 0;
};

// What Reader sees of the row's file, in the form of TIniReadRow::Expected.
inline std::string IniView(const TIniReader& Reader, const TIniReadRow& Row) {
  std::string View;
  auto Line = [&](const std::string& Section, const std::string& Key, bool Probe) {
    const auto Value = Reader.Value(Section, Key);
    View += (Probe ? Section + "/" : std::string()) + Key;
    View += Value ? "=" + *Value + "\n" : std::string(" missing\n");
  };
  for (const auto& Section : Reader.Sections()) {
    View += "[" + Section + "]\n";
    for (const auto& Key : Reader.Keys(Section))
      Line(Section, Key, false);
  }
  for (std::string_view Probes = Row.Probes; !Probes.empty();) {
    const auto Bar = Probes.find('|');
    const std::string_view Probe = Probes.substr(0, Bar);
    const auto Slash = Probe.find('/');
    Line(std::string(Probe.substr(0, Slash)), std::string(Probe.substr(Slash + 1)), true);
    Probes = Bar == std::string_view::npos ? std::string_view() : Probes.substr(Bar + 1);
  }
  return View;
}

class TIniFileReader final : public TIniReader {
public:
  explicit TIniFileReader(const std::string& FileName) : FIni(FileName) {}
  std::vector<std::string> Sections() const override { return FIni.ReadSections(); }
  std::vector<std::string> Keys(const std::string& Section) const override {
    return FIni.ReadSection(Section);
  }
  std::optional<std::string> Value(const std::string& Section,
                                   const std::string& Key) const override {
    if (!FIni.ValueExists(Section, Key))
      return std::nullopt;
    return FIni.ReadString(Section, Key, "<default>");
  }

private:
  TIniFile FIni;
};
