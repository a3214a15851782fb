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
#include <cstring>
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

// The limits, shared by the writer and the sizer so both refuse alike.
namespace value_limits {

inline EncodeResult check_text_length(EncodeError::Limit limit, std::size_t length) {
  if (length > kMaxFieldValue) return fail(EncodeError{limit, length});
  return {};
}

inline EncodeResult check_count(Tag tag, std::size_t count) {
  if (count <= kMaxFieldValue) return {};
  return fail(EncodeError{
      tag == Tag::Array ? EncodeError::Limit::ArrayCount : EncodeError::Limit::ObjectCount, count});
}

inline EncodeResult check_body(Tag tag, std::size_t body) {
  if (body <= kMaxFieldValue) return {};
  return fail(EncodeError{
      tag == Tag::Array ? EncodeError::Limit::ArrayBody : EncodeError::Limit::ObjectBody, body});
}

}  // namespace value_limits

// Where a container's header starts, for close().
struct OpenContainer {
  std::size_t header_offset;
  Tag tag;
};

class ValueWriter {
 public:
  using Container = OpenContainer;

  explicit ValueWriter(std::vector<std::uint8_t>& out) : out_(out) {}

  // Inline: converting a handler's result calls these once per value.
  void write_null() { *grow(1) = static_cast<std::uint8_t>(Tag::Null); }
  void write_bool(bool value) {
    std::uint8_t* at = grow(2);
    at[0] = static_cast<std::uint8_t>(Tag::Boolean);
    at[1] = value ? 1 : 0;
  }
  void write_integer(std::int64_t value) {
    write_tagged_u64(Tag::Integer, static_cast<std::uint64_t>(value));
  }
  void write_float(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    write_tagged_u64(Tag::Float, bits);
  }
  [[nodiscard]] EncodeResult write_string(std::string_view text) {
    VORN_TRY(value_limits::check_text_length(EncodeError::Limit::StringLength, text.size()));
    std::uint8_t* at = grow(kContainerHeaderSize + text.size());
    at[0] = static_cast<std::uint8_t>(Tag::String);
    store_u16(at + 1, text.size());
    if (!text.empty()) std::memcpy(at + kContainerHeaderSize, text.data(), text.size());
    return {};
  }

  // Checks the count against the limit before any element is written, so an
  // oversized container fails before its content is encoded.
  [[nodiscard]] Result<Container, EncodeError> open_array(std::size_t count) {
    return open(Tag::Array, count);
  }
  [[nodiscard]] Result<Container, EncodeError> open_object(std::size_t count) {
    return open(Tag::Object, count);
  }
  // An object entry's key; the entry's value follows it.
  [[nodiscard]] EncodeResult write_key(std::string_view key) {
    VORN_TRY(value_limits::check_text_length(EncodeError::Limit::KeyLength, key.size()));
    std::uint8_t* at = grow(2 + key.size());
    store_u16(at, key.size());
    if (!key.empty()) std::memcpy(at + 2, key.data(), key.size());
    return {};
  }
  [[nodiscard]] EncodeResult close(Container container) {
    const std::size_t body = out_.size() - container.header_offset - kContainerHeaderSize;
    VORN_TRY(value_limits::check_body(container.tag, body));
    store_u16(out_.data() + container.header_offset + 1, body);
    return {};
  }

  std::size_t size() const { return out_.size(); }

 private:
  Result<Container, EncodeError> open(Tag tag, std::size_t count) {
    VORN_TRY(value_limits::check_count(tag, count));
    const Container container{out_.size(), tag};
    std::uint8_t* at = grow(kContainerPrefixSize);
    at[0] = static_cast<std::uint8_t>(tag);
    store_u16(at + 1, 0);  // body length, filled in by close()
    store_u16(at + 3, count);
    return container;
  }
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
  void write_tagged_u64(Tag tag, std::uint64_t bits) {
    std::uint8_t* at = grow(9);
    at[0] = static_cast<std::uint8_t>(tag);
    for (int i = 0; i < 8; ++i) at[1 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }

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
