#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The kinds of data a registry value holds, numbered as the platform numbers
// them.
enum TRegValueKind : std::uint32_t {
  rkNone = 0,
  rkString = 1,       // REG_SZ
  rkExpandString = 2, // REG_EXPAND_SZ
  rkBinary = 3,       // REG_BINARY
  rkInteger = 4,      // REG_DWORD, little-endian
  rkQWord = 11,       // REG_QWORD
};

// An open registry key: named values of string and 32-bit integer data. Value
// names are matched without regard to case. The reading and writing rules are
// here; a platform supplies the raw value store.
//
// Failures raise Exception with the value name: "Failed to get data for '%s'"
// (an integer that is missing or whose data is longer than 4 bytes),
// "Invalid data type for '%s'" (an integer value that is not REG_DWORD, a
// text value that is neither kind of string) and "Failed to set data for
// '%s'" (the key refused the write).
class TRegistryKey {
public:
  virtual ~TRegistryKey() = default;

  virtual bool ValueExists(std::string_view Name) const = 0;

  // A missing (or empty) value reads as the empty text. The text ends at the
  // first zero byte of the data.
  std::string ReadString(std::string_view Name) const;
  std::int32_t ReadInteger(std::string_view Name) const;

  void WriteString(std::string_view Name, std::string_view Value);
  void WriteExpandString(std::string_view Name, std::string_view Value);
  void WriteInteger(std::string_view Name, std::int32_t Value);
  void WriteBinaryData(std::string_view Name, const std::vector<std::uint8_t>& Data);

protected:
  // The value's kind and data; false when there is no such value.
  virtual bool QueryValue(std::string_view Name, TRegValueKind& Kind,
                          std::vector<std::uint8_t>& Data) const = 0;
  // Stores the value, replacing one of the same name; false when refused.
  virtual bool SetValue(std::string_view Name, TRegValueKind Kind,
                        const std::vector<std::uint8_t>& Data) = 0;

private:
  void PutValue(std::string_view Name, TRegValueKind Kind, const std::vector<std::uint8_t>& Data);
};

// A key held in memory, for platforms without a registry. It can be opened
// read-only, as a key opened with read access only: then every write is
// refused.
class TMemRegistryKey : public TRegistryKey {
public:
  explicit TMemRegistryKey(bool ReadOnly = false) : FReadOnly(ReadOnly) {}

  bool ValueExists(std::string_view Name) const override;
  bool DeleteValue(std::string_view Name);
  // Names in the order they were first written.
  std::vector<std::string> ValueNames() const;
  TRegValueKind ValueKind(std::string_view Name) const; // rkNone when missing

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }

protected:
  bool QueryValue(std::string_view Name, TRegValueKind& Kind,
                  std::vector<std::uint8_t>& Data) const override;
  bool SetValue(std::string_view Name, TRegValueKind Kind,
                const std::vector<std::uint8_t>& Data) override;

private:
  struct TValue {
    std::string Name;
    TRegValueKind Kind;
    std::vector<std::uint8_t> Data;
  };
  const TValue* Find(std::string_view Name) const;

  std::vector<TValue> FValues;
  bool FReadOnly;
};

// The root keys that key paths start from.
enum class TRegRoot { rrCurrentUser, rrLocalMachine };

// The platform's own registry. On Windows these are the system's keys (under
// HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE). Elsewhere each root key is one
// settings file, $XDG_CONFIG_HOME/hxt24/HKEY_CURRENT_USER.ini (or
// HKEY_LOCAL_MACHINE.ini), with a section per key path, so that what is stored
// survives the program.
//
// Opens the key Path (names separated by "\", as "Software\HXT24\Port")
// under Root for reading and writing, creating it when missing; with ReadOnly
// only an existing key opens, and every write to it is refused. nullptr when
// the key cannot be opened.
std::unique_ptr<TRegistryKey> OpenRegistryKey(TRegRoot Root, std::string_view Path,
                                              bool ReadOnly = false);
// Removes the key with its values and subkeys; false when that failed or there
// was no such key.
bool DeleteRegistryKey(TRegRoot Root, std::string_view Path);

// Where the registry is a settings file, each store is one locked update of
// the file; a store waits this long for another program's update to end
// before it fails (5 seconds unless set). Nothing to wait for elsewhere.
void SetRegistryLockWait(std::chrono::milliseconds Wait);
