// Catalog bytes from anywhere: attaching either rejects them or yields a
// catalog whose every entry and every lookup stays inside the bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "i18n/MoCatalog.h"
#include "i18n/gnugettext.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  TMoCatalog Catalog;
  if (!Catalog.Attach(Data, Size))
    return 0;
  const std::uint32_t N = Catalog.StringCount();
  const std::uint32_t Limit = N < 256 ? N : 256;
  std::size_t Total = 0;
  for (std::uint32_t i = 0; i < Limit; ++i) {
    const std::string_view Source = Catalog.Source(i);
    const std::string_view Translation = Catalog.Translation(i);
    Total += Source.size() + Translation.size();
    unsigned Comparisons = 0;
    if (const auto Found = Catalog.Find(Source, &Comparisons))
      Total += DecodeTranslation(*Found).has_value();
    // The search never exceeds its bound, sorted table or not.
    unsigned Bound = 1;
    for (std::uint32_t Rest = N; Rest > 1; Rest >>= 1)
      ++Bound;
    if (Comparisons > Bound)
      __builtin_trap();
  }
  for (const std::string_view Key :
       {std::string_view(), std::string_view("a"), std::string_view("\xff\xff\xff\xff"),
        std::string_view(reinterpret_cast<const char*>(Data), Size < 40 ? Size : 40)}) {
    const auto Found = Catalog.Find(Key);
    if (Found)
      Total += DecodeTranslation(*Found).has_value();
  }
  return Total == 0x7FFFFFFF; // keeps the reads from being optimised away
}
