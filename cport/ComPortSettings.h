#pragma once

#include <cstdint>

#include "cport/Component.h"
#include "cport/ComPortTypes.h"

class TCustomComPort;

// The four settings objects of a port. Each holds a non-owning back link to its
// port (null until the port sets it). A setter stores a changed value and then
// has the port re-apply the matching group of settings to an open device; an
// equal value changes nothing.

class TComSettingsObject : public TPersistent {
public:
  TCustomComPort* ComPort() const { return FComPort; }
  // Only stores the link; the port's constructor calls it.
  void SetComPort(TCustomComPort* Port) { FComPort = Port; }

protected:
  TCustomComPort* FComPort = nullptr;
};

class TComTimeouts : public TComSettingsObject {
public:
  const char* ClassName() const override { return "TComTimeouts"; }
  // Copies the five values; neither the back link nor the device is touched.
  void CopyFrom(const TPersistent* Source);

  std::int32_t ReadInterval() const { return FReadInterval; }
  std::int32_t ReadTotalMultiplier() const { return FReadTotalMultiplier; }
  std::int32_t ReadTotalConstant() const { return FReadTotalConstant; }
  std::int32_t WriteTotalMultiplier() const { return FWriteTotalMultiplier; }
  std::int32_t WriteTotalConstant() const { return FWriteTotalConstant; }
  void SetReadInterval(std::int32_t Value);
  void SetReadTotalMultiplier(std::int32_t Value);
  void SetReadTotalConstant(std::int32_t Value);
  void SetWriteTotalMultiplier(std::int32_t Value);
  void SetWriteTotalConstant(std::int32_t Value);

private:
  void Set(std::int32_t& Field, std::int32_t Value);

  // -1 is handed to the device as 0xFFFFFFFF: with zero read totals a read
  // returns at once with what has arrived.
  std::int32_t FReadInterval = -1;
  std::int32_t FReadTotalMultiplier = 0;
  std::int32_t FReadTotalConstant = 0;
  std::int32_t FWriteTotalMultiplier = 100;
  std::int32_t FWriteTotalConstant = 1000;
};

class TComFlowControl : public TComSettingsObject {
public:
  const char* ClassName() const override { return "TComFlowControl"; }
  // Copies all ten stored fields.
  void CopyFrom(const TPersistent* Source);

  bool OutCTSFlow() const { return FOutCTSFlow; }
  bool OutDSRFlow() const { return FOutDSRFlow; }
  TDTRFlowControl ControlDTR() const { return FControlDTR; }
  TRTSFlowControl ControlRTS() const { return FControlRTS; }
  bool XonXoffOut() const { return FXonXoffOut; }
  bool XonXoffIn() const { return FXonXoffIn; }
  bool DSRSensitivity() const { return FDSRSensitivity; }
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  std::uint8_t XonChar() const { return FXonChar; }
  std::uint8_t XoffChar() const { return FXoffChar; }

  void SetOutCTSFlow(bool Value);
  void SetOutDSRFlow(bool Value);
  void SetControlDTR(TDTRFlowControl Value);
  void SetControlRTS(TRTSFlowControl Value);
  void SetXonXoffOut(bool Value);
  void SetXonXoffIn(bool Value);
  void SetDSRSensitivity(bool Value);
  void SetTxContinueOnXoff(bool Value);
  void SetXonChar(std::uint8_t Value);
  void SetXoffChar(std::uint8_t Value);

  // The preset the four governing fields amount to (fcCustom when none).
  TFlowControl FlowControl() const;
  // Rewrites the governing fields for the preset (fcCustom keeps them) and
  // always re-applies the line settings, with no equality test.
  void SetFlowControl(TFlowControl Value);

private:
  template <typename T> void Set(T& Field, T Value);
  void Apply();

  bool FOutCTSFlow = false;
  bool FOutDSRFlow = false;
  TDTRFlowControl FControlDTR = TDTRFlowControl::dtrDisable;
  TRTSFlowControl FControlRTS = TRTSFlowControl::rtsDisable;
  bool FXonXoffOut = false;
  bool FXonXoffIn = false;
  bool FDSRSensitivity = false;
  bool FTxContinueOnXoff = false;
  std::uint8_t FXonChar = 17;  // DC1
  std::uint8_t FXoffChar = 19; // DC3
};

class TComParity : public TComSettingsObject {
public:
  const char* ClassName() const override { return "TComParity"; }
  void CopyFrom(const TPersistent* Source);

  TParityBits Bits() const { return FBits; }
  bool Check() const { return FCheck; }
  bool Replace() const { return FReplace; }
  std::uint8_t ReplaceChar() const { return FReplaceChar; }
  void SetBits(TParityBits Value);
  void SetCheck(bool Value);
  void SetReplace(bool Value);
  void SetReplaceChar(std::uint8_t Value);

private:
  template <typename T> void Set(T& Field, T Value);

  TParityBits FBits = TParityBits::prNone;
  bool FCheck = false;
  bool FReplace = false;
  std::uint8_t FReplaceChar = 0;
};

class TComBuffer : public TComSettingsObject {
public:
  const char* ClassName() const override { return "TComBuffer"; }
  void CopyFrom(const TPersistent* Source);

  std::int32_t InputSize() const { return FInputSize; }
  std::int32_t OutputSize() const { return FOutputSize; }
  // An odd positive size is lowered by one after the equality test, so 1025
  // over a stored 1024 stores 1024 again and still re-applies.
  void SetInputSize(std::int32_t Value);
  void SetOutputSize(std::int32_t Value);

private:
  void Set(std::int32_t& Field, std::int32_t Value);

  std::int32_t FInputSize = 1024;
  std::int32_t FOutputSize = 1024;
};
