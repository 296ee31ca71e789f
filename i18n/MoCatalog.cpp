#include "i18n/MoCatalog.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint64_t HeaderSize = 20; // magic, revision, N, O, T

// Byte swaps in plain C++ (every compiler, MSVC too); GCC and Clang make one
// bswap instruction of each.
constexpr std::uint32_t ByteSwap32(std::uint32_t V) {
  return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}

constexpr std::uint64_t ByteSwap64(std::uint64_t V) {
  return (static_cast<std::uint64_t>(ByteSwap32(static_cast<std::uint32_t>(V))) << 32) |
         ByteSwap32(static_cast<std::uint32_t>(V >> 32));
}

// Byte order as unsigned values; when one is a prefix of the other, the
// shorter sorts first. Eight bytes at a time: keys share long prefixes, and
// a big-endian reading of eight bytes orders them like the bytes themselves.
int CompareBytes(std::string_view A, std::string_view B) {
  const std::size_t Common = A.size() < B.size() ? A.size() : B.size();
  std::size_t i = 0;
  for (; i + 8 <= Common; i += 8) {
    std::uint64_t X, Y;
    std::memcpy(&X, A.data() + i, 8);
    std::memcpy(&Y, B.data() + i, 8);
    if (X != Y) {
      if constexpr (std::endian::native == std::endian::little) {
        X = ByteSwap64(X);
        Y = ByteSwap64(Y);
      }
      return X < Y ? -1 : 1;
    }
  }
  for (; i < Common; ++i)
    if (A[i] != B[i])
      return static_cast<unsigned char>(A[i]) < static_cast<unsigned char>(B[i]) ? -1 : 1;
  if (A.size() == B.size())
    return 0;
  return A.size() < B.size() ? -1 : 1;
}

} // namespace

std::uint32_t TMoCatalog::Word(std::uint64_t Offset) const {
  std::uint32_t Value;
  std::memcpy(&Value, FData + Offset, sizeof(Value));
  return FSwapBytes ? ByteSwap32(Value) : Value;
}

bool TMoCatalog::Attach(const unsigned char* Data, std::uint64_t Size) {
  *this = TMoCatalog();
  if (!Data || Size < 4)
    return false;
  FData = Data;
  FSize = Size;
  const std::uint32_t Magic = Word(0);
  if (Magic != MagicLittleEndian && Magic != MagicBigEndian)
    return *this = TMoCatalog(), false;
  FSwapBytes = Magic == MagicBigEndian;
  if (Size < HeaderSize)
    return *this = TMoCatalog(), false;
  const std::uint64_t N = Word(8);
  const std::uint64_t O = Word(12);
  const std::uint64_t T = Word(16);
  // Everything in 64 bits: 32-bit offsets plus lengths cannot wrap there.
  if (O + 8 * N > Size || T + 8 * N > Size)
    return *this = TMoCatalog(), false;
  for (std::uint64_t i = 0; i < N; ++i) {
    for (const std::uint64_t Table : {O, T}) {
      const std::uint64_t Length = Word(Table + 8 * i);
      const std::uint64_t Offset = Word(Table + 8 * i + 4);
      if (Offset + Length > Size)
        return *this = TMoCatalog(), false;
    }
  }
  FStringCount = static_cast<std::uint32_t>(N);
  FSourcesOffset = static_cast<std::uint32_t>(O);
  FTranslationsOffset = static_cast<std::uint32_t>(T);
  return true;
}

std::string_view TMoCatalog::Entry(std::uint32_t TableOffset, std::uint32_t Index) const {
  const std::uint64_t At = TableOffset + 8 * std::uint64_t(Index);
  return std::string_view(reinterpret_cast<const char*>(FData) + Word(At + 4), Word(At));
}

std::string_view TMoCatalog::Source(std::uint32_t Index) const {
  return Entry(FSourcesOffset, Index);
}

std::string_view TMoCatalog::Translation(std::uint32_t Index) const {
  return Entry(FTranslationsOffset, Index);
}

std::optional<std::string_view> TMoCatalog::Find(std::string_view Key,
                                                 unsigned* Comparisons) const {
  unsigned Count = 0;
  std::optional<std::string_view> Result;
  const std::uint64_t N = FStringCount;
  if (N) {
    // b: the largest power of two not above N (1-based position); c: the step.
    std::uint64_t b = 1;
    for (std::uint64_t Bits = N; Bits; Bits >>= 1)
      b <<= 1;
    b >>= 1;
    std::uint64_t c = b / 2;
    for (;;) {
      ++Count;
      const int Order = CompareBytes(Key, Source(static_cast<std::uint32_t>(b - 1)));
      if (Order == 0) {
        Result = Translation(static_cast<std::uint32_t>(b - 1));
        break;
      }
      if (c == 0)
        break;
      if (Order < 0)
        b = b < c + 1 ? 1 : b - c;
      else
        b = b + c > N ? N : b + c;
      c /= 2;
    }
  }
  if (Comparisons)
    *Comparisons = Count;
  return Result;
}
