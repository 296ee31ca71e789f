#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A settings file with the profile semantics of the desktop platform: sections
// and keys are matched without regard to case, names and values are trimmed,
// and a missing file or key is simply the default. The file is read at every
// call, so what another program wrote is seen at once.
class TIniFile {
public:
  explicit TIniFile(std::string FileName);

  const std::string& FileName() const { return FFileName; }

  std::string ReadString(std::string_view Section, std::string_view Ident,
                         std::string_view Default) const;
  // Decimal, "$" hex or "0x"/"0X" hex; anything else (or a value beyond 32
  // bits) gives Default.
  std::int32_t ReadInteger(std::string_view Section, std::string_view Ident,
                           std::int32_t Default) const;
  bool ValueExists(std::string_view Section, std::string_view Ident) const;

private:
  std::optional<std::string> FindValue(std::string_view Section, std::string_view Ident) const;

  std::string FFileName;
};

// The runtime's integer conversion: optional sign, then decimal digits, "$"
// hex or "0x" hex. Hex values wrap to 32 bits as the platform does
// ($FFFFFFFF is -1); decimal values outside the 32-bit range fail.
std::optional<std::int32_t> TryStrToInt(std::string_view Text);

// Case-insensitive ASCII comparison, as the profile functions use for names.
bool SameText(std::string_view A, std::string_view B);

// Leading and trailing blanks and control characters removed.
std::string_view TrimText(std::string_view Text);
