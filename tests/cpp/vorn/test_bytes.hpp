// Helpers for writing expected encodings in tests.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "json/reader.hpp"
#include "json/value.hpp"

namespace vorn::testing {

using ByteVector = std::vector<std::uint8_t>;

// "01 13 00 ..." -> bytes.
inline ByteVector hex(const std::string& text) {
  ByteVector out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<std::uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

inline json::Value parse_json(const std::string& text) {
  return json::read(text).value();
}

}  // namespace vorn::testing
