#include "cport/ComPortErrors.h"

#include "base/Format.h"
#include "base/WideText.h"
#include "i18n/gnugettext.h"

const std::array<const char16_t*, PortErrorCount + 1> PortErrorSourceTexts = {
    u"",
    u"Unable to open com port",
    u"WriteFile function failed",
    u"ReadFile function failed",
    u"Invalid Async parameter",
    u"PurgeComm function failed",
    u"Unable to get async status",
    u"SetCommState function failed",
    u"SetCommTimeouts failed",
    u"SetupComm function failed",
    u"ClearCommError function failed",
    u"GetCommModemStatus function failed",
    u"EscapeCommFunction function failed",
    u"TransmitCommChar function failed",
    u"Cannot set property while connected",
    u"EnumPorts function failed",
    u"Failed to store settings",
    u"Failed to load settings",
    u"Link (un)registration failed",
    u"Cannot change led state if ComPort is selected",
    u"Cannot wait for event if event thread is created",
    u"WaitForEvent method failed",
    u"A component is linked to OnRxBuf event",
    u"Registry error",
};

std::array<std::u16string, PortErrorCount + 1> PortErrorMessages;

namespace {

// A code outside the table has no text rather than reading past it; before
// start-up the English text stands in for the translated one.
std::u16string MessageOf(std::int32_t Code) {
  if (Code < 1 || Code > PortErrorCount)
    return std::u16string();
  const auto Index = static_cast<std::size_t>(Code);
  const std::u16string& Message = PortErrorMessages[Index];
  return Message.empty() ? std::u16string(PortErrorSourceTexts[Index]) : Message;
}

} // namespace

void InitComPortErrors() {
  AddResourceStringDomain("cport");
  for (int Code = 1; Code <= PortErrorCount; ++Code)
    PortErrorMessages[static_cast<std::size_t>(Code)] =
        TranslateText(PortErrorSourceTexts[static_cast<std::size_t>(Code)]);
}

void DoneComPortErrors() {
  for (std::u16string& Message : PortErrorMessages)
    std::u16string().swap(Message);
}

// The whole joined text is the format pattern, so a '%' in a translated message
// is a directive; Format checks it against the one integer argument.
EComPort::EComPort(std::int32_t ErrorCode, std::int32_t SystemErrorCode)
    : Exception(Format(Utf16ToUtf8(MessageOf(ErrorCode) + TranslateText(PortSystemErrorSuffix)),
                       {SystemErrorCode})),
      FSystemErrorCode(SystemErrorCode), FErrorCode(ErrorCode) {}

EComPort::EComPort(std::int32_t ErrorCode)
    : Exception(Utf16ToUtf8(MessageOf(ErrorCode))), FSystemErrorCode(-1), FErrorCode(ErrorCode) {}
