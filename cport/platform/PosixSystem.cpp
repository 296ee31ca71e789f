#include "cport/platform/PosixSystem.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int SystemIoctl(int Descriptor, unsigned long Request, void* Argument) {
  return ioctl(Descriptor, Request, Argument);
}

int SystemDrain(int Descriptor) {
  return tcdrain(Descriptor);
}

int SystemOpen(const char* Path, int Flags) {
  return open(Path, Flags);
}

int SystemClose(int Descriptor) {
  return close(Descriptor);
}

constexpr TPosixSystem Real{SystemIoctl, SystemDrain, SystemOpen, SystemClose};
TPosixSystem InUse = Real;

} // namespace

TPosixSystem& PosixSystem() {
  return InUse;
}

const TPosixSystem& RealPosixSystem() {
  return Real;
}
