// Small text helpers shared by every layer: C-style integer parsing and
// printf-style formatting into std::string.
#pragma once

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace qx {

// Parses an integer the way C atoi does: leading white space, an optional
// sign, then decimal digits up to the first non-digit; 0 when there are no
// digits. Out-of-range values saturate at INT_MIN / INT_MAX instead of being
// undefined behaviour.
inline int AtoiLike(std::string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so INT_MIN is representable.
  long long value = 0;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 - (text[i] - '0');
    if (value < static_cast<long long>(INT_MIN)) {
      return negative ? INT_MIN : INT_MAX;
    }
  }
  if (negative) return static_cast<int>(value);
  return value < -static_cast<long long>(INT_MAX) ? INT_MAX : static_cast<int>(-value);
}

inline std::string FormatV(const char* fmt, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, static_cast<size_t>(needed));
  std::string out(static_cast<size_t>(needed), '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  return out;
}

// printf-style formatting into a std::string of exactly the needed length.
inline std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
inline std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string out = FormatV(fmt, args);
  va_end(args);
  return out;
}

}  // namespace qx
