#include "cport/platform/PosixPorts.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include "cport/platform/PosixSystem.h"

namespace fs = std::filesystem;

namespace {

// The first line of a small sysfs file, without its line end; empty when
// missing or unreadable.
std::string ReadEntry(const fs::path& Path) {
  std::ifstream In(Path);
  std::string Line;
  if (In)
    std::getline(In, Line);
  while (!Line.empty() && std::isspace(static_cast<unsigned char>(Line.back())))
    Line.pop_back();
  return Line;
}

// A decimal number, or -1 when Text is none.
long Number(const std::string& Text) {
  if (Text.empty() || Text.size() > 9 ||
      !std::all_of(Text.begin(), Text.end(), [](char C) { return C >= '0' && C <= '9'; }))
    return -1;
  return std::stol(Text);
}

// The UART type the serial driver found at the port; 0 when it found none
// (a placeholder), -1 when it cannot say.
long UartType(const fs::path& TtyDir, const std::string& Device) {
  std::error_code Error;
  if (fs::exists(TtyDir / "type", Error))
    return Number(ReadEntry(TtyDir / "type"));
  const TPosixSystem& System = PosixSystem();
  const int Descriptor = System.Open(Device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (Descriptor < 0)
    return -1;
  serial_struct Info{};
  const bool Known = System.Ioctl(Descriptor, TIOCGSERIAL, &Info) == 0;
  System.Close(Descriptor);
  return Known ? Info.type : -1;
}

std::string UartName(long Type) {
  switch (Type) {
  case PORT_8250:
    return "8250";
  case PORT_16450:
    return "16450";
  case PORT_16550:
    return "16550";
  case PORT_16550A:
    return "16550A";
  default:
    return "type " + std::to_string(Type);
  }
}

// The USB device a tty belongs to: the nearest folder above its device with a
// vendor id (the tty's device is the interface, or a port below it).
fs::path UsbDeviceOf(const fs::path& Device) {
  fs::path Dir = Device;
  for (int Up = 0; Up < 4 && Dir.has_relative_path(); ++Up, Dir = Dir.parent_path()) {
    std::error_code Error;
    if (fs::exists(Dir / "idVendor", Error))
      return Dir;
  }
  return {};
}

std::string UsbDescription(const fs::path& Usb) {
  std::string Text;
  for (const char* Entry : {"manufacturer", "product"}) {
    const std::string Value = ReadEntry(Usb / Entry);
    if (!Value.empty())
      Text += (Text.empty() ? "" : " ") + Value;
  }
  if (Text.empty())
    Text = "USB " + ReadEntry(Usb / "idVendor") + ":" + ReadEntry(Usb / "idProduct");
  const std::string Serial = ReadEntry(Usb / "serial");
  if (!Serial.empty())
    Text += " (" + Serial + ")";
  return Text;
}

// The stable name udev made for the tty in DevRoot/serial/by-id, if any.
std::string StableName(const fs::path& DevRoot, const std::string& Name) {
  std::error_code Error;
  const fs::path ById = DevRoot / "serial" / "by-id";
  std::vector<std::string> Found;
  for (fs::directory_iterator It(ById, Error), End; !Error && It != End; It.increment(Error)) {
    std::error_code LinkError;
    const fs::path Target = fs::read_symlink(It->path(), LinkError);
    if (!LinkError && Target.filename() == Name)
      Found.push_back(It->path().string());
  }
  std::sort(Found.begin(), Found.end());
  return Found.empty() ? std::string() : Found.front();
}

struct TFound {
  bool SerialCore;
  long Number; // of a ttyS, for the order
  std::string Name;
  TComPortInfo Info;
};

} // namespace

std::vector<TComPortInfo> DiscoverPosixPorts(const std::string& SysRoot,
                                             const std::string& DevRoot) {
  std::vector<TFound> Found;
  const fs::path Class = fs::path(SysRoot) / "class" / "tty";
  std::error_code Error;
  for (fs::directory_iterator It(Class, Error), End; !Error && It != End; It.increment(Error)) {
    const std::string Name = It->path().filename().string();
    const fs::path TtyDir = It->path();
    // Only a tty with a device behind it is a port.
    std::error_code DeviceError;
    const fs::path Device = fs::canonical(TtyDir / "device", DeviceError);
    if (DeviceError)
      continue;
    const std::string Path = (fs::path(DevRoot) / Name).string();
    const bool IsTtyS = Name.compare(0, 4, "ttyS") == 0 && Number(Name.substr(4)) >= 0;
    std::error_code TypeError;
    if (IsTtyS || fs::exists(TtyDir / "type", TypeError)) {
      const long Type = UartType(TtyDir, Path);
      if (Type <= 0)
        continue; // a placeholder, or a port nobody can say anything about
      std::string Description = "Serial port (" + UartName(Type) + ")";
      if (ReadEntry(TtyDir / "console") == "Y")
        Description += ", system console";
      Found.push_back({true, IsTtyS ? Number(Name.substr(4)) : 0, Name, {Path, Description}});
      continue;
    }
    TComPortInfo Info{Path, ""};
    if (const fs::path Usb = UsbDeviceOf(Device); !Usb.empty()) {
      Info.Description = UsbDescription(Usb);
      if (std::string Stable = StableName(DevRoot, Name); !Stable.empty())
        Info.Name = std::move(Stable);
    }
    Found.push_back({false, 0, Name, std::move(Info)});
  }
  std::sort(Found.begin(), Found.end(), [](const TFound& A, const TFound& B) {
    if (A.SerialCore != B.SerialCore)
      return A.SerialCore;
    if (A.Number != B.Number)
      return A.Number < B.Number;
    return A.Name < B.Name;
  });
  std::vector<TComPortInfo> Ports;
  for (TFound& F : Found)
    Ports.push_back(std::move(F.Info));
  return Ports;
}
