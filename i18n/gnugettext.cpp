#include "i18n/gnugettext.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/Exception.h"
#include "base/ExePath.h"
#include "base/IniFile.h"
#include "base/InstallPaths.h"
#include "base/SafeFile.h"
#include "base/WideText.h"

TTranslatorHolder Translator;

std::shared_ptr<TGnuGettextInstance> TTranslatorHolder::load() const {
  std::lock_guard Lock(FLock);
  return FInstance;
}

void TTranslatorHolder::store(std::shared_ptr<TGnuGettextInstance> Instance) {
  exchange(std::move(Instance));
}

std::shared_ptr<TGnuGettextInstance>
TTranslatorHolder::exchange(std::shared_ptr<TGnuGettextInstance> Instance) {
  std::lock_guard Lock(FLock);
  std::swap(FInstance, Instance);
  return Instance;
}
std::atomic<TAssemblyAnalyzer*> AssemblyAnalyzer{nullptr};

namespace {

// The marker hxt24-embed looks for. "used" keeps it in the executable even
// though nothing refers to it by name; the volatile reads keep the compiler
// from folding the zero offset it was built with.
[[gnu::used]] const volatile unsigned char CarriedCatalogMarker[CarriedCatalogMarkerSize] =
    "6637DB2E-62E1-4A60-AC19-C23867046A89";

bool IsRegularFile(const std::string& Path) {
  std::string Nothing, Reason;
  std::uint64_t Size = 0;
  return ReadRegularFile(Path, 0, 0, Nothing, Size, Reason) == TReadResult::rrOk;
}

// Up to Count bytes of the file from Offset; false when fewer are there.
bool ReadAt(const std::string& FileName, std::uint64_t Offset, std::uint64_t Count,
            std::string& Bytes) {
  std::string Reason;
  std::uint64_t Size = 0;
  return ReadRegularFile(FileName, Offset, Count, Bytes, Size, Reason) == TReadResult::rrOk &&
         Bytes.size() == Count;
}

// A directory ends with a separator; one it lacks is the system's own, so that
// a catalog path reads as one kind of path ("C:\\app\\locale\\de\\...").
std::string WithSeparator(std::string Directory) {
  if (Directory.empty() || !IsPathDelimiter(Directory.back()))
    Directory += PathDelim;
  return Directory;
}

std::atomic<TCatalogFailureHandler> CatalogFailureHandler{nullptr};

std::string CouldNotTranslate(std::string_view Text) {
  return "Error: Could not translate " + std::string(Text) +
         ". Probably because the mo file doesn't contain utf-8 encoded translations.";
}

std::uint64_t LittleEndian64(const unsigned char* Bytes) {
  std::uint64_t Value = 0;
  for (int i = 7; i >= 0; --i)
    Value = (Value << 8) | Bytes[i];
  return Value;
}

} // namespace

void SetCatalogFailureHandler(TCatalogFailureHandler Handler) {
  CatalogFailureHandler.store(Handler, std::memory_order_release);
}

// --- Carried catalogs -------------------------------------------------------

std::uint64_t CarriedCatalogTableOffset() {
  unsigned char Bytes[8];
  for (std::size_t i = 0; i < 8; ++i)
    Bytes[i] = CarriedCatalogMarker[CarriedCatalogMarkerText.size() + i];
  return LittleEndian64(Bytes);
}

bool TAssemblyAnalyzer::TNoCaseLess::operator()(const std::string& A, const std::string& B) const {
  return std::lexicographical_compare(A.begin(), A.end(), B.begin(), B.end(), [](char X, char Y) {
    return std::tolower(static_cast<unsigned char>(X)) <
           std::tolower(static_cast<unsigned char>(Y));
  });
}

void TAssemblyAnalyzer::Analyze() {
  AnalyzeFile(ExecutablePath(), CarriedCatalogTableOffset());
}

