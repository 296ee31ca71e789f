// Catalogs carried inside an executable, and the two tools that make and read
// them: hxt24-embed and hxt24-msg.
#include "i18n/gnugettext.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include "tests/i18n/CatalogTestUtil.h"

namespace {

struct TRun {
  int Status;
  std::string Out;
  std::string Err;
};

TRun RunTool(const std::string& Command, const TTempDir& Dir) {
  const std::string ErrFile = Dir.File("stderr.txt");
  TRun Result{-1, {}, {}};
  std::FILE* Pipe = popen((Command + " 2>'" + ErrFile + "'").c_str(), "r");
  if (!Pipe)
    return Result;
  char Buffer[4096];
  std::size_t Got;
  while ((Got = std::fread(Buffer, 1, sizeof(Buffer), Pipe)) > 0)
    Result.Out.append(Buffer, Got);
  const int Raw = pclose(Pipe);
  Result.Status = WIFEXITED(Raw) ? WEXITSTATUS(Raw) : -1;
  Result.Err = ReadTextFile(ErrFile);
  return Result;
}

std::string Quote(const std::string& Text) {
  std::string Out = "'";
  for (const char C : Text)
    Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

std::uint64_t MarkerOffsetIn(const std::string& File) {
  const std::string Image = ReadTextFile(File);
  const std::size_t At = Image.find(std::string(CarriedCatalogMarkerText));
  std::uint64_t Value = 0;
  for (int i = 7; i >= 0; --i)
    Value = (Value << 8) | static_cast<unsigned char>(Image.at(At + 36 + i));
  return Value;
}

// A stand-in executable: some bytes, the marker as built, more bytes.
void WriteFakeExecutable(const std::string& Path) {
  std::string Image(300, '\x7F');
  Image += CarriedCatalogMarkerText;
  Image += std::string(8, '\0');
  Image += std::string(100, '\x01');
  WriteTextFile(Path, Image);
}

} // namespace

TEST(CarriedCatalogs, MarkerIsInTheExecutableAndEmptyAsBuilt) {
  EXPECT_EQ(CarriedCatalogTableOffset(), 0u);
  const std::string Image = ReadTextFile(HXT24_MSG_EXE);
  EXPECT_NE(Image.find(std::string(CarriedCatalogMarkerText)), std::string::npos);
  TAssemblyAnalyzer Analyzer;
  Analyzer.Analyze();
  EXPECT_EQ(Analyzer.FileCount(), 0u);
  EXPECT_EQ(Analyzer.BaseDirectory(), "");
}

TEST(CarriedCatalogs, EmbeddedFilesAreIndexedAndWinOverFilesOnDisk) {
  TTempDir Dir;
  const std::string Exe = Dir.File("app/hxt24");
  std::filesystem::create_directories(Dir.File("app"));
  WriteFakeExecutable(Exe);
  BuildCatalog(Dir.File("src/locale/de/LC_MESSAGES/default.mo"), {{"Yes", "Ja (carried)"}});
  BuildCatalog(Dir.File("src/locale/de/LC_MESSAGES/cport.mo"), {{"Yes", "Ja (cport)"}});
  BuildCatalog(Dir.File("app/locale/de/LC_MESSAGES/default.mo"), {{"Yes", "Ja (disk)"}});
  BuildCatalog(Dir.File("app/locale/de/LC_MESSAGES/other.mo"), {{"Yes", "Ja (other)"}});
  const TRun Embed = RunTool(std::string(HXT24_EMBED_EXE) + " " + Exe + " " + Dir.File("src"), Dir);
  ASSERT_EQ(Embed.Status, 0) << Embed.Err;

  TAssemblyAnalyzer Analyzer;
  Analyzer.AnalyzeFile(Exe, MarkerOffsetIn(Exe));
  EXPECT_EQ(Analyzer.FileCount(), 2u);
  EXPECT_EQ(Analyzer.BaseDirectory(), Dir.File("app") + "/");
  const std::string Carried = Dir.File("app/locale/de/LC_MESSAGES/default.mo");
  EXPECT_TRUE(Analyzer.HasEmbeddedFile(Carried));
  EXPECT_TRUE(Analyzer.HasEmbeddedFile(Dir.File("app/LOCALE/DE/LC_MESSAGES/Default.mo")));
  EXPECT_FALSE(Analyzer.HasEmbeddedFile(Dir.File("app/locale/de/LC_MESSAGES/other.mo")));
  EXPECT_FALSE(Analyzer.HasEmbeddedFile("locale/de/LC_MESSAGES/default.mo"));
  const auto Resolved = Analyzer.ResolveFile(Carried);
  EXPECT_EQ(Resolved.FileName, Exe);
  // Appended in name order right behind the original bytes: cport.mo, default.mo.
  const auto CportSize = std::filesystem::file_size(Dir.File("src/locale/de/LC_MESSAGES/cport.mo"));
  EXPECT_EQ(Resolved.Offset, 300u + 44u + 100u + CportSize);
  EXPECT_EQ(Resolved.Size,
            std::filesystem::file_size(Dir.File("src/locale/de/LC_MESSAGES/default.mo")));
  EXPECT_EQ(Analyzer.ResolveFile("/elsewhere.mo").FileName, "/elsewhere.mo");

  TEnvVar Lang("LANG", "de_DE");
  AssemblyAnalyzer.store(&Analyzer);
  {
    TGnuGettextInstance Instance;
    const std::string Locale = Dir.File("app/locale");
    for (const char* Domain : {"default", "cport", "other"})
      Instance.BindDomain(Domain, Locale);
    EXPECT_EQ(Instance.TranslateInDomain("default", u"Yes"), u"Ja (carried)");
    EXPECT_EQ(Instance.TranslateInDomain("cport", u"Yes"), u"Ja (cport)");
    EXPECT_EQ(Instance.TranslateInDomain("other", u"Yes"), u"Ja (other)");
    EXPECT_EQ(Instance.FindOrAddDomain("default").CatalogOffset(), Resolved.Offset);
  }
  AssemblyAnalyzer.store(nullptr);
}

TEST(CarriedCatalogs, DamagedTablesKeepTheEntriesReadBeforeTheDamage) {
  TTempDir Dir;
  const std::string Exe = Dir.File("hxt24");
  WriteFakeExecutable(Exe);
  for (const char* Name : {"a.mo", "b.mo", "c.mo"})
    BuildCatalog(Dir.File(std::string("src/") + Name), {{"Yes", Name}});
  ASSERT_EQ(
      RunTool(std::string(HXT24_EMBED_EXE) + " " + Exe + " " + Dir.File("src") + " a.mo b.mo c.mo",
              Dir)
          .Status,
      0);
  const std::uint64_t Table = MarkerOffsetIn(Exe);
  const std::string Good = ReadTextFile(Exe);
  const std::uint64_t Second = Table + 24 + 4; // "a.mo" is 4 bytes
  struct TCase {
    const char* Name;
    std::uint64_t PatchAt;
    std::uint64_t Value;
    std::size_t Expected;
  };
  const TCase Cases[] = {
      {"intact", 0, 0, 3},
      {"second entry points back to the first", Second, Table, 1},
      {"second entry points to itself", Second, Second, 1},
      {"second entry's name runs past the end", Second, Second + 24 + 100000, 1},
      {"second name duplicates the first", Second + 24, 0x6F6D2E61 /* "a.mo" */, 1},
      {"table offset past the end", Table, Good.size() + 1000, 0},
  };
  for (const TCase& Case : Cases) {
    std::string Image = Good;
    if (Case.PatchAt) {
      const std::size_t Width = Case.PatchAt == Second + 24 ? 4 : 8;
      for (std::size_t i = 0; i < Width; ++i)
        Image[Case.PatchAt + i] = static_cast<char>((Case.Value >> (8 * i)) & 0xFF);
    }
    WriteTextFile(Exe, Image);
    TAssemblyAnalyzer Analyzer;
    Analyzer.AnalyzeFile(Exe, Table);
    EXPECT_EQ(Analyzer.FileCount(), Case.Expected) << Case.Name;
  }
  TAssemblyAnalyzer Missing;
  Missing.AnalyzeFile(Dir.File("no such executable"), 100);
  EXPECT_EQ(Missing.FileCount(), 0u);
}

TEST(CarriedCatalogs, CarriedCatalogBeyondTheExecutableIsInvalid) {
  TTempDir Dir;
  const std::string Exe = Dir.File("hxt24");
  WriteFakeExecutable(Exe);
  BuildCatalog(Dir.File("src/locale/de/LC_MESSAGES/default.mo"), {{"Yes", "Ja"}});
  ASSERT_EQ(RunTool(std::string(HXT24_EMBED_EXE) + " " + Exe + " " + Dir.File("src"), Dir).Status,
            0);
  const std::uint64_t Table = MarkerOffsetIn(Exe);
  // The entry's size claims more than there is: the catalog is cut short.
  std::string Image = ReadTextFile(Exe);
  Image[Table + 16] = 40;
  for (int i = 1; i < 8; ++i)
    Image[Table + 16 + i] = 0;
  WriteTextFile(Exe, Image);
  TAssemblyAnalyzer Analyzer;
  Analyzer.AnalyzeFile(Exe, Table);
  ASSERT_EQ(Analyzer.FileCount(), 1u);
  TEnvVar Lang("LANG", "de");
  AssemblyAnalyzer.store(&Analyzer);
  {
    TGnuGettextInstance Instance;
    Instance.BindDomain("default", Dir.File("locale"));
    EXPECT_EXCEPTION_MESSAGE(Instance.TranslateInCurrentDomain(u"Yes"),
                             "This file is not a valid GNU gettext mo file: " +
                                 Dir.File("locale/de/LC_MESSAGES/default.mo"));
  }
  {
    // A program with a failure handler (the client) is told once and goes
    // on in English.
    static std::vector<std::string> Told;
    Told.clear();
    SetCatalogFailureHandler([](const std::string& Message) { Told.push_back(Message); });
    TGnuGettextInstance Instance;
    Instance.BindDomain("default", Dir.File("locale"));
    EXPECT_EQ(Instance.TranslateInCurrentDomain(u"Yes"), u"Yes");
    EXPECT_EQ(Instance.TranslateInCurrentDomain(u"Yes"), u"Yes");
    SetCatalogFailureHandler(nullptr);
    EXPECT_EQ(Told, std::vector<std::string>{"This file is not a valid GNU gettext mo file: " +
                                             Dir.File("locale/de/LC_MESSAGES/default.mo")});
  }
  AssemblyAnalyzer.store(nullptr);
}

TEST(CarriedCatalogs, ASingleBinaryCarriesItsTranslations) {
  // A copy of hxt24-msg made to carry a catalog, next to a different one on
  // disk under the same name: the carried one is read.
  TTempDir Dir;
  const std::string Exe = Dir.File("hxt24-msg");
  std::filesystem::copy_file(HXT24_MSG_EXE, Exe);
  BuildCatalog(Dir.File("src/locale/de/LC_MESSAGES/default.mo"), {{"Yes", "Ja (carried)"}});
  BuildCatalog(Dir.File("locale/de/LC_MESSAGES/default.mo"), {{"Yes", "Ja (disk)"}});
  const TRun Embed = RunTool(std::string(HXT24_EMBED_EXE) + " " + Exe + " " + Dir.File("src"), Dir);
  ASSERT_EQ(Embed.Status, 0) << Embed.Err;
  EXPECT_EQ(RunTool(Exe + " --lang de_CH Yes No", Dir).Out, "Ja (carried)\nNo\n");
  // Embedding twice is refused and leaves the executable as it was.
  const std::string Before = ReadTextFile(Exe);
  const TRun Again = RunTool(std::string(HXT24_EMBED_EXE) + " " + Exe + " " + Dir.File("src"), Dir);
  EXPECT_EQ(Again.Status, 1);
  EXPECT_EQ(Again.Err, "hxt24-embed: the executable carries catalogs already\n");
  EXPECT_EQ(ReadTextFile(Exe), Before);
}

TEST(MsgTool, PrintsOneEscapedLinePerTextAndFailsOnOneLine) {
  TTempDir Dir;
  BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"),
               {{"Line one\nLine two", "Zeile eins\nZeile zwei"}, {"a\\b", "A\\B"}});
  BuildCatalog(Dir.File("de/LC_MESSAGES/cport.mo"), {{"Registry error", "Registrierungsfehler"}});
  BuildCatalog(Dir.File("fr/LC_MESSAGES/default.mo"), {{"Yes", "Oui"}});
  const std::string Msg = std::string(HXT24_MSG_EXE) + " --dir " + Quote(Dir.Path().string());
  EXPECT_EQ(
      RunTool(Msg + " --lang de_DE.UTF-8 " + Quote("Line one\nLine two") + " 'a\\b' x", Dir).Out,
      "Zeile eins\\r\\nZeile zwei\nA\\\\B\nx\n");
  EXPECT_EQ(RunTool(Msg + " --lang fr_FR Yes", Dir).Out, "Oui\n");
  EXPECT_EQ(RunTool(Msg + " --lang de --domain cport 'Registry error'", Dir).Out,
            "Registrierungsfehler\n");
  EXPECT_EQ(RunTool(Msg + " --lang de 'Registry error'", Dir).Out, "Registry error\n");
  EXPECT_EQ(RunTool(Msg + " --lang de --resource 'Registry error' 'Line one\nLine two'", Dir).Out,
            "Registrierungsfehler\nZeile eins\\r\\nZeile zwei\n");
  // A code that would leave the catalog tree counts as "C".
  EXPECT_EQ(RunTool(Msg + " --lang ../fr Yes", Dir).Out, "Yes\n");

  std::filesystem::create_directories(Dir.File("xx/LC_MESSAGES"));
  WriteTextFile(Dir.File("xx/LC_MESSAGES/default.mo"), "not a catalog at all");
  const TRun Failed = RunTool(Msg + " --lang xx Yes", Dir);
  EXPECT_EQ(Failed.Status, 1);
  EXPECT_EQ(Failed.Out, "");
  EXPECT_EQ(Failed.Err, "This file is not a valid GNU gettext mo file: " +
                            Dir.File("xx/LC_MESSAGES/default.mo") + "\n");
}
