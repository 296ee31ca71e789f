// Arbitrary bytes, cut into arbitrary received-characters events, through the
// frame receiver and the decoders. The first byte chooses how many of the next
// bytes give the event sizes (used in turn); the rest is the line's stream.
// Besides the sanitizers' checks, the same stream delivered in one event must
// give the same frames and the same final picture and status texts.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "scope/ScopeLink.h"

namespace {

struct TOutcome {
  std::string Frames;
  TScopeSamples Samples;
  TScopePanels Panels;
  int Repaints = 0;
};

void CheckReceiver(const TScopeReceiver& R) {
  const bool Hunting = R.RxBuffer()[0] != TScopeReceiver::SyncByte;
  if (R.Needed() < 1 || R.Needed() > TScopeReceiver::MaxPayload)
    std::abort();
  if (R.HeaderDone() && (Hunting || R.RxIndex() != 7))
    std::abort();
  if (!Hunting && !R.HeaderDone() && R.Needed() != TScopeReceiver::HeaderSize)
    std::abort();
}

TOutcome Deliver(const std::uint8_t* Data, std::size_t Size, const std::vector<int>& Chunks) {
  TMemoryByteSource Source;
  TScopeLink Link(&Source);
  TOutcome Out;
  Link.State.OnRepaint = [&] { ++Out.Repaints; };
  Link.OnFrameDone = [&](std::string_view Tag, int L) {
    Out.Frames += std::string(Tag) + std::to_string(L) + ";";
    const std::uint8_t* Frame = Link.Receiver.RxBuffer();
    Out.Frames.append(reinterpret_cast<const char*>(Frame), static_cast<std::size_t>(L));
  };
  std::size_t Pos = 0;
  for (std::size_t I = 0; Pos < Size; ++I) {
    const std::size_t N = std::min(static_cast<std::size_t>(Chunks[I % Chunks.size()]), Size - Pos);
    Source.Push(Data + Pos, N);
    Pos += N;
    Link.ComPortRxChar(Source.Waiting());
    CheckReceiver(Link.Receiver);
    // Fewer than a whole block may stay waiting, never more.
    if (Source.Waiting() >= Link.Receiver.Needed())
      std::abort();
  }
  Out.Samples = Link.State.Samples();
  Out.Panels = Link.State.Panels();
  return Out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size < 1)
    return 0;
  const std::size_t ChunkBytes = std::min<std::size_t>(Data[0] % 8 + 1, Size - 1);
  std::vector<int> Chunks;
  for (std::size_t I = 0; I < ChunkBytes; ++I)
    Chunks.push_back(Data[1 + I] + 1);
  if (Chunks.empty())
    Chunks.push_back(1);
  const std::uint8_t* Stream = Data + 1 + ChunkBytes;
  const std::size_t StreamSize = Size - 1 - ChunkBytes;

  const TOutcome Chunked = Deliver(Stream, StreamSize, Chunks);
  const TOutcome Whole = Deliver(Stream, StreamSize, {static_cast<int>(StreamSize) + 1});
  if (Chunked.Frames != Whole.Frames || Chunked.Samples != Whole.Samples ||
      Chunked.Panels != Whole.Panels || Chunked.Repaints != Whole.Repaints)
    std::abort();
  return 0;
}
