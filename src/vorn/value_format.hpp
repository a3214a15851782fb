// The VORN binary value format: one tag byte per value, little-endian
// fixed-width fields and unsigned 16-bit lengths and counts.
//
//   0x01 object   u16 body length | body: u16 count, then per entry
//                 u16 key length, key bytes, the entry's value
//   0x02 array    u16 body length | body: u16 count, then the elements
//   0x03 string   u16 byte length, UTF-8 bytes
//   0x04 integer  signed 64-bit
//   0x05 boolean  one byte (0 false, anything else true)
//   0x06 null
//   0x07 float    IEEE 754 binary64
//
// A container's body length lets a reader skip it without parsing; object
// entries are stored in ascending key-byte order with unique keys. Every
// other tag byte is invalid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vorn {

using Bytes = std::span<const std::uint8_t>;

enum class Tag : std::uint8_t {
  Object = 0x01,
  Array = 0x02,
  String = 0x03,
  Integer = 0x04,
  Boolean = 0x05,
  Null = 0x06,
  Float = 0x07,
};

inline bool is_valid_tag(std::uint8_t byte) {
  return byte >= 0x01 && byte <= 0x07;
}

// The largest string or key length, element or entry count, and container
// body length the 16-bit fields can hold.
inline constexpr std::size_t kMaxFieldValue = 0xFFFF;

// Arrays and objects nest at most this deep. Every walk over encoded bytes or
// over trees bound for them recurses per level; the cap keeps crafted input
// from exhausting the stack.
inline constexpr std::size_t kMaxNestingDepth = 1024;

// Size of a container's header (tag and body length) plus its count field.
inline constexpr std::size_t kContainerHeaderSize = 3;
inline constexpr std::size_t kContainerPrefixSize = 5;

inline std::uint16_t read_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint64_t read_u64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Size in bytes of the value that starts at bytes[0], or 0 when it cannot be
// told (empty input, invalid tag, a container header cut short). Scalars'
// sizes come from the tag alone; callers compare them with what is there.
// Inline: every walk over encoded data skips values with it.
inline std::size_t encoded_data_size(Bytes bytes) {
  if (bytes.empty()) return 0;
  switch (static_cast<Tag>(bytes[0])) {
    case Tag::Object:
    case Tag::Array:
    case Tag::String:
      if (bytes.size() < kContainerHeaderSize) return 0;
      return kContainerHeaderSize + read_u16(bytes.data() + 1);
    case Tag::Integer:
    case Tag::Float:
      return 9;
    case Tag::Boolean:
      return 2;
    case Tag::Null:
      return 1;
  }
  return 0;
}

}  // namespace vorn
