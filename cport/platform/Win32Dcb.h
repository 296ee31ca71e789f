#pragma once

#include <windows.h>

#include "cport/platform/ComDevice.h"

// The device-control record as the system's DCB and back. The two have the
// same 28-byte layout (checked where they are converted); the flags word is a
// row of bit-fields in the system's record, so each flag is moved by name.
DCB SystemDcb(const TDeviceControlBlock& Record);
TDeviceControlBlock PortDcb(const DCB& System);

COMMTIMEOUTS SystemTimeouts(const TCommTimeouts& Record);
