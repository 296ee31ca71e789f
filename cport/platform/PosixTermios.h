#pragma once

#include <cstdint>

#include "cport/platform/ComDevice.h"

// The termios form of a device-control record, in the flag values of the
// Linux terminal driver. Built by a pure function so that every flag can be
// checked without a device.
struct TTermiosImage {
  std::uint32_t IFlag = 0;
  std::uint32_t OFlag = 0;
  std::uint32_t CFlag = 0; // includes the Bxxx bits of a standard rate
  std::uint32_t LFlag = 0;
  std::uint8_t VStart = 0;
  std::uint8_t VStop = 0;
  std::uint8_t VMin = 0;
  std::uint8_t VTime = 0;
  // A rate without a Bxxx constant goes through termios2 with BOTHER.
  bool CustomSpeed = false;
  std::uint32_t Speed = 0;
};

// How a modem output line is driven after the line is configured.
enum class TLineDrive : std::uint8_t { ldLeave, ldOn, ldOff };

struct TPosixLineSettings {
  TTermiosImage Termios;
  TLineDrive Dtr = TLineDrive::ldLeave;
  TLineDrive Rts = TLineDrive::ldLeave;
  bool DiscardNull = false; // done by the reader: the terminal driver cannot
  std::uint8_t EventChar = 0;
};

// Converts the record to raw-mode termios plus the DTR/RTS drive. Returns 0, or
// EINVAL for a request the terminal driver cannot honour (DSR output flow, DTR
// handshake, RTS toggle, DSR sensitivity, CTS output flow without the RTS
// handshake or the reverse, a parity-error replacement other than 0, equal
// XON and XOFF characters, a data size or stop-bit combination the UART has
// not). A parity check without replacement leaves INPCK off: the bytes come
// as they are and the driver's counters report the errors.
int DcbToPosixLine(const TDeviceControlBlock& Dcb, TPosixLineSettings& Line);

// The Bxxx constant for Rate, or 0 when there is none.
std::uint32_t StandardSpeedBits(std::uint32_t Rate);

// Writes the image to the descriptor with termios2 (any bit rate). Returns 0 or
// the error number.
int ApplyTermiosImage(int Descriptor, const TTermiosImage& Image);
