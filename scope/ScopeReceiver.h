#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "scope/ByteSource.h"

// Cuts the scope's byte stream into frames:
//   0x42 'B' | type 'S','A','R' | length L (16 bits, low first, whole frame)
//   | settings A | settings B | one byte | payload of L - 7 bytes (1..266).
// It reads from its byte source only when a whole block is waiting: single
// bytes while hunting for the sync byte, the 6 header bytes at once, the
// payload at once. Every complete frame goes to OnFrame with the frame's bytes
// at their wire offsets in RxBuffer(). The state belongs to the owner, not to a
// connection: a frame cut off by a disconnect is completed by the next bytes.
class TScopeReceiver {
public:
  static constexpr int RxBufferSize = 1024;
  static constexpr std::uint8_t SyncByte = 0x42;
  static constexpr int HeaderSize = 6;
  static constexpr int MinPayload = 1;
  static constexpr int MaxPayload = 266;

  // Tag is "BS", "BA" or "BR"; L the frame length from offsets 2 and 3; Frame
  // points at offset 0 of the receive buffer (RxBufferSize bytes).
  using TFrameEvent = std::function<void(std::string_view Tag, int L, const std::uint8_t* Frame)>;

  explicit TScopeReceiver(TByteSource* Source = nullptr);

  void SetSource(TByteSource* Source) { FSource = Source; }
  TByteSource* Source() const { return FSource; }

  // The received-characters handler. Count is the number of bytes waiting in
  // the source; it is the budget of this call: bytes not read stay queued and
  // are counted again with the next event.
  void ComPortRxChar(int Count);

  TFrameEvent OnFrame;

  // The receiver's state, for the owner's diagnostics and for tests.
  const std::uint8_t* RxBuffer() const { return FRxBuffer; }
  int Needed() const { return FNeeded; }
  int RxIndex() const { return FRxIndex; }
  bool Synced() const { return FSynced; }
  bool HeaderDone() const { return FHeaderDone; }

private:
  void Read(int Offset, int Count);

  TByteSource* FSource;
  std::uint8_t FRxBuffer[RxBufferSize] = {};
  int FNeeded = 1;
  int FRxIndex = 0;
  bool FSynced = true;
  bool FHeaderDone = false;
};
