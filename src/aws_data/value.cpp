#include "value.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace vorn::aws {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the JSON number literal at the start of `text` (0 if none), and
// whether it has no fraction and no exponent.
std::size_t literal_length(std::string_view text, bool& integral) {
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t first = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    return i - first;
  };
  if (i < text.size() && text[i] == '-') ++i;
  if (i < text.size() && text[i] == '0') {
    ++i;
  } else if (digits() == 0) {
    return 0;
  }
  integral = true;
  if (i < text.size() && text[i] == '.') {
    ++i;
    if (digits() == 0) return 0;
    integral = false;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return 0;
    integral = false;
  }
  return i;
}

double literal_value(std::string_view literal) {
  double d = 0;
  const auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), d);
  if (ec == std::errc()) return d;
  // Out of range: strtod saturates to +-HUGE_VAL or gives 0 for underflow.
  const std::string copy(literal);
  return std::strtod(copy.c_str(), nullptr);
}

// "-0" and "0" are one integer.
std::string_view integer_magnitude_text(std::string_view text, bool& negative) {
  negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text == "0") negative = false;
  return text;
}

bool numbers_equal(const Value& a, const Value& b) {
  if (a.is_integral() && b.is_integral()) {
    bool na = false, nb = false;
    const auto ta = integer_magnitude_text(a.number_text(), na);
    const auto tb = integer_magnitude_text(b.number_text(), nb);
    return na == nb && ta == tb;
  }
  return a.number_value() == b.number_value();
}

bool has_repeated_key(std::span<const Member> members) {
  const std::size_t n = members.size();
  if (n <= 16) {
    for (std::size_t i = 1; i < n; ++i) {
      for (std::size_t j = 0; j < i; ++j) {
        if (members[i].key == members[j].key) return true;
      }
    }
    return false;
  }
  std::vector<std::pair<std::size_t, std::size_t>> hashed;  // (hash, index)
  hashed.reserve(n);
  const std::hash<std::string_view> hash;
  for (std::size_t i = 0; i < n; ++i) hashed.emplace_back(hash(members[i].key), i);
  std::sort(hashed.begin(), hashed.end());
  for (std::size_t i = 1; i < n; ++i) {
    if (hashed[i].first == hashed[i - 1].first &&
        members[hashed[i].second].key == members[hashed[i - 1].second].key) {
      return true;
    }
  }
  return false;
}

bool objects_have_same_keys_and_count(const Value& a, const Value& b) {
  return a.members().size() == b.members().size();
}

}  // namespace

std::string_view kind_name(Kind kind) {
  switch (kind) {
    case Kind::kNull: return "null";
    case Kind::kBool: return "boolean";
    case Kind::kNumber: return "number";
    case Kind::kString: return "string";
    case Kind::kArray: return "array";
    case Kind::kObject: return "object";
  }
  return "null";
}

namespace detail {

Node* Node::allocate(bool is_object, std::size_t capacity) {
  const std::size_t slot = is_object ? sizeof(Member) : sizeof(Value);
  void* memory = ::operator new(sizeof(Node) + capacity * slot);
  Node* node = new (memory) Node();
  node->capacity = static_cast<std::uint32_t>(capacity);
  node->is_object = is_object;
  return node;
}

void Node::destroy_elements() {
  if (is_object) {
    std::destroy_n(members(), size);
  } else {
    std::destroy_n(items(), size);
  }
  size = 0;
}

void Node::destroy(Node* node) {
  // Shallow trees, nearly all of them, are torn down by plain recursion,
  // which touches each node once. Below kRecursiveTeardownDepth nested
  // destructions, this node instead takes every nested node it alone owns,
  // then every node those alone own, and so on; each is destroyed with no
  // sole-owned children left, so no depth can exhaust the stack.
  constexpr std::size_t kRecursiveTeardownDepth = 64;
  thread_local std::size_t depth = 0;
  if (depth < kRecursiveTeardownDepth) {
    ++depth;
    node->destroy_elements();
    --depth;
    node->~Node();
    ::operator delete(node);
    return;
  }
  std::vector<Node*> work{node};
  auto grab = [&work](Value& v) {
    if (v.has_node() && v.node_->references.load(std::memory_order_acquire) == 1) {
      work.push_back(v.node_);
      v.kind_ = Kind::kNull;  // the reference is the work list's now
    }
  };
  while (!work.empty()) {
    Node* next = work.back();
    work.pop_back();
    if (next->is_object) {
      for (Member& m : std::span(next->members(), next->size)) grab(m.value);
    } else {
      for (Value& v : std::span(next->items(), next->size)) grab(v);
    }
    next->destroy_elements();
    next->~Node();
    ::operator delete(next);
  }
}

}  // namespace detail

