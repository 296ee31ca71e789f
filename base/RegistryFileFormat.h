#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Registry.h"

// How the settings file that stands in for the registry writes keys and
// values (RegistryPosix.cpp): pure text functions, so that they can be
// checked on their own.

// A key path as its section name, without "\" at either end; false for a path
// that would not read back as one section name (a "]", a control character,
// blanks at either end).
bool RegistrySectionOfPath(std::string_view Path, std::string& Section);

// A value name that reads back as one key of a section: not empty, no blanks
// at either end, no "=" or control character, not starting with "[".
bool StorableRegistryName(std::string_view Name);

// The value's text in the file: "str:TEXT", "expand:TEXT", "dword:0000e100"
// (the number in hex), or "hex(KIND):BYTES" for anything else.
std::string EncodeRegistryValue(TRegValueKind Kind, const std::vector<std::uint8_t>& Data);
// The inverse; a text in none of those forms (written by hand) is a string
// value of that text.
void DecodeRegistryValue(std::string_view Text, TRegValueKind& Kind,
                         std::vector<std::uint8_t>& Data);

// Contents without the sections of the key Section and of its subkeys, every
// other byte as it was (a byte order mark, other sections, comments). False,
// with Kept the same as Contents, when there is no such section.
bool RemoveRegistryKeySections(std::string_view Contents, std::string_view Section,
                               std::string& Kept);
