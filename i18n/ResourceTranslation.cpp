#include "i18n/gnugettext.h"

#include <memory>
#include <mutex>

#include "base/WideText.h"

namespace {

// The domain list and its lock. The lock object itself lives for the whole
// process so that a late translation on another thread never meets a
// destroyed lock; "the list is gone" is what tells that shutdown has begun.
std::shared_mutex ResourceStringDomainsLock;
std::unique_ptr<std::vector<std::string>> ResourceStringDomains;
std::unique_ptr<THook> ResourceStringHook;
std::mutex StartupLock;

} // namespace

void AddResourceStringDomain(const std::string& Name) {
  std::unique_lock Lock(ResourceStringDomainsLock);
  if (ResourceStringDomains)
    ResourceStringDomains->push_back(Name);
}

std::vector<std::string> ResourceStringDomainList() {
  std::shared_lock Lock(ResourceStringDomainsLock);
  return ResourceStringDomains ? *ResourceStringDomains : std::vector<std::string>();
}

std::u16string TranslateResourceText(std::u16string_view Text) {
  // The empty text stays empty: a catalog's entry for it is its header.
  if (Text.empty())
    return std::u16string();
  // The walk runs on a copy, so the lock is not held while catalogs open (and
  // an error raised there may itself load resource strings).
  std::vector<std::string> Domains;
  {
    std::shared_lock Lock(ResourceStringDomainsLock);
    if (!ResourceStringDomains)
      return std::u16string(Text);
    Domains = *ResourceStringDomains;
  }
  // Held for the whole walk: StopTranslation on another thread lets go of the
  // translator, but this walk still has it.
  const std::shared_ptr<TGnuGettextInstance> Instance = Translator.load();
  std::u16string Result(Text);
  if (!Instance)
    return Result;
  // A domain without a translation gives the text back with a carriage
  // return before each bare line feed; that form, not the text itself, is
  // what "unchanged" means, or a multi-line text would never get past the
  // first domain.
  std::u16string Unchanged;
  Unchanged.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == u'\n' && (i == 0 || Text[i - 1] != u'\r'))
      Unchanged += u'\r';
    Unchanged += Text[i];
  }
  for (const std::string& Domain : Domains) {
    Result = Instance->TranslateInDomain(Domain, Text);
    if (Result != Unchanged)
      break;
  }
  return Result;
}

std::string LoadTranslatedResourceString(const TResStringRec* ResStringRec) {
  if (!ResStringRec)
    return {};
  const std::string Loaded = LoadUntranslatedResString(ResStringRec);
  return Utf16ToUtf8(TranslateResourceText(Utf8ToUtf16(Loaded)));
}

void StartTranslation() {
  std::lock_guard Guard(StartupLock);
  if (Translator.load())
    return;
  auto Analyzer = std::make_shared<TAssemblyAnalyzer>();
  Analyzer->Analyze();
  AssemblyAnalyzer.store(Analyzer.get());
  {
    std::unique_lock Lock(ResourceStringDomainsLock);
    ResourceStringDomains = std::make_unique<std::vector<std::string>>(1, "default");
  }
  // The index goes with the translator: a lookup still running on another
  // thread after StopTranslation may be reading it through the translator it
  // holds.
  std::unique_ptr<TGnuGettextInstance> Instance;
  try {
    Instance = std::make_unique<TGnuGettextInstance>();
  } catch (...) {
    AssemblyAnalyzer.store(nullptr);
    throw;
  }
  Translator.store(std::shared_ptr<TGnuGettextInstance>(
      Instance.release(),
      [Index = std::move(Analyzer)](TGnuGettextInstance* Done) { delete Done; }));
  ResourceStringHook =
      std::make_unique<THook>(ResStringLoaderEntry(), &LoadTranslatedResourceString);
}

void StopTranslation() {
  std::lock_guard Guard(StartupLock);
  // Freed here, or by the last translation still running on another thread.
  Translator.exchange(nullptr);
  {
    std::unique_lock Lock(ResourceStringDomainsLock);
    ResourceStringDomains.reset();
  }
  ResourceStringHook.reset();
  // Freed with the translator (see StartTranslation).
  AssemblyAnalyzer.store(nullptr);
}
