#include "aws_data/hash_map_order.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vorn::aws {
namespace {

TEST(HashMapOrder, JavaStringHashCountsUtf16Units) {
  EXPECT_EQ(java_string_hash(""), 0);
  EXPECT_EQ(java_string_hash("a"), 97);
  EXPECT_EQ(java_string_hash("hello"), 99162322);
  EXPECT_EQ(java_string_hash("\xC3\xA9"), 0xE9);  // é: one unit
  // U+1F600 is the surrogate pair D83D DE00: 0xD83D * 31 + 0xDE00.
  EXPECT_EQ(java_string_hash("\xF0\x9F\x98\x80"), 1772899);
  // Wraps at 32 bits as Java's int does.
  EXPECT_EQ(java_string_hash("polygenelubricants"), -2147483648);
}

std::vector<std::string> ordered(const std::vector<std::string_view>& names) {
  std::vector<std::string> out;
  for (const std::size_t i : hash_map_order(names)) out.emplace_back(names[i]);
  return out;
}

TEST(HashMapOrder, IteratesBucketsInIndexOrderAndABucketInInsertionOrder) {
  using Names = std::vector<std::string>;
  // AWS's recorded outputs.
  EXPECT_EQ(ordered({"Iterations", "Values"}), (Names{"Values", "Iterations"}));
  EXPECT_EQ(ordered({"Bucket", "Key"}), (Names{"Bucket", "Key"}));
  EXPECT_EQ(ordered({"constant_in_literal", "constant_input_field"}),
            (Names{"constant_input_field", "constant_in_literal"}));
  // "p" (112) is in bucket 0 of 16 but bucket 16 of 32: the table doubles
  // once a thirteenth member passes three quarters of 16.
  EXPECT_EQ(ordered({"p", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}),
            (Names{"p", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}));
  EXPECT_EQ(ordered({"p", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"}),
            (Names{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "p"}));
  // "Aa" and "BB" share a hash, so a bucket: insertion order decides.
  EXPECT_EQ(ordered({"BB", "Aa"}), (Names{"BB", "Aa"}));
  EXPECT_EQ(ordered({"Aa", "BB"}), (Names{"Aa", "BB"}));
}

}  // namespace
}  // namespace vorn::aws
