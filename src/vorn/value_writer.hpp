// ValueWriter appends encoded values to a byte vector. Containers are written
// in place: open_*() reserves the header, close() fills in the body length and
// count once the body is there, so no value is ever built in a scratch buffer
// and copied.
//
// The format's 16-bit fields bound strings, keys, counts and bodies; the
// writer refuses to exceed them (EncodeError) rather than write a length that
// disagrees with the bytes behind it. After an error the output holds a
// partial value and must be discarded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"
#include "value_format.hpp"

namespace vorn {

struct EncodeError {
  enum class Limit {
    StringLength,  // found: bytes
    KeyLength,     // found: bytes
    ArrayCount,    // found: elements
    ObjectCount,   // found: entries
    ArrayBody,     // found: bytes
    ObjectBody,    // found: bytes
    Depth,         // found: levels
  };
  Limit limit;
  std::size_t found;
};

// "string of 70000 bytes exceeds the limit of 65535 bytes" and the like.
std::string to_string(const EncodeError& error);

using EncodeResult = Result<void, EncodeError>;

// Where a container's header starts, for close().
struct OpenContainer {
  std::size_t header_offset;
  Tag tag;
};

class ValueWriter {
 public:
  using Container = OpenContainer;

  explicit ValueWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  void write_null();
  void write_bool(bool value);
  void write_integer(std::int64_t value);
  void write_float(double value);
  [[nodiscard]] EncodeResult write_string(std::string_view text);

  // Checks the count against the limit before any element is written, so an
  // oversized container fails before its content is encoded.
  [[nodiscard]] Result<Container, EncodeError> open_array(std::size_t count);
  [[nodiscard]] Result<Container, EncodeError> open_object(std::size_t count);
  // An object entry's key; the entry's value follows it.
  [[nodiscard]] EncodeResult write_key(std::string_view key);
  [[nodiscard]] EncodeResult close(Container container);

  std::size_t size() const { return out_.size(); }

 private:
  Result<Container, EncodeError> open(Tag tag, std::size_t count);
  // Extends the output by `count` bytes and returns where they start.
  std::uint8_t* grow(std::size_t count) {
    const std::size_t old_size = out_.size();
    out_.resize(old_size + count);
    return out_.data() + old_size;
  }
  static void store_u16(std::uint8_t* at, std::size_t value) {
    at[0] = static_cast<std::uint8_t>(value & 0xFF);
    at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  }
  void write_tagged_u64(Tag tag, std::uint64_t bits);

  std::vector<std::uint8_t>& out_;
};

// ValueSizer takes the same calls as ValueWriter and refuses the same values,
// but only counts the bytes an encoding would take.
class ValueSizer {
 public:
  using Container = OpenContainer;

  void write_null() { size_ += 1; }
  void write_bool(bool) { size_ += 2; }
  void write_integer(std::int64_t) { size_ += 9; }
  void write_float(double) { size_ += 9; }
  [[nodiscard]] EncodeResult write_string(std::string_view text);
  [[nodiscard]] Result<Container, EncodeError> open_array(std::size_t count);
  [[nodiscard]] Result<Container, EncodeError> open_object(std::size_t count);
  [[nodiscard]] EncodeResult write_key(std::string_view key);
  [[nodiscard]] EncodeResult close(Container container);

  std::size_t size() const { return size_; }

 private:
  Result<Container, EncodeError> open(Tag tag, std::size_t count);
  std::size_t size_ = 0;
};

}  // namespace vorn
