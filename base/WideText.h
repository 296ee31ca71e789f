#pragma once

#include <optional>
#include <string>
#include <string_view>

// Wide text is UTF-16 in std::u16string throughout the program (QString
// converts to and from it directly); 8-bit text is UTF-8 in std::string.

// Strict UTF-8 decoding: overlong forms, surrogates, values above U+10FFFF and
// cut sequences make the whole text invalid (no value).
std::optional<std::u16string> TryUtf8ToUtf16(std::string_view Text);

// Lenient UTF-8 decoding for texts from outside (command lines, file names):
// every invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);

// Decodes the strict UTF-8 sequence at Text[i] into Code and moves i past it;
// false (i unchanged) when the sequence is invalid. i must be below Text.size().
bool DecodeUtf8Char(std::string_view Text, std::size_t& i, char32_t& Code);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);
