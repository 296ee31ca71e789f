#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scope/ByteSource.h"

// Builds a frame as the scope sends it: sync byte, type, length (whole frame,
// low byte first), settings A and B, one spare byte, then Payload.
inline std::vector<std::uint8_t> MakeFrame(char Type, std::uint8_t A, std::uint8_t B,
                                           const std::vector<std::uint8_t>& Payload,
                                           int Length = -1) {
  const int L = Length >= 0 ? Length : static_cast<int>(Payload.size()) + 7;
  std::vector<std::uint8_t> F = {0x42,
                                 static_cast<std::uint8_t>(Type),
                                 static_cast<std::uint8_t>(L & 0xFF),
                                 static_cast<std::uint8_t>(L >> 8),
                                 A,
                                 B,
                                 0};
  F.insert(F.end(), Payload.begin(), Payload.end());
  return F;
}

// A trace frame ("BA", 266 bytes) carrying Samples[0..255] at offsets 10..265.
inline std::vector<std::uint8_t> MakeTraceFrame(std::uint8_t A, std::uint8_t B,
                                                const std::vector<std::uint8_t>& Samples) {
  std::vector<std::uint8_t> Payload = {0, 0, 0};
  Payload.insert(Payload.end(), Samples.begin(), Samples.end());
  Payload.resize(259, 0);
  return MakeFrame('A', A, B, Payload);
}

// A single-sample frame ("BS", 12 bytes): position counter P, value V.
inline std::vector<std::uint8_t> MakeSingleSampleFrame(std::uint8_t A, std::uint8_t B,
                                                       std::uint8_t P, std::uint8_t V) {
  return MakeFrame('S', A, B, {P, 0, 0, V, 0});
}

inline void Append(std::vector<std::uint8_t>& To, const std::vector<std::uint8_t>& What) {
  To.insert(To.end(), What.begin(), What.end());
}

// A queue that also records the size of every read the receiver makes.
class TRecordingSource : public TByteSource {
public:
  void Push(const std::vector<std::uint8_t>& Bytes) { FQueue.Push(Bytes.data(), Bytes.size()); }
  int Waiting() const { return FQueue.Waiting(); }
  int ReadBytes(void* Buffer, int Count) override {
    Reads.push_back(Count);
    return FQueue.ReadBytes(Buffer, Count);
  }
  std::vector<int> Reads;

private:
  TMemoryByteSource FQueue;
};
