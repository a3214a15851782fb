#include "vorn_build/value_path.hpp"

#include <gtest/gtest.h>

namespace vorn::build {
namespace {

// Segments as text: a.b[2] -> "a|b|[2]".
std::string segments_of(std::string_view path) {
  std::string out;
  for (const LoweredPathSegment& segment : parse_value_path(path).segments) {
    if (!out.empty()) out += "|";
    if (const auto* field = std::get_if<LoweredField>(&segment)) {
      out += field->name;
    } else {
      out += "[";
      out += std::to_string(std::get<LoweredIndex>(segment).index);
      out += "]";
    }
  }
  return out;
}

TEST(ParseValuePath, FieldsAndIndices) {
  struct Case {
    const char* path;
    const char* segments;
  };
  const Case cases[] = {
      {"$", ""},
      {"$.a", "a"},
      {"$.a.b[2][0]", "a|b|[2]|[0]"},
      {"$.[1]", "[1]"},
      {"$.a[x]", "a"},
      {"$.", ""},  // one empty field, shown as nothing
      {"$.a..b", "a||b"},
      {"$.a[+5]", "a|[5]"},
      {"$.a[007]", "a|[7]"},
      {"$.a[65535]", "a|[65535]"},
      {"$.a[65536]", "a"},
      {"$.a[-1]", "a"},
      {"$.a[]", "a"},
      {"$.a[+]", "a"},
      {"$.a[++1]", "a"},
      {"$.a[ 1]", "a"},
      {"$.a[1", "a"},  // an unclosed '[' ends the piece
      {"$.a[1][2", "a|[1]"},
      {"$.a[0]x[1]", "a|[0]|[1]"},   // text between ']' and '[' is skipped
      {"$.a[0]]x[1]", "a|[0]|[1]"},  // and so is a stray ']'
      {"$.a[0]tail", "a|[0]"},
      {"$.a[1.5]", "a|5]"},  // split at every '.', brackets or not
      {"$.é.ü", "é|ü"},
  };
  for (const Case& c : cases) EXPECT_EQ(segments_of(c.path), c.segments) << c.path;
  // "$." gives one empty field, not the whole value.
  EXPECT_EQ(parse_value_path("$.").segments, (std::vector<LoweredPathSegment>{LoweredField{""}}));
  EXPECT_TRUE(parse_value_path("$").segments.empty());
}

}  // namespace
}  // namespace vorn::build
