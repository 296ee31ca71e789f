#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The device layer of the serial port: one short interface in the port's own
// terms, with a backend per platform (PosixDevice for termios devices and
// pseudo-terminals, FakeDevice for tests). Every operation that can fail
// returns false and leaves the platform's error number for LastError() on the
// calling thread.

using TComHandle = std::intptr_t;
inline constexpr TComHandle InvalidComHandle = -1;

// The device-control record, laid out as the 28-byte DCB of the serial drivers.
struct TDeviceControlBlock {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  std::uint8_t XonChar = 0;
  std::uint8_t XoffChar = 0;
  std::uint8_t ErrorChar = 0;
  std::uint8_t EofChar = 0;
  std::uint8_t EvtChar = 0;
  std::uint16_t wReserved1 = 0;

  friend bool operator==(const TDeviceControlBlock&, const TDeviceControlBlock&) = default;
};
static_assert(sizeof(TDeviceControlBlock) == 28, "the device-control record is 28 bytes");

// Flag bits of TDeviceControlBlock::Flags.
namespace dcb {
inline constexpr std::uint32_t Binary = 0x0001;
inline constexpr std::uint32_t Parity = 0x0002;
inline constexpr std::uint32_t OutxCtsFlow = 0x0004;
inline constexpr std::uint32_t OutxDsrFlow = 0x0008;
inline constexpr std::uint32_t DtrControlMask = 0x0030;
inline constexpr std::uint32_t DtrControlEnable = 0x0010;
inline constexpr std::uint32_t DtrControlHandshake = 0x0020;
inline constexpr std::uint32_t DsrSensitivity = 0x0040;
inline constexpr std::uint32_t TXContinueOnXoff = 0x0080;
inline constexpr std::uint32_t OutX = 0x0100;
inline constexpr std::uint32_t InX = 0x0200;
inline constexpr std::uint32_t ErrorChar = 0x0400;
inline constexpr std::uint32_t Null = 0x0800;
inline constexpr std::uint32_t RtsControlMask = 0x3000;
inline constexpr std::uint32_t RtsControlEnable = 0x1000;
inline constexpr std::uint32_t RtsControlHandshake = 0x2000;
inline constexpr std::uint32_t RtsControlToggle = 0x3000;
inline constexpr std::uint32_t AbortOnError = 0x4000;
} // namespace dcb

// The timeouts record in the order of the drivers' COMMTIMEOUTS.
struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;

  friend bool operator==(const TCommTimeouts&, const TCommTimeouts&) = default;
};
static_assert(sizeof(TCommTimeouts) == 20);

inline constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;

// Line event mask bits (SetCommMask / WaitCommEvent).
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;

// Purge flags.
inline constexpr std::uint32_t PURGE_TXABORT = 0x0001;
inline constexpr std::uint32_t PURGE_RXABORT = 0x0002;
inline constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Line error flags (ClearCommError).
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;
inline constexpr std::uint32_t CE_TXFULL = 0x0100;
inline constexpr std::uint32_t CE_IOE = 0x0400;
inline constexpr std::uint32_t CE_MODE = 0x8000;

// Modem status bits (GetCommModemStatus).
inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// The stop request of an event wait: Signal() ends a WaitCommEvent that waits
// on it (now or later) with wrStopped. Made by the device that waits on it.
class TComStopSignal {
public:
  virtual ~TComStopSignal() = default;
  virtual void Signal() = 0;
};

enum class TComWaitResult { wrEvents, wrStopped, wrFailed };

// A serial port of this machine, as a port list offers it.
struct TComPortInfo {
  std::string Name;        // what the port's Port property takes
  std::string Description; // for the user: what is behind it; may be empty
  friend bool operator==(const TComPortInfo&, const TComPortInfo&) = default;
};

class TComDevice {
public:
  virtual ~TComDevice() = default;

  // Opens the named port for exclusive use; InvalidComHandle on failure.
  virtual TComHandle Open(const std::string& PortName) = 0;
  virtual bool Close(TComHandle Handle) = 0;

  // Queue sizes; accepted and recorded.
  virtual bool SetupComm(TComHandle Handle, std::int32_t InQueue, std::int32_t OutQueue) = 0;
  // The whole line state; a request the device cannot honour fails (EINVAL).
  virtual bool SetCommState(TComHandle Handle, const TDeviceControlBlock& State) = 0;
  virtual bool SetCommTimeouts(TComHandle Handle, const TCommTimeouts& Timeouts) = 0;

  // Reads up to Count bytes as the timeouts record says; Read gets the number.
  virtual bool ReadFile(TComHandle Handle, void* Buffer, std::int32_t Count,
                        std::int32_t& Read) = 0;
  // PURGE_* flags: the TX flags empty the output side, the RX flags the input.
  virtual bool PurgeComm(TComHandle Handle, std::uint32_t Flags) = 0;
  // The line errors (CE_*) flagged since the last call, which clears them, and
  // the number of bytes waiting in the input queue.
  virtual bool ClearCommError(TComHandle Handle, std::uint32_t& Errors, std::int32_t& InQueue) = 0;
  // The MS_* bits of the modem input lines; a device without modem lines
  // reports 0.
  virtual bool GetCommModemStatus(TComHandle Handle, std::uint32_t& Status) = 0;

  // The line events (EV_*) that WaitCommEvent reports.
  virtual bool SetCommMask(TComHandle Handle, std::uint32_t Mask) = 0;
  virtual std::unique_ptr<TComStopSignal> NewStopSignal() = 0;
  // Blocks until one of the selected events occurs (wrEvents, Mask gets them),
  // Stop is signalled (wrStopped) or the wait fails (wrFailed, see LastError).
  virtual TComWaitResult WaitCommEvent(TComHandle Handle, TComStopSignal& Stop,
                                       std::uint32_t& Mask) = 0;

  // The error number of this thread's last failed call.
  virtual int LastError() = 0;

  // The serial ports that exist on this machine, in the order a list offers
  // them; none where the backend cannot tell.
  virtual std::vector<TComPortInfo> ListPorts();
};

// The device that new ports use: the platform's own unless a test installs
// another (the port keeps the one it was given at construction).
TComDevice& DefaultComDevice();
// The platform's own backend (PosixDevice on Linux, Win32Device on Windows).
TComDevice& PlatformComDevice();
void SetDefaultComDevice(TComDevice* Device);
