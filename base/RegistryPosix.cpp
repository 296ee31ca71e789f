// The registry where the system has none: one settings file per root key in
// the user's configuration folder, a section per key path, a line per value.
#include "base/Registry.h"
#include "base/RegistryFileFormat.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/IniFile.h"
#include "base/ResourceStrings.h"
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

// The most the INI layer reads of a file; a larger one is not ours to cut,
// and no store may make the file larger.
constexpr std::uint64_t MaxRegistryFileSize = 1 << 20;

std::atomic<long long> LockWaitMs{5000};

// The one update of a settings file that holds it: an advisory lock on the
// lock file beside it ("HKEY_CURRENT_USER.ini.lock", never removed, so that
// every writer locks the same file). Every read-modify-write of the settings
// file runs under it, so that concurrent stores of other values are kept. A
// writer that holds it is waited for up to the lock wait; the system offers
// no lock call with a time limit, so the wait tries again after growing pauses.
class TStoreLock {
public:
  enum TState { lsHeld, lsBusy, lsNoLockFile };

  explicit TStoreLock(const std::string& FileName) {
    const std::string LockName = FileName + ".lock";
    constexpr int Flags = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    FFd = open(LockName.c_str(), O_RDWR | O_CREAT | Flags, 0600);
    if (FFd < 0) // an existing lock file locks as well when it is read-only
      FFd = open(LockName.c_str(), O_RDONLY | Flags);
    if (FFd < 0) {
      // No lock file can be made (a read-only folder): nor can the settings
      // file be replaced, and the store fails as any refused write.
      FState = lsNoLockFile;
      return;
    }
    const auto Deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(LockWaitMs.load(std::memory_order_relaxed));
    auto Pause = std::chrono::milliseconds(1);
    while (flock(FFd, LOCK_EX | LOCK_NB) != 0) {
      const int Error = errno;
      const auto Now = std::chrono::steady_clock::now();
      if (Error == EINTR)
        continue;
      if (Error != EWOULDBLOCK || Now >= Deadline) {
        close(FFd);
        FFd = -1;
        FState = Error == EWOULDBLOCK ? lsBusy : lsNoLockFile;
        return;
      }
      std::this_thread::sleep_for(
          std::min<std::chrono::steady_clock::duration>(Pause, Deadline - Now));
      Pause = std::min(Pause * 2, std::chrono::milliseconds(50));
    }
  }
  ~TStoreLock() {
    if (FFd >= 0)
      close(FFd); // releases the lock
  }
  TStoreLock(const TStoreLock&) = delete;
  TStoreLock& operator=(const TStoreLock&) = delete;

  TState State() const { return FState; }

private:
  int FFd = -1;
  TState FState = lsHeld;
};

// The file's contents now, or false when it cannot be read whole.
bool ReadSettingsFile(const std::string& FileName, std::string& Contents) {
  std::string Reason;
  std::uint64_t Size = 0;
  const TReadResult Read =
      ReadRegularFile(FileName, 0, MaxRegistryFileSize + 1, Contents, Size, Reason);
  if (Read == TReadResult::rrMissing)
    Contents.clear();
  return (Read == TReadResult::rrOk || Read == TReadResult::rrMissing) &&
         Size <= MaxRegistryFileSize;
}

class TFileRegistryKey final : public TRegistryKey {
public:
  TFileRegistryKey(std::string FileName, std::string Section, bool ReadOnly)
      : FFile(std::move(FileName)), FSection(std::move(Section)), FReadOnly(ReadOnly) {}

  bool ValueExists(std::string_view Name) const override {
    return StorableRegistryName(Name) && FFile.ValueExists(FSection, Name);
  }

protected:
  bool QueryValue(std::string_view Name, TRegValueKind& Kind,
                  std::vector<std::uint8_t>& Data) const override {
    if (!ValueExists(Name))
      return false;
    DecodeRegistryValue(FFile.ReadString(FSection, Name, ""), Kind, Data);
    return true;
  }

