#include "base/ResourceStrings.h"

#include <gtest/gtest.h>

#include "base/Format.h"
#include "tests/TestUtil.h"

namespace {

std::string Marked(const TResStringRec* ResStringRec) {
  return "[de] " + LoadUntranslatedResString(ResStringRec);
}

std::string BrokenTranslation(const TResStringRec*) {
  return "kaputt %d %s";
}

} // namespace

TEST(ResourceStrings, TableTextsAndAddressesLoadUntranslated) {
  EXPECT_EQ(LoadResString(SInvalidFormat), "Format '%s' invalid or incompatible with argument");
  EXPECT_EQ(LoadResString(SArgumentMissing), "No argument for format '%s'");
  static const char Literal[] = "Cannot open file x";
  const TResStringRec AtAddress{reinterpret_cast<std::uintptr_t>(Literal)};
  EXPECT_EQ(LoadResString(AtAddress), "Cannot open file x");
  EXPECT_EQ(LoadResString(nullptr), "");
  EXPECT_EQ(LoadResString(TResStringRec{ResStringIds::Count}), "");
  EXPECT_EQ(LoadResString(TResStringRec{0xFFFF}), "");
}

TEST(ResourceStrings, HookRedirectsEveryLoadAndRestoresTheLoader) {
  {
    THook Hook(ResStringLoaderEntry(), &Marked);
    EXPECT_EQ(LoadResString(SArgumentMissing), "[de] No argument for format '%s'");
    // The runtime's own messages go through the same loader.
    EXPECT_EXCEPTION_MESSAGE(Format("%d", {}), "[de] No argument for format '%d'");
    Hook.Disable();
    EXPECT_EQ(LoadResString(SArgumentMissing), "No argument for format '%s'");
    Hook.Enable();
    EXPECT_EQ(LoadResString(SArgumentMissing), "[de] No argument for format '%s'");
  }
  EXPECT_EQ(ResStringLoaderEntry().load(), &LoadUntranslatedResString);
  EXPECT_EXCEPTION_MESSAGE(Format("%d", {}), "No argument for format '%d'");
}

TEST(ResourceStrings, NestedHooksUnwindInReverse) {
  THook Outer(ResStringLoaderEntry(), &Marked);
  {
    THook Inner(ResStringLoaderEntry(), &BrokenTranslation);
    EXPECT_EQ(LoadResString(SInvalidFormat), "kaputt %d %s");
  }
  EXPECT_EQ(LoadResString(SInvalidFormat),
            "[de] Format '%s' invalid or incompatible with argument");
}

TEST(ResourceStrings, TranslatedFormatMessageThatDoesNotFitFallsBackToTheTable) {
  // A catalog that turns the message's %s into "%d %s" must not make the
  // error about a bad format recurse or read a missing argument.
  THook Hook(ResStringLoaderEntry(), &BrokenTranslation);
  EXPECT_EXCEPTION_MESSAGE(Format("%x", {1}), "Format '%x' invalid or incompatible with argument");
  EXPECT_EXCEPTION_MESSAGE(Format("%s", {}), "No argument for format '%s'");
}
