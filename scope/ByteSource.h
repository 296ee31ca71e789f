#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the frame receiver takes its bytes from: the serial port in the
// program, an in-memory queue in the dump tool, the tests and the fuzzer.
// ReadBytes has the port's contract: the receiver asks only for bytes that are
// already waiting, so a read delivers exactly Count bytes at once; the result
// is the number of bytes stored.
class TByteSource {
public:
  virtual ~TByteSource();
  virtual int ReadBytes(void* Buffer, int Count) = 0;
};

// A queue of received bytes. Push appends what the line delivered; Waiting is
// the count a received-characters event reports.
class TMemoryByteSource : public TByteSource {
public:
  void Push(const void* Data, std::size_t Count);
  int Waiting() const { return static_cast<int>(FData.size() - FReadPos); }
  int ReadBytes(void* Buffer, int Count) override;
  // Bytes handed out by ReadBytes since creation.
  std::size_t TotalRead() const { return FTotalRead; }

private:
  std::vector<std::uint8_t> FData;
  std::size_t FReadPos = 0;
  std::size_t FTotalRead = 0;
};
