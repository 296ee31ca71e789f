// The system's profile functions read the hand-written settings files of the
// table exactly as the INI file object does (and as the table says).
#include <windows.h>

#include <gtest/gtest.h>

#include "base/IniFile.h"
#include "tests/TestUtil.h"
#include "tests/base/IniFileReadTable.h"

namespace {

// GetPrivateProfileStringW and GetPrivateProfileSectionNamesW on one file.
// The system reads a file with a byte order mark as UTF-8 or UTF-16, and any
// other file in the ANSI code page; names and values are compared in the
// file's own bytes (UTF-8 for UTF-16 files), as the INI file object returns
// them.
class TProfileReader final : public TIniReader {
public:
  TProfileReader(std::wstring FileName, std::string_view Bytes)
      : FFileName(std::move(FileName)),
        FCodePage(Bytes.starts_with("\xEF\xBB\xBF") || Bytes.starts_with("\xFF\xFE") ||
                          Bytes.starts_with("\xFE\xFF")
                      ? CP_UTF8
                      : CP_ACP) {}

  std::vector<std::string> Sections() const override {
    std::wstring Buffer(65536, L'\0');
    const DWORD Length = GetPrivateProfileSectionNamesW(Buffer.data(), 65536, FFileName.c_str());
    return List(Buffer.data(), Length);
  }
  std::vector<std::string> Keys(const std::string& Section) const override {
    std::wstring Buffer(65536, L'\0');
    const DWORD Length = GetPrivateProfileStringW(Wide(Section).c_str(), nullptr, L"",
                                                  Buffer.data(), 65536, FFileName.c_str());
    return List(Buffer.data(), Length);
  }
  std::optional<std::string> Value(const std::string& Section,
                                   const std::string& Key) const override {
    // A default no file of the table holds tells a missing key.
    const wchar_t* const Missing = L"\x01missing";
    std::wstring Buffer(4096, L'\0');
    const DWORD Length = GetPrivateProfileStringW(Wide(Section).c_str(), Wide(Key).c_str(), Missing,
                                                  Buffer.data(), 4096, FFileName.c_str());
    Buffer.resize(Length);
    if (Buffer == Missing)
      return std::nullopt;
    return Narrow(Buffer);
  }

private:
  // The list as the system's callers read it: names ended by a zero, up to
  // an empty one.
  std::vector<std::string> List(const wchar_t* Buffer, DWORD Length) const {
    std::vector<std::string> Names;
    for (const wchar_t* P = Buffer; P < Buffer + Length && *P; P += wcslen(P) + 1)
      Names.push_back(Narrow(P));
    return Names;
  }
  std::wstring Wide(const std::string& Text) const {
    std::wstring Result(Text.size() + 1, L'\0');
    const int Length = MultiByteToWideChar(FCodePage, 0, Text.data(), static_cast<int>(Text.size()),
                                           Result.data(), static_cast<int>(Result.size()));
    Result.resize(static_cast<std::size_t>(Length));
    return Result;
  }
  std::string Narrow(std::wstring_view Text) const {
    std::string Result(Text.size() * 4 + 1, '\0');
    const int Length =
        WideCharToMultiByte(FCodePage, 0, Text.data(), static_cast<int>(Text.size()), Result.data(),
                            static_cast<int>(Result.size()), nullptr, nullptr);
    Result.resize(static_cast<std::size_t>(Length));
    return Result;
  }

  std::wstring FFileName;
  UINT FCodePage;
};

} // namespace

TEST(IniFileWin32, ProfileFunctionsReadTheFilesAsTheTableSays) {
  TTempDir Dir;
  int Number = 0;
  for (const auto& Row : IniReadRows) {
    // A name of its own for every file: the system keeps files it has read.
    const auto Name = Dir.Path() / ("row" + std::to_string(++Number) + ".ini");
    WriteTextFile(Name.string(), Row.Bytes);
    EXPECT_EQ(IniView(TProfileReader(Name.wstring(), Row.Bytes), Row), Row.Expected) << Row.Name;
  }
}

// What the INI file object writes into each of the files, the system reads
// back as the object does.
TEST(IniFileWin32, ProfileFunctionsReadWhatTheObjectWrote) {
  TTempDir Dir;
  int Number = 0;
  for (const auto& Row : IniReadRows) {
    const auto Name = Dir.Path() / ("written" + std::to_string(++Number) + ".ini");
    WriteTextFile(Name.string(), Row.Bytes);
    TIniFile Ini(Name.string());
    const auto Sections = Ini.ReadSections();
    const std::string Section = Sections.empty() ? "New" : Sections.front();
    Ini.WriteString(Section, "Added", " a b ");
    if (const auto Keys = Ini.ReadSection(Section); Keys.size() > 1)
      Ini.WriteString(Section, Keys.front(), "changed");
    const std::string Probes = Section + "/Added|Other/Added";
    const TIniReadRow Written{Row.Name, Row.Bytes, Probes.c_str(), ""};
    const std::string View = IniView(TIniFileReader(Name.string()), Written);
    EXPECT_NE(View.find("Added=" + std::string(" a b ") + "\n"), std::string::npos) << View;
    EXPECT_EQ(IniView(TProfileReader(Name.wstring(), Row.Bytes), Written), View) << Row.Name;
  }
}
