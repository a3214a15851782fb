#include "vorn/path_ops.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "test_bytes.hpp"
#include "test_paths.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"

namespace vorn {
namespace {

using testing::ByteVector;
using testing::encoded;
using testing::hex;
using testing::segments;

// The JSON text of a string of `count` copies of `c`.
std::string json_string(std::size_t count, char c) {
  std::string text(1, '"');
  text.append(count, c);
  text += '"';
  return text;
}

ByteVector concat(ByteVector a, const ByteVector& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::optional<ByteVector> place(const ByteVector& data, std::string_view path,
                                const ByteVector& value) {
  const auto path_segments = segments(path);
  return place_at_path(data, ir::ValuePath{path_segments}, value);
}

std::optional<ByteVector> extract(const ByteVector& data, std::string_view path) {
  const auto path_segments = segments(path);
  return extract_path(data, ir::ValuePath{path_segments});
}

TEST(ExtractPath, CopiesExactlyTheNamedValue) {
  struct Case {
    ByteVector data;
    const char* path;
    std::optional<ByteVector> expected;
  };
  const ByteVector object = encoded(R"({"a":1,"b":{"c":[true,"x",null]},"d":2.5})");
  const Case cases[] = {
      {object, "a", hex("04 01 00 00 00 00 00 00 00")},
      {object, "b.c[1]", hex("03 01 00 78")},
      {object, "b.c[2]", hex("06")},
      {object, "b", encoded(R"({"c":[true,"x",null]})")},
      {object, "d", encoded("2.5")},
      // The root alone, without the bytes that follow it.
      {concat(object, hex("06 06")), "", object},
      {encoded("7"), "", encoded("7")},
      // Paths that do not resolve.
      {object, "b.c[3]", std::nullopt},
      {encoded("[1,2]"), "[2]", std::nullopt},
      {encoded("[1,2]"), "a", std::nullopt},
      {object, "[0]", std::nullopt},
      {object, "a.x", std::nullopt},
      {object, "z", std::nullopt},
      {ByteVector{}, "", std::nullopt},
      {hex("00 06"), "", std::nullopt},
      // Cut short: the value named is not all there.
      {hex("03 05 00 61 62"), "", std::nullopt},
      {hex("04 01 00"), "", std::nullopt},
      {hex("01 0a 00 01 00 01 00 61 03 09 00 41"), "a", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extract(c.data, c.path), c.expected) << "path " << c.path;
  }
}

TEST(PlaceAtPath, RewritesOnlyThePathAndKeepsKeysInOrder) {
  struct Case {
    const char* data;
    const char* path;
    const char* value;
    const char* expected;  // null: absent
  };
  const Case cases[] = {
      // The empty path replaces the whole value, whatever it was.
      {"5", "", R"({"k":1})", R"({"k":1})"},
      {R"({"a":1})", "", "null", "null"},
      // An existing key takes the value; a missing one is added in key order.
      {R"({"a":1,"b":2})", "a", "true", R"({"a":true,"b":2})"},
      {R"({"a":1,"c":3})", "b", R"("x")", R"({"a":1,"b":"x","c":3})"},
      {R"({"b":1,"c":3})", "a", "0", R"({"a":0,"b":1,"c":3})"},
      {R"({"a":1,"b":2})", "ba", "0", R"({"a":1,"b":2,"ba":0})"},
      {"{}", "a", "[]", R"({"a":[]})"},
      // Nested containers on the path are rebuilt, siblings kept.
      {R"({"x":{},"y":[1]})", "x.y", "1", R"({"x":{"y":1},"y":[1]})"},
      {R"({"a":[{"k":1},{"k":2},{"k":3}],"z":0})", "a[1].k", "9",
       R"({"a":[{"k":1},{"k":9},{"k":3}],"z":0})"},
      {"[1,2,3]", "[1]", R"({"n":null})", R"([1,{"n":null},3])"},
      {"[[0,[1,2]]]", "[0][1][0]", R"("deep")", R"([[0,["deep",2]]])"},
      // No intermediate objects, no array growth, no walking into scalars.
      {R"({"a":1})", "x.y", "1", nullptr},
      {"[]", "[0]", "1", nullptr},
      {"[1,2,3]", "[3]", "1", nullptr},
      {R"({"a":5})", "a.b", "1", nullptr},
      {"[1]", "a", "1", nullptr},
      {R"({"a":1})", "[0]", "1", nullptr},
      {R"("text")", "a", "1", nullptr},
  };
  for (const Case& c : cases) {
    const auto placed = place(encoded(c.data), c.path, encoded(c.value));
    if (c.expected == nullptr) {
      EXPECT_FALSE(placed.has_value()) << c.data << " at " << c.path;
    } else {
      EXPECT_EQ(placed, encoded(c.expected)) << c.data << " at " << c.path;
    }
  }
}

TEST(PlaceAtPath, EdgesOfTheInput) {
  const ByteVector value = encoded("1");
  // Bytes after the root are dropped; so is slack after the counted entries.
  EXPECT_EQ(place(concat(encoded(R"({"a":0})"), hex("06 06")), "a", value), encoded(R"({"a":1})"));
  EXPECT_EQ(place(hex("01 08 00 00 00 06 06 06 06 06"), "a", value), encoded(R"({"a":1})"));
  // Empty data: only the empty path gives a result.
  EXPECT_EQ(place(ByteVector{}, "", value), value);
  EXPECT_FALSE(place(ByteVector{}, "a", value).has_value());
  // An empty key is a key like any other.
  const ir::PathSegment empty_key[] = {ir::Field{""}};
  EXPECT_EQ(place_at_path(encoded(R"({"a":1})"), {empty_key}, value),
            encoded(R"({"":1,"a":1})"));
}

TEST(PlaceAtPath, StoredOrderIsKeptOrSortedLikeAStableSort) {
  // Out of order ("b" before "a"): a replacement keeps the stored order, an
  // added key sorts every entry.
  const ByteVector unordered = hex("01 0a 00 02 00 01 00 62 06 01 00 61 06");
  EXPECT_EQ(place(unordered, "a", hex("05 01")), hex("01 0b 00 02 00 01 00 62 06 01 00 61 05 01"));
  EXPECT_EQ(place(unordered, "c", hex("05 01")), encoded(R"({"a":null,"b":null,"c":true})"));
  EXPECT_EQ(place(unordered, "ab", hex("05 01")), encoded(R"({"a":null,"ab":true,"b":null})"));
  // A repeated key: every entry under the name is replaced.
  const ByteVector repeated = hex("01 0a 00 02 00 01 00 61 06 01 00 61 06");
  EXPECT_EQ(place(repeated, "a", hex("05 00")),
            hex("01 0c 00 02 00 01 00 61 05 00 01 00 61 05 00"));
}

// Placement writes most levels from what its measuring walk noted, and walks
// the members again where that does not describe them: paths deeper than the
// note holds, repeated keys, keys stored out of order. Both kinds of level,
// in every order, must give the same bytes.
TEST(PlaceAtPath, NotedAndWalkedLevelsMixOnOnePath) {
  struct Case {
    ByteVector data;
    const char* path;
    ByteVector expected;
  };
  // {"a": {"k": {}, "k": {}}}: a repeated key under a single one.
  const ByteVector repeated =
      hex("01 1a 00 01 00 01 00 61"
          "   01 12 00 02 00 01 00 6b 01 02 00 00 00 01 00 6b 01 02 00 00 00");
  // {"a": [0, {"b": null, "a": null}]}: keys out of order two levels down.
  const ByteVector unordered =
      hex("01 20 00 01 00 01 00 61"
          "   02 18 00 02 00 04 00 00 00 00 00 00 00 00"
          "      01 0a 00 02 00 01 00 62 06 01 00 61 06");
  const Case cases[] = {
      // Twelve levels: beyond what is noted, down to an added key.
      {encoded(R"({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{"i":{"j":{"k":{"l":1,"n":2}}}}}}}}}}},"z":0})"),
       "a.b.c.d.e.f.g.h.i.j.k.m",
       encoded(R"({"a":{"b":{"c":{"d":{"e":{"f":{"g":{"h":{"i":{"j":{"k":{"l":1,"m":true,"n":2}}}}}}}}}}},"z":0})")},
      {encoded("[[[[[[[[[[0,[1,2]]]]]]]]]]]"), "[0][0][0][0][0][0][0][0][0][1][1]",
       encoded("[[[[[[[[[[0,[1,true]]]]]]]]]]]")},
      // Both repeated entries take the new key, below a walked level.
      {repeated, "a.k.x",
       hex("01 24 00 01 00 01 00 61"
           "   01 1c 00 02 00 01 00 6b 01 07 00 01 00 01 00 78 05 01"
           "                  01 00 6b 01 07 00 01 00 01 00 78 05 01")},
      // An added key sorts the unordered object it lands in.
      {unordered, "a[1].c", encoded(R"({"a":[0,{"a":null,"b":null,"c":true}]})")},
      {unordered, "a[1].a", hex("01 21 00 01 00 01 00 61"
                                "   02 19 00 02 00 04 00 00 00 00 00 00 00 00"
                                "      01 0b 00 02 00 01 00 62 06 01 00 61 05 01")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(place(c.data, c.path, hex("05 01")), c.expected) << c.path;
  }
}

TEST(PlaceAtPath, ResultsOverTheFormatLimitsAreAbsent) {
  // One object close to the body limit: adding a small entry crosses it.
  const ByteVector full = encoded("{\"s\":" + json_string(65500, 'x') + "}");
  EXPECT_TRUE(place(full, "t", encoded("1")).has_value());
  EXPECT_FALSE(place(full, "t", encoded(json_string(40, 'y'))).has_value());
  EXPECT_TRUE(place(full, "s", encoded(json_string(65500 + 27, 'z'))).has_value());
  EXPECT_FALSE(place(full, "s", encoded(json_string(65500 + 28, 'z'))).has_value());

  // The inner object stays within the limit; the outer one would not.
  ByteVector nested = encoded("{\"a\":{\"s\":" + json_string(65517, 'x') + "}}");
  ASSERT_EQ(nested.size(), 3u + 65533u);
  EXPECT_TRUE(place(nested, "a.s", encoded(json_string(65517, 'y'))).has_value());
  EXPECT_FALSE(place(nested, "a.t", encoded("null")).has_value());

  // Arrays grow through their elements too.
  std::string array_text = "[";
  array_text += json_string(65520, 'x');
  array_text += ", 0]";
  const ByteVector array = encoded(array_text);
  ASSERT_EQ(array.size(), 3u + 65534u);
  EXPECT_TRUE(place(array, "[1]", encoded(R"("abcdefg")")).has_value());
  EXPECT_FALSE(place(array, "[1]", encoded(R"("abcdefgh")")).has_value());
}

// A key that is not UTF-8 would leave a result no reader accepts, so it is
// never added; a present result always decodes.
TEST(PlaceAtPath, AddsOnlyKeysThatAreText) {
  struct Case {
    std::string_view name;
    bool added;
  };
  const Case cases[] = {
      {"\xff", false},
      {"\xc3", false},             // cut short
      {"\xed\xa0\x80", false},    // a surrogate
      {"a\xc0\x80", false},        // an overlong NUL
      {"\xf4\x90\x80\x80", false},  // beyond U+10FFFF
      {"\xc3\xa9", true},
      {"", true},
      {"z\xf0\x9f\x98\x80", true},
  };
  const ByteVector data = encoded(R"({"a":1,"b":{"c":2}})");
  for (const Case& c : cases) {
    const std::vector<ir::PathSegment> top = {ir::Field{c.name}};
    const std::vector<ir::PathSegment> inner = {ir::Field{"b"}, ir::Field{c.name}};
    for (const auto* path : {&top, &inner}) {
      const auto placed = place_at_path(data, ir::ValuePath{*path}, hex("06"));
      ASSERT_EQ(placed.has_value(), c.added) << ::testing::PrintToString(c.name);
      if (placed) {
        EXPECT_TRUE(decode_value(*placed).ok());
      }
    }
  }
}

TEST(PlaceAtPath, DepthIsBoundedByTheNestingLimit) {
  // {"a":{"a":...{"a":null}...}} nested `levels` deep, written by hand since
  // the writer refuses such depths; placing at its innermost "a".
  const auto nested = [](std::size_t levels) {
    ByteVector bytes = hex("06");
    for (std::size_t i = 0; i < levels; ++i) {
      const std::size_t body = 2 + 2 + 1 + bytes.size();
      const ByteVector outer = {0x01, static_cast<std::uint8_t>(body),
                                static_cast<std::uint8_t>(body >> 8), 0x01, 0x00, 0x01, 0x00, 'a'};
      bytes.insert(bytes.begin(), outer.begin(), outer.end());
    }
    return bytes;
  };
  const auto deep_path = [](std::size_t levels) {
    return std::vector<ir::PathSegment>(levels, ir::Field{"a"});
  };
  for (const std::size_t levels : {kMaxNestingDepth, kMaxNestingDepth + 1, std::size_t{5000}}) {
    const ByteVector data = nested(levels);
    const auto path = deep_path(levels);
    const auto placed = place_at_path(data, ir::ValuePath{path}, hex("05 01"));
    EXPECT_EQ(placed.has_value(), levels <= kMaxNestingDepth) << levels;
    // Reading is iterative and has no such bound.
    EXPECT_EQ(extract_path(data, ir::ValuePath{path}), hex("06")) << levels;
  }
}

TEST(NestsWithin, CountsLevelsOfArraysAndObjects) {
  using testing::nested_arrays;
  // Wide but shallow: long enough to be walked, two levels deep.
  ByteVector wide = hex("02 00 00 2c 01");
  for (int i = 0; i < 300; ++i) wide.insert(wide.end(), {0x02, 0x02, 0x00, 0x00, 0x00});
  wide[1] = static_cast<std::uint8_t>((wide.size() - 3) & 0xFF);
  wide[2] = static_cast<std::uint8_t>((wide.size() - 3) >> 8);
  // Deep inside objects, behind a scalar member that must be skipped.
  ByteVector in_object = nested_arrays(600);
  for (int i = 0; i < 400; ++i) {
    ByteVector outer = hex("01 00 00 02 00 01 00 61 06 01 00 62");
    const std::size_t body = outer.size() - 3 + in_object.size();
    outer[1] = static_cast<std::uint8_t>(body & 0xFF);
    outer[2] = static_cast<std::uint8_t>(body >> 8);
    outer.insert(outer.end(), in_object.begin(), in_object.end());
    in_object = std::move(outer);
  }
  ByteVector cut_short = nested_arrays(900);
  cut_short.pop_back();
  struct Case {
    const char* name;
    ByteVector value;
    std::size_t levels;
    bool fits;
  };
  const Case cases[] = {
      {"scalar", hex("04 01 00 00 00 00 00 00 00"), 0, true},
      {"empty array", hex("02 02 00 00 00"), 0, false},
      {"empty array", hex("02 02 00 00 00"), 1, true},
      {"deepest", nested_arrays(kMaxNestingDepth), kMaxNestingDepth, true},
      {"deepest", nested_arrays(kMaxNestingDepth), kMaxNestingDepth - 1, false},
      {"wide", wide, 2, true},
      {"wide", wide, 1, false},
      {"deep in objects", in_object, 1000, true},
      {"deep in objects", in_object, 999, false},
      // Not a whole value: nothing to measure.
      {"cut short", cut_short, 3, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(nests_within(c.value, c.levels), c.fits) << c.name << " " << c.levels;
  }
}

// A placed value sits as deep as the path is long; placing it where its
// levels would go beyond the format's limit would leave bytes no reader
// accepts, so such a placement is absent.
TEST(PlaceAtPath, PlacedValuesFitTheNestingLimit) {
  using testing::nested_arrays;
  struct Case {
    const char* path;
    std::size_t levels;  // of the placed value
    bool placed;
  };
  const Case cases[] = {
      {"", kMaxNestingDepth, true},  {"a", kMaxNestingDepth - 1, true},
      {"a", kMaxNestingDepth, false}, {"b.c", kMaxNestingDepth - 2, true},
      {"b.c", kMaxNestingDepth - 1, false}, {"a", 10, true},
  };
  const ByteVector data = encoded(R"({"a":1,"b":{"c":null}})");
  for (const Case& c : cases) {
    const auto placed = place(data, c.path, nested_arrays(c.levels));
    ASSERT_EQ(placed.has_value(), c.placed) << c.path << " " << c.levels;
    if (placed) {
      EXPECT_TRUE(decode_value(*placed).ok()) << c.path << " " << c.levels;
    }
  }
}

// Every truncation and many single-byte corruptions of a nested value: no
// read outside the input (the sanitizer build checks), and every placed
// result has a root length that agrees with its bytes.
TEST(PathOps, TruncatedAndCorruptDataNeverOverreads) {
  const ByteVector original =
      encoded(R"({"a":[1,{"b":"text","c":[true,null]}],"d":{"e":2.5},"f":"g"})");
  const char* paths[] = {"", "a", "a[1].b", "a[1].c[1]", "d.e", "d.x", "f", "zz", "a[5]"};
  const ByteVector value = encoded(R"({"new":[1]})");

  auto exercise = [&](const ByteVector& data) {
    for (const char* path : paths) {
      const auto extracted = extract(data, path);
      if (extracted) {
        ASSERT_FALSE(extracted->empty());
        EXPECT_EQ(encoded_data_size(*extracted), extracted->size()) << path;
      }
      const auto placed = place(data, path, value);
      if (placed) {
        EXPECT_EQ(encoded_data_size(*placed), placed->size()) << path;
      }
    }
  };

  for (std::size_t length = 0; length < original.size(); ++length) {
    // A copy of exactly `length` bytes, so an overread leaves the heap block.
    exercise(ByteVector(original.begin(), original.begin() + static_cast<long>(length)));
  }
  const std::uint8_t replacements[] = {0x00, 0x01, 0x02, 0x03, 0x06, 0x08, 0x7F, 0xFF};
  for (std::size_t at = 0; at < original.size(); ++at) {
    for (const std::uint8_t byte : replacements) {
      ByteVector corrupt = original;
      corrupt[at] = byte;
      exercise(corrupt);
    }
  }
}

TEST(EncodeContainers, HeadersCountTheParts) {
  const ByteVector one = encoded("1");
  const ByteVector yes = encoded("true");
  const ObjectEntry entries[] = {{"a", one}, {"b", yes}};
  EXPECT_EQ(encode_object(entries),
            hex("01 13 00 02 00 01 00 61 04 01 00 00 00 00 00 00 00 01 00 62 05 01"));
  EXPECT_EQ(encode_object({}), hex("01 02 00 00 00"));
  const Bytes elements[] = {one, yes};
  EXPECT_EQ(encode_array(elements), encoded("[1,true]"));
  EXPECT_EQ(encode_array({}), hex("02 02 00 00 00"));

  // Entries are written as given: ordering is the caller's business.
  const ObjectEntry reversed[] = {{"b", yes}, {"a", one}};
  EXPECT_EQ(encode_object(reversed)->at(7), 'b');

  const std::string long_key(65536, 'k');
  const ByteVector null_value = hex("06");
  const ObjectEntry too_long[] = {{long_key, null_value}};
  EXPECT_FALSE(encode_object(too_long).has_value());
  const ByteVector big = encoded(json_string(65530, 'x'));
  const Bytes two_big[] = {big, big};
  EXPECT_FALSE(encode_array(two_big).has_value());
  const Bytes one_big[] = {big};
  EXPECT_TRUE(encode_array(one_big).has_value());
}

}  // namespace
}  // namespace vorn
