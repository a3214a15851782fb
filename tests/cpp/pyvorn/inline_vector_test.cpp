#include "pyvorn/inline_vector.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace pyvorn {
namespace {

// Elements keep their values and order across the move from the inline
// space to the heap and every later regrowth, and truncating works on both.
TEST(InlineVector, KeepsElementsAcrossGrowth) {
  for (const std::size_t count : {0, 1, 3, 4, 5, 9, 100}) {
    InlineVector<std::size_t, 4> values;
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; i < count; ++i) {
      values.push_back(i * 7);
      expected.push_back(i * 7);
    }
    EXPECT_EQ(std::vector<std::size_t>(values.begin(), values.end()), expected) << count;
    values.truncate(count / 2);
    values.truncate(count);  // never grows
    expected.resize(count / 2);
    EXPECT_EQ(std::vector<std::size_t>(values.begin(), values.end()), expected) << count;
    if (!values.empty()) {
      EXPECT_EQ(values.back(), expected.back());
      values.pop_back();
      EXPECT_EQ(values.size(), expected.size() - 1);
    }
  }
}

TEST(InlineVector, HoldsRecordsByValue) {
  struct Entry {
    std::string_view key;
    int value;
  };
  InlineVector<Entry, 2> entries;
  const char* const keys[] = {"a", "bb", "ccc"};
  for (int i = 0; i < 3; ++i) entries.push_back(Entry{keys[i], i});
  ASSERT_EQ(entries.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[static_cast<std::size_t>(i)].key, keys[i]);
    EXPECT_EQ(entries[static_cast<std::size_t>(i)].value, i);
  }
}

}  // namespace
}  // namespace pyvorn
