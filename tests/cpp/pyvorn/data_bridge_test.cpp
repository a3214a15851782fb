#include "pyvorn/data_bridge.hpp"

#include <gtest/gtest.h>

#include "embedded_python.hpp"
#include "vorn/decoder.hpp"
#include "vorn/encode.hpp"

namespace pyvorn {
namespace {

using testing::eval;
using testing::take_error;

// The two ways a Python value becomes bytes (through the tree, and directly)
// must agree on every byte.
TEST(DataBridge, TreeAndDirectEncodingAgree) {
  const char* expressions[] = {
      "None",
      "[True, False, 0, -1, 2**63 - 1, -2**63, 0.5, '', 'é', Color.RED]",
      "{'b': 1, 'a': {'z': [], 'y': {}}, 'ab': 'x', 'é': None, '': 0}",
      "MyDict(q=[MyDict(b=2, a=1)] * 3)",
      "[{'k%d' % i: i for i in range(40, 0, -1)}]",
      // Distinct keys with equal text: one entry, the last.
      "{IdentityKey('a'): 1, IdentityKey('a'): 2, 'b': 3, IdentityKey('b'): [{IdentityKey('x'): 0, "
      "IdentityKey('x'): None}]}",
  };
  for (const char* expression : expressions) {
    py::Ref object = eval(expression);
    ASSERT_TRUE(object) << expression;
    auto tree = py_to_json_value(object.get());
    ASSERT_TRUE(tree.has_value()) << take_error();
    std::vector<std::uint8_t> direct;
    ASSERT_TRUE(encode_py_value(object.get(), direct)) << take_error();
    EXPECT_EQ(vorn::encode_value(*tree).value(), direct) << expression;
  }
}

// And on the first error they report.
TEST(DataBridge, TreeAndDirectEncodingRaiseTheSameFirstError) {
  const char* expressions[] = {
      "(1,)",
      "{1: 2}",
      "[1, float('nan')]",
      "2**63",
      "{'b': (), 'a': {1: 2}}",
      "{'b': {1: 2}, 'a': ()}",
      "{'z': 1, 5: 2, 'a': float('nan')}",
      "{'m': {'y': [()], 'b': {2: 0}}, 'a': {'q': set()}}",
      "['\\ud800']",
      // Conversion first, then the format's limits.
      "[()] + [0] * 70000",
      "['x' * 70000, ()]",
      "[[0] * 40000, [()]]",
      "{'a' * 70000: 0, 'j': [()]}",
      "{IdentityKey('a'): (), IdentityKey('a'): 1}",
  };
  for (const char* expression : expressions) {
    py::Ref object = eval(expression);
    ASSERT_TRUE(object) << expression;
    EXPECT_FALSE(py_to_json_value(object.get()).has_value());
    const std::string tree_error = take_error();
    std::vector<std::uint8_t> direct;
    EXPECT_FALSE(encode_py_value(object.get(), direct));
    EXPECT_EQ(take_error(), tree_error) << expression;
    EXPECT_FALSE(tree_error.empty());
  }
}

TEST(DataBridge, TreeAndDirectDecodingAgree) {
  const char* expressions[] = {
      "{'b': [1, 2.5, None, True, 'x'], 'a': {'c': {}}, '': []}",
      "[{'id': i, 'name': 'n%d' % i} for i in range(50)]",
      "'é' * 10",
  };
  for (const char* expression : expressions) {
    py::Ref object = eval(expression);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(encode_py_value(object.get(), bytes));
    py::Ref direct = decode_to_py(bytes);
    py::Ref through_tree = json_value_to_py(vorn::decode_value(bytes).value());
    ASSERT_TRUE(direct && through_tree);
    EXPECT_EQ(PyObject_RichCompareBool(direct.get(), object.get(), Py_EQ), 1) << expression;
    EXPECT_TRUE(testing::same_value(direct.get(), through_tree.get())) << expression;
  }
}

TEST(DataBridge, JsonValueToPyGivesExactBuiltinTypes) {
  const vorn::json::Value value = vorn::json::Value(std::numeric_limits<std::uint64_t>::max());
  py::Ref object = json_value_to_py(value);
  py::Ref expected = eval("2**64 - 1");
  EXPECT_TRUE(testing::same_value(object.get(), expected.get()));
}

}  // namespace
}  // namespace pyvorn
