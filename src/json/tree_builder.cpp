#include "tree_builder.hpp"

#include <iterator>

namespace vorn::json {

void TreeBuilder::end_array(std::size_t count) {
  const auto first = values_.end() - static_cast<std::ptrdiff_t>(count);
  Array elements(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
  values_.erase(first, values_.end());
  values_.emplace_back(std::move(elements));
}

void TreeBuilder::end_object(std::size_t count) {
  std::vector<Member> members;
  members.reserve(count);
  const std::size_t first_value = values_.size() - count;
  const std::size_t first_key = keys_.size() - count;
  for (std::size_t i = 0; i < count; ++i) {
    members.push_back(Member{std::move(keys_[first_key + i]), std::move(values_[first_value + i])});
  }
  values_.resize(first_value);
  keys_.resize(first_key);
  values_.emplace_back(Object::from_members(std::move(members)));
}

}  // namespace vorn::json
