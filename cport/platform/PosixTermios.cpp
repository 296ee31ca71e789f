#include "cport/platform/PosixTermios.h"

#include <cerrno>
#include <termios.h>

std::uint32_t StandardSpeedBits(std::uint32_t Rate) {
  struct TSpeed {
    std::uint32_t Rate;
    speed_t Bits;
  };
  static constexpr TSpeed Speeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000}};
  for (const TSpeed& Speed : Speeds)
    if (Speed.Rate == Rate)
      return Speed.Bits;
  return 0;
}

int DcbToPosixLine(const TDeviceControlBlock& Dcb, TPosixLineSettings& Line) {
  const std::uint32_t Flags = Dcb.Flags;
  // The terminal driver has no DSR input at all: no output flow on it, no
  // sensitivity to it.
  if (Flags & (dcb::OutxDsrFlow | dcb::DsrSensitivity))
    return EINVAL;
  const std::uint32_t DtrControl = Flags & dcb::DtrControlMask;
  const std::uint32_t RtsControl = Flags & dcb::RtsControlMask;
  if (DtrControl == dcb::DtrControlHandshake || DtrControl == dcb::DtrControlMask ||
      RtsControl == dcb::RtsControlToggle)
    return EINVAL;
  // CRTSCTS is both halves of the hardware handshake at once: output waits
  // for CTS and the driver drives RTS by its input queue. One half alone
  // cannot be had.
  const bool CtsFlow = (Flags & dcb::OutxCtsFlow) != 0;
  if (CtsFlow != (RtsControl == dcb::RtsControlHandshake))
    return EINVAL;
  // The driver turns a byte with a parity error into 0 (INPCK) or leaves it
  // as it came; no other replacement.
  const bool Check = (Flags & dcb::Parity) != 0;
  const bool Replace = Check && (Flags & dcb::ErrorChar) != 0;
  if (Replace && Dcb.ErrorChar != 0)
    return EINVAL;
  // Equal start and stop characters would make every XON an XOFF.
  if (Dcb.XonChar == Dcb.XoffChar)
    return EINVAL;
  if (Dcb.BaudRate == 0)
    return EINVAL;

  TPosixLineSettings Result;
  TTermiosImage& T = Result.Termios;
  // Raw mode: no line editing, no echo, no signals, no translation of bytes.
  T.IFlag = 0;
  T.OFlag = 0;
  T.LFlag = 0;
  T.CFlag = CLOCAL | CREAD;

  switch (Dcb.ByteSize) {
  case 5:
    T.CFlag |= CS5;
    break;
  case 6:
    T.CFlag |= CS6;
    break;
  case 7:
    T.CFlag |= CS7;
    break;
  case 8:
    T.CFlag |= CS8;
    break;
  default:
    return EINVAL;
  }

  switch (Dcb.Parity) {
  case 0:
    break;
  case 1: // odd
    T.CFlag |= PARENB | PARODD;
    break;
  case 2: // even
    T.CFlag |= PARENB;
    break;
  case 3: // mark: stick parity, always 1
    T.CFlag |= PARENB | CMSPAR | PARODD;
    break;
  case 4: // space: stick parity, always 0
    T.CFlag |= PARENB | CMSPAR;
    break;
  default:
    return EINVAL;
  }
  // Without INPCK the driver still counts parity errors (the line errors
  // report them) but hands the bytes over unchanged; with it, as 0.
  if (Replace && Dcb.Parity != 0)
    T.IFlag |= INPCK;

  // The UART sends 1.5 stop bits for CSTOPB with 5 data bits and 2 otherwise,
  // so 1.5 needs 5 data bits and 2 needs more.
  switch (Dcb.StopBits) {
  case 0:
    break;
  case 1:
    if (Dcb.ByteSize != 5)
      return EINVAL;
    T.CFlag |= CSTOPB;
    break;
  case 2:
    if (Dcb.ByteSize == 5)
      return EINVAL;
    T.CFlag |= CSTOPB;
    break;
  default:
    return EINVAL;
  }

  if (CtsFlow)
    T.CFlag |= CRTSCTS;
  if (Flags & dcb::OutX)
    T.IFlag |= IXON;
  // After sending XOFF the driver goes on sending its own output, which is
  // what continue-after-XOFF asks for; holding that output back until XON
  // (the flag off) it cannot do, and comes nearest with the same IXOFF.
  if (Flags & dcb::InX)
    T.IFlag |= IXOFF;
  T.VStart = Dcb.XonChar;
  T.VStop = Dcb.XoffChar;
  // Reads never block in the driver; the reader waits as its timeouts say.
  T.VMin = 0;
  T.VTime = 0;

  const std::uint32_t SpeedBits = StandardSpeedBits(Dcb.BaudRate);
  T.Speed = Dcb.BaudRate;
  T.CustomSpeed = SpeedBits == 0;
  T.CFlag |= SpeedBits;

  Result.Dtr = DtrControl == dcb::DtrControlEnable ? TLineDrive::ldOn : TLineDrive::ldOff;
  if (RtsControl == dcb::RtsControlEnable)
    Result.Rts = TLineDrive::ldOn;
  else if (RtsControl == 0)
    Result.Rts = TLineDrive::ldOff;
  else
    Result.Rts = TLineDrive::ldLeave; // handshake: the driver drives it
  Result.DiscardNull = (Flags & dcb::Null) != 0;
  Result.EventChar = Dcb.EvtChar;
  Line = Result;
  return 0;
}
