#include "base/ResourceStrings.h"

#include <array>

namespace {

constexpr std::array<std::string_view, ResStringIds::Count> ResStringTable = {
    std::string_view(),
#define RESOURCE_STRING(Name, Text) std::string_view(Text),
#include "base/ResourceStringTable.inc"
#undef RESOURCE_STRING
};

} // namespace

std::string_view LoadStringFromTable(std::uint32_t Identifier) {
  if (Identifier >= ResStringTable.size())
    return {};
  return ResStringTable[Identifier];
}

std::string LoadUntranslatedResString(const TResStringRec* ResStringRec) {
  if (!ResStringRec)
    return {};
  if (ResStringRec->Identifier >= 0x10000)
    return std::string(reinterpret_cast<const char*>(ResStringRec->Identifier));
  return std::string(LoadStringFromTable(static_cast<std::uint32_t>(ResStringRec->Identifier)));
}

std::atomic<TResStringLoader>& ResStringLoaderEntry() {
  static std::atomic<TResStringLoader> Entry{&LoadUntranslatedResString};
  return Entry;
}

std::string LoadResString(const TResStringRec* ResStringRec) {
  return ResStringLoaderEntry().load(std::memory_order_acquire)(ResStringRec);
}

THook::THook(std::atomic<TResStringLoader>& Target, TResStringLoader Replacement)
    : FTarget(Target), FSaved(Target.load()), FReplacement(Replacement) {
  Enable();
}

THook::~THook() {
  Disable();
}

void THook::Enable() {
  FTarget.store(FReplacement, std::memory_order_release);
}

void THook::Disable() {
  FTarget.store(FSaved, std::memory_order_release);
}
