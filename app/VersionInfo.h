#pragma once

#include <string>

// The executable's version strings. The build stamps them into the program
// (a generated source that registers them before main); an executable built
// without them has none, and every lookup gives "".
struct TVersionString {
  const char* Key;
  const char* Value;
};

// Registers one string table. Translation is the language and code page of
// the table as eight hex digits, e.g. "040904E4" (US English, Windows Latin 1).
void RegisterVersionStrings(const char* Translation, const TVersionString* Strings, int Count);

// Forgets every registered table (for tests).
void ClearVersionStrings();

// The value named Key in the US English / Latin 1 table ("040904E4"), or ""
// when there is no such table or no such value.
std::string GetVersionValue(const std::string& Key);
