#include "json/value.hpp"

#include <gtest/gtest.h>

namespace vorn::json {
namespace {

std::vector<std::string> keys_of(const Object& object) {
  std::vector<std::string> keys;
  for (const Member& m : object) keys.push_back(m.key);
  return keys;
}

TEST(Object, FromMembersSortsByUnsignedBytesShorterFirst) {
  Object object = Object::from_members({{"b", 1}, {"\xc3\xa9", 2}, {"ab", 3}, {"a", 4}, {"", 5}});
  EXPECT_EQ(keys_of(object), (std::vector<std::string>{"", "a", "ab", "b", "\xc3\xa9"}));
}

TEST(Object, FromMembersKeepsLastDuplicate) {
  Object object = Object::from_members({{"k", 1}, {"a", 0}, {"k", 2}, {"k", 3}});
  ASSERT_EQ(object.size(), 2u);
  EXPECT_EQ(*object.find("k"), Value(3));
  EXPECT_EQ(*object.find("a"), Value(0));
}

TEST(Object, SetInsertsInOrderAndReplaces) {
  Object object;
  object.set("m", 1);
  object.set("a", 2);
  object.set("z", 3);
  object.set("m", 4);
  EXPECT_EQ(keys_of(object), (std::vector<std::string>{"a", "m", "z"}));
  EXPECT_EQ(*object.find("m"), Value(4));
  EXPECT_EQ(object.find("q"), nullptr);
}

TEST(Value, EachNumberHasOneForm) {
  EXPECT_TRUE(Value(std::int64_t{5}).is_uint());
  EXPECT_TRUE(Value(std::int64_t{-5}).is_int());
  EXPECT_TRUE(Value(1.0).is_float());
  EXPECT_NE(Value(1), Value(1.0));
  EXPECT_EQ(Value(std::int64_t{7}), Value(std::uint64_t{7}));
}

}  // namespace
}  // namespace vorn::json
