#include "cport/ComPortSettings.h"

#include "cport/CPort.h"

// ---- TComTimeouts ----

void TComTimeouts::CopyFrom(const TPersistent* Source) {
  const auto* Other = dynamic_cast<const TComTimeouts*>(Source);
  if (!Other)
    AssignError(Source);
  FReadInterval = Other->FReadInterval;
  FReadTotalMultiplier = Other->FReadTotalMultiplier;
  FReadTotalConstant = Other->FReadTotalConstant;
  FWriteTotalMultiplier = Other->FWriteTotalMultiplier;
  FWriteTotalConstant = Other->FWriteTotalConstant;
}

void TComTimeouts::Set(std::int32_t& Field, std::int32_t Value) {
  if (Field == Value)
    return;
  Field = Value;
  if (FComPort)
    FComPort->ApplyTimeoutSettings();
}

void TComTimeouts::SetReadInterval(std::int32_t Value) {
  Set(FReadInterval, Value);
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t Value) {
  Set(FReadTotalMultiplier, Value);
}
void TComTimeouts::SetReadTotalConstant(std::int32_t Value) {
  Set(FReadTotalConstant, Value);
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t Value) {
  Set(FWriteTotalMultiplier, Value);
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t Value) {
  Set(FWriteTotalConstant, Value);
}

// ---- TComFlowControl ----

void TComFlowControl::CopyFrom(const TPersistent* Source) {
  const auto* Other = dynamic_cast<const TComFlowControl*>(Source);
  if (!Other)
    AssignError(Source);
  FOutCTSFlow = Other->FOutCTSFlow;
  FOutDSRFlow = Other->FOutDSRFlow;
  FControlDTR = Other->FControlDTR;
  FControlRTS = Other->FControlRTS;
  FXonXoffOut = Other->FXonXoffOut;
  FXonXoffIn = Other->FXonXoffIn;
  FDSRSensitivity = Other->FDSRSensitivity;
  FTxContinueOnXoff = Other->FTxContinueOnXoff;
  FXonChar = Other->FXonChar;
  FXoffChar = Other->FXoffChar;
}

template <typename T> void TComFlowControl::Set(T& Field, T Value) {
  if (Field == Value)
    return;
  Field = Value;
  Apply();
}

void TComFlowControl::Apply() {
  if (FComPort)
    FComPort->ApplyLineSettings();
}

TFlowControl TComFlowControl::FlowControl() const {
  using enum TRTSFlowControl;
  if (FControlRTS == rtsHandshake && FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
    return TFlowControl::fcHardware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && FXonXoffIn && FXonXoffOut)
    return TFlowControl::fcSoftware;
  if (FControlRTS == rtsDisable && !FOutCTSFlow && !FXonXoffIn && !FXonXoffOut)
    return TFlowControl::fcNone;
  return TFlowControl::fcCustom;
}

// The fields are written directly so that the device is configured once.
void TComFlowControl::SetFlowControl(TFlowControl Value) {
  if (Value != TFlowControl::fcCustom) {
    FControlRTS = TRTSFlowControl::rtsDisable;
    FOutCTSFlow = false;
    FXonXoffIn = false;
    FXonXoffOut = false;
    if (Value == TFlowControl::fcHardware) {
      FControlRTS = TRTSFlowControl::rtsHandshake;
      FOutCTSFlow = true;
    } else if (Value == TFlowControl::fcSoftware) {
      FXonXoffIn = true;
      FXonXoffOut = true;
    }
  }
  Apply();
}

void TComFlowControl::SetOutCTSFlow(bool Value) {
  Set(FOutCTSFlow, Value);
}
void TComFlowControl::SetOutDSRFlow(bool Value) {
  Set(FOutDSRFlow, Value);
}
void TComFlowControl::SetControlDTR(TDTRFlowControl Value) {
  Set(FControlDTR, Value);
}
void TComFlowControl::SetControlRTS(TRTSFlowControl Value) {
  Set(FControlRTS, Value);
}
void TComFlowControl::SetXonXoffOut(bool Value) {
  Set(FXonXoffOut, Value);
}
void TComFlowControl::SetXonXoffIn(bool Value) {
  Set(FXonXoffIn, Value);
}
void TComFlowControl::SetDSRSensitivity(bool Value) {
  Set(FDSRSensitivity, Value);
}
void TComFlowControl::SetTxContinueOnXoff(bool Value) {
  Set(FTxContinueOnXoff, Value);
}
void TComFlowControl::SetXonChar(std::uint8_t Value) {
  Set(FXonChar, Value);
}
void TComFlowControl::SetXoffChar(std::uint8_t Value) {
  Set(FXoffChar, Value);
}

// ---- TComParity ----

void TComParity::CopyFrom(const TPersistent* Source) {
  const auto* Other = dynamic_cast<const TComParity*>(Source);
  if (!Other)
    AssignError(Source);
  FBits = Other->FBits;
  FCheck = Other->FCheck;
  FReplace = Other->FReplace;
  FReplaceChar = Other->FReplaceChar;
}

template <typename T> void TComParity::Set(T& Field, T Value) {
  if (Field == Value)
    return;
  Field = Value;
  if (FComPort)
    FComPort->ApplyLineSettings();
}

void TComParity::SetBits(TParityBits Value) {
  Set(FBits, Value);
}
void TComParity::SetCheck(bool Value) {
  Set(FCheck, Value);
}
void TComParity::SetReplace(bool Value) {
  Set(FReplace, Value);
}
void TComParity::SetReplaceChar(std::uint8_t Value) {
  Set(FReplaceChar, Value);
}

// ---- TComBuffer ----

void TComBuffer::CopyFrom(const TPersistent* Source) {
  const auto* Other = dynamic_cast<const TComBuffer*>(Source);
  if (!Other)
    AssignError(Source);
  FInputSize = Other->FInputSize;
  FOutputSize = Other->FOutputSize;
}

void TComBuffer::Set(std::int32_t& Field, std::int32_t Value) {
  if (Field == Value)
    return;
  Field = Value;
  if (Field > 0 && Field % 2 == 1)
    --Field;
  if (FComPort)
    FComPort->ApplyBufferSizes();
}

void TComBuffer::SetInputSize(std::int32_t Value) {
  Set(FInputSize, Value);
}
void TComBuffer::SetOutputSize(std::int32_t Value) {
  Set(FOutputSize, Value);
}
