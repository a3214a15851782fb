// Strict UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF),
// for text that arrives as raw bytes rather than through the reader.
#pragma once

#include <cstddef>
#include <string_view>

namespace vorn {

// One character of UTF-8 text: its code point and the bytes that encode it.
struct Utf8Char {
  char32_t code_point;
  // 0 when the bytes are not a well-formed sequence.
  std::size_t length;
};

// The character `text` starts with. A length of 0 means the bytes there are
// not UTF-8: a bad lead or continuation byte, a sequence cut short (or no
// bytes at all), an overlong form, a surrogate or a code point above
// U+10FFFF.
Utf8Char decode_utf8(std::string_view text);

bool is_valid_utf8(std::string_view bytes);

}  // namespace vorn