void TAssemblyAnalyzer::AnalyzeFile(const std::string& ExeFile, std::uint64_t TableOffset) {
  if (TableOffset == 0)
    return;
  const auto Slash = ExeFile.find_last_of("/\\");
  FBaseDirectory = Slash == std::string::npos ? std::string("./") : ExeFile.substr(0, Slash + 1);
  FExeFile = ExeFile;
  constexpr std::uint64_t MaxNameLength = 4096;
  std::uint64_t Position = TableOffset;
  std::string Bytes;
  for (;;) {
    if (!ReadAt(ExeFile, Position, 8, Bytes))
      break;
    const std::uint64_t Next = LittleEndian64(reinterpret_cast<const unsigned char*>(Bytes.data()));
    if (Next == 0 || !ReadAt(ExeFile, Position + 8, 16, Bytes))
      break;
    // Entries only go forward; anything else is a damaged table (and could
    // otherwise loop for ever).
    if (Next < Position + 24 || Next - Position - 24 > MaxNameLength)
      break;
    const auto* Sizes = reinterpret_cast<const unsigned char*>(Bytes.data());
    const TAssemblyFileInfo Info{LittleEndian64(Sizes), LittleEndian64(Sizes + 8)};
    std::string Name;
    if (!ReadAt(ExeFile, Position + 24, Next - Position - 24, Name))
      break;
    std::replace(Name.begin(), Name.end(), '\\', '/');
    if (!FFiles.emplace(std::string(TrimText(Name)), Info).second)
      break;
    Position = Next;
  }
}

const TAssemblyFileInfo* TAssemblyAnalyzer::Find(const std::string& Path) const {
  if (Path.compare(0, FBaseDirectory.size(), FBaseDirectory) != 0)
    return nullptr;
  // The table names its files with '/', catalog paths use the system's separator.
  std::string Name = Path.substr(FBaseDirectory.size());
  std::replace_if(Name.begin(), Name.end(), IsPathDelimiter, '/');
  const auto It = FFiles.find(Name);
  return It == FFiles.end() ? nullptr : &It->second;
}

bool TAssemblyAnalyzer::HasEmbeddedFile(const std::string& Path) const {
  return Find(Path) != nullptr;
}

TAssemblyAnalyzer::TResolved TAssemblyAnalyzer::ResolveFile(const std::string& Path) const {
  if (const TAssemblyFileInfo* Info = Find(Path))
    return {FExeFile, Info->Offset, Info->Size};
  return {Path, 0, 0};
}

// --- TDomain ----------------------------------------------------------------

TDomain::TDomain(std::string Name, std::string Directory, std::string LanguageCode)
    : FName(std::move(Name)), FDirectory(WithSeparator(std::move(Directory))),
      FLanguageCode(std::move(LanguageCode)) {}

TDomain::~TDomain() {
  CloseCatalog();
}

// Both change and close under one lock, so that a lookup on another thread
// cannot reopen the catalog of the old directory or language in between.
void TDomain::SetDirectory(const std::string& Directory) {
  std::unique_lock Lock(FLock);
  FDirectory = WithSeparator(Directory);
  FOpen.store(nullptr, std::memory_order_release);
  FMayOpen.store(true, std::memory_order_release);
}

std::string TDomain::LanguageCode() const {
  std::shared_lock Lock(FLock);
  return FLanguageCode;
}

void TDomain::SetLanguage(const std::string& Code) {
  std::unique_lock Lock(FLock);
  FLanguageCode = Code;
  FOpen.store(nullptr, std::memory_order_release);
  FMayOpen.store(true, std::memory_order_release);
}

const TMoCatalog& TDomain::Catalog() const {
  static const TMoCatalog Closed;
  const TOpenCatalog* Open = FOpen.load(std::memory_order_acquire);
  return Open ? Open->Catalog : Closed;
}

std::uint64_t TDomain::CatalogOffset() const {
  const TOpenCatalog* Open = FOpen.load(std::memory_order_acquire);
  return Open ? Open->CatalogOffset : 0;
}

void TDomain::CloseCatalog() {
  std::unique_lock Lock(FLock);
  FOpen.store(nullptr, std::memory_order_release);
  FMayOpen.store(true, std::memory_order_release);
}

std::string TDomain::CatalogPath(std::string_view Language) const {
  std::string Path = FDirectory;
  Path += Language;
  Path += PathDelim;
  Path += "LC_MESSAGES";
  Path += PathDelim;
  Path += FName;
  Path += ".mo";
  return Path;
}

