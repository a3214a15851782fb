// Writing value paths in tests: "a.b[2]" for Field a, Field b, Index 2.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vorn/ir/path.hpp"

namespace vorn::testing {

// The segments of `text` ("" is the empty path). Field names view into
// `text`, which must outlive them: pass a literal.
inline std::vector<ir::PathSegment> segments(std::string_view text) {
  std::vector<ir::PathSegment> out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '.') ++i;
    if (text[i] == '[') {
      const std::size_t close = text.find(']', i);
      out.push_back(ir::Index{static_cast<std::uint16_t>(
          std::stoul(std::string(text.substr(i + 1, close - i - 1))))});
      i = close + 1;
      continue;
    }
    const std::size_t end = text.find_first_of(".[", i);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    out.push_back(ir::Field{text.substr(i, stop - i)});
    i = stop;
  }
  return out;
}

}  // namespace vorn::testing
