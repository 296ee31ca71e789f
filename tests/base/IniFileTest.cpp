#include "base/IniFile.h"

#include <filesystem>
#include <string>

using namespace std::string_literals;

#include <gtest/gtest.h>

#include "tests/FileFault.h"
#include "tests/TestUtil.h"
#include "tests/base/IniFileReadTable.h"

TEST(IniFile, IntegerFormsAndFallbacks) {
  struct Row {
    const char* Text;
    std::optional<std::int32_t> Value;
  } const Rows[] = {
      {"625", 625},
      {"-12", -12},
      {"+3", 3},
      {"$0000FF", 0xFF},
      {"0x00FF00", 0xFF00},
      {"0X808080", 0x808080},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", {}},
      {"$100000000", {}},
      {"wide", {}},
      {"", {}},
      {"$", {}},
      {"0x", {}},
      {"12px", {}},
      {"1 2", {}},
  };
  for (const auto& R : Rows)
    EXPECT_EQ(TryStrToInt(R.Text), R.Value) << R.Text;
}

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
  TTempDir Dir;
  const auto Name = Dir.File("config.ini");
  WriteTextFile(Name, "; scope client\r\n"
                      "[Other]\r\nWidth=1\r\n"
                      "[ settings ]\r\n"
                      "  WIDTH = 800 \r\n"
                      "TraceColor=$0000FF\r\n"
                      "GridColor=0x00C0C0C0\r\n"
                      "Height=tall\r\n"
                      "Name=\"quoted value\"\r\n"
                      "width=900\r\n");
  TIniFile Ini(Name);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 625), 800); // first of two entries wins
  EXPECT_EQ(Ini.ReadInteger("SETTINGS", "tracecolor", 0), 0xFF);
  EXPECT_EQ(Ini.ReadInteger("Settings", "GridColor", 0), 0xC0C0C0);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Height", 375), 375);
  EXPECT_EQ(Ini.ReadInteger("Settings", "BackColor", 8421376), 8421376);
  EXPECT_EQ(Ini.ReadString("Settings", "Name", ""), "quoted value");
  EXPECT_EQ(Ini.ReadInteger("Other", "Width", 0), 1);
  EXPECT_FALSE(Ini.ValueExists("Missing", "Width"));
}

// Hand-written files read as the platform reads them.
TEST(IniFile, ReadsHandWrittenFilesAsThePlatformDoes) {
  TTempDir Dir;
  for (const auto& Row : IniReadRows) {
    const auto Name = Dir.File("row.ini");
    WriteTextFile(Name, Row.Bytes);
    EXPECT_EQ(IniView(TIniFileReader(Name), Row), Row.Expected) << Row.Name;
  }
}

TEST(IniFile, MissingFileGivesDefaults) {
  TTempDir Dir;
  TIniFile Ini(Dir.File("absent.ini"));
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 625), 625);
  EXPECT_EQ(Ini.ReadString("Settings", "Port", "COM1"), "COM1");
}

namespace {

// A settings file as people keep them: comments, blank lines, CR LF breaks,
// odd spacing and a last line without a break.
const char* const SampleIni = "; port settings\r\n"
                              "[Main]\r\n"
                              "  Width = 800 \r\n"
                              "Height=600\r\n"
                              "\r\n"
                              "; the scope's own\r\n"
                              "[Scope]\r\n"
                              "Port=COM3\r\n"
                              "[main]\r\n"
                              "Extra=1\r\n"
                              "Tail=no break";

} // namespace

TEST(IniFileWrite, ChangesOnlyTheKeyItWrites) {
  struct Row {
    const char* Section;
    const char* Ident;
    const char* Value; // nullptr: DeleteKey
    const char* Expected;
  } const Rows[] = {
      // An existing key: only its value changes, spacing around it stays.
      {"MAIN", "width", "1024",
       "; port settings\r\n[Main]\r\n  Width = 1024 \r\nHeight=600\r\n\r\n; the scope's own\r\n"
       "[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break"},
      // A second copy of the section is not read: a key found only there is
      // written into the first, where the readers find it.
      {"Main", "Extra", "2",
       "; port settings\r\n[Main]\r\n  Width = 800 \r\nHeight=600\r\nExtra=2\r\n\r\n"
       "; the scope's own\r\n[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break"},
      // A new key goes after the section's last key, ahead of the blank line
      // and the comment that belong to the next section.
      {"Main", "Depth", "8",
       "; port settings\r\n[Main]\r\n  Width = 800 \r\nHeight=600\r\nDepth=8\r\n\r\n"
       "; the scope's own\r\n[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break"},
      // A new key after a last line without a break gets one first.
      {"Scope", "Tail", "x",
       "; port settings\r\n[Main]\r\n  Width = 800 \r\nHeight=600\r\n\r\n; the scope's own\r\n"
       "[Scope]\r\nPort=COM3\r\nTail=x\r\n[main]\r\nExtra=1\r\nTail=no break"},
      {"main", "Tail", "", // an empty value
       "; port settings\r\n[Main]\r\n  Width = 800 \r\nHeight=600\r\nTail=\r\n\r\n"
       "; the scope's own\r\n[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break"},
      // A new section goes at the end, in the file's line breaks.
      {"Port", "BaudRate", "57600",
       "; port settings\r\n[Main]\r\n  Width = 800 \r\nHeight=600\r\n\r\n; the scope's own\r\n"
       "[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break\r\n\r\n[Port]\r\n"
       "BaudRate=57600\r\n"},
      {"Main", "HEIGHT", nullptr,
       "; port settings\r\n[Main]\r\n  Width = 800 \r\n\r\n; the scope's own\r\n"
       "[Scope]\r\nPort=COM3\r\n[main]\r\nExtra=1\r\nTail=no break"},
      {"Main", "Missing", nullptr, SampleIni},
  };
  for (const auto& R : Rows) {
    TTempDir Dir;
    const auto Name = Dir.File("port.ini");
    WriteTextFile(Name, SampleIni);
    TIniFile Ini(Name);
    if (R.Value)
      Ini.WriteString(R.Section, R.Ident, R.Value);
    else
      Ini.DeleteKey(R.Section, R.Ident);
    EXPECT_EQ(ReadTextFile(Name), R.Expected) << R.Section << "/" << R.Ident;
    if (R.Value)
      EXPECT_EQ(Ini.ReadString(R.Section, R.Ident, "default"), R.Value);
    else
      EXPECT_FALSE(Ini.ValueExists(R.Section, R.Ident));
  }
}

