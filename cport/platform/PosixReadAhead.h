#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// A ring of bytes taken from a terminal ahead of its reader. A terminal's
// input queue cannot be looked into without reading it, so a port that watches
// for its event character, or drops zero bytes before counting them, moves what
// arrives into this ring (the one copy those bytes get on their way in) and
// looks at it there; the reader takes from the ring before it reads the
// device. Not locked: its owner guards it.
class TPosixReadAhead {
public:
  // Far beyond the driver's own queue: when a handler leaves this much
  // unread, the rest waits in the driver (and holds the sender back there).
  static constexpr std::size_t DefaultCapacity = 64 * 1024;

  explicit TPosixReadAhead(std::size_t Capacity = DefaultCapacity) : FCapacity(Capacity) {}

  std::size_t Size() const { return FSize; }
  std::size_t Capacity() const { return FCapacity; }
  bool Full() const { return FSize == FCapacity; }

  // Copies up to Count of the oldest bytes out; returns how many.
  std::size_t Take(std::uint8_t* Out, std::size_t Count);

  struct TMoved {
    std::size_t Read = 0; // bytes taken from the descriptor
    std::size_t Kept = 0; // of those, the ones now in the ring
    bool Found = false;   // Wanted is among the kept bytes (when looked for)
  };
  // Reads what the descriptor holds into the ring, as much as fits, dropping
  // zero bytes when DropZeros is set and looking for Wanted when Look is set.
  // A read that fails (nothing there, the line hung up) only ends the move.
  TMoved Move(int Descriptor, bool DropZeros, bool Look, std::uint8_t Wanted);

  void Clear() { FHead = FSize = 0; }

private:
  std::size_t FCapacity;
  std::unique_ptr<std::uint8_t[]> FRing; // made at the first move
  std::size_t FHead = 0, FSize = 0;
};
