// Writes and deletions on an arbitrary INI text, in memory (the rules the
// settings files are read and edited by; the file layer adds only the read
// and the replace).
//
// After each step: a written value reads back as written; every other key of
// every section reads as before; no more than one line of the old text is
// gone; a refused write leaves the text byte for byte as it was.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "base/IniFile.h"

namespace {

// Every key the readers see, by lower-case section and key.
std::map<std::pair<std::string, std::string>, std::string> Snapshot(const TIniText& Ini) {
  auto Lower = [](std::string Text) {
    for (char& C : Text)
      if (C >= 'A' && C <= 'Z')
        C = static_cast<char>(C - 'A' + 'a');
    return Text;
  };
  std::map<std::pair<std::string, std::string>, std::string> Keys;
  std::set<std::string> Sections;
  for (const auto& Section : Ini.ReadSections()) {
    // A second copy of a section lists the first one's keys again.
    if (!Sections.insert(Lower(Section)).second)
      continue;
    for (const auto& Key : Ini.ReadSection(Section)) {
      auto [It, New] = Keys.try_emplace({Lower(Section), Lower(Key)});
      if (New)
        It->second = Ini.FindValue(Section, Key).value_or("<missing>");
    }
  }
  return Keys;
}

[[noreturn]] void Finding(const char* What, const std::string& Detail) {
  std::fprintf(stderr, "%s: %s\n", What, Detail.c_str());
  std::abort();
}

// Line breaks in Text, a CR LF pair counted once.
int LineBreaks(std::string_view Text) {
  int Count = 0;
  for (std::size_t i = 0; i < Text.size(); ++i)
    if (Text[i] == '\n' || (Text[i] == '\r' && (i + 1 == Text.size() || Text[i + 1] != '\n')))
      ++Count;
  return Count;
}

// What of Before is not in After, once their common start and end are taken
// off.
std::string_view Removed(std::string_view Before, std::string_view After) {
  std::size_t Head = 0;
  while (Head < Before.size() && Head < After.size() && Before[Head] == After[Head])
    ++Head;
  std::size_t Tail = 0;
  while (Tail < Before.size() - Head && Tail < After.size() - Head &&
         Before[Before.size() - 1 - Tail] == After[After.size() - 1 - Tail])
    ++Tail;
  return Before.substr(Head, Before.size() - Head - Tail);
}

std::string PickName(FuzzedDataProvider& In) {
  static const char* const Names[] = {"ComPort", "comport", " ComPort ", "Port", "port",
                                      "A",       ";A",      "",          "[A"};
  if (In.ConsumeBool())
    return Names[In.ConsumeIntegralInRange<std::size_t>(0, std::size(Names) - 1)];
  return In.ConsumeRandomLengthString(12);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  FuzzedDataProvider In(Data, Size);
  TIniText Ini(In.ConsumeRandomLengthString(2048));
  auto KeysBefore = Snapshot(Ini);
  for (int Step = 0; Step < 4 && In.remaining_bytes() > 0; ++Step) {
    const bool Delete = In.ConsumeIntegralInRange<int>(0, 3) == 0;
    const std::string Section = PickName(In);
    const std::string Key = PickName(In);
    const std::string Value = In.ConsumeRandomLengthString(24);
    const std::string Before = Ini.Text();
    if (!Ini.Update(Section, Key, Delete ? std::nullopt : std::optional<std::string_view>(Value))) {
      if (Ini.Text() != Before)
        Finding("refused write changed the text", Section + "/" + Key);
      continue;
    }
    if (!Delete && Ini.FindValue(Section, Key) != Value)
      Finding("value does not read back", Section + "/" + Key + "=" + Value);
    if (LineBreaks(Removed(Before, Ini.Text())) > 1)
      Finding("more than the key's line changed", Section + "/" + Key);
    // Other keys keep their values. The touched key is compared by the
    // readers' rules: trimmed, without regard to ASCII case.
    auto KeysAfter = Snapshot(Ini);
    for (const auto& [Name, Old] : KeysBefore) {
      const bool Touched =
          SameText(Name.first, TrimIniBlanks(Section)) && SameText(Name.second, TrimIniBlanks(Key));
      if (Touched)
        continue;
      const auto It = KeysAfter.find(Name);
      if (It == KeysAfter.end() || It->second != Old)
        Finding("another key changed", Name.first + "/" + Name.second);
    }
    KeysBefore = std::move(KeysAfter);
  }
  return 0;
}
