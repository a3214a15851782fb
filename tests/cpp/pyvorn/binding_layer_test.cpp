#include <gtest/gtest.h>

#include "embedded_python.hpp"
#include "pyvorn/py.hpp"

namespace pyvorn {
namespace {

using testing::take_error;

TEST(BorrowFlag, SharedBorrowsStackAndBlockWriters) {
  py::BorrowFlag flag;
  auto first = py::SharedBorrow::acquire(flag);
  auto second = py::SharedBorrow::acquire(flag);
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(py::ExclusiveBorrow::acquire(flag).has_value());
  EXPECT_EQ(take_error(), "RuntimeError: Already borrowed");
  first.reset();
  EXPECT_FALSE(py::ExclusiveBorrow::acquire(flag).has_value());
  EXPECT_EQ(take_error(), "RuntimeError: Already borrowed");
  second.reset();
  EXPECT_TRUE(py::ExclusiveBorrow::acquire(flag).has_value());
}

TEST(BorrowFlag, ExclusiveBorrowBlocksEveryone) {
  py::BorrowFlag flag;
  {
    auto writer = py::ExclusiveBorrow::acquire(flag);
    ASSERT_TRUE(writer);
    EXPECT_FALSE(py::SharedBorrow::acquire(flag).has_value());
    EXPECT_EQ(take_error(), "RuntimeError: Already mutably borrowed");
    EXPECT_FALSE(py::ExclusiveBorrow::acquire(flag).has_value());
    EXPECT_EQ(take_error(), "RuntimeError: Already borrowed");
  }
  EXPECT_TRUE(py::SharedBorrow::acquire(flag).has_value());
}

TEST(Ref, OwnsExactlyOneReference) {
  PyObject* object = PyList_New(0);
  const Py_ssize_t start = Py_REFCNT(object);
  {
    py::Ref a = py::Ref::borrow(object);
    py::Ref b = a;
    py::Ref c = std::move(b);
    EXPECT_EQ(Py_REFCNT(object), start + 2);
    EXPECT_FALSE(b);
  }
  EXPECT_EQ(Py_REFCNT(object), start);
  Py_DECREF(object);
}

}  // namespace
}  // namespace pyvorn
