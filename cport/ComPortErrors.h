#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/Exception.h"

// Error codes of the serial port. Every EComPort carries one of them.
enum TPortErrorCode : std::int32_t {
  peOpenFailed = 1,
  peWriteFailed = 2,
  peReadFailed = 3,
  peInvalidAsync = 4,
  pePurgeFailed = 5,
  peAsyncStatusFailed = 6,
  peSetStateFailed = 7,
  peSetTimeoutsFailed = 8,
  peSetupCommFailed = 9,
  peClearErrorFailed = 10,
  peModemStatusFailed = 11,
  peEscapeFailed = 12,
  peTransmitCharFailed = 13,
  peConnectedProperty = 14,
  peEnumPortsFailed = 15,
  peStoreFailed = 16,
  peLoadFailed = 17,
  peLinkFailed = 18,
  peLedState = 19,
  peWaitWithThread = 20,
  peWaitFailed = 21,
  peRxBufLinked = 22,
  peRegistryError = 23
};

inline constexpr int PortErrorCount = 23;

// The English texts of the codes, index 1 to 23 (index 0 is empty).
extern const std::array<const char16_t*, PortErrorCount + 1> PortErrorSourceTexts;

// The texts shown to the user, translated once at start-up (InitComPortErrors);
// index 1 to 23. Before start-up they are empty, and an error raised then (a
// tool that never started the component) carries the English text.
extern std::array<std::u16string, PortErrorCount + 1> PortErrorMessages;

// The suffix appended after a failed system call; %d is the system error number.
inline constexpr const char16_t* PortSystemErrorSuffix = u" (win error code: %d)";

// Start-up of the component, after the translation's start-up: adds the
// "cport" domain to the resource-string domains and fills PortErrorMessages
// with the translations (current text domain) of the source texts. Shutdown
// releases the table.
void InitComPortErrors();
void DoneComPortErrors();

// InitComPortErrors for the life of the object; create it after the
// translation's start-up (TTranslationSession) and before the first port.
class TComPortSession {
public:
  TComPortSession() { InitComPortErrors(); }
  ~TComPortSession() { DoneComPortErrors(); }
  TComPortSession(const TComPortSession&) = delete;
  TComPortSession& operator=(const TComPortSession&) = delete;
};

class EComPort : public Exception {
public:
  // After a failed system call: the message is the code's text followed by the
  // translated suffix, formatted as a whole with SystemErrorCode.
  EComPort(std::int32_t ErrorCode, std::int32_t SystemErrorCode);
  // Code only: the code's text, taken literally; SystemErrorCode is -1.
  explicit EComPort(std::int32_t ErrorCode);

  std::int32_t SystemErrorCode() const { return FSystemErrorCode; }
  std::int32_t ErrorCode() const { return FErrorCode; }

private:
  std::int32_t FSystemErrorCode;
  std::int32_t FErrorCode;
};
