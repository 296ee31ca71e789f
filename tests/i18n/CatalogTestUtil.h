#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Environment.h"
#include "tests/TestUtil.h"

// Catalogs for the tests are always built by msgfmt from .po text written
// here; only the deliberately damaged files are patched afterwards.

struct TPoEntry {
  std::string Source;
  std::string Translation;
};

inline std::string PoQuote(const std::string& Text) {
  std::string Out = "\"";
  for (const char C : Text) {
    switch (C) {
    case '\\':
      Out += "\\\\";
      break;
    case '"':
      Out += "\\\"";
      break;
    case '\n':
      Out += "\\n";
      break;
    case '\t':
      Out += "\\t";
      break;
    default:
      Out += C;
    }
  }
  return Out + "\"";
}

// A .po text with a UTF-8 header (unless Charset is empty) and the entries.
inline std::string PoText(const std::vector<TPoEntry>& Entries,
                          const std::string& Charset = "UTF-8") {
  std::string Po;
  if (!Charset.empty())
    Po += "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=" + Charset +
          "\\nContent-Transfer-Encoding: 8bit\\n\"\n\n";
  for (const TPoEntry& Entry : Entries)
    Po += "msgid " + PoQuote(Entry.Source) + "\nmsgstr " + PoQuote(Entry.Translation) + "\n\n";
  return Po;
}

// Writes the .po beside MoPath and compiles it with msgfmt (Options such as
// "--endianness=big" or "--no-hash").
inline void BuildCatalog(const std::string& MoPath, const std::string& Po,
                         const std::string& Options = "") {
  std::filesystem::create_directories(std::filesystem::path(MoPath).parent_path());
  const std::string PoPath = MoPath + ".po";
  WriteTextFile(PoPath, Po);
  const std::string Command = "msgfmt " + Options + " -o '" + MoPath + "' '" + PoPath + "'";
  if (std::system(Command.c_str()) != 0 || !std::filesystem::exists(MoPath))
    throw std::runtime_error("msgfmt failed: " + Command);
}

inline void BuildCatalog(const std::string& MoPath, const std::vector<TPoEntry>& Entries,
                         const std::string& Options = "") {
  BuildCatalog(MoPath, PoText(Entries), Options);
}

// Overwrites the 32-bit word at Offset of a catalog file (little-endian).
inline void PatchWord(const std::string& Path, std::uint64_t Offset, std::uint32_t Value) {
  std::fstream File(Path, std::ios::in | std::ios::out | std::ios::binary);
  File.seekp(static_cast<std::streamoff>(Offset));
  const unsigned char Bytes[4] = {
      static_cast<unsigned char>(Value), static_cast<unsigned char>(Value >> 8),
      static_cast<unsigned char>(Value >> 16), static_cast<unsigned char>(Value >> 24)};
  File.write(reinterpret_cast<const char*>(Bytes), 4);
}

inline std::uint32_t ReadWord(const std::string& Path, std::uint64_t Offset) {
  const std::string Bytes = ReadTextFile(Path);
  std::uint32_t Value = 0;
  for (int i = 3; i >= 0; --i)
    Value = (Value << 8) | static_cast<unsigned char>(Bytes.at(Offset + i));
  return Value;
}

// Sets an environment variable for the life of the object.
class TEnvVar {
public:
  TEnvVar(const char* Name, const char* Value) : FName(Name) {
    if (const char* Old = std::getenv(Name))
      FOld = Old;
    if (Value)
      SetEnvironmentValue(Name, Value);
    else
      RemoveEnvironmentValue(Name);
  }
  ~TEnvVar() {
    if (FOld)
      SetEnvironmentValue(FName, *FOld);
    else
      RemoveEnvironmentValue(FName);
  }
  TEnvVar(const TEnvVar&) = delete;
  TEnvVar& operator=(const TEnvVar&) = delete;

private:
  std::string FName;
  std::optional<std::string> FOld;
};
