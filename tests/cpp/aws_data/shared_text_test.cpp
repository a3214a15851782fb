#include "aws_data/shared_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace vorn::aws {
namespace {

// Texts on both sides of the inline limit survive every way of copying and
// moving, and a shared block outlives the text that made it.
TEST(SharedText, KeepsItsBytesThroughCopiesAndMoves) {
  for (const std::size_t length : {0u, 1u, 22u, 23u, 24u, 1000u}) {
    std::string bytes(length, 'x');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    if (length > 0) bytes[0] = '\0';  // NUL bytes are text like any other

    auto made = std::make_unique<SharedText>(bytes);
    SharedText copied(*made);
    SharedText assigned;
    assigned = copied;
    made.reset();
    EXPECT_EQ(copied.view(), bytes) << length;
    EXPECT_EQ(assigned.view(), bytes) << length;

    SharedText moved(std::move(copied));
    EXPECT_EQ(moved.view(), bytes) << length;
    EXPECT_EQ(copied.view(), "") << length;  // NOLINT: a moved-from text is empty
    SharedText move_assigned("old text that is longer than the inline limit");
    move_assigned = std::move(moved);
    EXPECT_EQ(move_assigned.view(), bytes) << length;
    move_assigned = *&move_assigned;
    EXPECT_EQ(move_assigned.view(), bytes) << length;
  }
}

}  // namespace
}  // namespace vorn::aws
