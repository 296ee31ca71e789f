#include "i18n/gnugettext.h"

#include <gtest/gtest.h>

#include "base/WideText.h"
#include "tests/i18n/CatalogTestUtil.h"

namespace {

const std::vector<TPoEntry> GermanEntries = {
    {"Unable to open com port", "COM-Port kann nicht geöffnet werden"},
    {"Line one\nLine two", "Zeile eins\nZeile zwei"},
    {"\nLeading", "\nVorne"},
    {"Größe", "Size in German"},
};

// A translator whose "default" domain reads catalogs under a temporary tree.
class CatalogTest : public ::testing::Test {
protected:
  std::string MoPath(const std::string& Language, const std::string& Domain = "default") const {
    return Dir.File(Language + "/LC_MESSAGES/" + Domain + ".mo");
  }
  std::unique_ptr<TGnuGettextInstance> MakeTranslator(const char* Lang) {
    TEnvVar Env("LANG", Lang);
    auto Instance = std::make_unique<TGnuGettextInstance>();
    Instance->BindDomain("default", Dir.Path().string());
    return Instance;
  }

  TTempDir Dir;
};

} // namespace

TEST(Language, CodeFromEnvironment) {
  const std::pair<const char*, const char*> Rows[] = {
      {"de_DE.UTF-8", "de_DE"},
      {"de_DE", "de_DE"},
      {"sr_RS@latin", "sr_RS@latin"},
      {"pt_BR.utf8@euro", "pt_BR"},
      {"../../etc/passwd", "C"},
      {"de/../../x", "C"},
      {"..\\..\\x", "C"},
      {"x\\y", "C"},
      {"", "C"},
  };
  for (const auto& [Value, Code] : Rows)
    EXPECT_EQ(LanguageCodeFromEnvironment(Value), Code) << Value;
}

TEST(Language, SystemLanguageFromLocaleNamesOrIdentifier) {
  EXPECT_EQ(SystemLanguageCode("de", "AT", 0), "de_AT");
  // A three-letter language name leaves it to the locale identifier table.
  EXPECT_EQ(SystemLanguageCode("fil", "PH", 1031), "de_DE");
  EXPECT_EQ(SystemLanguageCode("", "", 2057), "en_UK");
  EXPECT_EQ(SystemLanguageCode("", "", 1032), "gr_GR");
  EXPECT_EQ(SystemLanguageCode("", "", 3082), "es_ES");
  EXPECT_EQ(SystemLanguageCode("", "", 4103), "de_LU");
  EXPECT_EQ(SystemLanguageCode("deu", "DE", 1), "C");
#ifndef _WIN32
  // On Windows the user's locale decides (the tools' tests under Wine set it).
  TEnvVar Lang("LANG", nullptr);
  TEnvVar All("LC_ALL", "fr_CA.UTF-8");
  EXPECT_EQ(DetectSystemLanguage(), "fr_CA");
  TGnuGettextInstance Instance;
  EXPECT_EQ(Instance.LanguageCode(), "fr_CA");
#endif
}

TEST_F(CatalogTest, TranslatesWithLineEndsAndFallsBackToTheTwoLetterCatalog) {
  BuildCatalog(MoPath("pt"), GermanEntries);
  auto Instance = MakeTranslator("pt_BR.UTF-8");
  EXPECT_EQ(Instance->LanguageCode(), "pt_BR");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Unable to open com port"),
            u"COM-Port kann nicht geöffnet werden");
  // CR LF in the text finds the bare-LF source; the result gets CR LF back.
  EXPECT_EQ(Instance->TranslateInDomain("default", u"Line one\r\nLine two"),
            u"Zeile eins\r\nZeile zwei");
  EXPECT_EQ(Instance->TranslateInDomain("default", u"Line one\nLine two"),
            u"Zeile eins\r\nZeile zwei");
  EXPECT_EQ(Instance->TranslateInDomain("default", u"\nLeading"), u"\r\nVorne");
  EXPECT_EQ(Instance->TranslateInDomain("default", u"Größe"), u"Size in German");
  // Untranslated texts come back unchanged, apart from the line-end rule.
  EXPECT_EQ(Instance->TranslateInDomain("default", u"Unknown"), u"Unknown");
  EXPECT_EQ(Instance->TranslateInDomain("default", u"a\nb"), u"a\r\nb");
  // The empty text gives the catalog's header.
  const std::u16string Header = Instance->TranslateInDomain("default", u"");
  EXPECT_NE(Header.find(u"charset=UTF-8\r\n"), std::u16string::npos);
}

TEST_F(CatalogTest, FullLanguageCatalogWinsOverTwoLetterOne) {
  BuildCatalog(MoPath("pt"), {{"Yes", "Sim (pt)"}});
  BuildCatalog(MoPath("pt_BR"), {{"Yes", "Sim (pt_BR)"}});
  EXPECT_EQ(MakeTranslator("pt_BR")->TranslateInCurrentDomain(u"Yes"), u"Sim (pt_BR)");
}