void Value::release(detail::Node* node) {
  if (node->references.fetch_sub(1, std::memory_order_acq_rel) == 1) detail::Node::destroy(node);
}

void Value::copy_payload(const Value& other) {
  if (other.has_text()) {
    new (&text_) SharedText(other.text_);
  } else if (other.has_node()) {
    node_ = other.node_;
    node_->references.fetch_add(1, std::memory_order_relaxed);
  } else {
    node_ = nullptr;
  }
}

Value Value::boolean(bool b) {
  Value v;
  v.kind_ = Kind::kBool;
  v.bool_ = b;
  return v;
}

Value Value::number_unchecked(std::string_view text, bool integral) {
  Value v;
  v.kind_ = Kind::kNumber;
  v.bool_ = integral;
  v.number_ = literal_value(text);
  new (&v.text_) SharedText(text);
  return v;
}

Value Value::integer(std::int64_t n) {
  char buffer[24];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
  Value v;
  v.kind_ = Kind::kNumber;
  v.bool_ = true;
  // The conversion rounds to nearest as reading the digits back would.
  v.number_ = static_cast<double>(n);
  new (&v.text_) SharedText(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
  return v;
}

Value Value::number(double d) {
  if (!std::isfinite(d)) return Value();
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
  const std::string_view text(buffer, end - buffer);
  bool integral = false;
  // to_chars writes "1e+20" and "inf"-free text that is always a JSON
  // literal except for the '+' after 'e', which JSON also allows.
  literal_length(text, integral);
  return number_unchecked(text, integral);
}

Result<Value, std::string> Value::number_from_text(std::string_view text) {
  bool integral = false;
  if (text.empty() || literal_length(text, integral) != text.size()) {
    return fail("not a JSON number: '" + std::string(text) + "'");
  }
  return number_unchecked(text, integral);
}

Value ValueBuilderAccess::number(std::string_view checked_literal) {
  bool integral = false;
  literal_length(checked_literal, integral);
  return Value::number_unchecked(checked_literal, integral);
}

Value Value::string(std::string_view text) {
  Value v;
  v.kind_ = Kind::kString;
  new (&v.text_) SharedText(text);
  return v;
}

Value Value::array() { return array(std::vector<Value>()); }
Value Value::object() { return object(std::vector<Member>()); }

Value Value::array(std::vector<Value> items) { return ValueBuilderAccess::array(items); }
Value Value::object(std::vector<Member> members) { return ValueBuilderAccess::object(members); }

Value ValueBuilderAccess::array(std::span<Value> items) {
  Value v;
  v.node_ = detail::Node::allocate(false, items.size());
  v.kind_ = Kind::kArray;
  std::uninitialized_move(items.begin(), items.end(), v.node_->items());
  v.node_->size = static_cast<std::uint32_t>(items.size());
  return v;
}

Value ValueBuilderAccess::object(std::span<Member> members) {
  Value v;
  // The members are taken as they are unless a key repeats, which real
  // documents almost never do: checking costs no allocation for a small
  // object and one sorted list of hashes for a wide one.
  if (!has_repeated_key(members)) {
    v.node_ = detail::Node::allocate(true, members.size());
    v.kind_ = Kind::kObject;
    std::uninitialized_move(members.begin(), members.end(), v.node_->members());
    v.node_->size = static_cast<std::uint32_t>(members.size());
    return v;
  }
  v.make_node_own(Kind::kObject, members.size());
  std::unordered_map<std::string_view, Value*> position;
  position.reserve(members.size());
  for (Member& m : members) {
    const auto found = position.find(m.key);
    if (found == position.end()) {
      detail::Node& node = *v.node_;
      Member* slot = new (node.members() + node.size) Member(std::move(m));
      ++node.size;
      position.emplace(slot->key, &slot->value);
    } else {
      *found->second = std::move(m.value);
    }
  }
  return v;
}

std::string_view Value::number_text() const {
  // A default Value is null; a number always has its text.
  return kind_ == Kind::kNumber ? text_.view() : std::string_view("0");
}
std::string_view Value::as_string() const { return text_.view(); }

std::span<const Value> Value::items() const {
  if (kind_ != Kind::kArray) return {};
  return {node_->items(), node_->size};
}

std::span<const Member> Value::members() const {
  if (kind_ != Kind::kObject) return {};
  return {node_->members(), node_->size};
}

std::size_t Value::size() const { return has_node() ? node_->size : 0; }

const Value* Value::find(std::string_view key) const {
  // Lookups by field name are the checker's most frequent step; comparing
  // length and first byte before the bytes skips nearly every other key
  // without a call into memcmp.
  for (const Member& m : members()) {
    if (m.key.size() == key.size() && (key.empty() || m.key[0] == key[0]) && m.key == key) {
      return &m.value;
    }
  }
  return nullptr;
}

void Value::make_node_own(Kind kind, std::size_t room) {
  if (kind_ != kind) {
    *this = Value();
  } else if (node_->references.load(std::memory_order_acquire) == 1 && node_->capacity >= room) {
    return;
  }
  const bool is_object = kind == Kind::kObject;
  detail::Node* own = detail::Node::allocate(is_object, room);
  if (kind_ == kind) {
    // Sole owners move their elements over; a node others share is copied.
    const bool sole = node_->references.load(std::memory_order_acquire) == 1;
    if (is_object) {
      Member* from = node_->members();
      if (sole) {
        std::uninitialized_move_n(from, node_->size, own->members());
      } else {
        std::uninitialized_copy_n(from, node_->size, own->members());
      }
    } else {
      Value* from = node_->items();
      if (sole) {
        std::uninitialized_move_n(from, node_->size, own->items());
      } else {
        std::uninitialized_copy_n(from, node_->size, own->items());
      }
    }
    own->size = node_->size;
    release(node_);
  }
  node_ = own;
  kind_ = kind;
}

std::span<Value> Value::mutable_items() {
  // Only a container has a node to hand out; anything else has none to write.
  make_node_own(Kind::kArray, kind_ == Kind::kArray ? node_->size : 0);
  return {node_->items(), node_->size};
}

std::span<Member> Value::mutable_members() {
  make_node_own(Kind::kObject, kind_ == Kind::kObject ? node_->size : 0);
  return {node_->members(), node_->size};
}

namespace {

// Room for one more element, growing as a vector does.
std::size_t room_for_one_more(std::size_t size, std::size_t capacity) {
  return size < capacity ? capacity : std::max<std::size_t>(4, 2 * size);
}

}  // namespace

void Value::push_item(Value item) {
  const bool array = kind_ == Kind::kArray;
  make_node_own(Kind::kArray, array ? room_for_one_more(node_->size, node_->capacity) : 4);
  new (node_->items() + node_->size) Value(std::move(item));
  ++node_->size;
}

Value& Value::member_for_write(std::string_view key) {
  const bool object = kind_ == Kind::kObject;
  make_node_own(Kind::kObject, object ? node_->size : 0);
  for (Member& m : std::span(node_->members(), node_->size)) {
    if (m.key == key) return m.value;
  }
  make_node_own(Kind::kObject, room_for_one_more(node_->size, node_->capacity));
  Member* slot = new (node_->members() + node_->size) Member{std::string(key), Value()};
  ++node_->size;
  return slot->value;
}

bool operator==(const Value& a, const Value& b) {
  // Iterative, so no nesting depth can exhaust the stack.
  std::vector<std::pair<const Value*, const Value*>> work{{&a, &b}};
  while (!work.empty()) {
    const auto [x, y] = work.back();
    work.pop_back();
    if (x->kind_ != y->kind_) return false;
    switch (x->kind_) {
      case Kind::kNull: break;
      case Kind::kBool:
        if (x->bool_ != y->bool_) return false;
        break;
      case Kind::kNumber:
        if (!numbers_equal(*x, *y)) return false;
        break;
      case Kind::kString:
        if (x->text_.view() != y->text_.view()) return false;
        break;
      case Kind::kArray: {
        if (x->node_ == y->node_) break;
        const auto xs = x->items();
        const auto ys = y->items();
        if (xs.size() != ys.size()) return false;
        for (std::size_t i = 0; i < xs.size(); ++i) work.emplace_back(&xs[i], &ys[i]);
        break;
      }
      case Kind::kObject: {
        if (x->node_ == y->node_) break;
        if (!objects_have_same_keys_and_count(*x, *y)) return false;
        const auto xs = x->members();
        const auto ys = y->members();
        // Small objects by scan; large ones through an index, so comparing
        // two wide objects stays linear.
        if (xs.size() <= 16) {
          for (const Member& m : xs) {
            const Value* other = y->find(m.key);
            if (other == nullptr) return false;
            work.emplace_back(&m.value, other);
          }
        } else {
          std::unordered_map<std::string_view, const Value*> index;
          index.reserve(ys.size());
          for (const Member& m : ys) index.emplace(m.key, &m.value);
          for (const Member& m : xs) {
            const auto it = index.find(m.key);
            if (it == index.end()) return false;
            work.emplace_back(&m.value, it->second);
          }
        }
        break;
      }
    }
  }
  return true;
}

}  // namespace vorn::aws
