#include "vorn_build/schema.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

#include "json/reader.hpp"

namespace vorn::build {
namespace {

json::Value read(const std::string& text) {
  auto value = json::read(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? std::move(value).value() : json::Value();
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (std::uint8_t byte : bytes) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", byte);
    if (!out.empty()) out.push_back(' ');
    out += two;
  }
  return out;
}

// The encoded schema of a value, or "absent"; also checks that the cheap
// verdict agrees with the full derivation.
std::string schema_bytes(const std::string& text) {
  const json::Value value = read(text);
  const std::optional<SchemaType> schema = extract_schema(value);
  EXPECT_EQ(has_uniform_arrays(value), schema.has_value()) << text;
  return schema ? hex(encode_schema(*schema)) : "absent";
}

TEST(Schema, DerivedTypesAndTheirBytes) {
  struct Case {
    const char* value;
    const char* bytes;
  };
  const Case cases[] = {
      {R"({"a": 1, "b": ["x"]})", "01 0d 00 02 00 01 00 61 04 01 00 62 02 01 00 03"},
      {"{}", "01 02 00 00 00"},
      {"[]", "02 01 00 ff"},
      {R"("s")", "03"},
      {"0", "04"},
      {"-1", "04"},
      {"18446744073709551615", "04"},
      {"18446744073709551616", "07"},  // beyond 64 bits: read as a float
      {"1.0", "07"},
      {"1e3", "07"},
      {"true", "05"},
      {"null", "06"},
      // Fields follow key bytes, a prefix first; an empty name is just a zero length.
      {R"({"b": 1, "a": 2, "ab": 3})", "01 0f 00 03 00 01 00 61 04 02 00 61 62 04 01 00 62 04"},
      {R"({"": null})", "01 05 00 01 00 00 00 06"},
      {"[1, -1]", "02 01 00 04"},
      {"[[], []]", "02 04 00 02 01 00 ff"},
      {R"([{"a": 1}, {"a": 2}])", "02 09 00 01 06 00 01 00 01 00 61 04"},
      {"[null, null]", "02 01 00 06"},
      {R"([[{"k": []}], [{"k": []}, {"k": []}]])",
       "02 0f 00 02 0c 00 01 09 00 01 00 01 00 6b 02 01 00 ff"},
      // Any array with elements of different shapes, at any depth, has no type.
      {"[1, 1.5]", "absent"},
      {"[1, 1.0]", "absent"},
      {"[[], [1]]", "absent"},
      {"[[1], []]", "absent"},
      {"[null, 1]", "absent"},
      {R"([{"a": 1}, {"b": 1}])", "absent"},
      {R"([{"a": 1}, {"a": 1, "b": 2}])", "absent"},
      {R"([[1, "x"], [2]])", "absent"},
      {R"([[1], [2, "x"]])", "absent"},
      {R"({"x": [{"y": [true, 0]}]})", "absent"},
  };
  for (const Case& c : cases) EXPECT_EQ(schema_bytes(c.value), c.bytes) << c.value;
}

TEST(Schema, StructuralEqualityHasNoWildcards) {
  auto type_of = [](const char* text) { return *extract_schema(read(text)); };
  const SchemaType any{SchemaType::Any{}};
  EXPECT_EQ(hex(encode_schema(any)), "ff");  // the opaque schema
  EXPECT_TRUE(schemas_structurally_equal(any, any));
  EXPECT_FALSE(schemas_structurally_equal(type_of("1"), any));
  const std::pair<const char*, const char*> different[] = {
      {"[]", "[1]"},
      {"[1]", "[1.5]"},
      {"[[1]]", "[1]"},
      {R"({"a": 1})", R"({"b": 1})"},
      {R"({"a": 1})", R"({"a": "1"})"},
      {R"({"a": 1})", R"({"a": 1, "b": 1})"},
  };
  for (const auto& [a, b] : different) {
    EXPECT_FALSE(schemas_structurally_equal(type_of(a), type_of(b))) << a << " " << b;
  }
  EXPECT_TRUE(schemas_structurally_equal(type_of(R"({"a": [[{"b": null}]], "c": 0.5})"),
                                         type_of(R"({"c": 7.25, "a": [[{"b": null}]]})")));
}

TEST(Schema, CopiesAreDeep) {
  SchemaType original = *extract_schema(read(R"([[{"a": [1]}]])"));
  SchemaType copy = original;
  original = SchemaType{SchemaType::Null{}};
  EXPECT_EQ(hex(encode_schema(copy)), "02 0f 00 02 0c 00 01 09 00 01 00 01 00 61 02 01 00 04");
}

TEST(Schema, DeepAndWideValuesAreHandled) {
  // 120 nested arrays around one integer: each level adds tag and length.
  const json::Value deep = read(std::string(120, '[') + "1" + std::string(120, ']'));
  const std::vector<std::uint8_t> bytes = encode_schema(*extract_schema(deep));
  ASSERT_EQ(bytes.size(), 361u);
  EXPECT_EQ(hex({bytes.begin(), bytes.begin() + 3}), "02 66 01");  // 358 bytes follow
  EXPECT_EQ(hex({bytes.end() - 4, bytes.end()}), "02 01 00 04");

  std::string wide = "[";
  for (int i = 0; i < 100'000; ++i) wide += R"({"id":1,"tags":["a"]},)";
  EXPECT_EQ(schema_bytes(wide + R"({"id":2,"tags":[]}])"), "absent");  // the last one differs
  EXPECT_EQ(schema_bytes(wide + R"({"id":2,"tags":["b"]}])"),
            "02 14 00 01 11 00 02 00 02 00 69 64 04 04 00 74 61 67 73 02 01 00 03");
}

// Validation and lowering encode and measure schemas straight from the data;
// that must match building the type first, bytes and refusals alike.
TEST(Schema, StraightFromUniformDataMatchesTheType) {
  const std::string long_key(70000, 'k');
  const std::string texts[] = {
      "null", "1", "-1", "1.5", "true", "\"s\"", "[]", "[[]]", "[[], []]", "{}",
      R"({"b":[{"x":1,"y":[true]}],"a":null,"ab":{"":[]}})", R"([{"a":[1,2]},{"a":[3]}])",
      R"({"k.$":"$.x","v":[[1.5],[2.5]],"e":[]})",
      // Too large for the 16-bit fields in each way measure_schema checks.
      "{\"" + long_key + "\":1}",
      "[{\"" + long_key + "\":1}]",
      "{\"a\":{\"" + std::string(40000, 'x') + "\":1},\"b\":{\"" + std::string(40000, 'y') +
          "\":1}}",
      "[[[{\"" + std::string(65530, 'z') + "\":[1]}]]]",
  };
  for (const std::string& text : texts) {
    const json::Value value = read(text);
    const std::optional<SchemaType> schema = extract_schema(value);
    ASSERT_TRUE(schema.has_value()) << text.substr(0, 60);
    EXPECT_EQ(encode_schema_of_uniform(value), encode_schema(*schema)) << text.substr(0, 60);
    const auto straight = measure_schema_of_uniform(value);
    const auto built = measure_schema(*schema);
    ASSERT_EQ(straight.ok(), built.ok()) << text.substr(0, 60);
    if (built.ok()) {
      EXPECT_EQ(straight.value(), built.value());
      EXPECT_EQ(straight.value(), encode_schema(*schema).size());
    } else {
      EXPECT_EQ(to_string(straight.error()), to_string(built.error())) << text.substr(0, 60);
    }
  }
  // An object with more fields than a count can hold.
  json::Object wide;
  for (int i = 0; i < 70000; ++i) wide.members().push_back({std::to_string(1000000 + i), json::Value(1)});
  const json::Value wide_value(std::move(wide));
  EXPECT_EQ(to_string(measure_schema_of_uniform(wide_value).error()),
            to_string(measure_schema(*extract_schema(wide_value)).error()));
}

}  // namespace
}  // namespace vorn::build
