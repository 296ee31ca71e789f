#pragma once

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "sim/SimFrames.h"

// The scope's end of a pseudo-terminal: the client opens DevicePath() like a
// serial port. The device end is held open here too (raw, no echo), so the
// line stays up while clients come and go; closing the pty hangs the client
// up, as pulling the cable does.
class TSimPty {
public:
  TSimPty(); // raises std::runtime_error when no pseudo-terminal can be had
  ~TSimPty();
  TSimPty(const TSimPty&) = delete;
  TSimPty& operator=(const TSimPty&) = delete;

  int MasterFd() const { return FMaster; }
  const std::string& DevicePath() const { return FPath; }
  // Closes both ends now (the client sees a hang-up).
  void Close();

private:
  int FMaster = -1;
  int FSlave = -1;
  std::string FPath;
};

// Sends bytes down the line at its rate: chunks of about ChunkSize bytes, each
// written when its last byte would have arrived at BytesPerSecond, measured
// from the start, so the average rate never drifts. Waiting is always to an
// absolute deadline; nothing spins.
class TSimStreamer {
public:
  // Waits until the absolute CLOCK_MONOTONIC Deadline; false means stop.
  using TWaitUntil = std::function<bool(const timespec& Deadline)>;
  // Appends the next bytes to send; false at the end of the stream.
  using TFill = std::function<bool(TSimBytes& Out)>;

  TSimStreamer(int Fd, double BytesPerSecond, int ChunkSize);

  // Chunk sizes drawn at random between 1 and twice ChunkSize: frames split at
  // random points.
  void SetRandomSplits(bool On, std::uint32_t Seed) {
    FRandomSplits = On;
    FRandom.seed(Seed);
  }
  // A pseudo-terminal with nobody reading drops what does not fit, as a
  // serial line does; other devices get every byte.
  void SetDropWhenFull(bool On) { FDropWhenFull = On; }

  // Streams until Fill ends or Wait says stop. Returns false after a write
  // error (the device went away), with the error number in LastError().
  bool Run(const TFill& Fill, const TWaitUntil& Wait);

  unsigned long long BytesSent() const { return FSent; }
  unsigned long long BytesDropped() const { return FDropped; }
  int LastError() const { return FLastError; }

private:
  bool WriteChunk(const std::uint8_t* Data, std::size_t Count);

  int FFd;
  double FRate;
  int FChunk;
  bool FRandomSplits = false;
  bool FDropWhenFull = false;
  std::mt19937 FRandom;
  unsigned long long FSent = 0;
  unsigned long long FDropped = 0;
  int FLastError = 0;
};

// clock_nanosleep to Deadline, resumed after signals until Stop is set.
bool SleepUntil(const timespec& Deadline, const std::atomic<bool>& Stop);

// A simulated scope streaming on its own thread into a pseudo-terminal of its
// own, for a client that wants a scope in the same process. Stopping wakes the
// thread at once.
class TSimScopeThread {
public:
  TSimScopeThread(const TSimOptions& Options, double BytesPerSecond, int ChunkSize);
  ~TSimScopeThread();
  TSimScopeThread(const TSimScopeThread&) = delete;
  TSimScopeThread& operator=(const TSimScopeThread&) = delete;

  const std::string& DevicePath() const { return FPty.DevicePath(); }
  // Ends the stream and closes the pseudo-terminal: a connected client sees
  // the line hang up.
  void Stop();

private:
  TSimPty FPty;
  TSimScope FScope;
  TSimStreamer FStreamer;
  std::mutex FLock;
  std::condition_variable FWake;
  bool FStopping = false;
  std::thread FThread;
};
