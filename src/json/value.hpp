// The JSON value tree shared by every library of the toolkit.
//
// A number keeps one of three forms and they never mix: a non-negative integer
// (UInt, any unsigned 64-bit value), a negative integer (Int, always < 0) or a
// finite binary64 float (Float). So `1` and `1.0` are different values
// everywhere. Objects hold unique keys sorted by their bytes (unsigned, the
// shorter key first on a common prefix); building an object from members that
// repeat a key keeps the last occurrence.
//
// Values own everything they hold; copies are deep.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "base/key_order.hpp"

namespace vorn::json {

class Value;
struct Member;

using Array = std::vector<Value>;

// Members sorted by key bytes, keys unique.
class Object {
 public:
  // The special members are defined below, where Member is complete, so
  // that Value's inline constructors need only their declarations.
  Object();
  Object(const Object&);
  Object(Object&&) noexcept;
  Object& operator=(const Object&);
  Object& operator=(Object&&) noexcept;
  ~Object();

  // Sorts `members` by key (stable) and keeps the last of each run of equal
  // keys, so callers may pass members in any order, duplicates included.
  static Object from_members(std::vector<Member> members);

  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // Inserts or replaces, keeping the order.
  void set(std::string key, Value value);

  // Defined below, where Member is complete.
  std::size_t size() const;
  bool empty() const;
  const std::vector<Member>& members() const { return members_; }
  std::vector<Member>& members() { return members_; }
  std::vector<Member>::const_iterator begin() const;
  std::vector<Member>::const_iterator end() const;
  std::vector<Member>::iterator begin();
  std::vector<Member>::iterator end();

  friend bool operator==(const Object&, const Object&);

 private:
  std::vector<Member> members_;
};

struct Null {
  friend bool operator==(Null, Null) { return true; }
};

class Value {
 public:
  enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };

  Value() = default;
  Value(Null) {}
  Value(bool b) : data_(b) {}
  Value(std::uint64_t u) : data_(u) {}
  // Non-negative values are stored as UInt so that each number has one form.
  Value(std::int64_t i) {
    if (i < 0) {
      data_ = i;
    } else {
      data_ = static_cast<std::uint64_t>(i);
    }
  }
  Value(int i) : Value(static_cast<std::int64_t>(i)) {}
  Value(double d) : data_(d) {}
  Value(std::string s) : data_(std::move(s)) {}
  Value(std::string_view s) : data_(std::string(s)) {}
  Value(const char* s) : data_(std::string(s)) {}
  Value(Array a) : data_(std::move(a)) {}
  Value(Object o) : data_(std::move(o)) {}

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool is_null() const { return kind() == Kind::Null; }
  bool is_bool() const { return kind() == Kind::Bool; }
  bool is_uint() const { return kind() == Kind::UInt; }
  bool is_int() const { return kind() == Kind::Int; }
  bool is_float() const { return kind() == Kind::Float; }
  bool is_integer() const { return is_uint() || is_int(); }
  bool is_number() const { return is_integer() || is_float(); }
  bool is_string() const { return kind() == Kind::String; }
  bool is_array() const { return kind() == Kind::Array; }
  bool is_object() const { return kind() == Kind::Object; }

  // Accessors require the matching kind.
  bool as_bool() const { return std::get<bool>(data_); }
  std::uint64_t as_uint() const { return std::get<std::uint64_t>(data_); }
  std::int64_t as_int() const { return std::get<std::int64_t>(data_); }
  double as_float() const { return std::get<double>(data_); }
  const std::string& as_string() const { return std::get<std::string>(data_); }
  std::string& as_string() { return std::get<std::string>(data_); }
  const Array& as_array() const { return std::get<Array>(data_); }
  Array& as_array() { return std::get<Array>(data_); }
  const Object& as_object() const { return std::get<Object>(data_); }
  Object& as_object() { return std::get<Object>(data_); }

  friend bool operator==(const Value&, const Value&);

 private:
  // The alternative order matches Kind.
  std::variant<Null, bool, std::uint64_t, std::int64_t, double, std::string, Array, Object> data_;
};

struct Member {
  std::string key;
  Value value;

  friend bool operator==(const Member&, const Member&) = default;
};

inline Object::Object() = default;
inline Object::Object(const Object&) = default;
inline Object::Object(Object&&) noexcept = default;
inline Object& Object::operator=(const Object&) = default;
inline Object& Object::operator=(Object&&) noexcept = default;
inline Object::~Object() = default;

inline std::size_t Object::size() const {
  return members_.size();
}
inline bool Object::empty() const {
  return members_.empty();
}
inline std::vector<Member>::const_iterator Object::begin() const {
  return members_.begin();
}
inline std::vector<Member>::const_iterator Object::end() const {
  return members_.end();
}
inline std::vector<Member>::iterator Object::begin() {
  return members_.begin();
}
inline std::vector<Member>::iterator Object::end() {
  return members_.end();
}

}  // namespace vorn::json
