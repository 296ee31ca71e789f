#include "scope/ByteSource.h"

#include <algorithm>
#include <cstring>

TByteSource::~TByteSource() = default;

void TMemoryByteSource::Push(const void* Data, std::size_t Count) {
  // Drop what was read once it is most of the queue, so a long stream does not
  // keep every byte it ever carried.
  if (FReadPos > 0 && FReadPos >= FData.size() / 2) {
    FData.erase(FData.begin(), FData.begin() + static_cast<std::ptrdiff_t>(FReadPos));
    FReadPos = 0;
  }
  const auto* Bytes = static_cast<const std::uint8_t*>(Data);
  FData.insert(FData.end(), Bytes, Bytes + Count);
}

int TMemoryByteSource::ReadBytes(void* Buffer, int Count) {
  if (Count <= 0)
    return 0;
  const std::size_t N = std::min(static_cast<std::size_t>(Count), FData.size() - FReadPos);
  std::memcpy(Buffer, FData.data() + FReadPos, N);
  FReadPos += N;
  FTotalRead += N;
  return static_cast<int>(N);
}
