#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The text of a settings file, read as the platform's profile functions read
// it, and edited in place:
// - Every CR, LF and CR LF ends a line. Lines are trimmed of blanks (space,
//   tab, CR, LF, VT, FF and the old end-of-file mark 0x1A); blank lines do
//   nothing.
// - A line "[name]" starts a section; the name runs to the last "]" of the
//   line (what follows it is ignored) and is trimmed. A "[" without any "]"
//   after it is no header. "[]" starts a section that nothing can reach.
// - Any other line "name=value" is a key of the section above it; the name
//   runs to the first "=", both are trimmed, and a value in matching quotes
//   (" or ') is read without them. A line without "=" is no key; keys above
//   the first header belong to no section.
// - Sections and keys are matched without regard to ASCII case. Only the
//   first section of a name counts (a second copy is not read), and in it the
//   first key of a name.
// - A key whose name starts with ";" is a comment: it is not listed, but it
//   is found when asked for by that name.
// - A UTF-8 byte order mark is skipped (and kept).
class TIniText {
public:
  explicit TIniText(std::string Text = {}) : FText(std::move(Text)) {}

  const std::string& Text() const { return FText; }

  std::optional<std::string> FindValue(std::string_view Section, std::string_view Ident) const;
  // The keys of the section in file order, duplicates included, up to a key
  // without a name (the platform's listing ends there); comments left out.
  std::vector<std::string> ReadSection(std::string_view Section) const;
  // Every section header's name in file order, duplicates included.
  std::vector<std::string> ReadSections() const;

  // Sets (Value) or removes (no Value) the key; false, and the text as it
  // was, when the write is refused. See TIniFile::WriteString.
  bool Update(std::string_view Section, std::string_view Ident,
              std::optional<std::string_view> Value);

private:
  std::string FText;
};

// A settings file with the platform's profile semantics (TIniText): a missing
// file or key is simply the default. The file is read at every call, so what
// another program wrote is seen at once. A file that starts with a UTF-16
// byte order mark is UTF-16 text (both byte orders), read and written as such;
// any other file is UTF-8.
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
  // The key names of a section (TIniText::ReadSection).
  std::vector<std::string> ReadSection(std::string_view Section) const;
  // The section names (TIniText::ReadSections).
  std::vector<std::string> ReadSections() const;

  // Sets the key's value, creating the key (and the section) when missing.
  // The key that is written is the one the readers see: in the first section
  // of that name. A value with blanks at either end, or in matching quotes,
  // is written in double quotes so that it reads back unchanged. New lines
  // end as the file's first line does (CR LF, LF or CR).
  // A name or value that would not read back as one key of one section (a
  // line break anywhere, an empty name, "=" or a leading "[" in the key) is
  // refused with the write error and the file is left alone.
  void WriteString(std::string_view Section, std::string_view Ident, std::string_view Value);
  // Written as decimal text.
  void WriteInteger(std::string_view Section, std::string_view Ident, std::int32_t Value);
  // Removes the key's line (the one the readers see); no key, no change.
  void DeleteKey(std::string_view Section, std::string_view Ident);

private:
  std::optional<TIniText> Read() const;
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

// Leading and trailing blanks as a settings file's lines lose them (TIniText).
std::string_view TrimIniBlanks(std::string_view Text);
