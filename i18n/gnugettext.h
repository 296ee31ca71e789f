#pragma once

// Translation of user-visible texts through GNU gettext MO catalogs: text
// domains, the user's language, catalogs carried inside the executable, and
// the translation of every resource string the runtime loads.
//
// Wide text is UTF-16 (std::u16string) everywhere; 8-bit text is UTF-8.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/ResourceStrings.h"
#include "i18n/MoCatalog.h"

// Where one carried file lies inside the executable.
struct TAssemblyFileInfo {
  std::uint64_t Offset = 0;
  std::uint64_t Size = 0;
};

// The index of the catalogs carried inside the executable: the table behind
// the marker (see CarriedCatalogMarker), read once at start-up.
class TAssemblyAnalyzer {
public:
  // Reads the table whose file offset the running executable's marker holds;
  // nothing when the marker holds 0.
  void Analyze();
  // Reads the table starting at TableOffset inside ExeFile (the same reading
  // Analyze does, for a given file). Reading stops silently at the first
  // damaged entry; the entries read before it stay.
  void AnalyzeFile(const std::string& ExeFile, std::uint64_t TableOffset);

  // Path without the BaseDirectory prefix names a carried file.
  bool HasEmbeddedFile(const std::string& Path) const;
  struct TResolved {
    std::string FileName;
    std::uint64_t Offset = 0;
    std::uint64_t Size = 0;
  };
  // The executable with the entry's offset and size for a carried file, else
  // Path itself with 0 and 0.
  TResolved ResolveFile(const std::string& Path) const;

  const std::string& BaseDirectory() const { return FBaseDirectory; }
  std::size_t FileCount() const { return FFiles.size(); }

private:
  const TAssemblyFileInfo* Find(const std::string& Path) const;

  struct TNoCaseLess {
    bool operator()(const std::string& A, const std::string& B) const;
  };
  std::string FBaseDirectory;
  std::string FExeFile;
  std::map<std::string, TAssemblyFileInfo, TNoCaseLess> FFiles;
};

// The 44 bytes kept in the executable: the marker text, then the file offset
// of the carried-files table (little-endian, 0 as built). hxt24-embed finds the
// text and writes the offset.
inline constexpr std::string_view CarriedCatalogMarkerText = "6637DB2E-62E1-4A60-AC19-C23867046A89";
inline constexpr std::size_t CarriedCatalogMarkerSize = 44;
// The table offset as stored in this executable's marker.
std::uint64_t CarriedCatalogTableOffset();

// The largest catalog read (a catalog of every text of this program is a few
// tens of KiB).
inline constexpr std::uint64_t MaxCatalogSize = 16 << 20;

// One text domain with at most one open catalog.
class TDomain {
public:
  TDomain(std::string Name, std::string Directory, std::string LanguageCode);
  ~TDomain();
  TDomain(const TDomain&) = delete;
  TDomain& operator=(const TDomain&) = delete;

  const std::string& Name() const { return FName; }
  const std::string& Directory() const { return FDirectory; }
  // A copy: the translator may change it on another thread.
  std::string LanguageCode() const;
  bool IsOpen() const { return FOpen.load(std::memory_order_acquire) != nullptr; }
  bool MayOpen() const { return FMayOpen.load(std::memory_order_acquire); }
  // The open catalog (an empty one when closed) and where it begins in its file.
  const TMoCatalog& Catalog() const;
  std::uint64_t CatalogOffset() const;

  void SetDirectory(const std::string& Directory);
  void SetLanguage(const std::string& Code);
  // The translation of Key in this domain's catalog, or Key itself.
  std::string LookupText(std::string_view Key);
  // LookupText followed by the line-end rule and UTF-8 decoding, straight from
  // the catalog; no value when the result is not valid UTF-8.
  std::optional<std::u16string> LookupWide(std::string_view Key);
  void CloseCatalog();

private:
  friend class TGnuGettextInstance;
  void OpenCatalog();
  void ReadCatalog();
  std::string CatalogPath(std::string_view Language) const;

  std::string FName;
  std::string FDirectory;
  std::string FLanguageCode;
  std::atomic<bool> FMayOpen{true};
  // An open catalog with its bytes, read whole when it opened. Lookups read
  // it without a lock, so a closed catalog stays in memory (retired) until
  // the domain goes: a search that meets a CloseCatalog still reads valid
  // memory.
  struct TOpenCatalog {
    TMoCatalog Catalog;
    std::string Bytes;
    std::uint64_t CatalogOffset = 0;
  };
  std::atomic<const TOpenCatalog*> FOpen{nullptr};
  std::vector<std::unique_ptr<TOpenCatalog>> FCatalogs; // open and retired ones
  mutable std::shared_mutex FLock; // also guards the directory and the language
  TDomain* FNextDomain = nullptr;  // the translator's lookup chain, newest first
};

