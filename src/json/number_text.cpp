#include "number_text.hpp"

#include <charconv>
#include <cstdint>
#include <system_error>

namespace vorn::json {

namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Whether a literal that does not fit binary64 is tiny (rather than huge): the
// power of ten of its leading non-zero digit is negative. A literal with no
// non-zero digit is zero whatever its exponent ("0e400"), so it counts as tiny.
bool is_tiny(std::string_view text) {
  std::size_t i = text.front() == '-' ? 1 : 0;
  long leading = 0;  // power of ten of the first non-zero digit, before the exponent
  bool found = false;
  long integer_digits = 0;
  for (; i < text.size() && is_digit(text[i]); ++i, ++integer_digits) {
    if (!found && text[i] != '0') {
      found = true;
      leading = -integer_digits;  // fixed up below once the count is known
    }
  }
  if (found) leading += integer_digits - 1;
  if (i < text.size() && text[i] == '.') {
    long position = 0;
    for (++i; i < text.size() && is_digit(text[i]); ++i) {
      --position;
      if (!found && text[i] != '0') {
        found = true;
        leading = position;
      }
    }
  }
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    for (; i < text.size() && is_digit(text[i]); ++i) {
      if (exponent < 100000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return !found || leading + exponent < 0;
}

}  // namespace

std::optional<Value> number_value(std::string_view text) {
  const char* const begin = text.data();
  const char* const end = text.data() + text.size();
  const bool negative = text.front() == '-';
  if (text.find_first_of(".eE") == std::string_view::npos) {
    if (negative) {
      std::int64_t integer = 0;
      // "-0" reads as 0, which Value holds as the non-negative integer zero.
      if (std::from_chars(begin, end, integer).ec == std::errc()) return Value(integer);
    } else {
      std::uint64_t integer = 0;
      if (std::from_chars(begin, end, integer).ec == std::errc()) return Value(integer);
    }
    // Beyond both 64-bit ranges: a float, like any other such literal.
  }
  double number = 0;
  const auto [stop, error] = std::from_chars(begin, end, number);
  if (error == std::errc()) return Value(number);
  if (is_tiny(text)) return Value(negative ? -0.0 : 0.0);
  return std::nullopt;
}

}  // namespace vorn::json
