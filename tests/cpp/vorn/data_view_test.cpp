#include "vorn/data_view.hpp"

#include <gtest/gtest.h>

#include "test_bytes.hpp"
#include "vorn/encode.hpp"

namespace vorn {
namespace {

using testing::ByteVector;
using testing::encoded;
using testing::hex;

DataView view_of(const ByteVector& bytes) {
  return DataView::from(bytes).value();
}

TEST(DataView, FromRequiresALeadingValidTag) {
  EXPECT_FALSE(DataView::from(ByteVector{}).has_value());
  EXPECT_FALSE(DataView::from(hex("00")).has_value());
  EXPECT_FALSE(DataView::from(hex("08 00")).has_value());
  EXPECT_TRUE(DataView::from(hex("06")).has_value());
}

TEST(DataView, FieldFindsKeysAndExtendsToTheBufferEnd) {
  const ByteVector bytes = encoded(R"({"a":1,"ab":"x","b":[true]})");
  const DataView root = view_of(bytes);
  EXPECT_EQ(root.field("a")->as_i64(), 1);
  EXPECT_EQ(root.field("ab")->as_str(), "x");
  const DataView b = *root.field("b");
  EXPECT_EQ(b.element(0)->as_bool(), true);
  // The view runs to the end of the buffer; its value alone is shorter.
  const DataView a = *root.field("a");
  EXPECT_EQ(a.bytes().data() + a.bytes().size(), bytes.data() + bytes.size());
  EXPECT_EQ(encoded_data_size(a.bytes()), 9u);
  EXPECT_EQ(a.value_bytes().size(), 9u);
  EXPECT_FALSE(root.field("c").has_value());
  EXPECT_FALSE(root.field("").has_value());
}

TEST(DataView, FieldStopsAtGreaterKey) {
  // Keys "a", "b" and then a corrupt entry: "aa" is decided at "b".
  ByteVector bytes = hex("01 ff 00 03 00 01 00 61 06 01 00 62 06 ff ff");
  EXPECT_FALSE(view_of(bytes).field("aa").has_value());
  // Looking further than "b" walks into the corrupt entry and gives up.
  EXPECT_FALSE(view_of(bytes).field("c").has_value());
  EXPECT_TRUE(view_of(bytes).field("b").has_value());
}

TEST(DataView, OutOfOrderKeysMayBeMissed) {
  // Stored "b" before "a": the scan stops at "b" when looking for "a".
  const ByteVector bytes = hex("01 0a 00 02 00 01 00 62 06 01 00 61 06");
  EXPECT_FALSE(view_of(bytes).field("a").has_value());
  EXPECT_TRUE(view_of(bytes).field("b").has_value());
}

TEST(DataView, WrongKindsAreAbsent) {
  const ByteVector array = encoded("[1,2]");
  const ByteVector object = encoded(R"({"a":1.0})");
  EXPECT_FALSE(view_of(array).field("a").has_value());
  EXPECT_FALSE(view_of(object).element(0).has_value());
  EXPECT_FALSE(view_of(object).field("a")->as_i64().has_value());  // a float is not an integer
  EXPECT_FALSE(view_of(array).as_str().has_value());
  EXPECT_FALSE(view_of(array).as_bool().has_value());
  EXPECT_FALSE(view_of(encoded("[]")).element(0).has_value());
  EXPECT_FALSE(view_of(array).element(2).has_value());
  EXPECT_EQ(view_of(array).element(1)->as_i64(), 2);
}

TEST(DataView, ScalarsReadTheirPayload) {
  EXPECT_EQ(view_of(hex("05 02")).as_bool(), true);  // any non-zero byte is true
  EXPECT_EQ(view_of(hex("05 00")).as_bool(), false);
  EXPECT_EQ(view_of(hex("04 fe ff ff ff ff ff ff ff")).as_i64(), -2);
  EXPECT_EQ(view_of(hex("03 00 00")).as_str(), "");
}

TEST(DataView, TruncatedAndCorruptInputIsAbsentNotAnOverread) {
  EXPECT_FALSE(view_of(hex("04 01 00")).as_i64().has_value());
  EXPECT_FALSE(view_of(hex("05")).as_bool().has_value());
  EXPECT_FALSE(view_of(hex("03 05 00 61")).as_str().has_value());
  EXPECT_FALSE(view_of(hex("03 01 00 ff")).as_str().has_value());  // invalid UTF-8
  EXPECT_FALSE(view_of(hex("01 02 00")).field("a").has_value());
  EXPECT_FALSE(view_of(hex("01 05 00 01 00 01")).field("a").has_value());
  // Key length pointing past the end, and a key with no room for its value.
  EXPECT_FALSE(view_of(hex("01 05 00 01 00 09 00 61")).field("a").has_value());
  EXPECT_FALSE(view_of(hex("01 05 00 01 00 01 00 61")).field("a").has_value());
  // A value with an invalid tag.
  EXPECT_FALSE(view_of(hex("01 05 00 01 00 01 00 61 09")).field("a").has_value());
  // An element whose length carries the walk past the end.
  EXPECT_FALSE(view_of(hex("02 09 00 02 00 03 ff ff 06")).element(1).has_value());
  EXPECT_FALSE(view_of(hex("02 09 00 02 00 03 00")).element(1).has_value());
  EXPECT_FALSE(view_of(hex("02 09 00 02 00 0a")).element(0).has_value());
  EXPECT_FALSE(view_of(hex("02 09 00 02 00")).element(0).has_value());
}

TEST(EncodedDataSize, SizesByTag) {
  EXPECT_EQ(encoded_data_size(ByteVector{}), 0u);
  EXPECT_EQ(encoded_data_size(hex("01 02 00 00 00")), 5u);
  EXPECT_EQ(encoded_data_size(hex("02 ff 00")), 258u);  // not checked against what is there
  EXPECT_EQ(encoded_data_size(hex("03 01")), 0u);
  EXPECT_EQ(encoded_data_size(hex("04")), 9u);
  EXPECT_EQ(encoded_data_size(hex("07")), 9u);
  EXPECT_EQ(encoded_data_size(hex("05")), 2u);
  EXPECT_EQ(encoded_data_size(hex("06 06 06")), 1u);
  EXPECT_EQ(encoded_data_size(hex("00")), 0u);
  EXPECT_EQ(encoded_data_size(hex("ff")), 0u);
}

}  // namespace
}  // namespace vorn
