#include "cport/platform/ComDevice.h"

#include <atomic>

namespace {
std::atomic<TComDevice*> DefaultDevice{nullptr};
} // namespace

TComDevice& DefaultComDevice() {
  TComDevice* Device = DefaultDevice.load();
  return Device ? *Device : PlatformComDevice();
}

void SetDefaultComDevice(TComDevice* Device) {
  DefaultDevice.store(Device);
}

std::vector<TComPortInfo> TComDevice::ListPorts() {
  return {};
}
