// Any bytes as an encoded value: the decoder and DataView never read outside
// the input, whatever decodes encodes again to bytes that decode to the same
// value, and on those canonical bytes DataView finds exactly what the decoder
// found.
#include <cstddef>
#include <cstdint>
#include <span>

#include "vorn/data_view.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"
#include "fuzz_input.hpp"

namespace {

using vorn::json::Value;

using vorn_fuzz::check;

// Walks a view the way evaluation does: a few keys, a few indices, scalars.
void navigate(const vorn::DataView& view, int depth) {
  (void)view.as_i64();
  (void)view.as_str();
  (void)view.as_bool();
  (void)view.value_bytes();
  if (depth == 0) return;
  for (const char* key : {"", "a", "b", "k", "zz"}) {
    if (auto child = view.field(key)) navigate(*child, depth - 1);
  }
  for (std::size_t index : {0u, 1u, 7u}) {
    if (auto child = view.element(index)) navigate(*child, depth - 1);
  }
}

// `view` holds the canonical encoding of `value`.
void agree(const vorn::DataView& view, const Value& value, int depth) {
  const auto own = vorn::decode_value(view.value_bytes());
  check(own.ok() && *own == value);
  const auto integer = view.as_i64();
  check(integer.has_value() == value.is_integer());
  if (value.is_int()) check(*integer == value.as_int());
  if (value.is_uint()) check(static_cast<std::uint64_t>(*integer) == value.as_uint());
  const auto text = view.as_str();
  check(text.has_value() == value.is_string());
  if (text) check(*text == value.as_string());
  const auto flag = view.as_bool();
  check(flag.has_value() == value.is_bool());
  if (flag) check(*flag == value.as_bool());
  if (depth == 0) return;
  if (value.is_array()) {
    const auto& elements = value.as_array();
    for (std::size_t i = 0; i < elements.size(); ++i) {
      const auto child = view.element(i);
      check(child.has_value());
      agree(*child, elements[i], depth - 1);
    }
    check(!view.element(elements.size()).has_value());
  } else if (value.is_object()) {
    for (const auto& member : value.as_object()) {
      const auto child = view.field(member.key);
      check(child.has_value());
      agree(*child, member.value, depth - 1);
    }
  } else {
    check(!view.field("").has_value() && !view.element(0).has_value());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  (void)vorn::encoded_data_size(bytes);
  if (auto view = vorn::DataView::from(bytes)) navigate(*view, 4);

  auto decoded = vorn::decode_value(bytes);
  if (!decoded.ok()) return 0;
  auto encoded = vorn::encode_value(*decoded);
  check(encoded.ok());
  auto again = vorn::decode_value(*encoded);
  check(again.ok() && *again == *decoded);
  const auto canonical = vorn::DataView::from(*encoded);
  check(canonical.has_value());
  agree(*canonical, *decoded, 6);
  return 0;
}
