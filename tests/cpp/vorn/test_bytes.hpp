// Helpers for writing expected encodings in tests.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "json/reader.hpp"
#include "json/value.hpp"
#include "vorn/encode.hpp"

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

// `levels` arrays nested one in the other around `inner`, written by hand
// since the writer stops at the format's nesting limit.
inline ByteVector nested_arrays(std::size_t levels, ByteVector inner = {0x06}) {
  for (std::size_t i = 0; i < levels; ++i) {
    const std::size_t body = 2 + inner.size();
    ByteVector outer = {0x02, static_cast<std::uint8_t>(body), static_cast<std::uint8_t>(body >> 8),
                        0x01, 0x00};
    outer.insert(outer.end(), inner.begin(), inner.end());
    inner = std::move(outer);
  }
  return inner;
}

inline json::Value parse_json(const std::string& text) {
  return json::read(text).value();
}

// The encoding of a JSON text. One the encoder refuses fails the test that
// asked and comes back empty, rather than ending the whole run.
inline ByteVector encoded(const std::string& json_text) {
  auto bytes = encode_value(parse_json(json_text));
  EXPECT_TRUE(bytes.ok()) << json_text.substr(0, 40);
  return bytes.ok() ? std::move(bytes).value() : ByteVector{};
}

}  // namespace vorn::testing