TEST_F(CatalogTest, MissingCatalogIsNotLookedForAgainUntilLanguageOrDirectoryChanges) {
  auto Instance = MakeTranslator("de_DE");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Yes"), u"Yes");
  TDomain& Domain = Instance->FindOrAddDomain("default");
  EXPECT_FALSE(Domain.MayOpen());
  // The catalog appears later: the domain does not look again...
  BuildCatalog(MoPath("de"), {{"Yes", "Ja"}});
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Yes"), u"Yes");
  // ...until its language is set again.
  Domain.SetLanguage("de_DE");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Yes"), u"Ja");
  EXPECT_TRUE(Domain.IsOpen());
  Instance->BindDomain("default", Dir.File("elsewhere"));
  EXPECT_FALSE(Domain.IsOpen());
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Yes"), u"Yes");
}

TEST_F(CatalogTest, BigEndianAndHashlessCatalogsGiveTheSameResults) {
  std::vector<TPoEntry> Entries = GermanEntries;
  for (int i = 0; i < 40; ++i)
    Entries.push_back({"Key " + std::to_string(i), "Wert " + std::to_string(i)});
  BuildCatalog(MoPath("de"), Entries);
  BuildCatalog(MoPath("de", "big"), Entries, "--endianness=big");
  BuildCatalog(MoPath("de", "nohash"), Entries, "--endianness=big --no-hash");
  auto Instance = MakeTranslator("de");
  Instance->BindDomain("big", Dir.Path().string());
  Instance->BindDomain("nohash", Dir.Path().string());
  for (const auto& Entry : Entries) {
    const std::u16string Text = Utf8ToUtf16(Entry.Source);
    const std::u16string Little = Instance->TranslateInDomain("default", Text);
    EXPECT_NE(Little, Text);
    EXPECT_EQ(Instance->TranslateInDomain("big", Text), Little);
    EXPECT_EQ(Instance->TranslateInDomain("nohash", Text), Little);
  }
  EXPECT_FALSE(Instance->FindOrAddDomain("default").Catalog().SwapBytes());
  EXPECT_TRUE(Instance->FindOrAddDomain("big").Catalog().SwapBytes());
  EXPECT_EQ(Instance->TranslateInDomain("big", u"Key 99"), u"Key 99");
}

TEST_F(CatalogTest, DomainNamesIgnoreLetterCase) {
  BuildCatalog(MoPath("de", "cport"), {{"Registry error", "Registrierungsfehler"}});
  auto Instance = MakeTranslator("de");
  Instance->BindDomain("cport", Dir.Path().string());
  // The domain keeps its first spelling (the file name); others reach it.
  Instance->BindDomain("CPort", Dir.Path().string());
  const std::size_t Count = Instance->DomainCount();
  EXPECT_EQ(Instance->TranslateInDomain("Cport", u"Registry error"), u"Registrierungsfehler");
  EXPECT_EQ(Instance->TranslateInDomain("CPORT", u"Registry error"), u"Registrierungsfehler");
  EXPECT_EQ(Instance->DomainCount(), Count);
  EXPECT_EQ(&Instance->FindOrAddDomain("cPoRt"), &Instance->FindOrAddDomain("cport"));
}

TEST_F(CatalogTest, TranslationThatIsNotUtf8FailsWithCouldNotTranslate) {
  // msgfmt keeps a Latin-1 catalog's bytes as they are.
  std::string Po = PoText({{"Yes", "J\xE4"}, {"No", "Nein"}}, "ISO-8859-1");
  BuildCatalog(MoPath("de"), Po);
  auto Instance = MakeTranslator("de");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"No"), u"Nein");
  EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInCurrentDomain(u"Yes"),
                           "Error: Could not translate Yes. Probably because the mo file doesn't "
                           "contain utf-8 encoded translations.");
}

TEST_F(CatalogTest, EmptyTranslationFailsWithCouldNotTranslate) {
  // msgfmt leaves out entries without translation, so the entry's length is
  // cut to zero afterwards (a damaged file on purpose).
  BuildCatalog(MoPath("de"), {{"Yes", "Ja"}}, "--no-hash");
  const std::string Path = MoPath("de");
  const std::uint32_t T = ReadWord(Path, 16);
  PatchWord(Path, T + 8, 0); // entry 1 ("Yes"; entry 0 is the header)
  auto Instance = MakeTranslator("de");
  EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInCurrentDomain(u"Yes"),
                           "Error: Could not translate Yes. Probably because the mo file doesn't "
                           "contain utf-8 encoded translations.");
  // Outside any catalog, the empty text is simply empty.
  EXPECT_EQ(Instance->TranslateInDomain("nothing", u""), u"");
}

