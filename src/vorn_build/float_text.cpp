#include "float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace vorn::build {

std::string shortest_float_text(float value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";

  // Fixed notation from to_chars prints the exact binary value of large
  // floats (3.4e38 would give 339999995214436424907732413799364296704), so
  // take the shortest digits from the scientific form and place the point.
  char buffer[32];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));

  std::string out;
  if (text.front() == '-') {
    out.push_back('-');
    text.remove_prefix(1);
  }
  const std::size_t e_pos = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e_pos)) {
    if (c != '.') digits.push_back(c);
  }
  const int exponent = std::atoi(std::string(text.substr(e_pos + 1)).c_str());

  // The value is 0.d1d2d3... times 10^(exponent + 1): the point goes after
  // `integer_digits` digits.
  const int integer_digits = exponent + 1;
  const int digit_count = static_cast<int>(digits.size());
  if (integer_digits <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-integer_digits), '0');
    out += digits;
  } else if (integer_digits >= digit_count) {
    out += digits;
    out.append(static_cast<std::size_t>(integer_digits - digit_count), '0');
  } else {
    out += digits.substr(0, static_cast<std::size_t>(integer_digits));
    out.push_back('.');
    out += digits.substr(static_cast<std::size_t>(integer_digits));
  }
  return out;
}

}  // namespace vorn::build
