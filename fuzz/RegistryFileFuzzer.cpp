// The settings-file form of the registry: value lines, key paths and the
// removal of a key's sections. The input's first byte picks the part, the
// rest is its text (for the removal: the key path, a zero byte, the file).
//
// For any text: a value line decodes, and what it decodes to encodes into a
// line that decodes to the same kind and data; a key path either is refused
// or gives a section name a header line can hold; removing a key keeps whole
// lines of the file in their order, leaves no section of the key behind (a
// second removal finds nothing) and changes nothing when it finds nothing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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
    const std::size_t End = Contents.find('\n', Pos);
    const std::size_t Next = End == std::string_view::npos ? Contents.size() : End + 1;
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