void TDomain::OpenCatalog() {
  std::unique_lock Lock(FLock);
  if (FOpen.load() || !FMayOpen.load())
    return;
  try {
    ReadCatalog();
  } catch (const Exception& E) {
    const TCatalogFailureHandler Handler = CatalogFailureHandler.load(std::memory_order_acquire);
    if (!Handler)
      throw;
    // Told once: the domain goes on without a catalog (texts untranslated)
    // until its language or directory changes.
    FMayOpen.store(false, std::memory_order_release);
    Lock.unlock();
    Handler(E.Message());
  }
}

// Under the writer lock: finds the catalog, reads it and publishes it.
void TDomain::ReadCatalog() {
  const TAssemblyAnalyzer* Analyzer = AssemblyAnalyzer.load();
  const auto Exists = [Analyzer](const std::string& Path) {
    return (Analyzer && Analyzer->HasEmbeddedFile(Path)) || IsRegularFile(Path);
  };
  std::string Path = CatalogPath(FLanguageCode);
  if (!Exists(Path)) {
    Path = CatalogPath(std::string_view(FLanguageCode).substr(0, 2));
    if (!Exists(Path)) {
      // No catalog: every lookup returns its key until the language or the
      // directory changes, without asking the disk again.
      FMayOpen.store(false, std::memory_order_release);
      return;
    }
  }
  TAssemblyAnalyzer::TResolved File{Path, 0, 0};
  bool Carried = false;
  if (Analyzer && Analyzer->HasEmbeddedFile(Path)) {
    File = Analyzer->ResolveFile(Path);
    Carried = true;
  }

  // The catalog is read into memory of our own: a mapping would die with a
  // signal when the file is rewritten in place under it. Catalogs are small;
  // one beyond MaxCatalogSize is refused rather than read.
  const std::uint64_t Limit =
      Carried ? std::min(File.Size, MaxCatalogSize + 1) : MaxCatalogSize + 1;
  std::string Bytes, Reason;
  std::uint64_t FileSize = 0;
  switch (ReadRegularFile(File.FileName, File.Offset, Limit, Bytes, FileSize, Reason)) {
  case TReadResult::rrOk:
    break;
  case TReadResult::rrMissing:
  case TReadResult::rrCannotOpen:
    throw Exception("Cannot open file " + Path);
  case TReadResult::rrNotRegularFile:
    throw Exception("Cannot create memory map on file " + Path);
  case TReadResult::rrCannotRead:
    throw Exception("Cannot map file " + Path + " into memory. Reason: " + Reason);
  }
  if (Bytes.empty() && !Carried)
    throw Exception("Cannot create memory map on file " + Path);
  if (Bytes.size() > MaxCatalogSize)
    throw Exception("Cannot map file " + Path + " into memory. Reason: " + SystemErrorText(EFBIG));
  auto Open = std::make_unique<TOpenCatalog>();
  Open->Bytes = std::move(Bytes);
  TMoCatalog Catalog;
  if (!Catalog.Attach(reinterpret_cast<const unsigned char*>(Open->Bytes.data()),
                      Open->Bytes.size()))
    throw Exception("This file is not a valid GNU gettext mo file: " + Path);
  // A program that goes on without a broken catalog checks it whole now, so
  // that it shows one language, not a mix up to the first bad translation.
  if (CatalogFailureHandler.load(std::memory_order_acquire))
    for (std::uint32_t i = 0; i < Catalog.StringCount(); ++i) {
      const std::string_view Source = Catalog.Source(i);
      const auto Decoded = DecodeTranslation(Catalog.Translation(i));
      if (!Source.empty() && (!Decoded || Decoded->empty()))
        throw Exception(CouldNotTranslate(Source) + " (" + Path + ")");
    }
  Open->Catalog = Catalog;
  Open->CatalogOffset = File.Offset;
  FCatalogs.push_back(std::move(Open));
  FOpen.store(FCatalogs.back().get(), std::memory_order_release);
}

