#pragma once

#include <cstdint>
#include <string>

#include "base/Exception.h"
#include "tools/dump/DumpOptions.h"

class TComPort;

// The name of the port object, and so of its section in a settings file.
extern const char* const DumpPortName;

// The --settings file cannot be read (missing, a folder, no permission).
class ESettingsInput : public Exception {
public:
  using Exception::Exception;
};

// Gives the port the scope's line settings (57600 bit/s, 8 data bits, no
// parity, one stop bit, RTS on, DTR off, no flow control, 1024-byte input
// queue), then loads every settings group from --settings and stores every
// group into --save-settings. Raises ESettingsInput when the settings file
// cannot be read, and the INI file's error when the other cannot be written.
void ApplyDumpPortSettings(TComPort& Port, const TDumpOptions& Options);

// Stores every settings group of Port into the file's section as one
// replacement of the file: on any failure the file stays as it was.
void SaveSettingsWhole(TComPort& Port, const std::string& FileName);
inline constexpr std::uint64_t MaxSettingsFileSize = 1 << 20;

// "Port=COM1 BaudRate=57600 ..." for the line settings, in their text forms.
std::string DescribeLineSettings(const TComPort& Port);