  bool SetValue(std::string_view Name, TRegValueKind Kind,
                const std::vector<std::uint8_t>& Data) override {
    if (FReadOnly || !StorableRegistryName(Name))
      return false;
    const std::string Value = EncodeRegistryValue(Kind, Data);
    const std::string Refused = Format(LoadResString(SRegSetDataFailed), {Name});
    TStoreLock Lock(FFile.FileName());
    if (Lock.State() == TStoreLock::lsNoLockFile)
      return false;
    if (Lock.State() == TStoreLock::lsBusy)
      throw Exception(Format(LoadResString(SSettingsFileBusy), {Refused, FFile.FileName()}));
    std::string Contents;
    if (!ReadSettingsFile(FFile.FileName(), Contents))
      return false;
    // The most the file can grow by: a value replaced (in quotes, at worst),
    // or a new line with a new section's header and the line breaks around.
    std::uint64_t Grown = Contents.size() + Value.size() + 2;
    if (FFile.ValueExists(FSection, Name))
      Grown -= std::min<std::uint64_t>(FFile.ReadString(FSection, Name, "").size(), Grown);
    else
      Grown += Name.size() + FSection.size() + 16;
    // A larger file would not read back whole, and no later store could
    // change it: refused, the file stays as it is.
    if (Grown > MaxRegistryFileSize)
      throw Exception(
          Format(LoadResString(SSettingsFileFull),
                 {Refused, FFile.FileName(), static_cast<long long>(MaxRegistryFileSize)}));
    // The file layer says which file it could not write; the registry's
    // callers report the value that was refused.
    try {
      FFile.WriteString(FSection, Name, Value);
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

bool RegistrySectionOfPath(std::string_view Path, std::string& Section) {
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

bool StorableRegistryName(std::string_view Name) {
  if (Name.empty() || TrimText(Name) != Name || Name.front() == '[')
    return false;
  for (char C : Name)
    if (C == '=' || static_cast<unsigned char>(C) < ' ')
      return false;
  return true;
}

std::string EncodeRegistryValue(TRegValueKind Kind, const std::vector<std::uint8_t>& Data) {
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

void DecodeRegistryValue(std::string_view Text, TRegValueKind& Kind,
                         std::vector<std::uint8_t>& Data) {
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

bool RemoveRegistryKeySections(std::string_view Contents, std::string_view Section,
                               std::string& Kept) {
  // Lines and headers as the INI reader sees them (TIniText): CR, LF and CR LF
  // end a line; a header runs from "[" to the last "]" of its line, and a "["
  // without "]" is no header. Otherwise a hand-made file could lose lines that
  // the reader counts in another section.
  Kept.clear();
  std::size_t Pos = Contents.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  Kept.append(Contents, 0, Pos);
  bool Found = false, Dropping = false;
  while (Pos < Contents.size()) {
    const std::size_t End = std::min(Contents.find_first_of("\r\n", Pos), Contents.size());
    const std::size_t Next = End + (Contents.compare(End, 2, "\r\n") == 0 ? 2 : 1);
    const std::string_view Line = Contents.substr(Pos, std::min(Next, Contents.size()) - Pos);
    const std::string_view Text = TrimIniBlanks(Contents.substr(Pos, End - Pos));
    const std::size_t Close = Text.rfind(']');
    if (!Text.empty() && Text.front() == '[' && Close != std::string_view::npos && Close > 0) {
      const std::string_view Name = TrimIniBlanks(Text.substr(1, Close - 1));
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
    Kept = std::string(Contents);
  return Found;
}

void SetRegistryLockWait(std::chrono::milliseconds Wait) {
  LockWaitMs.store(Wait.count(), std::memory_order_relaxed);
}

std::unique_ptr<TRegistryKey> OpenRegistryKey(TRegRoot Root, std::string_view Path, bool ReadOnly) {
  std::string Section;
  const std::string Home = ConfigHome();
  if (!RegistrySectionOfPath(Path, Section) || Home.empty())
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
  if (!RegistrySectionOfPath(Path, Section) || Home.empty())
    return false;
  const std::string FileName = Home + "/hxt24/" + RootFileName(Root);
  struct stat Info {};
  if (stat(FileName.c_str(), &Info) != 0)
    return false;
  TStoreLock Lock(FileName);
  std::string Contents;
  if (Lock.State() != TStoreLock::lsHeld || !ReadSettingsFile(FileName, Contents))
    return false;
  std::string Kept;
  if (!RemoveRegistryKeySections(Contents, Section, Kept))
    return false;
  try {
    SaveFileWhole(FileName, Kept);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}
