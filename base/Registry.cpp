#include "base/Registry.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/Format.h"
#include "base/IniFile.h"
#include "base/ResourceStrings.h"

namespace {

[[noreturn]] void RegError(const TResStringRec& Text, std::string_view Name) {
  throw Exception(Format(LoadResString(Text), {Name}));
}

// String data as the platform keeps it: the text and a closing zero byte.
std::vector<std::uint8_t> StringData(std::string_view Value) {
  std::vector<std::uint8_t> Data(Value.begin(), Value.end());
  Data.push_back(0);
  return Data;
}

} // namespace

std::string TRegistryKey::ReadString(std::string_view Name) const {
  TRegValueKind Kind = rkNone;
  std::vector<std::uint8_t> Data;
  if (!QueryValue(Name, Kind, Data) || Data.empty())
    return std::string();
  if (Kind != rkString && Kind != rkExpandString)
    RegError(SInvalidRegType, Name);
  const auto End = std::find(Data.begin(), Data.end(), std::uint8_t{0});
  return std::string(Data.begin(), End);
}

std::int32_t TRegistryKey::ReadInteger(std::string_view Name) const {
  TRegValueKind Kind = rkNone;
  std::vector<std::uint8_t> Data;
  // The data is fetched into a 4-byte buffer first, so a longer value of any
  // kind fails to be read before its kind is looked at.
  if (!QueryValue(Name, Kind, Data) || Data.size() > 4)
    RegError(SRegGetDataFailed, Name);
  if (Kind != rkInteger)
    RegError(SInvalidRegType, Name);
  std::uint32_t Bits = 0;
  for (std::size_t i = 0; i < Data.size(); ++i)
    Bits |= static_cast<std::uint32_t>(Data[i]) << (8 * i);
  return static_cast<std::int32_t>(Bits);
}

void TRegistryKey::PutValue(std::string_view Name, TRegValueKind Kind,
                            const std::vector<std::uint8_t>& Data) {
  if (!SetValue(Name, Kind, Data))
    RegError(SRegSetDataFailed, Name);
}

void TRegistryKey::WriteString(std::string_view Name, std::string_view Value) {
  PutValue(Name, rkString, StringData(Value));
}

void TRegistryKey::WriteExpandString(std::string_view Name, std::string_view Value) {
  PutValue(Name, rkExpandString, StringData(Value));
}

void TRegistryKey::WriteInteger(std::string_view Name, std::int32_t Value) {
  const auto Bits = static_cast<std::uint32_t>(Value);
  PutValue(Name, rkInteger,
           {static_cast<std::uint8_t>(Bits), static_cast<std::uint8_t>(Bits >> 8),
            static_cast<std::uint8_t>(Bits >> 16), static_cast<std::uint8_t>(Bits >> 24)});
}

void TRegistryKey::WriteBinaryData(std::string_view Name, const std::vector<std::uint8_t>& Data) {
  PutValue(Name, rkBinary, Data);
}

const TMemRegistryKey::TValue* TMemRegistryKey::Find(std::string_view Name) const {
  for (const auto& Value : FValues)
    if (SameText(Value.Name, Name))
      return &Value;
  return nullptr;
}

bool TMemRegistryKey::ValueExists(std::string_view Name) const {
  return Find(Name) != nullptr;
}

bool TMemRegistryKey::DeleteValue(std::string_view Name) {
  if (FReadOnly)
    return false;
  const auto It = std::find_if(FValues.begin(), FValues.end(),
                               [Name](const TValue& Value) { return SameText(Value.Name, Name); });
  if (It == FValues.end())
    return false;
  FValues.erase(It);
  return true;
}

std::vector<std::string> TMemRegistryKey::ValueNames() const {
  std::vector<std::string> Names;
  for (const auto& Value : FValues)
    Names.push_back(Value.Name);
  return Names;
}

TRegValueKind TMemRegistryKey::ValueKind(std::string_view Name) const {
  const TValue* Value = Find(Name);
  return Value ? Value->Kind : rkNone;
}

bool TMemRegistryKey::QueryValue(std::string_view Name, TRegValueKind& Kind,
                                 std::vector<std::uint8_t>& Data) const {
  const TValue* Value = Find(Name);
  if (!Value)
    return false;
  Kind = Value->Kind;
  Data = Value->Data;
  return true;
}

bool TMemRegistryKey::SetValue(std::string_view Name, TRegValueKind Kind,
                               const std::vector<std::uint8_t>& Data) {
  if (FReadOnly)
    return false;
  const auto It = std::find_if(FValues.begin(), FValues.end(),
                               [Name](const TValue& Value) { return SameText(Value.Name, Name); });
  if (It != FValues.end()) {
    It->Kind = Kind;
    It->Data = Data;
  } else {
    FValues.push_back({std::string(Name), Kind, Data});
  }
  return true;
}
