#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// A resource string as the runtime passes it to its loader. An Identifier
// below 0x10000 is a number in the runtime's string table; a larger value is
// the address of a zero-terminated text (used as it is, then translated like
// any other).
struct TResStringRec {
  std::uintptr_t Identifier;
};

// One TResStringRec per line of ResourceStringTable.inc, numbered from 1 in
// the order of the lines.
namespace ResStringIds {
enum : std::uint16_t {
  None = 0,
#define RESOURCE_STRING(Name, Text) Name,
#include "base/ResourceStringTable.inc"
#undef RESOURCE_STRING
  Count
};
} // namespace ResStringIds

#define RESOURCE_STRING(Name, Text) inline constexpr TResStringRec Name{ResStringIds::Name};
#include "base/ResourceStringTable.inc"
#undef RESOURCE_STRING

// The runtime's resource-string loader: UTF-8 text in, as every caller of
// LoadResString gets it.
using TResStringLoader = std::string (*)(const TResStringRec* ResStringRec);

// The text of a string-table entry, whole, untranslated; empty for a number
// that is not in the table.
std::string_view LoadStringFromTable(std::uint32_t Identifier);

// The loader the runtime starts with: the table text or the text at the
// record's address, untranslated. No record gives the empty text.
std::string LoadUntranslatedResString(const TResStringRec* ResStringRec);

// The one replaceable entry through which every resource string is loaded.
// The translation unit redirects it with a THook.
std::atomic<TResStringLoader>& ResStringLoaderEntry();

// Loads a resource string through the current loader.
std::string LoadResString(const TResStringRec* ResStringRec);
inline std::string LoadResString(const TResStringRec& ResStringRec) {
  return LoadResString(&ResStringRec);
}

// A redirection of one loader entry. Construction saves what the entry holds
// and enables the redirection; Disable puts the saved loader back, Enable the
// replacement again; destruction disables it. Nothing but the entry changes:
// no machine code is patched.
class THook {
public:
  THook(std::atomic<TResStringLoader>& Target, TResStringLoader Replacement);
  ~THook();
  THook(const THook&) = delete;
  THook& operator=(const THook&) = delete;

  void Enable();
  void Disable();

private:
  std::atomic<TResStringLoader>& FTarget;
  TResStringLoader FSaved;
  TResStringLoader FReplacement;
};
