#include "base/utf8.hpp"

#include <cstdint>
#include <cstring>

namespace vorn {
namespace {

// The length of the well-formed sequence at `p`, of at most `available`
// bytes, or 0. The range of the second byte rules out overlong forms,
// surrogates and code points above U+10FFFF without decoding anything, which
// keeps validation as cheap as skipping.
inline std::size_t sequence_length(const unsigned char* p, std::size_t available) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char min_second = 0x80;
  unsigned char max_second = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) min_second = 0xA0;  // overlong
    if (lead == 0xED) max_second = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) min_second = 0x90;  // overlong
    if (lead == 0xF4) max_second = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (available < length) return 0;
  if (p[1] < min_second || p[1] > max_second) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

Utf8Char decode_utf8(std::string_view text) {
  if (text.empty()) return {0, 0};
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t length = sequence_length(p, text.size());
  if (length <= 1) return {length == 1 ? p[0] : 0u, length};
  // The lead byte keeps 7 - length bits, each continuation byte 6.
  char32_t code = p[0] & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (p[i] & 0x3F);
  return {code, length};
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const unsigned char* const end = p + bytes.size();
  while (p < end) {
    // Most text is ASCII: skip it eight bytes at a time.
    if (end - p >= 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, p, sizeof chunk);
      if ((chunk & 0x8080808080808080ULL) == 0) {
        p += 8;
        continue;
      }
    }
    const std::size_t length = sequence_length(p, static_cast<std::size_t>(end - p));
    if (length == 0) return false;
    p += length;
  }
  return true;
}

}  // namespace vorn
