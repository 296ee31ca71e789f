#pragma once

// The calls of the posix device that only a real serial driver answers
// (modem lines and their wait, the error counters, the transmitter drain, the
// serial information of a port) go through this table, so that tests can put
// a driver of their own behind them. Each entry behaves as the system call of
// the same name: -1 and errno on failure. Replace entries only while no port
// is open.
struct TPosixSystem {
  int (*Ioctl)(int Descriptor, unsigned long Request, void* Argument);
  int (*Drain)(int Descriptor); // tcdrain
  int (*Open)(const char* Path, int Flags);
  int (*Close)(int Descriptor);
};

// The table in use; starts with the system's own calls.
TPosixSystem& PosixSystem();
// The system's own calls, for a test that replaces some entries only.
const TPosixSystem& RealPosixSystem();
