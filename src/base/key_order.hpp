// The one order of object keys everywhere in the toolkit: unsigned bytewise
// on the common prefix, the shorter key first. The JSON tree, the binary
// value format and every walk over keys follow it.
#pragma once

#include <string_view>

namespace vorn {

// std::string_view compares through memcmp, which is unsigned and bytewise.
// Keys mostly differ in their first byte; deciding that inline saves a
// library call per comparison.
inline bool key_less(std::string_view a, std::string_view b) {
  if (!a.empty() && !b.empty() && a.front() != b.front()) {
    return static_cast<unsigned char>(a.front()) < static_cast<unsigned char>(b.front());
  }
  return a < b;
}

}  // namespace vorn
