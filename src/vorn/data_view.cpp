#include "data_view.hpp"

#include "base/utf8.hpp"

namespace vorn {

namespace {

// The position just past the value at `position`, by the skip rule: size by
// tag, with at least a header's worth of bytes for strings and containers.
// Absent for an invalid tag or a header cut short.
std::optional<std::size_t> skip_value(Bytes bytes, std::size_t position) {
  const std::size_t size = encoded_data_size(bytes.subspan(position));
  if (size == 0) return std::nullopt;
  return position + size;
}

}  // namespace

std::optional<DataView> DataView::from(Bytes bytes) {
  if (bytes.empty() || !is_valid_tag(bytes[0])) return std::nullopt;
  return DataView(bytes);
}

std::optional<DataView> DataView::field(std::string_view name) const {
  if (bytes_.size() < kContainerPrefixSize || tag() != Tag::Object) return std::nullopt;
  const std::size_t count = read_u16(bytes_.data() + 3);
  std::size_t position = kContainerPrefixSize;
  for (std::size_t entry = 0; entry < count; ++entry) {
    if (position + 2 > bytes_.size()) return std::nullopt;
    const std::size_t key_length = read_u16(bytes_.data() + position);
    const std::size_t value_start = position + 2 + key_length;
    if (value_start >= bytes_.size()) return std::nullopt;
    const std::string_view key(reinterpret_cast<const char*>(bytes_.data() + position + 2),
                               key_length);
    const int order = key.compare(name);
    if (order == 0) return from(bytes_.subspan(value_start));
    if (order > 0) return std::nullopt;
    const auto next = skip_value(bytes_, value_start);
    if (!next) return std::nullopt;
    position = *next;
  }
  return std::nullopt;
}

std::optional<DataView> DataView::element(std::size_t index) const {
  if (bytes_.size() < kContainerPrefixSize || tag() != Tag::Array) return std::nullopt;
  if (index >= read_u16(bytes_.data() + 3)) return std::nullopt;
  std::size_t position = kContainerPrefixSize;
  for (std::size_t skipped = 0;; ++skipped) {
    // A corrupt length may carry the position to or past the end.
    if (position >= bytes_.size() || !is_valid_tag(bytes_[position])) return std::nullopt;
    if (skipped == index) break;
    const auto next = skip_value(bytes_, position);
    if (!next) return std::nullopt;
    position = *next;
  }
  return DataView(bytes_.subspan(position));
}

std::optional<std::int64_t> DataView::as_i64() const {
  if (bytes_.size() < 9 || tag() != Tag::Integer) return std::nullopt;
  return static_cast<std::int64_t>(read_u64(bytes_.data() + 1));
}

std::optional<std::string_view> DataView::as_str() const {
  if (bytes_.size() < kContainerHeaderSize || tag() != Tag::String) return std::nullopt;
  const std::size_t length = read_u16(bytes_.data() + 1);
  if (bytes_.size() < kContainerHeaderSize + length) return std::nullopt;
  const std::string_view text(reinterpret_cast<const char*>(bytes_.data() + kContainerHeaderSize),
                              length);
  if (!is_valid_utf8(text)) return std::nullopt;
  return text;
}

std::optional<bool> DataView::as_bool() const {
  if (bytes_.size() < 2 || tag() != Tag::Boolean) return std::nullopt;
  return bytes_[1] != 0;
}

Bytes DataView::value_bytes() const {
  const std::size_t size = encoded_data_size(bytes_);
  if (size == 0 || size > bytes_.size()) return {};
  return bytes_.first(size);
}

}  // namespace vorn