TEST_F(CatalogTest, CatalogsWithNoneOrOneString) {
  // A catalog with one entry and no header.
  BuildCatalog(MoPath("de"), PoText({{"Only", "Einzig"}}, ""));
  BuildCatalog(MoPath("de", "none"), PoText({{"Only", "Einzig"}}, ""));
  PatchWord(MoPath("de", "none"), 8, 0); // N = 0
  auto Instance = MakeTranslator("de");
  Instance->BindDomain("none", Dir.Path().string());
  EXPECT_EQ(Instance->FindOrAddDomain("default").LookupText("Only"), "Einzig");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Other"), u"Other");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Aaa"), u"Aaa");
  EXPECT_EQ(Instance->TranslateInDomain("none", u"Only"), u"Only");
  EXPECT_TRUE(Instance->FindOrAddDomain("none").IsOpen());
}

TEST_F(CatalogTest, WrongMagicFailsEveryLookupTheSameWay) {
  std::filesystem::create_directories(Dir.File("de/LC_MESSAGES"));
  WriteTextFile(MoPath("de"), std::string(64, 'x'));
  auto Instance = MakeTranslator("de");
  const std::string Expected = "This file is not a valid GNU gettext mo file: " + MoPath("de");
  for (int i = 0; i < 3; ++i)
    EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInCurrentDomain(u"Yes"), Expected);
  EXPECT_FALSE(Instance->FindOrAddDomain("default").IsOpen());
  EXPECT_TRUE(Instance->FindOrAddDomain("default").MayOpen());
}

TEST_F(CatalogTest, UnreadableAndEmptyCatalogFilesReportTheirPath) {
  std::filesystem::create_directories(Dir.File("de/LC_MESSAGES"));
  WriteTextFile(MoPath("de"), "");
  auto Instance = MakeTranslator("de");
  EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInCurrentDomain(u"Yes"),
                           "Cannot create memory map on file " + MoPath("de"));
#ifndef _WIN32
  // Permission bits bind everyone but root; Windows has access lists instead.
  if (geteuid() != 0) {
    BuildCatalog(MoPath("de", "locked"), {{"Yes", "Ja"}});
    std::filesystem::permissions(MoPath("de", "locked"), std::filesystem::perms::none);
    Instance->BindDomain("locked", Dir.Path().string());
    EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInDomain("locked", u"Yes"),
                             "Cannot open file " + MoPath("de", "locked"));
  }
#endif
}

TEST_F(CatalogTest, DamagedCatalogsAreRejectedWhenOpened) {
  std::vector<TPoEntry> Entries;
  for (int i = 0; i < 8; ++i)
    Entries.push_back({"Key " + std::to_string(i), "Wert " + std::to_string(i)});
  struct TDamage {
    const char* Name;
    void (*Apply)(const std::string& Path);
  };
  const TDamage Damages[] = {
      {"truncated header", [](const std::string& P) { std::filesystem::resize_file(P, 14); }},
      {"sources table past the end", [](const std::string& P) { PatchWord(P, 12, 0x7FFFFFF0); }},
      {"translations table past the end",
       [](const std::string& P) { PatchWord(P, 16, 0x00010000); }},
      {"table count past the end", [](const std::string& P) { PatchWord(P, 8, 0x20000000); }},
      {"string length past the end",
       [](const std::string& P) { PatchWord(P, ReadWord(P, 12) + 8 * 3, 0x00100000); }},
      {"string offset past the end",
       [](const std::string& P) { PatchWord(P, ReadWord(P, 16) + 8 * 5 + 4, 0x00100000); }},
      {"offset plus length wraps at 32 bits",
       [](const std::string& P) {
         PatchWord(P, ReadWord(P, 12) + 8 * 2, 0x20);
         PatchWord(P, ReadWord(P, 12) + 8 * 2 + 4, 0xFFFFFFF0);
       }},
      {"truncated strings",
       [](const std::string& P) {
         std::filesystem::resize_file(P, std::filesystem::file_size(P) - 3);
       }},
  };
  for (const TDamage& Damage : Damages) {
    const std::string Domain = "damaged" + std::to_string(&Damage - Damages);
    BuildCatalog(MoPath("de", Domain), Entries, "--no-hash");
    Damage.Apply(MoPath("de", Domain));
    auto Instance = MakeTranslator("de");
    Instance->BindDomain(Domain, Dir.Path().string());
    SCOPED_TRACE(Damage.Name);
    EXPECT_EXCEPTION_MESSAGE(Instance->TranslateInDomain(Domain, u"Key 3"),
                             "This file is not a valid GNU gettext mo file: " +
                                 MoPath("de", Domain));
  }
}