std::string TDomain::LookupText(std::string_view Key) {
  if (!IsOpen() && MayOpen())
    OpenCatalog();
  const TOpenCatalog* Open = FOpen.load(std::memory_order_acquire);
  if (!Open)
    return std::string(Key);
  const auto Found = Open->Catalog.Find(Key);
  return std::string(Found ? *Found : Key);
}

std::optional<std::u16string> TDomain::LookupWide(std::string_view Key) {
  if (!IsOpen() && MayOpen())
    OpenCatalog();
  const TOpenCatalog* Open = FOpen.load(std::memory_order_acquire);
  if (!Open)
    return DecodeTranslation(Key);
  const auto Found = Open->Catalog.Find(Key);
  return DecodeTranslation(Found ? *Found : Key);
}

// --- Line ends and encoding -------------------------------------------------

std::string TranslationKey(std::u16string_view Text) {
  std::string Key = Utf16ToUtf8(Text);
  Key.erase(std::remove(Key.begin(), Key.end(), '\r'), Key.end());
  return Key;
}

std::optional<std::u16string> DecodeTranslation(std::string_view Result) {
  // One pass: at most two units per byte (a line feed gains a carriage return).
  std::u16string Wide(Result.size() * 2, u'\0');
  char16_t* Out = Wide.data();
  std::size_t i = 0;
  while (i < Result.size()) {
    const unsigned char C = static_cast<unsigned char>(Result[i]);
    if (C < 0x80) {
      if (C == '\n' && (i == 0 || Result[i - 1] != '\r'))
        *Out++ = u'\r';
      *Out++ = C;
      ++i;
      continue;
    }
    char32_t Code;
    if (!DecodeUtf8Char(Result, i, Code))
      return std::nullopt;
    if (Code < 0x10000) {
      *Out++ = static_cast<char16_t>(Code);
    } else {
      Code -= 0x10000;
      *Out++ = static_cast<char16_t>(0xD800 + (Code >> 10));
      *Out++ = static_cast<char16_t>(0xDC00 + (Code & 0x3FF));
    }
  }
  Wide.resize(static_cast<std::size_t>(Out - Wide.data()));
  return Wide;
}

// --- Language ---------------------------------------------------------------

std::string LanguageCodeFromEnvironment(std::string_view Value) {
  const std::string Code(Value.substr(0, Value.find('.')));
  // The code becomes part of a path: it must not leave the catalog tree.
  if (Code.empty() || Code.find_first_of("/\\") != std::string::npos ||
      Code.find("..") != std::string::npos)
    return "C";
  return Code;
}

std::string SystemLanguageCode(std::string_view LanguageName, std::string_view CountryName,
                               std::uint32_t LocaleId) {
  if (LanguageName.size() == 2 && CountryName.size() == 2)
    return std::string(LanguageName) + "_" + std::string(CountryName);
  struct TEntry {
    std::uint32_t Id;
    const char* Code;
  };
  static constexpr TEntry Table[] = {
      {1030, "da_DK"}, {1031, "de_DE"}, {1032, "gr_GR"}, {1033, "en_US"}, {1034, "es_ES"},
      {1035, "fi_FI"}, {1036, "fr_FR"}, {1039, "is_IS"}, {1040, "it_IT"}, {1042, "ko_KO"},
      {1043, "nl_NL"}, {1044, "no_NO"}, {1045, "pl_PL"}, {1046, "pt_BR"}, {1049, "ru_RU"},
      {1053, "sv_SE"}, {2057, "en_UK"}, {2060, "fr_BE"}, {2067, "nl_BE"}, {2068, "nn_NO"},
      {2070, "pt_PT"}, {2077, "fi_SE"}, {3082, "es_ES"}, {3084, "fr_CA"}, {4103, "de_LU"},
  };
  for (const TEntry& Entry : Table)
    if (Entry.Id == LocaleId)
      return Entry.Code;
  return "C";
}

// --- TGnuGettextInstance ----------------------------------------------------

namespace {

// Beside the executable (the build tree, a carried set), else the installed
// tree found from the executable's folder (/usr/bin -> /usr/share/hxt24/locale).
std::string DefaultCatalogDirectory() {
  const TAssemblyAnalyzer* Analyzer = AssemblyAnalyzer.load();
  return CatalogDirectoryFor(ExecutableDir(), Analyzer && Analyzer->FileCount() > 0);
}

} // namespace