// A write lands where the readers will find it, in the file's own line ends
// and encoding.
TEST(IniFileWrite, GoesWhereTheReaderFindsIt) {
  struct Row {
    std::string_view Before, Section, Ident, Value, After;
  } const Rows[] = {
      // Lone CR line ends stay lone CRs.
      {"[S]\rk=1\r"sv, "S", "m", "2", "[S]\rk=1\rm=2\r"sv},
      {"[S]\rk=1"sv, "T", "m", "2", "[S]\rk=1\r\r[T]\rm=2\r"sv},
      // A key after one without a name would not be listed.
      {"[S]\nk=1\n=x\nm=2\n"sv, "S", "n", "3", "[S]\nk=1\nn=3\n=x\nm=2\n"sv},
      // A header whose name runs to its last bracket, and a new one.
      {"[S]] x\nk=1\n"sv, "s]", "k", "2", "[S]] x\nk=2\n"sv},
      {"[S]] x\nk=1\n"sv, "[T]", "k", "2", "[S]] x\nk=1\n\n[[T]]\nk=2\n"sv},
      // UTF-16 stays UTF-16, in its byte order.
      {"\xFF\xFE[\0S\0]\0\n\0"sv, "S", "k", "\xC3\xA4", "\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE4\0\n\0"sv},
      {"\xFE\xFF\0[\0S\0]"sv, "s", "k", "1", "\xFE\xFF\0[\0S\0]\0\n\0k\0=\0\x31\0\n"sv},
  };
  for (const auto& R : Rows) {
    TTempDir Dir;
    const auto Name = Dir.File("w.ini");
    WriteTextFile(Name, R.Before);
    TIniFile Ini(Name);
    Ini.WriteString(R.Section, R.Ident, R.Value);
    EXPECT_EQ(ReadTextFile(Name), R.After) << R.Section << "/" << R.Ident;
    EXPECT_EQ(Ini.ReadString(R.Section, R.Ident, "default"), R.Value);
  }
  // Names the readers would never find, and UTF-16 text that would not
  // convert back to the same bytes: refused, the file left alone.
  TTempDir Dir;
  const auto Name = Dir.File("w.ini");
  WriteTextFile(Name, "[S]\nk=1\n");
  for (const auto& [Section, Ident] :
       {std::pair{"S", ""}, std::pair{"S", " \t"}, std::pair{"", "k"}, std::pair{" ", "k"}})
    EXPECT_EXCEPTION_MESSAGE(TIniFile(Name).WriteString(Section, Ident, "1"),
                             "Unable to write to " + Name);
  EXPECT_EQ(ReadTextFile(Name), "[S]\nk=1\n");
  const std::string Broken = "\xFF\xFE[\0S\0]\0\n\0\x00\xD8"s; // a lone surrogate
  WriteTextFile(Name, Broken);
  EXPECT_EXCEPTION_MESSAGE(TIniFile(Name).WriteString("S", "k", "1"), "Unable to write to " + Name);
  EXPECT_EQ(ReadTextFile(Name), Broken);
}

TEST(IniFileWrite, ByteOrderMarkIsNotPartOfTheFirstLine) {
  TTempDir Dir;
  const auto Name = Dir.File("bom.ini");
  WriteTextFile(Name, "\xEF\xBB\xBF[Settings]\r\nWidth=800\r\n");
  TIniFile Ini(Name);
  EXPECT_EQ(Ini.ReadInteger("Settings", "Width", 0), 800);
  Ini.WriteInteger("Settings", "Height", 600);
  Ini.DeleteKey("Settings", "Width");
  EXPECT_EQ(ReadTextFile(Name), "\xEF\xBB\xBF[Settings]\r\nHeight=600\r\n");
}

