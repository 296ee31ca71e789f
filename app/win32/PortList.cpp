#include "app/win32/PortList.h"

#include "cport/platform/ComDevice.h"

std::vector<std::string> MachinePortNames() {
  std::vector<std::string> Names;
  for (const TComPortInfo& Found : DefaultComDevice().ListPorts())
    Names.push_back(Found.Name);
  return Names;
}
