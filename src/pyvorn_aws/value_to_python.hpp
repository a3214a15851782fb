// AWS-dialect values out to Python, keeping what the dialect keeps: objects
// become dicts in member order, integers of any length become ints (from
// their written digits), other numbers floats.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "aws_data/value.hpp"
#include "py_binding/py.hpp"

namespace pyvorn::aws_binding {

// The str objects of the object keys converted so far, for a caller that
// converts documents of one shape again and again (a handler's event, state
// after state): their keys then cost neither a new str nor hashing it anew
// when the dict is filled. Holds at most kMaxKeys keys, each of at most
// kMaxKeyBytes; any other key is made afresh each time.
class KeyStrings {
 public:
  // A new reference to the str of `key`; null with an exception set.
  py::Ref get(std::string_view key);

 private:
  static constexpr std::size_t kMaxKeys = 4096;
  static constexpr std::size_t kMaxKeyBytes = 64;
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>()(text);
    }
  };
  std::unordered_map<std::string, py::Ref, TextHash, std::equal_to<>> strings_;
};

// A new object; null with an exception set on failure. Keys come from
// `keys` when given.
py::Ref to_python(const vorn::aws::Value& value, KeyStrings* keys = nullptr);

}  // namespace pyvorn::aws_binding
