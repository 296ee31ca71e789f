#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cport/ComPortTypes.h"

// The text forms in which the port's settings are stored: the component's own
// vocabulary ("57600", "1.5", "Even", "Handshake", "Yes", "#13"), the same in
// every file and registry key. Each pair is a table lookup and its inverse.
// Reading never fails: an unmatched text takes its type's fallback value.
// Enumeration texts are matched without regard to ASCII case, nothing else is
// forgiven (a leading blank matches nothing).

std::string BaudRateToText(TBaudRate Value);
TBaudRate TextToBaudRate(std::string_view Text); // unmatched: br9600
std::string StopBitsToText(TStopBits Value);
TStopBits TextToStopBits(std::string_view Text); // unmatched: sbOneStopBit
std::string DataBitsToText(TDataBits Value);
TDataBits TextToDataBits(std::string_view Text); // unmatched: dbEight
std::string ParityToText(TParityBits Value);
TParityBits TextToParity(std::string_view Text); // unmatched: prNone
std::string FlowControlToText(TFlowControl Value);
TFlowControl TextToFlowControl(std::string_view Text); // unmatched: fcCustom
std::string DTRControlToText(TDTRFlowControl Value);
TDTRFlowControl TextToDTRControl(std::string_view Text); // unmatched: dtrDisable
std::string RTSControlToText(TRTSFlowControl Value);
TRTSFlowControl TextToRTSControl(std::string_view Text); // unmatched: rtsDisable

// "Yes" or "No"; only "yes" in any case reads as true.
std::string FlagToText(bool Value);
bool TextToFlag(std::string_view Text);

// Codes 33 to 127 as the character itself, all others as "#" and the decimal
// code (#13, #17, #128).
std::string CharToText(std::uint8_t Value);
// Empty: 0. "#" and more: the low 8 bits of the number after it (decimal with
// an optional sign, or "$"/"0x" hex as the INI reader takes integers; 0 when
// it is not a number). Otherwise the first character, so a lone "#" is itself.
std::uint8_t TextToChar(std::string_view Text);
