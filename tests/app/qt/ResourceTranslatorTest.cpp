#include "app/qt/ResourceTranslator.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "i18n/gnugettext.h"
#include "tests/TestUtil.h"

namespace {

// German translation started with the catalogs the build puts beside the
// test program, the bridge installed on the application.
class ResourceTranslatorTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* Old = std::getenv("LANG");
    FOldLang = Old ? Old : "";
    setenv("LANG", "de_DE.UTF-8", 1);
    StartTranslation();
    AddResourceStringDomain("cport");
    QCoreApplication::installTranslator(&FBridge);
  }
  void TearDown() override {
    QCoreApplication::removeTranslator(&FBridge);
    StopTranslation();
    setenv("LANG", FOldLang.c_str(), 1);
  }

  TResourceTranslator FBridge;
  std::string FOldLang;
};

} // namespace

TEST_F(ResourceTranslatorTest, QtsOwnButtonTextsComeBackTranslated) {
  QDialogButtonBox Buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
  EXPECT_EQ(Buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
  EXPECT_EQ(Buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Speichern"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Save As"),
            QStringLiteral("Speichern unter"));
  // Through the resource domains: a port message from the "cport" catalog.
  EXPECT_EQ(FBridge.translate("any", "Registry error"), QStringLiteral("Registrierungsfehler"));
}

TEST_F(ResourceTranslatorTest, UntranslatedTextsAreLeftToQt) {
  // Empty means "not mine": Qt keeps its source text.
  EXPECT_TRUE(FBridge.translate("QFileDialog", "No such text anywhere").isNull());
  EXPECT_TRUE(FBridge.translate("QFileDialog", "two\nlines").isNull());
  EXPECT_TRUE(FBridge.translate("QFileDialog", "").isNull());
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "two\nlines"), QStringLiteral("two\nlines"));
}

TEST_F(ResourceTranslatorTest, DamagedCatalogLeavesQtTextsAlone) {
  TTempDir Dir;
  std::filesystem::create_directories(Dir.File("de/LC_MESSAGES"));
  std::ofstream(Dir.File("de/LC_MESSAGES/default.mo")) << "not a catalog";
  Translator.load()->BindDomain("default", Dir.Path().string());
  EXPECT_TRUE(FBridge.translate("QPlatformTheme", "Cancel").isNull());
}

TEST(ResourceTranslatorShutdown, AfterShutdownNothingIsTranslated) {
  setenv("LANG", "de_DE", 1);
  StartTranslation();
  TResourceTranslator Bridge;
  EXPECT_EQ(Bridge.translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
  StopTranslation();
  EXPECT_TRUE(Bridge.translate("QPlatformTheme", "Cancel").isNull());
  unsetenv("LANG");
}
