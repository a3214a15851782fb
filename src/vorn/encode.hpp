// Encoding a JSON value tree in the binary value format.
#pragma once

#include <cstdint>
#include <vector>

#include "base/result.hpp"
#include "json/value.hpp"
#include "value_writer.hpp"

namespace vorn {

// Integers keep tag 0x04 when they fit a signed 64-bit integer; larger
// unsigned ones become the nearest float. Object entries are written in key
// order (the tree keeps them sorted). Fails only when the value exceeds a
// limit of the format.
Result<std::vector<std::uint8_t>, EncodeError> encode_value(const json::Value& value);

// Appends the encoding of `value` to the writer's output.
EncodeResult write_value(ValueWriter& writer, const json::Value& value);

// The size encode_value() would produce, or the same error, without writing.
Result<std::size_t, EncodeError> measure_value(const json::Value& value);

}  // namespace vorn
