// The registry where the system has none: one settings file per root key in
// the user's configuration folder, a section per key path, a line per value.
#include "base/Registry.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Exception.h"
#include "base/IniFile.h"
#include "base/SafeFile.h"

namespace {

// $XDG_CONFIG_HOME, or ~/.config when it is unset or not an absolute path;
// empty when there is no home either.
std::string ConfigHome() {
  const char* Xdg = std::getenv("XDG_CONFIG_HOME");
  if (Xdg && Xdg[0] == '/')
    return Xdg;
  const char* Home = std::getenv("HOME");
  if (Home && Home[0] == '/')
    return std::string(Home) + "/.config";
  if (const passwd* User = getpwuid(getuid()); User && User->pw_dir && User->pw_dir[0] == '/')
    return std::string(User->pw_dir) + "/.config";
  return std::string();
}

// Creates Folder and its missing parents (new ones private to the user).
bool MakeFolders(const std::string& Folder) {
  struct stat Info {};
  if (stat(Folder.c_str(), &Info) == 0)
    return S_ISDIR(Info.st_mode);
  const auto Slash = Folder.find_last_of('/');
  if (Slash != std::string::npos && Slash > 0 && !MakeFolders(Folder.substr(0, Slash)))
    return false;
  return mkdir(Folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string RootFileName(TRegRoot Root) {
  return Root == TRegRoot::rrCurrentUser ? "HKEY_CURRENT_USER.ini" : "HKEY_LOCAL_MACHINE.ini";
}

// A key path as its section name: without "\" at either end. A path that
// would not read back as one section name (a "]", a control character,
// blanks at either end) cannot be stored.
bool SectionOfPath(std::string_view Path, std::string& Section) {
  while (!Path.empty() && Path.front() == '\\')
    Path.remove_prefix(1);
  while (!Path.empty() && Path.back() == '\\')
    Path.remove_suffix(1);
  if (TrimText(Path) != Path)
    return false;
  for (char C : Path)
    if (C == ']' || static_cast<unsigned char>(C) < ' ')
      return false;
  Section = std::string(Path);
  return true;
}

// A value name that reads back as one key of a section: not empty, no blanks
// at either end, no "=" or control character, not starting with "[".
bool StorableName(std::string_view Name) {
  if (Name.empty() || TrimText(Name) != Name || Name.front() == '[')
    return false;
  for (char C : Name)
    if (C == '=' || static_cast<unsigned char>(C) < ' ')
      return false;
  return true;
}

// The most the INI layer reads of a file; a larger one is not ours to cut.
constexpr std::uint64_t MaxRegistryFileSize = 1 << 20;

constexpr char HexDigits[] = "0123456789abcdef";

int HexValue(char C) {
  if (C >= '0' && C <= '9')
    return C - '0';
  if (C >= 'a' && C <= 'f')
    return C - 'a' + 10;
  if (C >= 'A' && C <= 'F')
    return C - 'A' + 10;
  return -1;
}

bool ParseHexBytes(std::string_view Text, std::vector<std::uint8_t>& Data) {
  if (Text.size() % 2 != 0)
    return false;
  Data.clear();
  for (std::size_t i = 0; i < Text.size(); i += 2) {
    const int High = HexValue(Text[i]), Low = HexValue(Text[i + 1]);
    if (High < 0 || Low < 0)
      return false;
    Data.push_back(static_cast<std::uint8_t>(High * 16 + Low));
  }
  return true;
}

// A string value whose data is one line of text and its closing zero.
bool IsPlainText(const std::vector<std::uint8_t>& Data) {
  if (Data.empty() || Data.back() != 0)
    return false;
  for (std::size_t i = 0; i + 1 < Data.size(); ++i)
    if (Data[i] < ' ')
      return false;
  return true;
}

// The value's line in the file: "str:TEXT", "expand:TEXT", "dword:0000e100"
// (the number in hex), or "hex(KIND):BYTES" for anything else.
std::string EncodeValue(TRegValueKind Kind, const std::vector<std::uint8_t>& Data) {
  if ((Kind == rkString || Kind == rkExpandString) && IsPlainText(Data))
    return (Kind == rkString ? "str:" : "expand:") + std::string(Data.begin(), Data.end() - 1);
  std::string Text;
  if (Kind == rkInteger && Data.size() == 4) {
    Text = "dword:";
    for (std::size_t i = 4; i-- > 0;) {
      Text += HexDigits[Data[i] >> 4];
      Text += HexDigits[Data[i] & 15];
    }
    return Text;
  }
  Text = "hex(" + std::to_string(static_cast<std::uint32_t>(Kind)) + "):";
  for (std::uint8_t Byte : Data) {
    Text += HexDigits[Byte >> 4];
    Text += HexDigits[Byte & 15];
  }
  return Text;
}

// The inverse of EncodeValue; a line in none of its forms (written by hand)
// is a string value of that text.
void DecodeValue(std::string_view Text, TRegValueKind& Kind, std::vector<std::uint8_t>& Data) {
  auto TextData = [&](TRegValueKind TextKind, std::string_view Rest) {
    Kind = TextKind;
    Data.assign(Rest.begin(), Rest.end());
    Data.push_back(0);
  };
  if (Text.starts_with("str:"))
    return TextData(rkString, Text.substr(4));
  if (Text.starts_with("expand:"))
    return TextData(rkExpandString, Text.substr(7));
  if (Text.starts_with("dword:") && Text.size() == 14 && ParseHexBytes(Text.substr(6), Data)) {
    std::swap(Data[0], Data[3]);
    std::swap(Data[1], Data[2]);
    Kind = rkInteger;
    return;
  }
  if (Text.starts_with("hex(")) {
    const auto Close = Text.find("):");
    std::uint64_t Number = 0;
    bool Digits = Close != std::string_view::npos && Close > 4 && Close <= 14;
    for (std::size_t i = 4; Digits && i < Close; ++i) {
      Digits = Text[i] >= '0' && Text[i] <= '9';
      Number = Number * 10 + static_cast<std::uint64_t>(Text[i] - '0');
    }
    if (Digits && Number <= 0xFFFFFFFFu && ParseHexBytes(Text.substr(Close + 2), Data)) {
      Kind = static_cast<TRegValueKind>(Number);
      return;
    }
  }
  TextData(rkString, Text);
}

class TFileRegistryKey final : public TRegistryKey {
public:
  TFileRegistryKey(std::string FileName, std::string Section, bool ReadOnly)
      : FFile(std::move(FileName)), FSection(std::move(Section)), FReadOnly(ReadOnly) {}

  bool ValueExists(std::string_view Name) const override {
    return StorableName(Name) && FFile.ValueExists(FSection, Name);
  }

protected:
  bool QueryValue(std::string_view Name, TRegValueKind& Kind,
                  std::vector<std::uint8_t>& Data) const override {
    if (!ValueExists(Name))
      return false;
    DecodeValue(FFile.ReadString(FSection, Name, ""), Kind, Data);
    return true;
  }

  bool SetValue(std::string_view Name, TRegValueKind Kind,
                const std::vector<std::uint8_t>& Data) override {
    if (FReadOnly || !StorableName(Name))
      return false;
    // The file layer says which file it could not write; the registry's
    // callers report the value that was refused.
    try {
      FFile.WriteString(FSection, Name, EncodeValue(Kind, Data));
    } catch (const Exception&) {
      return false;
    }
    return true;
  }

private:
  TIniFile FFile;
  std::string FSection;
  bool FReadOnly;
};

bool SectionExists(const TIniFile& File, std::string_view Section) {
  for (const auto& Name : File.ReadSections())
    if (SameText(Name, Section))
      return true;
  return false;
}

} // namespace

std::unique_ptr<TRegistryKey> OpenRegistryKey(TRegRoot Root, std::string_view Path, bool ReadOnly) {
  std::string Section;
  const std::string Home = ConfigHome();
  if (!SectionOfPath(Path, Section) || Home.empty())
    return nullptr;
  const std::string Folder = Home + "/hxt24";
  std::string FileName = Folder + "/" + RootFileName(Root);
  if (ReadOnly) {
    if (!SectionExists(TIniFile(FileName), Section))
      return nullptr;
  } else if (!MakeFolders(Folder)) {
    return nullptr;
  }
  return std::make_unique<TFileRegistryKey>(std::move(FileName), std::move(Section), ReadOnly);
}

bool DeleteRegistryKey(TRegRoot Root, std::string_view Path) {
  std::string Section;
  const std::string Home = ConfigHome();
  if (!SectionOfPath(Path, Section) || Home.empty())
    return false;
  const std::string FileName = Home + "/hxt24/" + RootFileName(Root);
  std::string Contents, Reason;
  std::uint64_t Size = 0;
  if (ReadRegularFile(FileName, 0, MaxRegistryFileSize + 1, Contents, Size, Reason) !=
          TReadResult::rrOk ||
      Size > MaxRegistryFileSize)
    return false;
  // The file without the key's section and its subkeys' sections, every other
  // byte as it was (a byte order mark, other sections, comments).
  std::string Kept;
  std::size_t Pos = Contents.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  Kept.append(Contents, 0, Pos);
  bool Found = false, Dropping = false;
  while (Pos < Contents.size()) {
    const std::size_t End = Contents.find('\n', Pos);
    const std::size_t Next = End == std::string::npos ? Contents.size() : End + 1;
    const std::string_view Line(Contents.data() + Pos, Next - Pos);
    const std::string_view Text = TrimText(Line);
    if (!Text.empty() && Text.front() == '[') {
      const std::string_view Name = TrimText(Text.substr(1, Text.find(']') - 1));
      const bool Sub = Name.size() > Section.size() && Name[Section.size()] == '\\' &&
                       SameText(Name.substr(0, Section.size()), Section);
      Dropping = SameText(Name, Section) || Sub;
      Found = Found || Dropping;
    }
    if (!Dropping)
      Kept.append(Line);
    Pos = Next;
  }
  if (!Found)
    return false;
  try {
    SaveFileWhole(FileName, Kept);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}
