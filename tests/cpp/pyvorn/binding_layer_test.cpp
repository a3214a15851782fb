#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <utility>

#include "embedded_python.hpp"
#include "py_binding/py.hpp"

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

TEST(FetchException, HoldsTheRaisedExceptionAsOneObject) {
  EXPECT_FALSE(py::fetch_exception());

  // Set without an instance: fetched as one.
  PyErr_SetString(PyExc_KeyError, "k");
  py::Ref error = py::fetch_exception();
  ASSERT_TRUE(error);
  EXPECT_FALSE(PyErr_Occurred());
  EXPECT_TRUE(PyErr_GivenExceptionMatches(error.get(), PyExc_KeyError));
  py::restore_exception(error);
  EXPECT_EQ(take_error(), "KeyError: 'k'");

  // Raised by Python code: the traceback travels with it, and the same object
  // comes back after a restore.
  py::Ref divide = testing::eval("lambda: 1 / 0");
  ASSERT_TRUE(divide);
  EXPECT_FALSE(PyObject_CallNoArgs(divide.get()));
  py::Ref raised = py::fetch_exception();
  ASSERT_TRUE(raised);
  py::Ref traceback = py::Ref::steal(PyException_GetTraceback(raised.get()));
  EXPECT_TRUE(traceback);
  PyObject* const identity = raised.get();
  py::restore_exception(std::move(raised));
  EXPECT_TRUE(PyErr_ExceptionMatches(PyExc_ZeroDivisionError));
  py::Ref again = py::fetch_exception();
  EXPECT_EQ(again.get(), identity);
  py::Ref traceback_again = py::Ref::steal(PyException_GetTraceback(again.get()));
  EXPECT_EQ(traceback_again.get(), traceback.get());

  py::restore_exception(py::Ref());
  EXPECT_FALSE(PyErr_Occurred());
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

TEST(Guard, TurnsEscapingExceptionsIntoPythonErrors) {
  struct NotStandard {};
  const std::pair<std::function<PyObject*()>, const char*> cases[] = {
      {[]() -> PyObject* { throw std::bad_alloc(); }, "MemoryError: "},
      {[]() -> PyObject* { throw std::logic_error("broken"); }, "SystemError: broken"},
      {[]() -> PyObject* { throw NotStandard(); }, "SystemError: unexpected C++ exception"},
  };
  for (const auto& [body, error] : cases) {
    EXPECT_EQ(py::guard(body), nullptr);
    EXPECT_EQ(take_error(), error);
  }
  EXPECT_EQ(py::guard([]() -> int { throw NotStandard(); }, -1), -1);
  EXPECT_EQ(take_error(), "SystemError: unexpected C++ exception");
}

// The interpreter ends a thread that takes its lock back during finalization
// with pthread_exit; the unwinding must pass through guard() (swallowing it
// aborts the process).
TEST(Guard, LetsTheUnwindingOfAnEndingThreadThrough) {
  static bool after_guard = false;
  pthread_t thread;
  const auto body = [](void*) -> void* {
    py::guard([]() -> PyObject* { pthread_exit(nullptr); });
    after_guard = true;
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, nullptr, body, nullptr), 0);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  EXPECT_FALSE(after_guard);
}

}  // namespace
}  // namespace pyvorn
