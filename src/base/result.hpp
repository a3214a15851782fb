// Result<T, E>: the value a stage produces, or the one error that stopped it.
//
// The libraries never throw for bad input; every fallible operation returns a
// Result and the caller decides what the error becomes (a Python exception, a
// result dict, a message). Build the error side with `fail(error)` so that T
// and E may be the same or convertible types without ambiguity.
#pragma once

#include <cassert>
#include <optional>
#include <utility>
#include <variant>

namespace vorn {

template <class E>
struct Failure {
  E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
  return {std::forward<E>(error)};
}

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : data_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Failure<F> failure) : data_(std::in_place_index<1>, std::move(failure.error)) {}

  bool ok() const { return data_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & {
    assert(ok());
    return *std::get_if<0>(&data_);
  }
  const T& value() const& {
    assert(ok());
    return *std::get_if<0>(&data_);
  }
  T&& value() && {
    assert(ok());
    return std::move(*std::get_if<0>(&data_));
  }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & {
    assert(!ok());
    return *std::get_if<1>(&data_);
  }
  const E& error() const& {
    assert(!ok());
    return *std::get_if<1>(&data_);
  }
  E&& error() && {
    assert(!ok());
    return std::move(*std::get_if<1>(&data_));
  }

 private:
  std::variant<T, E> data_;
};

// A Result that carries no value: success, or one error.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class F>
  Result(Failure<F> failure) : error_(std::move(failure.error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }

  E& error() & {
    assert(!ok());
    return *error_;
  }
  const E& error() const& {
    assert(!ok());
    return *error_;
  }
  E&& error() && {
    assert(!ok());
    return std::move(*error_);
  }

 private:
  std::optional<E> error_;
};

}  // namespace vorn

// Propagation helpers for functions that return a Result.
//
//   VORN_TRY(check(x));                       // returns the error, if any
//   VORN_TRY_ASSIGN(auto name, parse(x));     // declares `name` from the value
//   VORN_TRY_ASSIGN(out.field, parse(x));     // or assigns to an existing lvalue
#define VORN_CONCAT_INNER(a, b) a##b
#define VORN_CONCAT(a, b) VORN_CONCAT_INNER(a, b)

#define VORN_TRY(expr)                                         \
  do {                                                         \
    auto vorn_try_status = (expr);                             \
    if (!vorn_try_status.ok()) {                               \
      return ::vorn::fail(std::move(vorn_try_status).error()); \
    }                                                          \
  } while (0)

#define VORN_TRY_ASSIGN(lhs, expr) VORN_TRY_ASSIGN_IMPL(VORN_CONCAT(vorn_try_, __LINE__), lhs, expr)
#define VORN_TRY_ASSIGN_IMPL(tmp, lhs, expr)                  \
  auto tmp = (expr);                                          \
  if (!tmp.ok()) return ::vorn::fail(std::move(tmp).error()); \
  lhs = std::move(tmp).value()
