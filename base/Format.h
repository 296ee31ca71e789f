#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

// One argument of Format: an integer for %d or a text for %s.
class TVarRec {
public:
  TVarRec(int Value) : FValue(static_cast<std::int64_t>(Value)) {}
  TVarRec(long Value) : FValue(static_cast<std::int64_t>(Value)) {}
  TVarRec(long long Value) : FValue(static_cast<std::int64_t>(Value)) {}
  TVarRec(unsigned Value) : FValue(static_cast<std::int64_t>(Value)) {}
  TVarRec(const char* Value) : FValue(std::string(Value ? Value : "")) {}
  TVarRec(std::string Value) : FValue(std::move(Value)) {}
  TVarRec(std::string_view Value) : FValue(std::string(Value)) {}

  const std::variant<std::int64_t, std::string>& Value() const { return FValue; }

private:
  std::variant<std::int64_t, std::string> FValue;
};

// Substitutes %d (integer), %s (text) and %% in Fmt. The format text may come
// from a translation catalog, so it is never trusted: a directive that does not
// match its argument, an unknown directive or a missing argument raises an
// Exception naming the format instead of reading anything it should not.
// Surplus arguments are ignored.
std::string Format(std::string_view Fmt, std::initializer_list<TVarRec> Args);