TEST(IniFileWrite, CreatesTheFileAndReadsBack) {
  TTempDir Dir;
  const auto Name = Dir.File("new.ini");
  TIniFile Ini(Name);
  Ini.WriteString("ComPort1", "Port", "/dev/ttyUSB0");
  Ini.WriteInteger("ComPort1", "Buffer.InputSize", -2048);
  Ini.WriteInteger("ComPort1", "buffer.inputsize", 4096); // same key, other case
  Ini.WriteString("Other", "Port", "COM2");
  EXPECT_EQ(ReadTextFile(Name),
            "[ComPort1]\nPort=/dev/ttyUSB0\nBuffer.InputSize=4096\n\n[Other]\nPort=COM2\n");
  EXPECT_EQ(Ini.ReadInteger("ComPort1", "Buffer.InputSize", 0), 4096);
  EXPECT_EQ(Ini.ReadSection("comport1"), (std::vector<std::string>{"Port", "Buffer.InputSize"}));
  Ini.WriteString(" OTHER ", "Baud", "1"); // the same section
  EXPECT_EQ(Ini.ReadSections(), (std::vector<std::string>{"ComPort1", "Other"}));
  EXPECT_TRUE(Ini.ReadSection("Absent").empty());
}

// Failing writes leave the file as it was and no temporary file behind. The
// tests may run as root, which may write any file; a file with no write
// permission bit at all is still refused, as the user marked it read-only.
TEST(IniFileWrite, UnwritableFileFailsAndChangesNothing) {
  TTempDir Dir;
  const auto ReadOnly = Dir.File("readonly.ini");
  WriteTextFile(ReadOnly, SampleIni);
  std::filesystem::permissions(ReadOnly, std::filesystem::perms(0444));
  std::filesystem::create_directory(Dir.File("folder.ini"));
  WriteTextFile(Dir.File("plain"), "not a folder");

  for (const auto& Name : {ReadOnly, Dir.File("folder.ini"), Dir.File("plain/under.ini")}) {
    TIniFile Ini(Name);
    EXPECT_EXCEPTION_MESSAGE(Ini.WriteString("Main", "Width", "1"), "Unable to write to " + Name);
    EXPECT_EXCEPTION_MESSAGE(Ini.WriteInteger("New", "Key", 1), "Unable to write to " + Name);
  }
  EXPECT_EQ(ReadTextFile(ReadOnly), SampleIni);
  EXPECT_EQ(std::filesystem::status(ReadOnly).permissions(), std::filesystem::perms(0444));
  EXPECT_EQ(ReadTextFile(Dir.File("plain")), "not a folder");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir.Path()), {}), 3);
}

// A name or value that would read back as other keys or sections is refused
// rather than written.
TEST(IniFileWrite, RefusesTextThatWouldChangeTheFilesShape) {
  TTempDir Dir;
  const auto Name = Dir.File("port.ini");
  WriteTextFile(Name, SampleIni);
  TIniFile Ini(Name);
  const std::pair<const char*, const char*> Keys[] = {
      {"Main", "a=b"}, {"Main", "[x"}, {" ", "a"}, {"Main", "a\nb"}, {"Ma\rin", "a"}};
  for (const auto& [Section, Ident] : Keys)
    EXPECT_EXCEPTION_MESSAGE(Ini.WriteString(Section, Ident, "1"), "Unable to write to " + Name);
  EXPECT_EXCEPTION_MESSAGE(Ini.WriteString("Main", "Port", "COM1\n[Evil]\nx=1"),
                           "Unable to write to " + Name);
  EXPECT_EXCEPTION_MESSAGE(Ini.WriteString("Main", "Port", "COM1\r"), "Unable to write to " + Name);
  EXPECT_EQ(ReadTextFile(Name), SampleIni);
}

TEST(IniFileWrite, EveryValueReadsBackAsWritten) {
  TTempDir Dir;
  const auto Name = Dir.File("values.ini");
  TIniFile Ini(Name);
  const char* const Values[] = {" lead",  "trail\t", "\"quoted\"",      "'single'",        "\"",
                                "\"open", "a=b=c",   "[not a section]", "; not a comment", "x\x01",
                                ""};
  for (const char* Value : Values) {
    Ini.WriteString("S", "K", Value);
    EXPECT_EQ(Ini.ReadString("S", "K", "default"), Value);
  }
  EXPECT_EQ(Ini.ReadSection("S"), std::vector<std::string>{"K"});
}

// A full disk while the file is replaced: the old file stays whole.
TEST(IniFileWrite, FullDiskKeepsTheOldFile) {
  TTempDir Dir;
  const std::string Name = Dir.File("port.ini");
  WriteTextFile(Name, "[ComPort]\nPort=COM1\n");
  for (const TFileStep Step : {TFileStep::fsWrite, TFileStep::fsFlush, TFileStep::fsCommit}) {
    TFileFaultScope Fault(Step);
    EXPECT_EXCEPTION_MESSAGE(TIniFile(Name).WriteString("ComPort", "Port", "COM2"),
                             "Unable to write to " + Name);
    EXPECT_EQ(ReadTextFile(Name), "[ComPort]\nPort=COM1\n");
  }
}
