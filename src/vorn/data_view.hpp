// DataView: a borrowed, read-only view of encoded bytes that navigates them in
// place, without decoding and without allocating.
//
// A view starts at a valid tag byte and runs to the end of the enclosing
// buffer (not to the end of its own value: encoded_data_size() tells that).
// It stays valid as long as the buffer does. Every operation checks bounds and
// answers "absent" for malformed, truncated or mismatched input; none reads
// outside the view.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "value_format.hpp"
#include "value_store.hpp"

namespace vorn {

class DataView {
 public:
  // A view of all of `bytes`; absent when empty or not starting with a tag.
  static std::optional<DataView> from(Bytes bytes) {
    if (bytes.empty() || !is_valid_tag(bytes[0])) return std::nullopt;
    return DataView(bytes);
  }

  // The value under `name` of an object. Keys are sorted, so the scan stops
  // at the first greater key.
  std::optional<DataView> field(std::string_view name) const;
  // The element at `index` of an array.
  std::optional<DataView> element(std::size_t index) const;

  // Scalars of the matching tag; a float is never read as an integer.
  std::optional<std::int64_t> as_i64() const;
  std::optional<std::string_view> as_str() const;  // absent unless valid UTF-8
  std::optional<bool> as_bool() const;

  Tag tag() const { return static_cast<Tag>(bytes_[0]); }
  // From the first byte of the value to the end of the enclosing buffer.
  Bytes bytes() const { return bytes_; }
  // The bytes of this value alone; empty when its size cannot be told or
  // runs past the buffer.
  Bytes value_bytes() const {
    const std::size_t size = encoded_data_size(bytes_);
    if (size == 0 || size > bytes_.size()) return {};
    return bytes_.first(size);
  }

 private:
  explicit DataView(Bytes bytes) : bytes_(bytes) {}
  Bytes bytes_;
};

// Lookups sit on every path a state applies, so they are inline.

namespace data_view_detail {

// The order of a stored key against `name`: negative, zero or positive, as
// unsigned bytes on the common prefix and then the shorter first. Keys are
// short and mostly differ early, so a byte loop beats a call to memcmp.
inline int compare_key(const std::uint8_t* key, std::size_t key_length, std::string_view name) {
  const auto* wanted = reinterpret_cast<const std::uint8_t*>(name.data());
  const std::size_t common = key_length < name.size() ? key_length : name.size();
  for (std::size_t i = 0; i < common; ++i) {
    if (key[i] != wanted[i]) return key[i] < wanted[i] ? -1 : 1;
  }
  if (key_length == name.size()) return 0;
  return key_length < name.size() ? -1 : 1;
}

}  // namespace data_view_detail

inline std::optional<DataView> DataView::field(std::string_view name) const {
  if (bytes_.size() < kContainerPrefixSize || tag() != Tag::Object) return std::nullopt;
  const std::uint8_t* const data = bytes_.data();
  const std::size_t available = bytes_.size();
  const std::size_t count = read_u16(data + 3);
  std::size_t position = kContainerPrefixSize;
  for (std::size_t entry = 0; entry < count; ++entry) {
    if (position + 2 > available) return std::nullopt;
    const std::size_t key_length = read_u16(data + position);
    const std::size_t value_start = position + 2 + key_length;
    if (value_start >= available) return std::nullopt;
    const int order = data_view_detail::compare_key(data + position + 2, key_length, name);
    if (order == 0) return from(bytes_.subspan(value_start));
    if (order > 0) return std::nullopt;
    // Skip the value: an invalid tag or a header cut short ends the walk.
    const std::size_t size = encoded_data_size(bytes_.subspan(value_start));
    if (size == 0) return std::nullopt;
    position = value_start + size;
  }
  return std::nullopt;
}

inline std::optional<DataView> DataView::element(std::size_t index) const {
  if (bytes_.size() < kContainerPrefixSize || tag() != Tag::Array) return std::nullopt;
  if (index >= read_u16(bytes_.data() + 3)) return std::nullopt;
  std::size_t position = kContainerPrefixSize;
  for (std::size_t skipped = 0;; ++skipped) {
    // A corrupt length may carry the position to or past the end.
    if (position >= bytes_.size() || !is_valid_tag(bytes_[position])) return std::nullopt;
    if (skipped == index) break;
    const std::size_t size = encoded_data_size(bytes_.subspan(position));
    if (size == 0) return std::nullopt;
    position += size;
  }
  return DataView(bytes_.subspan(position));
}

static_assert(ValueStore<DataView>);

}  // namespace vorn
