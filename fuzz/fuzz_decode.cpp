// Any bytes as an encoded value: the decoder and DataView never read outside
// the input, and whatever decodes encodes again to bytes that decode to the
// same value.
#include <cstddef>
#include <cstdint>
#include <span>

#include "vorn/data_view.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"

namespace {

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  (void)vorn::encoded_data_size(bytes);
  if (auto view = vorn::DataView::from(bytes)) navigate(*view, 4);

  auto decoded = vorn::decode_value(bytes);
  if (!decoded.ok()) return 0;
  auto encoded = vorn::encode_value(*decoded);
  if (!encoded.ok()) __builtin_trap();
  auto again = vorn::decode_value(*encoded);
  if (!again.ok() || !(*again == *decoded)) __builtin_trap();
  return 0;
}
