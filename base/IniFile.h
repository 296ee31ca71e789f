#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A settings file with the profile semantics of the desktop platform: sections
// and keys are matched without regard to case, names and values are trimmed,
// and a missing file or key is simply the default. The file is read at every
// call, so what another program wrote is seen at once.
//
// Writes go through to the file at once. Only the one line that holds the key
// changes (or one line is added, with the section header when the section is
// new); every other byte of the file - other sections, keys, comments, blank
// lines, line endings - stays as it was. The new contents are written to a
// temporary file beside the old one and renamed over it, so a failed write
// leaves the old file whole. A failure raises "Unable to write to %s" with the
// file name.
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
  // The key names of a section in file order, each once (the first spelling).
  std::vector<std::string> ReadSection(std::string_view Section) const;
  // The section names in file order, each once (the first spelling).
  std::vector<std::string> ReadSections() const;

  // Sets the key's value, creating the key (and the section) when missing.
  // A value with blanks at either end, or in matching quotes, is written in
  // double quotes so that it reads back unchanged.
  // A name or value that would not read back as one key of one section (a
  // line break anywhere, "=" or a leading "[" in the key, "]" in the section)
  // is refused with the write error and the file is left alone.
  void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value);
  // Written as decimal text.
  void WriteInteger(std::string_view Section, std::string_view Ident, std::int32_t Value);
  // Removes the key's line (the one the readers see); no key, no change.
  void DeleteKey(std::string_view Section, std::string_view Ident);

private:
  std::optional<std::string> FindValue(std::string_view Section, std::string_view Ident) const;
  void Update(std::string_view Section, std::string_view Ident,
              std::optional<std::string_view> Value);
  [[noreturn]] void WriteError() const;

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
