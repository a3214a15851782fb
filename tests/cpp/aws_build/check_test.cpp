#include "aws_build/check.hpp"

#include <gtest/gtest.h>

#include "check_test_support.hpp"

namespace vorn::aws {
namespace {
using testing::briefs;
}  // namespace
}  // namespace vorn::aws
