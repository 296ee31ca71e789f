// Port settings read from an arbitrary INI text, then stored and read again.
//
// For any file: loading never fails on a closed port; storing the loaded
// settings back into the same file and loading them into a fresh port gives
// the same settings; the store touches nothing outside the port's section;
// and the registry form gives the same settings too. A store is refused only
// for a port name that cannot be one line or for a UTF-16 file whose text is
// broken (read, never written), and then the file keeps every byte.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/IniFile.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "cport/CPort.h"
#include "fuzz/MemoryFiles.h"
#include "tests/cport/PortSettingsListing.h"

namespace {

const TStoredGroups AllGroups{TStoredGroup::sgLine,          TStoredGroup::sgFlowDetails,
                              TStoredGroup::sgBufferSizes,   TStoredGroup::sgTimeouts,
                              TStoredGroup::sgParityDetails, TStoredGroup::sgCharHandling};

// The file lives in memory (MemoryFiles.cpp stands in for the disk): every
// store replaces it whole, which through a real folder and its flushes was
// most of the run time.
const std::string File = "/memory/port.ini";

[[noreturn]] void Finding(const char* What, const std::string& A, const std::string& B) {
  std::fprintf(stderr, "%s\n--- first\n%s--- second\n%s", What, A.c_str(), B.c_str());
  std::abort();
}

std::string OtherSection(const TIniFile& Ini) {
  std::string Listing;
  for (const auto& Key : Ini.ReadSection("Other"))
    Listing += Key + "=" + Ini.ReadString("Other", Key, "<missing>") + "\n";
  return Listing;
}

// A file with a UTF-16 byte order mark whose units do not survive the trip
// to UTF-8 and back (a lone surrogate, an odd last byte).
bool BrokenUtf16(const std::string& Bytes) {
  const bool Little = Bytes.starts_with("\xFF\xFE");
  if (!Little && !Bytes.starts_with("\xFE\xFF"))
    return false;
  std::u16string Units;
  for (std::size_t i = 0; i + 1 < Bytes.size(); i += 2) {
    const auto A = static_cast<unsigned char>(Bytes[i]);
    const auto B = static_cast<unsigned char>(Bytes[i + 1]);
    Units.push_back(static_cast<char16_t>(Little ? A | B << 8 : B | A << 8));
  }
  const auto Back = TryUtf8ToUtf16(Utf16ToUtf8(Units));
  return Bytes.size() % 2 != 0 || !Back || *Back != Units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  MemoryFiles().clear();
  MemoryFiles()[File].assign(reinterpret_cast<const char*>(Data), Size);
  TIniFile Ini(File);
  TComPort Loaded;
  Loaded.SetName("ComPort");
  Loaded.SetStoredGroups(AllGroups);
  Loaded.LoadFromIniSection(Ini); // anything escaping here is a finding
  const std::string Settings = PortSettingsListing(Loaded);

  const std::string OtherBefore = OtherSection(Ini);
  try {
    Loaded.SaveToIniSection(Ini);
  } catch (const Exception&) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);
    if (Loaded.Port().find('\r') == std::string::npos && !BrokenUtf16(Input))
      Finding("store refused", Settings, "");
    if (MemoryFiles()[File] != Input)
      Finding("refused store changed the file", Input, MemoryFiles()[File]);
    return 0;
  }
  if (OtherSection(Ini) != OtherBefore)
    Finding("store changed another section", OtherBefore, OtherSection(Ini));

  TComPort Reloaded;
  Reloaded.SetName("ComPort");
  Reloaded.SetStoredGroups(AllGroups);
  Reloaded.LoadFromIniSection(Ini);
  if (PortSettingsListing(Reloaded) != Settings)
    Finding("INI round trip differs", Settings, PortSettingsListing(Reloaded));

  // Registry strings end at a zero byte, so such a port name cannot pass.
  if (Loaded.Port().find('\0') == std::string::npos) {
    TMemRegistryKey Key;
    Loaded.SaveToRegistryKey(Key);
    TComPort FromKey;
    FromKey.SetStoredGroups(AllGroups);
    FromKey.LoadFromRegistryKey(Key);
    if (PortSettingsListing(FromKey) != Settings)
      Finding("registry round trip differs", Settings, PortSettingsListing(FromKey));
  }
  return 0;
}