TGnuGettextInstance::TGnuGettextInstance()
    : FCurrentDomain("default"), FBaseDirectory(DefaultCatalogDirectory()) {
  SelectLanguage();
  BindDomain("default", FBaseDirectory);
  SetCurrentDomain("default");
}

TGnuGettextInstance::~TGnuGettextInstance() = default;

void TGnuGettextInstance::SelectLanguage() {
  const char* Lang = std::getenv("LANG");
  std::string Code =
      LanguageCodeFromEnvironment(Lang && *Lang ? std::string(Lang) : DetectSystemLanguage());
  // Written under the lock under which a new domain reads it.
  std::lock_guard Lock(FDomainsLock);
  FLanguageCode = std::move(Code);
  for (const auto& Domain : FDomains)
    Domain->SetLanguage(FLanguageCode);
}

std::string TGnuGettextInstance::LanguageCode() const {
  std::lock_guard Lock(FDomainsLock);
  return FLanguageCode;
}

void TGnuGettextInstance::BindDomain(const std::string& Name, const std::string& Directory) {
  FindOrAddDomain(Name).SetDirectory(Directory);
}

void TGnuGettextInstance::SetCurrentDomain(const std::string& Name) {
  FCurrentDomain = Name;
}

TDomain& TGnuGettextInstance::FindOrAddDomain(std::string_view Name) {
  for (TDomain* Domain = FFirstDomain.load(std::memory_order_acquire); Domain;
       Domain = Domain->FNextDomain)
    if (SameText(Domain->Name(), Name))
      return *Domain;
  std::lock_guard Lock(FDomainsLock);
  for (TDomain* Domain = FFirstDomain.load(std::memory_order_acquire); Domain;
       Domain = Domain->FNextDomain)
    if (SameText(Domain->Name(), Name))
      return *Domain;
  FDomains.push_back(std::make_unique<TDomain>(std::string(Name), FBaseDirectory, FLanguageCode));
  TDomain* Created = FDomains.back().get();
  Created->FNextDomain = FFirstDomain.load(std::memory_order_relaxed);
  FFirstDomain.store(Created, std::memory_order_release);
  return *Created;
}

std::size_t TGnuGettextInstance::DomainCount() const {
  std::lock_guard Lock(FDomainsLock);
  return FDomains.size();
}

std::u16string TGnuGettextInstance::TranslateInDomain(std::string_view Domain,
                                                      std::u16string_view Text) {
  TDomain& Target = FindOrAddDomain(Domain);
  // A short plain-ASCII key is narrowed on the stack; others are converted.
  char Narrow[256];
  std::string Converted;
  std::string_view Key;
  bool Plain = Text.size() <= sizeof(Narrow);
  for (std::size_t i = 0; Plain && i < Text.size(); ++i) {
    const char16_t C = Text[i];
    Narrow[i] = static_cast<char>(C);
    Plain = C < 0x80 && C != u'\r';
  }
  if (Plain) {
    Key = std::string_view(Narrow, Text.size());
  } else {
    Converted = TranslationKey(Text);
    Key = Converted;
  }
  std::optional<std::u16string> Result = Target.LookupWide(Key);
  if (!Text.empty() && (!Result || Result->empty())) {
    // A program with a failure handler has checked its catalogs when they
    // opened; it gets the text untranslated rather than an error.
    if (CatalogFailureHandler.load(std::memory_order_acquire))
      return std::u16string(Text);
    throw Exception(CouldNotTranslate(Utf16ToUtf8(Text)));
  }
  return Result ? std::move(*Result) : std::u16string();
}

std::u16string TGnuGettextInstance::TranslateInCurrentDomain(std::u16string_view Text) {
  return TranslateInDomain(FCurrentDomain, Text);
}

std::u16string TranslateText(std::u16string_view Text) {
  const std::shared_ptr<TGnuGettextInstance> Instance = Translator.load();
  return Instance ? Instance->TranslateInCurrentDomain(Text) : std::u16string(Text);
}
