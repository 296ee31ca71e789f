#include "scope/ScopeReceiver.h"

namespace {
// Restarts the hunt: the next byte read while hunting overwrites it.
constexpr std::uint8_t NoSync = 0xFF;

bool IsFrameType(std::uint8_t Type) {
  return Type == 'S' || Type == 'A' || Type == 'R';
}
} // namespace

TScopeReceiver::TScopeReceiver(TByteSource* Source) : FSource(Source) {}

void TScopeReceiver::Read(int Offset, int Count) {
  // The bytes are already waiting, so the read delivers them all at once; its
  // result tells nothing the budget does not.
  if (FSource)
    FSource->ReadBytes(FRxBuffer + Offset, Count);
}

void TScopeReceiver::ComPortRxChar(int Count) {
  int Budget = Count;
  while (Budget >= FNeeded) {
    // Hunting: one byte at a time into offset 0 until it is the sync byte.
    while (FRxBuffer[0] != SyncByte && Budget >= 1) {
      Read(0, 1);
      --Budget;
      if (FRxBuffer[0] == SyncByte) {
        FRxIndex = 1;
        FNeeded = HeaderSize;
        FSynced = true;
      }
    }
    // Nothing more can be done with this budget. (Offset 0 holds the sync byte
    // only while synced, so this never leaves bytes that could be used.)
    if (!FSynced || Budget < FNeeded)
      break;

    if (!FHeaderDone) {
      Read(FRxIndex, FNeeded);
      Budget -= FNeeded;
      FRxIndex += FNeeded;
      const int L = FRxBuffer[2] + 256 * FRxBuffer[3];
      FNeeded = L - 7;
      if (FNeeded >= MinPayload && FNeeded <= MaxPayload && IsFrameType(FRxBuffer[1])) {
        FHeaderDone = true;
      } else {
        // A bad header is dropped with its six bytes; the hunt goes on after them.
        FSynced = false;
        FRxBuffer[0] = NoSync;
        FNeeded = 1;
      }
      continue;
    }

    // Payload: framing inside a frame is by length alone.
    Read(FRxIndex, FNeeded);
    Budget -= FNeeded;
    const char Tag[2] = {static_cast<char>(FRxBuffer[0]), static_cast<char>(FRxBuffer[1])};
    const int L = FRxBuffer[2] + 256 * FRxBuffer[3];
    {
      // Back to hunting after the frame, also when the decoder raises: the
      // frame is in the buffer at its wire offsets during the call.
      struct TResetAfterFrame {
        TScopeReceiver& R;
        ~TResetAfterFrame() {
          R.FHeaderDone = false;
          R.FSynced = false;
          R.FRxBuffer[0] = NoSync;
          R.FNeeded = 1;
        }
      } Reset{*this};
      if (OnFrame)
        OnFrame(std::string_view(Tag, 2), L, FRxBuffer);
    }
  }
}
