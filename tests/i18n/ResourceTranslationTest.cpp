#include "i18n/gnugettext.h"

#include <gtest/gtest.h>

#include "base/ExePath.h"
#include "base/Format.h"
#include "tests/i18n/CatalogTestUtil.h"

namespace {

// The translation subsystem started for one test, its "default" and "cport"
// domains reading catalogs from a temporary tree.
class ResourceTranslationTest : public ::testing::Test {
protected:
  void SetUp() override {
    BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"),
                 {{"No argument for format '%s'", "Kein Argument für Format '%s'"},
                  {"In both", "In beiden (default)"},
                  {"Same in default", "Same in default"},
                  {"Text at an address", "Text an einer Adresse"}});
    BuildCatalog(Dir.File("de/LC_MESSAGES/cport.mo"), {{"In both", "In beiden (cport)"},
                                                       {"Only in cport", "Nur in cport"},
                                                       {"Two\nlines", "Zwei\nZeilen"},
                                                       {"Same in default", "In cport übersetzt"}});
    StartTranslation();
    Translator.load()->BindDomain("default", Dir.Path().string());
    Translator.load()->BindDomain("cport", Dir.Path().string());
  }
  void TearDown() override { StopTranslation(); }

  TEnvVar Lang{"LANG", "de_DE.UTF-8"};
  TTempDir Dir;
};

} // namespace

TEST_F(ResourceTranslationTest, WalksTheDomainsInOrderUntilOneTranslates) {
  EXPECT_EQ(ResourceStringDomainList(), std::vector<std::string>{"default"});
  EXPECT_EQ(TranslateResourceText(u"Only in cport"), u"Only in cport");
  AddResourceStringDomain("cport");
  EXPECT_EQ(ResourceStringDomainList(), (std::vector<std::string>{"default", "cport"}));
  EXPECT_EQ(TranslateResourceText(u"In both"), u"In beiden (default)");
  EXPECT_EQ(TranslateResourceText(u"Only in cport"), u"Nur in cport");
  // A translation equal to its source does not stop the walk.
  EXPECT_EQ(TranslateResourceText(u"Same in default"), u"In cport übersetzt");
  EXPECT_EQ(TranslateResourceText(u"Nowhere"), u"Nowhere");
  // "default" leaves a multi-line text untranslated (only its line ends
  // change): "cport" is still asked.
  EXPECT_EQ(TranslateResourceText(u"Two\nlines"), u"Zwei\r\nZeilen");
  EXPECT_EQ(TranslateResourceText(u"Two\r\nlines"), u"Zwei\r\nZeilen");
  EXPECT_EQ(TranslateResourceText(u"Not\nanywhere"), u"Not\r\nanywhere");
  AddResourceStringDomain("cport");
  EXPECT_EQ(ResourceStringDomainList().size(), 3u);
  EXPECT_EQ(TranslateResourceText(u"Only in cport"), u"Nur in cport");
  EXPECT_EQ(TranslateResourceText(u"Nowhere"), u"Nowhere");
}

TEST_F(ResourceTranslationTest, EveryLoadedResourceStringIsTranslated) {
  EXPECT_EQ(LoadResString(SArgumentMissing), "Kein Argument für Format '%s'");
  EXPECT_EXCEPTION_MESSAGE(Format("%d", {}), "Kein Argument für Format '%d'");
  static const char Literal[] = "Text at an address";
  EXPECT_EQ(LoadResString(TResStringRec{reinterpret_cast<std::uintptr_t>(Literal)}),
            "Text an einer Adresse");
  EXPECT_EQ(LoadResString(SInvalidFormat), "Format '%s' invalid or incompatible with argument");
  EXPECT_EQ(LoadResString(nullptr), "");
  // No buffer limit: a text far beyond 1023 units comes back whole.
  const std::string Long = std::string(3000, 'x') + "ä end";
  EXPECT_EQ(LoadResString(TResStringRec{reinterpret_cast<std::uintptr_t>(Long.c_str())}), Long);
  // The current domain is "default"; "cport" is only for resource strings.
  EXPECT_EQ(TranslateText(u"In both"), u"In beiden (default)");
  EXPECT_EQ(TranslateText(u"Only in cport"), u"Only in cport");
}

TEST_F(ResourceTranslationTest, AfterShutdownEverythingComesBackUntranslated) {
  AddResourceStringDomain("cport");
  ASSERT_EQ(LoadResString(SArgumentMissing), "Kein Argument für Format '%s'");
  StopTranslation();
  EXPECT_EQ(Translator.load(), nullptr);
  EXPECT_EQ(AssemblyAnalyzer.load(), nullptr);
  EXPECT_EQ(ResStringLoaderEntry().load(), &LoadUntranslatedResString);
  EXPECT_TRUE(ResourceStringDomainList().empty());
  EXPECT_EQ(LoadResString(SArgumentMissing), "No argument for format '%s'");
  EXPECT_EQ(LoadTranslatedResourceString(&SArgumentMissing), "No argument for format '%s'");
  EXPECT_EQ(TranslateResourceText(u"Only in cport"), u"Only in cport");
  EXPECT_EQ(TranslateText(u"In both"), u"In both");
  // Adding a domain after shutdown is harmless, and a new start begins afresh.
  AddResourceStringDomain("cport");
  StartTranslation();
  EXPECT_EQ(ResourceStringDomainList(), std::vector<std::string>{"default"});
}

TEST(ResourceTranslation, ShippedGermanCatalogsBesideTheExecutable) {
  // The build compiles po/ into locale/ beside the executables.
  TEnvVar Lang("LANG", "de_DE.UTF-8");
  TTranslationSession Session;
  EXPECT_EQ(Translator.load()->BaseDirectory(), ExecutableDir() + "locale");
  AddResourceStringDomain("cport");
  EXPECT_EQ(LoadResString(SInvalidFormat),
            "Format '%s' ungültig oder mit dem Argument unverträglich");
  EXPECT_EQ(TranslateText(u"Unable to open com port"), u"COM-Port kann nicht geöffnet werden");
  EXPECT_EQ(TranslateText(u" (win error code: %d)"), u" (Systemfehlercode: %d)");
  EXPECT_EQ(TranslateResourceText(u"Cancel"), u"Abbrechen");
}

TEST(ResourceTranslation, LanguageCWithNoCatalogsLeavesEverythingAlone) {
  TEnvVar Lang("LANG", "C");
  TTranslationSession Session;
  AddResourceStringDomain("cport");
  EXPECT_EQ(LoadResString(SInvalidFormat), "Format '%s' invalid or incompatible with argument");
  EXPECT_EQ(TranslateText(u"Unable to open com port"), u"Unable to open com port");
}

// The empty resource string is not looked up: a catalog's entry for the empty
// text is its header.
TEST_F(ResourceTranslationTest, EmptyResourceStringStaysEmpty) {
  static const char Empty[] = "";
  const TResStringRec Rec{reinterpret_cast<std::uintptr_t>(Empty)};
  ASSERT_NE(Translator.load()->TranslateInDomain("default", u""), u""); // the header
  EXPECT_EQ(LoadResString(Rec), "");
  EXPECT_EQ(TranslateResourceText(u""), u"");
}
