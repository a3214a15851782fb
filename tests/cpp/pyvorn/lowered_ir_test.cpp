#include "pyvorn/lowered_ir.hpp"

#include <gtest/gtest.h>

#include "embedded_python.hpp"

namespace pyvorn {
namespace {

using testing::take_error;
using vorn::build::LoweredState;
using vorn::build::LoweredStateMachine;
using vorn::build::LoweredSucceed;

LoweredStateMachine two_states() {
  LoweredStateMachine machine;
  machine.states.push_back(LoweredState{vorn::ir::StateId{0}, "A", "", LoweredSucceed{}});
  machine.states.push_back(LoweredState{vorn::ir::StateId{1}, "B", "", LoweredSucceed{}});
  return machine;
}

std::string repr_of(PyObject* object) {
  py::Ref text = py::Ref::steal(PyObject_Repr(object));
  return text ? PyUnicode_AsUTF8(text.get()) : take_error();
}

TEST(LoweredIr, TakingTheMachineLeavesTheHandleConsumed) {
  py::Ref handle = new_lowered_ir(two_states());
  ASSERT_TRUE(handle);
  EXPECT_EQ(repr_of(handle.get()), "<LoweredIr states=2>");

  std::optional<LoweredStateMachine> taken = take_lowered(handle.get());
  ASSERT_TRUE(taken.has_value());
  EXPECT_EQ(*taken, two_states());

  EXPECT_EQ(repr_of(handle.get()), "<LoweredIr (consumed)>");
  EXPECT_FALSE(take_lowered(handle.get()).has_value());
  EXPECT_EQ(take_error(), "RuntimeError: LoweredIr has already been consumed");
  EXPECT_EQ(PyObject_Length(handle.get()), -1);
  EXPECT_EQ(take_error(), "RuntimeError: LoweredIr has already been consumed");
  EXPECT_FALSE(py::Ref::steal(PyObject_GetAttrString(handle.get(), "state_names")));
  EXPECT_EQ(take_error(), "RuntimeError: LoweredIr has already been consumed");
  EXPECT_FALSE(py::Ref::steal(PyObject_GetAttrString(handle.get(), "handler_names")));
  EXPECT_EQ(take_error(), "RuntimeError: LoweredIr has already been consumed");
  EXPECT_FALSE(LoweredRead::acquire(handle.get()).has_value());
  EXPECT_EQ(take_error(), "RuntimeError: LoweredIr has already been consumed");
}

TEST(LoweredIr, TakingWaitsForNoReader) {
  py::Ref handle = new_lowered_ir(two_states());
  {
    auto read = LoweredRead::acquire(handle.get());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->machine().states.size(), 2u);
    // A second reader is fine; taking the machine out is not.
    EXPECT_TRUE(LoweredRead::acquire(handle.get()).has_value());
    EXPECT_FALSE(take_lowered(handle.get()).has_value());
    EXPECT_EQ(take_error(), "RuntimeError: Already borrowed");
  }
  EXPECT_TRUE(take_lowered(handle.get()).has_value());
}

TEST(LoweredIr, HandlesAreLoweredIrInstances) {
  py::Ref handle = new_lowered_ir(two_states());
  EXPECT_TRUE(is_lowered_ir(handle.get()));
  EXPECT_FALSE(is_lowered_ir(Py_None));
  EXPECT_EQ(Py_TYPE(handle.get()), lowered_ir_type());
}

}  // namespace
}  // namespace pyvorn
