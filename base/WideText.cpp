#include "base/WideText.h"

#include <cstdint>

namespace {

// Decodes one UTF-8 sequence at Text[i]; returns false when it is invalid.
// On success i points past the sequence.
bool DecodeOne(std::string_view Text, std::size_t& i, char32_t& Code) {
  const auto Byte = [&](std::size_t k) { return static_cast<unsigned char>(Text[k]); };
  const unsigned char Lead = Byte(i);
  if (Lead < 0x80) {
    Code = Lead;
    ++i;
    return true;
  }
  std::size_t Length;
  char32_t Min;
  if ((Lead & 0xE0) == 0xC0) {
    Length = 2, Code = Lead & 0x1F, Min = 0x80;
  } else if ((Lead & 0xF0) == 0xE0) {
    Length = 3, Code = Lead & 0x0F, Min = 0x800;
  } else if ((Lead & 0xF8) == 0xF0) {
    Length = 4, Code = Lead & 0x07, Min = 0x10000;
  } else {
    return false;
  }
  if (Text.size() - i < Length)
    return false;
  for (std::size_t k = 1; k < Length; ++k) {
    const unsigned char Next = Byte(i + k);
    if ((Next & 0xC0) != 0x80)
      return false;
    Code = (Code << 6) | (Next & 0x3F);
  }
  if (Code < Min || Code > 0x10FFFF || (Code >= 0xD800 && Code <= 0xDFFF))
    return false;
  i += Length;
  return true;
}

void AppendUtf16(std::u16string& Out, char32_t Code) {
  if (Code < 0x10000) {
    Out += static_cast<char16_t>(Code);
  } else {
    Code -= 0x10000;
    Out += static_cast<char16_t>(0xD800 + (Code >> 10));
    Out += static_cast<char16_t>(0xDC00 + (Code & 0x3FF));
  }
}

} // namespace

bool DecodeUtf8Char(std::string_view Text, std::size_t& i, char32_t& Code) {
  return DecodeOne(Text, i, Code);
}

std::optional<std::u16string> TryUtf8ToUtf16(std::string_view Text) {
  // Never more UTF-16 units than bytes: decode into a buffer of that size.
  std::u16string Result(Text.size(), u'\0');
  char16_t* Out = Result.data();
  std::size_t i = 0;
  while (i < Text.size()) {
    // Runs of ASCII are the common case in catalogs.
    const unsigned char C = static_cast<unsigned char>(Text[i]);
    if (C < 0x80) {
      *Out++ = C;
      ++i;
      continue;
    }
    char32_t Code;
    if (!DecodeOne(Text, i, Code))
      return std::nullopt;
    if (Code < 0x10000) {
      *Out++ = static_cast<char16_t>(Code);
    } else {
      Code -= 0x10000;
      *Out++ = static_cast<char16_t>(0xD800 + (Code >> 10));
      *Out++ = static_cast<char16_t>(0xDC00 + (Code & 0x3FF));
    }
  }
  Result.resize(static_cast<std::size_t>(Out - Result.data()));
  return Result;
}

std::u16string Utf8ToUtf16(std::string_view Text) {
  std::u16string Result;
  Result.reserve(Text.size());
  std::size_t i = 0;
  while (i < Text.size()) {
    char32_t Code;
    if (DecodeOne(Text, i, Code)) {
      AppendUtf16(Result, Code);
    } else {
      Result += u'\uFFFD';
      ++i;
    }
  }
  return Result;
}

std::string Utf16ToUtf8(std::u16string_view Text) {
  // At most three bytes per UTF-16 unit (a surrogate pair gives four for two).
  std::string Result(Text.size() * 3, '\0');
  char* Out = Result.data();
  for (std::size_t i = 0; i < Text.size(); ++i) {
    char32_t Code = Text[i];
    if (Code < 0x80) {
      *Out++ = static_cast<char>(Code);
      continue;
    }
    if (Code >= 0xD800 && Code <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
        Text[i + 1] <= 0xDFFF) {
      Code = 0x10000 + ((Code - 0xD800) << 10) + (Text[i + 1] - 0xDC00);
      ++i;
    } else if (Code >= 0xD800 && Code <= 0xDFFF) {
      Code = 0xFFFD;
    }
    if (Code < 0x800) {
      *Out++ = static_cast<char>(0xC0 | (Code >> 6));
    } else if (Code < 0x10000) {
      *Out++ = static_cast<char>(0xE0 | (Code >> 12));
      *Out++ = static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    } else {
      *Out++ = static_cast<char>(0xF0 | (Code >> 18));
      *Out++ = static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
      *Out++ = static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    }
    *Out++ = static_cast<char>(0x80 | (Code & 0x3F));
  }
  Result.resize(static_cast<std::size_t>(Out - Result.data()));
  return Result;
}
