// The settings-file form of the registry: value lines, key paths and the
// removal of a key's sections. The input's first byte picks the part, the
// rest is its text (for the removal: the key path, a zero byte, the file).
//
// For any text: a value line decodes, and what it decodes to encodes into a
// line that decodes to the same kind and data; a key path either is refused
// or gives a section name a header line can hold; removing a key keeps whole
// lines of the file in their order, leaves no section of the key behind (a
// second removal finds nothing, nor does the INI reader), changes nothing when
// it finds nothing, and every other section reads as before.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/IniFile.h"
#include "base/RegistryFileFormat.h"

namespace {

[[noreturn]] void Finding(const char* What, std::string_view Text) {
  std::fprintf(stderr, "%s: \"%.*s\"\n", What, static_cast<int>(Text.size()), Text.data());
  std::abort();
}

void CheckValue(std::string_view Text) {
  TRegValueKind Kind = rkNone;
  std::vector<std::uint8_t> Data;
  DecodeRegistryValue(Text, Kind, Data);
  const std::string Line = EncodeRegistryValue(Kind, Data);
  TRegValueKind Again = rkNone;
  std::vector<std::uint8_t> AgainData;
  DecodeRegistryValue(Line, Again, AgainData);
  if (Again != Kind || AgainData != Data)
    Finding("value does not read back", Line);
  if (Line.find_first_of("\r\n") != std::string::npos)
    Finding("value line with a line break", Line);
}

void CheckPath(std::string_view Path) {
  std::string Section;
  if (!RegistrySectionOfPath(Path, Section))
    return;
  for (char C : Section)
    if (C == ']' || static_cast<unsigned char>(C) < ' ')
      Finding("section name a header cannot hold", Section);
  if (!Section.empty() && (Section.front() == '\\' || Section.back() == '\\' ||
                           static_cast<unsigned char>(Section.front()) <= ' ' ||
                           static_cast<unsigned char>(Section.back()) <= ' '))
    Finding("section name with a separator or blank at an end", Section);
}

// Kept is Contents with whole lines left out, in order.
bool WholeLinesOf(std::string_view Kept, std::string_view Contents) {
  std::size_t Pos = 0;
  while (!Kept.empty()) {
    if (Pos >= Contents.size())
      return false;
    // Lines end at CR, LF or CR LF, as the reader ends them.
    const std::size_t End = std::min(Contents.find_first_of("\r\n", Pos), Contents.size());
    const std::size_t Next =
        std::min(End + (Contents.compare(End, 2, "\r\n") == 0 ? 2 : 1), Contents.size());
    const std::string_view Line = Contents.substr(Pos, Next - Pos);
    // A byte order mark stays at the start, outside any line.
    if (Pos == 0 && Contents.starts_with("\xEF\xBB\xBF") && Kept.starts_with("\xEF\xBB\xBF")) {
      Kept.remove_prefix(3);
      Pos = 3;
      continue;
    }
    if (Kept.starts_with(Line))
      Kept.remove_prefix(Line.size());
    Pos = Next;
  }
  return true;
}

void CheckRemoval(std::string_view Input) {
  const std::size_t Zero = Input.find('\0');
  if (Zero == std::string_view::npos)
    return;
  std::string Section;
  if (!RegistrySectionOfPath(Input.substr(0, Zero), Section) || Section.empty())
    return;
  const std::string_view Contents = Input.substr(Zero + 1);
  std::string Kept;
  const bool Found = RemoveRegistryKeySections(Contents, Section, Kept);
  if (!Found && Kept != Contents)
    Finding("nothing found, yet the file changed", Kept);
  if (!WholeLinesOf(Kept, Contents))
    Finding("not whole lines of the file", Kept);
  std::string Twice;
  if (RemoveRegistryKeySections(Kept, Section, Twice))
    Finding("a section of the key is left", Kept);
  // As the INI reader sees the file: the key and its subkeys are gone, every
  // other section reads as before.
  const TIniText Before{std::string(Contents)}, After{Kept};
  auto OfKey = [&](std::string_view Name) {
    return SameText(Name, Section) ||
           (Name.size() > Section.size() && Name[Section.size()] == '\\' &&
            SameText(Name.substr(0, Section.size()), Section));
  };
  for (const std::string& Name : After.ReadSections())
    if (OfKey(Name))
      Finding("the reader still sees a section of the key", Kept);
  for (const std::string& Name : Before.ReadSections()) {
    if (OfKey(Name))
      continue;
    const auto Keys = Before.ReadSection(Name);
    if (After.ReadSection(Name) != Keys)
      Finding("another section lost keys", Kept);
    for (const std::string& Key : Keys)
      if (Before.FindValue(Name, Key) != After.FindValue(Name, Key))
        Finding("another section's value changed", Kept);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0)
    return 0;
  const std::string_view Text(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  switch (Data[0] % 3) {
  case 0:
    CheckValue(Text);
    break;
  case 1:
    CheckPath(Text);
    break;
  default:
    CheckRemoval(Text);
    break;
  }
  return 0;
}
