#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cport/platform/ComDevice.h"

// The serial ports of a Windows machine, for port lists.

// The ports of the system's serial device map (each driver's device name and
// the port name it took); the description is the driver's device name without
// "\Device\". Entries without a port name are left out.
std::vector<TComPortInfo>
PortsFromDeviceMap(const std::vector<std::pair<std::string, std::string>>& Entries);

// One list from the devices the system knows (their names as Device Manager
// shows them, "USB Serial Port (COM3)") and the serial device map: every port
// once (names compared without case), a device's description before the map's,
// ordered by COM number, then by name ("COM2" before "COM10", others last).
std::vector<TComPortInfo> MergePortLists(const std::vector<TComPortInfo>& Devices,
                                         const std::vector<TComPortInfo>& Map);

// The machine's ports: the present devices of the Ports class and of the COM
// port interface (SetupAPI), with the serial device map
// (HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM) for ports no device
// names; merged as MergePortLists says.
std::vector<TComPortInfo> ListWin32Ports();
