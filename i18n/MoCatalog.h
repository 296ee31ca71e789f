#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// A GNU gettext MO catalog laid over bytes that someone else keeps (the
// domain's copy of the file). Attach checks the whole layout once, so that lookups afterwards never
// read outside those bytes.
class TMoCatalog {
public:
  static constexpr std::uint32_t MagicLittleEndian = 0x950412DE;
  static constexpr std::uint32_t MagicBigEndian = 0xDE120495;

  // False when the magic word is wrong or when the header, either table or
  // any string lies (even partly) beyond Size. The catalog is then empty.
  bool Attach(const unsigned char* Data, std::uint64_t Size);

  std::uint32_t StringCount() const { return FStringCount; }
  std::uint32_t SourcesOffset() const { return FSourcesOffset; }
  std::uint32_t TranslationsOffset() const { return FTranslationsOffset; }
  bool SwapBytes() const { return FSwapBytes; }

  // Entry Index (0-based) of either table; Index must be below StringCount.
  std::string_view Source(std::uint32_t Index) const;
  std::string_view Translation(std::uint32_t Index) const;

  // The translation of Key, found by a binary search over the sorted source
  // strings with at most floor(log2 N) + 1 comparisons. When Comparisons is
  // given it receives the number of string comparisons made.
  std::optional<std::string_view> Find(std::string_view Key, unsigned* Comparisons = nullptr) const;

private:
  std::uint32_t Word(std::uint64_t Offset) const;
  std::string_view Entry(std::uint32_t TableOffset, std::uint32_t Index) const;

  const unsigned char* FData = nullptr;
  std::uint64_t FSize = 0;
  bool FSwapBytes = false;
  std::uint32_t FStringCount = 0;
  std::uint32_t FSourcesOffset = 0;
  std::uint32_t FTranslationsOffset = 0;
};
