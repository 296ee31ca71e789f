#pragma once

#include <string>
#include <vector>

// The names of the serial ports this machine has, in the device layer's
// order (its own source: the device layer's header and windows.h clash).
std::vector<std::string> MachinePortNames();
