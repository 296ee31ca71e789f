// Port discovery over sysfs trees made in a temporary folder, with the serial
// information of ports without a "type" entry answered by a fake driver.
#include "cport/platform/PosixPorts.h"

#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <string>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include "cport/platform/PosixSystem.h"
#include "tests/TestUtil.h"

void PrintTo(const TComPortInfo& Port, std::ostream* Out) {
  *Out << Port.Name << " \"" << Port.Description << "\"";
}

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& Path, const std::string& Text) {
  fs::create_directories(Path.parent_path());
  std::ofstream Out(Path);
  Out << Text;
  ASSERT_TRUE(Out.flush()) << Path;
}

void Link(const fs::path& Target, const fs::path& Link) {
  fs::create_directories(Link.parent_path());
  fs::create_symlink(Target, Link);
}

// ttyS4 answers TIOCGSERIAL with a 16550A, ttyS5 with no UART; others do not
// open.
int FakeOpen(const char* Path, int) {
  const std::string Name = fs::path(Path).filename().string();
  return Name == "ttyS4" ? 1004 : Name == "ttyS5" ? 1005 : (errno = ENOENT, -1);
}
int FakeIoctl(int Descriptor, unsigned long Request, void* Argument) {
  if (Request != TIOCGSERIAL || (Descriptor != 1004 && Descriptor != 1005))
    return errno = ENOTTY, -1;
  static_cast<serial_struct*>(Argument)->type = Descriptor == 1004 ? PORT_16550A : PORT_UNKNOWN;
  return 0;
}
int FakeClose(int) {
  return 0;
}

} // namespace

TEST(PortDiscovery, RealPortsAndAdaptersListedPlaceholdersAndVirtualTtysNot) {
  TTempDir Dir;
  const fs::path Sys = Dir.Path() / "sys";
  const fs::path Dev = Dir.Path() / "dev";
  const fs::path Class = Sys / "class" / "tty";
  const fs::path Platform = Sys / "devices" / "platform" / "serial8250";
  fs::create_directories(Platform);
  // Serial-core ports: a real UART (the console), placeholders, an odd type.
  for (const auto& [Name, Type] : {std::pair{"ttyS0", "4\n"},
                                   {"ttyS1", "0\n"},
                                   {"ttyS10", "4\n"},
                                   {"ttyS2", "x\n"},
                                   {"ttyS3", ""}}) {
    Write(Class / Name / "type", Type);
    Link(Platform, Class / Name / "device");
  }
  Write(Class / "ttyS0" / "console", "Y\n");
  // Ports without the entry: asked through the driver.
  for (const char* Name : {"ttyS4", "ttyS5", "ttyS6"})
    Link(Platform, Class / Name / "device");
  // A USB adapter: the tty's device is a port below the interface below the
  // USB device, which carries the descriptions; udev gave it a stable name.
  const fs::path Usb = Sys / "devices" / "pci0000:00" / "usb1" / "1-2";
  Write(Usb / "idVendor", "0403\n");
  Write(Usb / "idProduct", "6001\n");
  Write(Usb / "manufacturer", "FTDI\n");
  Write(Usb / "product", "FT232R USB UART\n");
  Write(Usb / "serial", "A10KZ3QX\n");
  fs::create_directories(Usb / "1-2:1.0" / "ttyUSB0");
  Link(fs::path("../../../devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0"),
       Class / "ttyUSB0" / "device");
  Link(fs::path("../../ttyUSB0"), Dev / "serial" / "by-id" / "usb-FTDI_FT232R_A10KZ3QX-if00-port0");
  // A modem on the interface itself, with ids only and no stable name.
  const fs::path Modem = Sys / "devices" / "pci0000:00" / "usb1" / "1-3";
  Write(Modem / "idVendor", "2341\n");
  Write(Modem / "idProduct", "0043\n");
  fs::create_directories(Modem / "1-3:1.0");
  Link(Modem / "1-3:1.0", Class / "ttyACM0" / "device");
  // Virtual terminals, the console device, a device link to nowhere.
  fs::create_directories(Class / "tty0");
  fs::create_directories(Class / "console");
  fs::create_directories(Class / "ptmx");
  Link(Sys / "devices" / "gone", Class / "ttyUSB1" / "device");

  PosixSystem().Open = FakeOpen;
  PosixSystem().Ioctl = FakeIoctl;
  PosixSystem().Close = FakeClose;
  const std::vector<TComPortInfo> Ports = DiscoverPosixPorts(Sys.string(), Dev.string());
  PosixSystem() = RealPosixSystem();

  const std::vector<TComPortInfo> Expected = {
      {(Dev / "ttyS0").string(), "Serial port (16550A), system console"},
      {(Dev / "ttyS4").string(), "Serial port (16550A)"},
      {(Dev / "ttyS10").string(), "Serial port (16550A)"},
      {(Dev / "ttyACM0").string(), "USB 2341:0043"},
      {(Dev / "serial" / "by-id" / "usb-FTDI_FT232R_A10KZ3QX-if00-port0").string(),
       "FTDI FT232R USB UART (A10KZ3QX)"},
  };
  EXPECT_EQ(Ports, Expected);
  // No tree at all: nothing, and no failure.
  EXPECT_TRUE(DiscoverPosixPorts((Dir.Path() / "none").string(), Dev.string()).empty());
}
