#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>

// The line parameters, event and error sets and handler types of the serial port.
// Every enumeration is stored in one byte; ordinals run from 0 in the listed order
// (the settings files and the device-control record depend on them).

enum class TBaudRate : std::uint8_t {
  brCustom,
  br110,
  br300,
  br600,
  br1200,
  br2400,
  br4800,
  br9600,
  br14400,
  br19200,
  br38400,
  br56000,
  br57600,
  br115200,
  br128000,
  br256000
};

// Bits per second of each TBaudRate, by ordinal (brCustom: 0, the rate is the
// port's CustomBaudRate). The device-control record and the settings texts
// ("57600") both come from this one table.
inline constexpr std::array<std::uint32_t, 16> BaudRateValues = {
    0,     110,   300,   600,   1200,  2400,   4800,   9600,
    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

enum class TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum class TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum class TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum class TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum class TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum class TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum class TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum class TComEvent : std::uint8_t {
  evRxChar,
  evTxEmpty,
  evRxFlag,
  evRing,
  evBreak,
  evCTS,
  evDSR,
  evError,
  evRLSD,
  evRx80Full
};

enum class TComError : std::uint8_t {
  ceFrame,
  ceRxParity,
  ceOverrun,
  ceBreak,
  ceIO,
  ceMode,
  ceRxOver,
  ceTxFull
};

enum class TComLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };

enum class TStoredGroup : std::uint8_t {
  sgLine,
  sgFlowDetails,
  sgBufferSizes,
  sgTimeouts,
  sgParityDetails,
  sgCharHandling
};

// A set of enumeration values held in Storage, bit n standing for ordinal n.
template <typename E, typename Storage> class TSmallSet {
public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> Values) {
    for (E Value : Values)
      Include(Value);
  }
  static constexpr TSmallSet FromBits(Storage Bits) {
    TSmallSet Result;
    Result.FBits = Bits;
    return Result;
  }

  constexpr Storage Bits() const { return FBits; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr bool Contains(E Value) const { return (FBits & Bit(Value)) != 0; }
  constexpr void Include(E Value) { FBits = static_cast<Storage>(FBits | Bit(Value)); }
  constexpr void Exclude(E Value) { FBits = static_cast<Storage>(FBits & ~Bit(Value)); }

  friend constexpr bool operator==(TSmallSet A, TSmallSet B) { return A.FBits == B.FBits; }
  friend constexpr TSmallSet operator+(TSmallSet A, TSmallSet B) {
    return FromBits(static_cast<Storage>(A.FBits | B.FBits));
  }

private:
  static constexpr Storage Bit(E Value) {
    return static_cast<Storage>(Storage{1} << static_cast<unsigned>(Value));
  }
  Storage FBits = 0;
};

using TComEvents = TSmallSet<TComEvent, std::uint16_t>;
using TComErrors = TSmallSet<TComError, std::uint8_t>;
using TComLineSignals = TSmallSet<TComLineSignal, std::uint8_t>;
using TStoredGroups = TSmallSet<TStoredGroup, std::uint8_t>;

// All ten line events, the port's default event set.
inline constexpr TComEvents AllComEvents = TComEvents::FromBits(0x03FF);

// The root of the component's object classes; handlers receive the sender as one.
class TObject {
public:
  virtual ~TObject() = default;
};

// Handler types. An empty handler is never called.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TRxCharEvent = std::function<void(TObject* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TObject* Sender, const void* Buffer, std::int32_t Count)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TObject* Sender, bool OnOff)>;
