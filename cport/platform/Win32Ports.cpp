#include "cport/platform/Win32Ports.h"

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cstddef>

#include "base/Win32Text.h"

namespace {

// GUID_DEVINTERFACE_COMPORT and GUID_DEVCLASS_PORTS (the "Ports (COM & LPT)"
// class of Device Manager), spelled out: the headers define them only for
// one translation unit of a program.
const GUID ComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID PortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string Upper(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

// "COM10" -> 10; anything else sorts after every COM port.
unsigned long ComNumber(const std::string& Name) {
  if (Name.size() < 4 || Upper(Name.substr(0, 3)) != "COM")
    return ~0ul;
  unsigned long Value = 0;
  for (std::size_t i = 3; i < Name.size(); ++i) {
    if (Name[i] < '0' || Name[i] > '9' || Value > 100000)
      return ~0ul;
    Value = Value * 10 + static_cast<unsigned long>(Name[i] - '0');
  }
  return Value;
}

void SortPorts(std::vector<TComPortInfo>& Ports) {
  std::stable_sort(Ports.begin(), Ports.end(), [](const TComPortInfo& A, const TComPortInfo& B) {
    const unsigned long NumberA = ComNumber(A.Name), NumberB = ComNumber(B.Name);
    return NumberA != NumberB ? NumberA < NumberB : A.Name < B.Name;
  });
}

// A string value of a registry key, empty when it is missing or not a string.
std::string StringValue(HKEY Key, const wchar_t* Name) {
  wchar_t Data[256] = {};
  DWORD Type = 0, Size = sizeof Data - sizeof(wchar_t);
  if (RegQueryValueExW(Key, Name, nullptr, &Type, reinterpret_cast<BYTE*>(Data), &Size) !=
          ERROR_SUCCESS ||
      Type != REG_SZ)
    return {};
  std::size_t Length = Size / sizeof(wchar_t);
  while (Length > 0 && Data[Length - 1] == 0)
    --Length;
  return FromWide(std::wstring_view(Data, Length));
}

std::string DeviceProperty(HDEVINFO Set, SP_DEVINFO_DATA& Device, DWORD Property) {
  wchar_t Data[512] = {};
  DWORD Type = 0;
  if (!SetupDiGetDeviceRegistryPropertyW(Set, &Device, Property, &Type,
                                         reinterpret_cast<BYTE*>(Data),
                                         sizeof Data - sizeof(wchar_t), nullptr) ||
      Type != REG_SZ)
    return {};
  return FromWide(Data);
}

// The present devices of one class or interface that name a COM port (their
// "PortName"); printer ports of the Ports class are left out.
void AddDevices(const GUID& Guid, DWORD Flags, std::vector<TComPortInfo>& Ports) {
  HDEVINFO Set = SetupDiGetClassDevsW(&Guid, nullptr, nullptr, DIGCF_PRESENT | Flags);
  if (Set == INVALID_HANDLE_VALUE)
    return;
  SP_DEVINFO_DATA Device{};
  Device.cbSize = sizeof Device;
  for (DWORD Index = 0; SetupDiEnumDeviceInfo(Set, Index, &Device); ++Index) {
    HKEY Key = SetupDiOpenDevRegKey(Set, &Device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (Key == INVALID_HANDLE_VALUE)
      continue;
    const std::string Name = StringValue(Key, L"PortName");
    RegCloseKey(Key);
    if (Name.empty() || Upper(Name).rfind("LPT", 0) == 0)
      continue;
    std::string Description = DeviceProperty(Set, Device, SPDRP_FRIENDLYNAME);
    if (Description.empty())
      Description = DeviceProperty(Set, Device, SPDRP_DEVICEDESC);
    Ports.push_back({Name, Description});
  }
  SetupDiDestroyDeviceInfoList(Set);
}

std::vector<std::pair<std::string, std::string>> DeviceMapEntries() {
  std::vector<std::pair<std::string, std::string>> Entries;
  HKEY Key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &Key) !=
      ERROR_SUCCESS)
    return Entries;
  for (DWORD Index = 0;; ++Index) {
    wchar_t Name[256];
    wchar_t Data[256] = {};
    DWORD NameLength = 256, DataSize = sizeof Data - sizeof(wchar_t), Type = 0;
    const LSTATUS Status = RegEnumValueW(Key, Index, Name, &NameLength, nullptr, &Type,
                                         reinterpret_cast<BYTE*>(Data), &DataSize);
    if (Status == ERROR_NO_MORE_ITEMS)
      break;
    if (Status != ERROR_SUCCESS || Type != REG_SZ)
      continue; // too long to be a port name, or not one
    std::size_t DataLength = DataSize / sizeof(wchar_t);
    while (DataLength > 0 && Data[DataLength - 1] == 0)
      --DataLength;
    Entries.emplace_back(FromWide(std::wstring_view(Name, NameLength)),
                         FromWide(std::wstring_view(Data, DataLength)));
  }
  RegCloseKey(Key);
  return Entries;
}

} // namespace

std::vector<TComPortInfo>
PortsFromDeviceMap(const std::vector<std::pair<std::string, std::string>>& Entries) {
  std::vector<TComPortInfo> Ports;
  for (const auto& [Device, Name] : Entries) {
    if (Name.empty())
      continue;
    std::string Description = Device;
    if (Description.rfind("\\Device\\", 0) == 0)
      Description.erase(0, 8);
    Ports.push_back({Name, Description});
  }
  SortPorts(Ports);
  return Ports;
}

std::vector<TComPortInfo> MergePortLists(const std::vector<TComPortInfo>& Devices,
                                         const std::vector<TComPortInfo>& Map) {
  std::vector<TComPortInfo> Ports;
  auto Add = [&Ports](const TComPortInfo& Port) {
    const std::string Name = Upper(Port.Name);
    const auto Same = [&Name](const TComPortInfo& Known) { return Upper(Known.Name) == Name; };
    if (Port.Name.empty() || std::any_of(Ports.begin(), Ports.end(), Same))
      return;
    Ports.push_back(Port);
  };
  for (const TComPortInfo& Port : Devices)
    Add(Port);
  for (const TComPortInfo& Port : Map)
    Add(Port);
  SortPorts(Ports);
  return Ports;
}

std::vector<TComPortInfo> ListWin32Ports() {
  std::vector<TComPortInfo> Devices;
  AddDevices(PortsClass, 0, Devices);
  AddDevices(ComPortInterface, DIGCF_DEVICEINTERFACE, Devices);
  return MergePortLists(Devices, PortsFromDeviceMap(DeviceMapEntries()));
}