// The translator: the user's language and every text domain known so far.
class TGnuGettextInstance {
public:
  TGnuGettextInstance();
  ~TGnuGettextInstance();
  TGnuGettextInstance(const TGnuGettextInstance&) = delete;
  TGnuGettextInstance& operator=(const TGnuGettextInstance&) = delete;

  // A copy: SelectLanguage may change it on another thread.
  std::string LanguageCode() const;
  const std::string& CurrentDomain() const { return FCurrentDomain; }
  const std::string& BaseDirectory() const { return FBaseDirectory; }

  void SelectLanguage();
  void BindDomain(const std::string& Name, const std::string& Directory);
  void SetCurrentDomain(const std::string& Name);
  std::u16string TranslateInDomain(std::string_view Domain, std::u16string_view Text);
  std::u16string TranslateInCurrentDomain(std::u16string_view Text);
  TDomain& FindOrAddDomain(std::string_view Name);
  std::size_t DomainCount() const;

private:
  std::string FLanguageCode; // under FDomainsLock, which new domains read it under
  std::string FCurrentDomain;
  std::string FBaseDirectory;
  // Domains are only ever added: lookups walk the chain without a lock, and
  // only the creation of a domain takes FDomainsLock.
  std::atomic<TDomain*> FFirstDomain{nullptr};
  mutable std::mutex FDomainsLock;
  std::vector<std::unique_ptr<TDomain>> FDomains;
};

// What a program does with a catalog that cannot be used (it cannot be read,
// it is damaged, or a translation in it is not UTF-8). Without a handler (the
// default) the lookup raises the catalog's error, every time. With one, a
// catalog is checked whole when it opens; a failure goes to the handler once,
// as a message naming the file, and the domain goes on without a catalog: its
// texts come back untranslated. The client sets one that writes to stderr, so
// that a broken catalog never stops it.
using TCatalogFailureHandler = void (*)(const std::string& Message);
void SetCatalogFailureHandler(TCatalogFailureHandler Handler);

// Where the process's translator lives. Shared ownership: a translation
// running on another thread (Qt's file-dialog thread translates through the
// same catalogs) keeps the translator it loaded alive after StopTranslation
// has let it go; the last user frees it.
class TTranslatorHolder {
public:
  std::shared_ptr<TGnuGettextInstance> load() const;
  void store(std::shared_ptr<TGnuGettextInstance> Instance);
  std::shared_ptr<TGnuGettextInstance> exchange(std::shared_ptr<TGnuGettextInstance> Instance);

private:
  mutable std::mutex FLock;
  std::shared_ptr<TGnuGettextInstance> FInstance;
};

// The process's translator and carried-catalog index; null outside the
// start-up/shutdown span.
extern TTranslatorHolder Translator;
extern std::atomic<TAssemblyAnalyzer*> AssemblyAnalyzer;

// TranslateInCurrentDomain on the translator; the text unchanged when there is
// none.
std::u16string TranslateText(std::u16string_view Text);

// The language code of the user's locale ("de_AT"), "C" when it cannot tell.
std::string DetectSystemLanguage();
// The rule behind it: two two-letter names give "ll_CC"; otherwise the locale
// identifier picks a code from the table, any other identifier gives "C".
std::string SystemLanguageCode(std::string_view LanguageName, std::string_view CountryName,
                               std::uint32_t LocaleId);
// "LANG" cut before its first "."; a code that could leave the catalog tree
// ("/", "\" or "..") becomes "C".
std::string LanguageCodeFromEnvironment(std::string_view Value);

// The lookup key of a text: UTF-8 without carriage returns.
std::string TranslationKey(std::u16string_view Text);
// A result back to wide text with a carriage return before every line feed
// that has none; no value when it is not valid UTF-8.
std::optional<std::u16string> DecodeTranslation(std::string_view Result);

// --- Resource strings -------------------------------------------------------

// Appends a domain to the list that resource strings are translated over
// ("default" first). The serial component adds "cport" at start-up.
void AddResourceStringDomain(const std::string& Name);
// The first domain whose result differs from Text wins; Text when none does,
// or when the translation has shut down.
std::u16string TranslateResourceText(std::u16string_view Text);
// The loader that THook puts in place of the runtime's: loads the text,
// translates it over the domain list, returns UTF-8.
std::string LoadTranslatedResourceString(const TResStringRec* ResStringRec);
// Copy of the current domain list (for tools and tests).
std::vector<std::string> ResourceStringDomainList();

// Start-up of the translation subsystem, in order: carried-catalog index,
// resource-string domain list holding "default" and its lock, the translator,
// the redirection of resource-string loading. StopTranslation undoes it in
// reverse: translator, lock and list, redirection, index. Resource strings come
// back untranslated from then on.
void StartTranslation();
void StopTranslation();

// StartTranslation for the life of the object.
class TTranslationSession {
public:
  TTranslationSession() { StartTranslation(); }
  ~TTranslationSession() { StopTranslation(); }
  TTranslationSession(const TTranslationSession&) = delete;
  TTranslationSession& operator=(const TTranslationSession&) = delete;
};
