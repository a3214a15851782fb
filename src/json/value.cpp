#include "value.hpp"

#include <algorithm>

namespace vorn::json {

namespace {

auto lower_bound_key(auto& members, std::string_view key) {
  return std::lower_bound(members.begin(), members.end(), key,
                          [](const Member& m, std::string_view k) { return key_less(m.key, k); });
}

// Objects are mostly small; a stable insertion sort avoids the scratch buffer
// that std::stable_sort allocates.
constexpr std::size_t kInsertionSortLimit = 32;

template <class Less>
void insertion_sort(std::vector<Member>& members, Less less) {
  for (std::size_t i = 1; i < members.size(); ++i) {
    if (!less(members[i], members[i - 1])) continue;
    Member moving = std::move(members[i]);
    std::size_t j = i;
    do {
      members[j] = std::move(members[j - 1]);
      --j;
    } while (j > 0 && less(moving, members[j - 1]));
    members[j] = std::move(moving);
  }
}

}  // namespace

Object Object::from_members(std::vector<Member> members) {
  Object object;
  const bool strictly_sorted =
      std::adjacent_find(members.begin(), members.end(), [](const Member& a, const Member& b) {
        return !key_less(a.key, b.key);
      }) == members.end();
  if (!strictly_sorted) {
    auto by_key = [](const Member& a, const Member& b) { return key_less(a.key, b.key); };
    if (members.size() <= kInsertionSortLimit) {
      insertion_sort(members, by_key);
    } else {
      std::stable_sort(members.begin(), members.end(), by_key);
    }
    // Within a run of equal keys the stable sort kept input order; the last
    // one written wins.
    std::size_t out = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i + 1 < members.size() && members[i + 1].key == members[i].key) continue;
      if (out != i) members[out] = std::move(members[i]);
      ++out;
    }
    members.resize(out);
  }
  object.members_ = std::move(members);
  return object;
}

const Value* Object::find(std::string_view key) const {
  auto it = lower_bound_key(members_, key);
  return it != members_.end() && it->key == key ? &it->value : nullptr;
}

Value* Object::find(std::string_view key) {
  auto it = lower_bound_key(members_, key);
  return it != members_.end() && it->key == key ? &it->value : nullptr;
}

void Object::set(std::string key, Value value) {
  auto it = lower_bound_key(members_, key);
  if (it != members_.end() && it->key == key) {
    it->value = std::move(value);
  } else {
    members_.insert(it, Member{std::move(key), std::move(value)});
  }
}

bool operator==(const Object& a, const Object& b) {
  return a.members_ == b.members_;
}

bool operator==(const Value& a, const Value& b) {
  return a.data_ == b.data_;
}

}  // namespace vorn::json
