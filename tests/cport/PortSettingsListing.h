#pragma once

#include <string>

#include "cport/CPort.h"

// Every stored setting of a port, one "Name=value" line each (enumerations
// and characters by number), so that two ports compare as one text and a
// difference shows which setting it is.
inline std::string PortSettingsListing(const TCustomComPort& Port) {
  std::string L;
  auto Add = [&L](const char* Name, long long Value) {
    L += Name;
    L += '=';
    L += std::to_string(Value);
    L += '\n';
  };
  L += "Port=" + Port.Port() + "\n";
  Add("BaudRate", static_cast<int>(Port.BaudRate()));
  Add("CustomBaudRate", Port.CustomBaudRate());
  Add("StopBits", static_cast<int>(Port.StopBits()));
  Add("DataBits", static_cast<int>(Port.DataBits()));
  Add("DiscardNull", Port.DiscardNull());
  Add("EventChar", Port.EventChar());
  const auto& P = Port.Parity();
  Add("Parity.Bits", static_cast<int>(P.Bits()));
  Add("Parity.Check", P.Check());
  Add("Parity.Replace", P.Replace());
  Add("Parity.ReplaceChar", P.ReplaceChar());
  const auto& B = Port.Buffer();
  Add("Buffer.InputSize", B.InputSize());
  Add("Buffer.OutputSize", B.OutputSize());
  const auto& T = Port.Timeouts();
  Add("Timeouts.ReadInterval", T.ReadInterval());
  Add("Timeouts.ReadTotalMultiplier", T.ReadTotalMultiplier());
  Add("Timeouts.ReadTotalConstant", T.ReadTotalConstant());
  Add("Timeouts.WriteTotalMultiplier", T.WriteTotalMultiplier());
  Add("Timeouts.WriteTotalConstant", T.WriteTotalConstant());
  const auto& F = Port.FlowControl();
  Add("FlowControl.OutCTSFlow", F.OutCTSFlow());
  Add("FlowControl.OutDSRFlow", F.OutDSRFlow());
  Add("FlowControl.ControlDTR", static_cast<int>(F.ControlDTR()));
  Add("FlowControl.ControlRTS", static_cast<int>(F.ControlRTS()));
  Add("FlowControl.XonXoffOut", F.XonXoffOut());
  Add("FlowControl.XonXoffIn", F.XonXoffIn());
  Add("FlowControl.DSRSensitivity", F.DSRSensitivity());
  Add("FlowControl.TxContinueOnXoff", F.TxContinueOnXoff());
  Add("FlowControl.XonChar", F.XonChar());
  Add("FlowControl.XoffChar", F.XoffChar());
  return L;
}
