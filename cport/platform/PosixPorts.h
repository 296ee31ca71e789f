#pragma once

#include <string>
#include <vector>

#include "cport/platform/ComDevice.h"

// The serial ports of this machine, from the kernel's tty class in sysfs:
// - a port of the serial core (ttyS*, and others with a "type" entry) only when
//   its UART type is known (not 0): the driver registers placeholders for
//   ports that may not exist; a ttyS without the entry is asked with
//   TIOCGSERIAL;
// - a USB adapter under its stable name in DevRoot/serial/by-id when it has
//   one, described by the USB device's maker, product and serial number;
// - other ttys with a device behind them (ttyACM*, ttyAMA*, ...).
// Virtual terminals, the console device and pseudo-terminals have no device
// behind them and are never listed. Serial-core ports come first in number
// order, then the others by name. An entry that cannot be read is skipped.
std::vector<TComPortInfo> DiscoverPosixPorts(const std::string& SysRoot = "/sys",
                                             const std::string& DevRoot = "/dev");
