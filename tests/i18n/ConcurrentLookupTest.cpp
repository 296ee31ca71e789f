#include "i18n/gnugettext.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/i18n/CatalogTestUtil.h"

TEST(ConcurrentLookup, FirstUseOfDomainsFromSeveralThreadsOpensEachOnce) {
  TTempDir Dir;
  BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"),
               {{"Registry error", "Registrierungsfehler default"}});
  TEnvVar Lang("LANG", "de");
  StartTranslation();
  TGnuGettextInstance& Instance = *Translator.load();
  Instance.BindDomain("default", Dir.Path().string());
  AddResourceStringDomain("cport");
  // "extra" does not exist yet: every thread races to create it. It reads the
  // (empty) locale tree beside the executable, so it translates nothing.
  std::vector<std::thread> Threads;
  std::atomic<int> Wrong{0};
  for (int t = 0; t < 4; ++t) {
    Threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        const char* Domain = (i + t) % 2 ? "default" : "EXTRA";
        const std::u16string Result = Instance.TranslateInDomain(Domain, u"Registry error");
        if (Result != u"Registrierungsfehler default" && Result != u"Registry error")
          ++Wrong;
        if (TranslateResourceText(u"Registry error") != u"Registrierungsfehler default")
          ++Wrong;
      }
    });
  }
  for (auto& Thread : Threads)
    Thread.join();
  EXPECT_EQ(Wrong.load(), 0);
  // Created once, whatever the spelling and however many threads asked.
  EXPECT_EQ(Instance.DomainCount(), 2u);
  EXPECT_EQ(&Instance.FindOrAddDomain("extra"), &Instance.FindOrAddDomain("Extra"));
  StopTranslation();
}

TEST(ConcurrentLookup, TwoThreadsOpeningOneCatalogBothSeeIt) {
  TTempDir Dir;
  BuildCatalog(Dir.File("de/LC_MESSAGES/cport.mo"), {{"Registry error", "Registrierungsfehler"}});
  TEnvVar Lang("LANG", "de");
  for (int Round = 0; Round < 20; ++Round) {
    TGnuGettextInstance Instance;
    TDomain& Domain = Instance.FindOrAddDomain("cport");
    Domain.SetDirectory(Dir.Path().string());
    std::u16string Results[2];
    std::thread First([&] { Results[0] = Instance.TranslateInDomain("cport", u"Registry error"); });
    std::thread Second(
        [&] { Results[1] = Instance.TranslateInDomain("CPORT", u"Registry error"); });
    First.join();
    Second.join();
    EXPECT_EQ(Results[0], u"Registrierungsfehler");
    EXPECT_EQ(Results[1], u"Registrierungsfehler");
  }
}

TEST(ConcurrentLookup, SearchesMeetingACloseReadValidCatalogs) {
  // Lookups take no lock; a catalog closed under a running search must stay
  // readable. One thread keeps switching the language, two keep looking up.
  TTempDir Dir;
  BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"), {{"Registry error", "Registrierungsfehler"}});
  BuildCatalog(Dir.File("fr/LC_MESSAGES/default.mo"), {{"Registry error", "Erreur de registre"}});
  TEnvVar Lang("LANG", "de");
  TGnuGettextInstance Instance;
  Instance.BindDomain("default", Dir.Path().string());
  TDomain& Domain = Instance.FindOrAddDomain("default");
  std::atomic<bool> Done{false};
  std::atomic<int> Wrong{0};
  std::vector<std::thread> Readers;
  for (int t = 0; t < 2; ++t)
    Readers.emplace_back([&] {
      while (!Done.load()) {
        const std::u16string Result = Instance.TranslateInCurrentDomain(u"Registry error");
        if (Result != u"Registrierungsfehler" && Result != u"Erreur de registre" &&
            Result != u"Registry error")
          ++Wrong;
      }
    });
  for (int i = 0; i < 200; ++i)
    Domain.SetLanguage(i % 2 ? "de" : "fr");
  Done = true;
  for (auto& Reader : Readers)
    Reader.join();
  EXPECT_EQ(Wrong.load(), 0);
  Domain.SetLanguage("fr");
  EXPECT_EQ(Instance.TranslateInCurrentDomain(u"Registry error"), u"Erreur de registre");
}

TEST(ConcurrentLookup, StopTranslationWhileAnotherThreadTranslates) {
  // Qt's file-dialog thread translates through the same catalogs and may still
  // be at it when the program shuts the translation down.
  TTempDir Dir;
  BuildCatalog(Dir.File("de/LC_MESSAGES/default.mo"), {{"Registry error", "Registrierungsfehler"}});
  TEnvVar Lang("LANG", "de");
  std::atomic<bool> Done{false};
  std::atomic<int> Translated{0};
  std::atomic<int> Wrong{0};
  std::thread Reader([&] {
    while (!Done.load()) {
      const std::u16string Result = TranslateResourceText(u"Registry error");
      if (Result == u"Registrierungsfehler")
        ++Translated;
      else if (Result != u"Registry error")
        ++Wrong;
      TranslateText(u"Registry error");
    }
  });
  for (int Round = 0; Round < 50; ++Round) {
    StartTranslation();
    Translator.load()->BindDomain("default", Dir.Path().string());
    // Stop only once the other thread has used this translator.
    const int Before = Translated.load();
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Translated.load() == Before && std::chrono::steady_clock::now() < Deadline)
      std::this_thread::yield();
    StopTranslation();
  }
  Done = true;
  Reader.join();
  EXPECT_EQ(Wrong.load(), 0);
  EXPECT_GE(Translated.load(), 50);
}

TEST(ConcurrentLookup, LanguageSelectedWhileDomainsAreAdded) {
  // A new domain takes the translator's language; both sides use one lock.
  TEnvVar Lang("LANG", "de");
  TGnuGettextInstance Instance;
  std::atomic<bool> Done{false};
  std::thread Selector([&] {
    while (!Done.load())
      Instance.SelectLanguage();
  });
  constexpr int Added = 1000;
  int Wrong = 0;
  for (int I = 0; I < Added; ++I) {
    if (Instance.LanguageCode() != "de")
      ++Wrong;
    if (Instance.FindOrAddDomain("domain" + std::to_string(I)).LanguageCode() != "de")
      ++Wrong;
  }
  Done = true;
  Selector.join();
  EXPECT_EQ(Wrong, 0);
  EXPECT_EQ(Instance.DomainCount(), std::size_t(Added) + 1);
}
