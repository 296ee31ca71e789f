#include "cport/platform/PosixReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

std::size_t TPosixReadAhead::Take(std::uint8_t* Out, std::size_t Count) {
  const std::size_t Taken = std::min(Count, FSize);
  if (Taken == 0)
    return 0;
  const std::size_t First = std::min(Taken, FCapacity - FHead);
  std::memcpy(Out, FRing.get() + FHead, First);
  std::memcpy(Out + First, FRing.get(), Taken - First);
  FHead = (FHead + Taken) % FCapacity;
  FSize -= Taken;
  if (FSize == 0)
    FHead = 0;
  return Taken;
}

TPosixReadAhead::TMoved TPosixReadAhead::Move(int Descriptor, bool DropZeros, bool Look,
                                              std::uint8_t Wanted) {
  if (!FRing)
    FRing.reset(new std::uint8_t[FCapacity]);
  TMoved Result;
  // One read per free stretch: the one up to the end of the storage, then the
  // one from its start.
  while (FSize < FCapacity) {
    const std::size_t Tail = (FHead + FSize) % FCapacity;
    const std::size_t Stretch = std::min(FCapacity - FSize, FCapacity - Tail);
    std::uint8_t* Begin = FRing.get() + Tail;
    const ssize_t Got = read(Descriptor, Begin, Stretch);
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got <= 0)
      break;
    std::size_t Kept = static_cast<std::size_t>(Got);
    if (DropZeros)
      Kept = static_cast<std::size_t>(std::remove(Begin, Begin + Kept, 0) - Begin);
    if (Look && !Result.Found)
      Result.Found = std::memchr(Begin, Wanted, Kept) != nullptr;
    FSize += Kept;
    Result.Read += static_cast<std::size_t>(Got);
    Result.Kept += Kept;
    if (static_cast<std::size_t>(Got) < Stretch)
      break; // a short read: the descriptor has handed over all it had
  }
  return Result;
}
