#include "base/utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vorn {
namespace {

using namespace std::string_view_literals;

// Written out by hand so the decoder is checked against an encoder that
// shares none of its code.
std::string encode(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

TEST(DecodeUtf8, EveryScalarValueRoundTrips) {
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::string bytes = encode(c);
    // Whatever follows the first character is not read.
    const Utf8Char decoded = decode_utf8(bytes + "\xff");
    ASSERT_EQ(decoded.length, bytes.size()) << std::hex << static_cast<unsigned>(c);
    ASSERT_EQ(decoded.code_point, c) << std::hex << static_cast<unsigned>(c);
    ASSERT_TRUE(is_valid_utf8(bytes)) << std::hex << static_cast<unsigned>(c);
  }
}

TEST(DecodeUtf8, MalformedSequences) {
  const std::string_view malformed[] = {
      "\x80",              // continuation byte without a lead
      "\xbf",              //
      "\xc0\x80",          // overlong NUL
      "\xc1\xbf",          // overlong U+007F
      "\xe0\x9f\xbf",      // overlong U+07FF
      "\xf0\x8f\xbf\xbf",  // overlong U+FFFF
      "\xed\xa0\x80",      // U+D800
      "\xed\xbf\xbf",      // U+DFFF
      "\xf4\x90\x80\x80",  // U+110000
      "\xf5\x80\x80\x80",  // lead byte past U+10FFFF
      "\xff",              //
      "\xe2\x82",          // cut short
      "\xf0\x9f\x98",      //
      "\xe2\x28\xa1",      // second byte not a continuation
      "\xf0\x9f\x98\x28",  // last byte not a continuation
  };
  for (std::string_view bytes : malformed) {
    EXPECT_EQ(decode_utf8(bytes).length, 0u) << testing::PrintToString(std::string(bytes));
    EXPECT_FALSE(is_valid_utf8(bytes)) << testing::PrintToString(std::string(bytes));
    // The same bytes behind a run of ASCII long enough to be skipped a word
    // at a time.
    EXPECT_FALSE(is_valid_utf8(std::string(13, 'a') + std::string(bytes)))
        << testing::PrintToString(std::string(bytes));
  }
  // No bytes are no character, yet valid text.
  EXPECT_EQ(decode_utf8("").length, 0u);
  EXPECT_TRUE(is_valid_utf8(""));
}

TEST(IsValidUtf8, MixedText) {
  EXPECT_TRUE(is_valid_utf8("plain ascii, longer than a word"));
  EXPECT_TRUE(is_valid_utf8("é€😀 and then more ascii text é"));
  EXPECT_FALSE(is_valid_utf8("é€😀 and then more ascii text \xe9"));
  EXPECT_TRUE(is_valid_utf8("nul \0 is fine"sv));
  EXPECT_FALSE(is_valid_utf8("nul \0 is fine, \xc0\x80 is not"sv));
}

}  // namespace
}  // namespace vorn
