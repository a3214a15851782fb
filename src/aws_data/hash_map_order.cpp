#include "aws_data/hash_map_order.hpp"

#include <algorithm>
#include <numeric>

#include "base/utf8.hpp"

namespace vorn::aws {

std::int32_t java_string_hash(std::string_view text) {
  std::uint32_t h = 0;
  const auto add_unit = [&h](std::uint32_t unit) { h = 31 * h + unit; };
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Char c = decode_utf8(text.substr(i));
    // Invalid bytes never reach here (every text is checked on the way in);
    // should one, it counts as the replacement character, one unit long.
    const std::uint32_t code_point = c.length == 0 ? 0xFFFD : c.code_point;
    if (code_point >= 0x10000) {
      add_unit(0xD800 + ((code_point - 0x10000) >> 10));
      add_unit(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    } else {
      add_unit(code_point);
    }
    i += c.length == 0 ? 1 : c.length;
  }
  return static_cast<std::int32_t>(h);
}

std::vector<std::size_t> hash_map_order(std::span<const std::string_view> names) {
  std::size_t table = 16;
  while (names.size() * 4 > table * 3) table *= 2;
  std::vector<std::size_t> buckets(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const auto h = static_cast<std::uint32_t>(java_string_hash(names[i]));
    buckets[i] = (h ^ (h >> 16)) & (table - 1);
  }
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return buckets[a] < buckets[b]; });
  return order;
}

}  // namespace vorn::aws
