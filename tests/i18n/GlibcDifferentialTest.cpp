// Our lookups against glibc's dgettext on the same msgfmt-built files.
#include "i18n/gnugettext.h"

#include <clocale>
#include <gtest/gtest.h>
#include <libintl.h>
#include <random>

#include "base/WideText.h"
#include "tests/i18n/CatalogTestUtil.h"

namespace {

std::string RandomText(std::mt19937& Random, bool MultiLine) {
  static const char* const Pieces[] = {"a", "b", "z",    "A", " ", "%s", "'", "\"", "\\", "ä",
                                       "ß", "€", "日本", "😀", "0", "9",  ":", "(",  "~"};
  std::uniform_int_distribution<int> Length(1, 24);
  std::uniform_int_distribution<std::size_t> Pick(0, std::size(Pieces) - 1);
  std::string Text;
  const int Count = Length(Random);
  for (int i = 0; i < Count; ++i) {
    Text += Pieces[Pick(Random)];
    if (MultiLine && i % 5 == 4 && i + 1 < Count) // msgfmt wants both ends alike
      Text += '\n';
  }
  return Text;
}

} // namespace

TEST(GlibcDifferential, EveryKeyAndAbsentKeysMatchDgettext) {
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  TEnvVar Language("LANGUAGE", "xx_YY");
  TEnvVar Lang("LANG", "xx_YY");
  TTempDir Dir;
  std::mt19937 Random(4711);

  const char* const Variants[] = {"", "--endianness=big", "--no-hash",
                                  "--endianness=big --no-hash"};
  for (int Round = 0; Round < 8; ++Round) {
    std::map<std::string, std::string> Unique;
    std::uniform_int_distribution<int> Count(1, 150);
    const int N = Round == 0 ? 1 : Count(Random);
    while (static_cast<int>(Unique.size()) < N) {
      const bool MultiLine = Unique.size() % 4 == 0;
      std::string Key = RandomText(Random, MultiLine);
      if (!Unique.empty() && Unique.size() % 7 == 0)
        Key = Unique.begin()->first + Key; // keys that share a prefix
      Unique.emplace(Key, RandomText(Random, MultiLine));
    }
    std::vector<TPoEntry> Entries;
    for (const auto& [Key, Value] : Unique)
      Entries.push_back({Key, Value});

    const std::string Domain = "diff" + std::to_string(Round);
    // Half of the rounds have the catalog only under the two-letter name.
    const std::string LanguageDir = Round % 2 ? "xx" : "xx_YY";
    BuildCatalog(Dir.File(LanguageDir + "/LC_MESSAGES/" + Domain + ".mo"), Entries,
                 Variants[Round % 4]);
    ASSERT_NE(bindtextdomain(Domain.c_str(), Dir.Path().c_str()), nullptr);
    bind_textdomain_codeset(Domain.c_str(), "UTF-8");

    TGnuGettextInstance Instance;
    Instance.BindDomain(Domain, Dir.Path().string());

    std::vector<std::string> Keys;
    for (const TPoEntry& Entry : Entries) {
      Keys.push_back(Entry.Source);
      Keys.push_back(Entry.Source + "x");
      Keys.push_back(Entry.Source.substr(0, Entry.Source.size() - 1));
    }
    for (int i = 0; i < 20; ++i)
      Keys.push_back(RandomText(Random, i % 2));
    int Translated = 0;
    for (const std::string& Key : Keys) {
      // Cutting a key's last byte may split a character: not a text a caller can pass.
      if (Key.empty() || !TryUtf8ToUtf16(Key))
        continue;
      const std::string Theirs = dgettext(Domain.c_str(), Key.c_str());
      Translated += Theirs != Key;
      const auto Expected = DecodeTranslation(Theirs);
      ASSERT_TRUE(Expected.has_value());
      EXPECT_EQ(Instance.TranslateInDomain(Domain, Utf8ToUtf16(Key)), *Expected)
          << "round " << Round << " (" << Variants[Round % 4] << ") key '" << Key << "'";
    }
    // Every present key was found by glibc (the files are really read).
    EXPECT_GE(Translated, N) << "round " << Round;
    // The empty text gives the header in both.
    EXPECT_EQ(Instance.TranslateInDomain(Domain, u""),
              *DecodeTranslation(dgettext(Domain.c_str(), "")));
  }
}
