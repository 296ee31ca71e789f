#include "cport/ComPortErrors.h"

#include <utility>

#include "base/Format.h"

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

TComPortTranslator& Translator() {
  static TComPortTranslator Instance;
  return Instance;
}

// A code outside the table has no text rather than reading past it.
const std::u16string& MessageOf(std::int32_t Code) {
  static const std::u16string None;
  if (Code < 1 || Code > PortErrorCount)
    return None;
  return PortErrorMessages[static_cast<std::size_t>(Code)];
}

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | (C >> 6));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | (C >> 12));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (C >> 18));
    Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

} // namespace

void SetComPortTranslator(TComPortTranslator NewTranslator) {
  Translator() = std::move(NewTranslator);
}

std::u16string ComPortTranslate(const std::u16string& Text) {
  const TComPortTranslator& Current = Translator();
  return Current ? Current(Text) : Text;
}

void InitComPortErrors() {
  // TODO(i18n): register the "cport" domain with AddResourceStringDomain once
  // the translation library is part of the build.
  for (int Code = 1; Code <= PortErrorCount; ++Code)
    PortErrorMessages[static_cast<std::size_t>(Code)] =
        ComPortTranslate(PortErrorSourceTexts[static_cast<std::size_t>(Code)]);
}

void DoneComPortErrors() {
  for (std::u16string& Message : PortErrorMessages)
    std::u16string().swap(Message);
}

std::string ComPortNarrow(const std::u16string& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    char32_t C = Text[i];
    if (C >= 0xD800 && C <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
        Text[i + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
      ++i;
    } else if (C >= 0xD800 && C <= 0xDFFF) {
      C = 0xFFFD;
    }
    AppendUtf8(Out, C);
  }
  return Out;
}

// The whole joined text is the format pattern, so a '%' in a translated message
// is a directive; Format checks it against the one integer argument.
EComPort::EComPort(std::int32_t ErrorCode, std::int32_t SystemErrorCode)
    : Exception(
          Format(ComPortNarrow(MessageOf(ErrorCode) + ComPortTranslate(PortSystemErrorSuffix)),
                 {SystemErrorCode})),
      FSystemErrorCode(SystemErrorCode), FErrorCode(ErrorCode) {}

EComPort::EComPort(std::int32_t ErrorCode)
    : Exception(ComPortNarrow(MessageOf(ErrorCode))), FSystemErrorCode(-1), FErrorCode(ErrorCode) {}