TEST(MoCatalog, BinarySearchFindsEveryStringWithinTheComparisonBound) {
  TTempDir Dir;
  for (unsigned N = 1; N <= 300; ++N) {
    // Keys with gaps between them, so absent keys fall before, between and
    // after the present ones. No header: exactly N strings.
    std::vector<TPoEntry> Entries;
    for (unsigned i = 0; i < N; ++i)
      Entries.push_back({"k" + std::to_string(1000 + 2 * i), "v" + std::to_string(i)});
    const std::string Path = Dir.File("n" + std::to_string(N) + ".mo");
    BuildCatalog(Path, PoText(Entries, ""), "--no-hash");
    const std::string Bytes = ReadTextFile(Path);
    TMoCatalog Catalog;
    ASSERT_TRUE(Catalog.Attach(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size()));
    ASSERT_EQ(Catalog.StringCount(), N);
    unsigned Bound = 1;
    for (unsigned Rest = N; Rest > 1; Rest >>= 1)
      ++Bound; // floor(log2 N) + 1
    unsigned Comparisons = 0;
    for (unsigned i = 0; i < N; ++i) {
      const auto Found = Catalog.Find(Entries[i].Source, &Comparisons);
      ASSERT_TRUE(Found.has_value()) << "N=" << N << " i=" << i;
      EXPECT_EQ(*Found, Entries[i].Translation);
      EXPECT_LE(Comparisons, Bound) << "N=" << N << " i=" << i;
      const std::string Absent = "k" + std::to_string(1000 + 2 * i + 1);
      EXPECT_FALSE(Catalog.Find(Absent, &Comparisons).has_value()) << Absent;
      EXPECT_LE(Comparisons, Bound) << "N=" << N << " absent " << Absent;
    }
    for (const char* Absent : {"", "a", "k0999", "k9", "zzz"}) {
      EXPECT_FALSE(Catalog.Find(Absent, &Comparisons).has_value());
      EXPECT_LE(Comparisons, Bound) << "N=" << N << " absent " << Absent;
    }
  }
}

// A catalog replaced in place while the program runs (cp new.mo default.mo):
// the open catalog is the program's own copy, so lookups go on as before
// instead of reading vanished pages.
TEST_F(CatalogTest, CatalogRewrittenInPlaceKeepsItsTranslations) {
  BuildCatalog(MoPath("de"), GermanEntries);
  auto Instance = MakeTranslator("de");
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Unable to open com port"),
            u"COM-Port kann nicht geöffnet werden");
  std::filesystem::resize_file(MoPath("de"), 0);
  EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Unable to open com port"),
            u"COM-Port kann nicht geöffnet werden");
  WriteTextFile(MoPath("de"), std::string(100000, 'x'));
  EXPECT_EQ(Instance->TranslateInDomain("default", u"Größe"), u"Size in German");
}

// With a failure handler (the client's), a catalog that cannot be used is
// told once, naming the file, and its domain goes on untranslated; a catalog
// with a bad translation is refused whole, not up to that entry.
TEST_F(CatalogTest, UnusableCatalogWithAFailureHandlerIsToldOnceAndLeftOut) {
  static std::vector<std::string> Told;
  Told.clear();
  SetCatalogFailureHandler([](const std::string& Message) { Told.push_back(Message); });
  struct TCase {
    const char* Name;
    void (*Make)(const std::string& Path);
    const char* Message; // the message up to the path
  };
  const TCase Cases[] = {
      {"truncated",
       [](const std::string& P) {
         BuildCatalog(P, GermanEntries);
         std::filesystem::resize_file(P, 40);
       },
       "This file is not a valid GNU gettext mo file: "},
      {"not a catalog", [](const std::string& P) { WriteTextFile(P, std::string(64, 'x')); },
       "This file is not a valid GNU gettext mo file: "},
      {"empty", [](const std::string& P) { WriteTextFile(P, ""); },
       "Cannot create memory map on file "},
      {"not UTF-8",
       [](const std::string& P) {
         BuildCatalog(P, PoText({{"No", "Nein"}, {"Yes", "J\xE4"}}, "ISO-8859-1"));
       },
       "Error: Could not translate Yes. Probably because the mo file doesn't contain utf-8 "
       "encoded translations. ("},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Told.clear();
    std::filesystem::create_directories(Dir.File("de/LC_MESSAGES"));
    Case.Make(MoPath("de"));
    auto Instance = MakeTranslator("de");
    EXPECT_EQ(Instance->TranslateInCurrentDomain(u"No"), u"No");
    EXPECT_EQ(Instance->TranslateInCurrentDomain(u"Yes"), u"Yes");
    ASSERT_EQ(Told.size(), 1u);
    EXPECT_EQ(Told[0].rfind(Case.Message, 0), 0u) << Told[0];
    EXPECT_NE(Told[0].find(MoPath("de")), std::string::npos) << Told[0];
  }
  SetCatalogFailureHandler(nullptr);
}
