// TreeBuilder assembles a Value tree from a stream of events (values, keys,
// container ends), bottom-up on one value stack and one key stack, so that a
// container is built once from its finished children with no per-container
// scratch vectors. Event-driven readers of any format feed it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "value.hpp"

namespace vorn::json {

class TreeBuilder {
 public:
  // Pushes a finished scalar (or any finished value), constructed in place.
  template <class T>
  void value(T&& content) {
    values_.emplace_back(std::forward<T>(content));
  }
  void key(std::string key) { keys_.push_back(std::move(key)); }

  // Replaces the last `count` values with one array of them.
  void end_array(std::size_t count);
  // Replaces the last `count` keys and values with one object; members are
  // sorted and the last of a repeated key wins.
  void end_object(std::size_t count);

  // The one value left once the root is complete.
  Value take_root() { return std::move(values_.back()); }

 private:
  std::vector<Value> values_;
  std::vector<std::string> keys_;
};

}  // namespace vorn::json
