// Value: a JSON value as AWS Step Functions keeps it between states.
//
// Objects keep their members in insertion order; numbers keep the text they
// were written with ("0.0" stays "0.0", "1e2" stays "1e2") beside their
// numeric value. Strings, numbers' texts, arrays and objects live in shared,
// immutable-by-default nodes, so copying a Value is a reference-count bump
// however large the payload: data handed from state to state is shared, and
// only the path a placement changes is copied (copy on write).
//
// Ownership: a Value owns a share of its nodes. Views handed out
// (string_view, span, pointers to members) stay valid while this Value, or any
// copy sharing the node, lives and until a mutable_*() or set_member() call on
// this Value, which may give it a private copy of the node.
//
// Equality (operator==) ignores the order of object members and compares
// numbers by value: two numbers both written as integers (no '.', 'e' or 'E')
// are equal when their integer texts are equal ("-0" equals "0"), so integers
// of any length compare exactly; any other pair is equal when their values as
// binary64 doubles are equal (0 == 0.0 == 0e5, 100 == 1e2), which is exact only
// within +-(2^53-1). Strings compare byte for byte; arrays element by element.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "aws_data/shared_text.hpp"
#include "base/result.hpp"

namespace vorn::aws {

enum class Kind : std::uint8_t { kNull, kBool, kNumber, kString, kArray, kObject };

// "null", "boolean", "number", "string", "array", "object".
std::string_view kind_name(Kind kind);

class Value;
struct Member;

namespace detail {
struct Node;
}  // namespace detail

class Value {
 public:
  Value() : node_(nullptr) {}  // null
  Value(const Value& other) : kind_(other.kind_), bool_(other.bool_), number_(other.number_) {
    copy_payload(other);
  }
  // A Value holds no pointer into itself, so moving one is a plain copy of
  // its bytes; the source is left null.
  Value(Value&& other) noexcept
      : kind_(other.kind_), bool_(other.bool_), number_(other.number_) {
    std::memcpy(static_cast<void*>(&text_), static_cast<const void*>(&other.text_),
                sizeof text_);
    other.kind_ = Kind::kNull;
  }
  Value& operator=(const Value& other) {
    if (this != &other) *this = Value(other);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      destroy_payload();
      kind_ = other.kind_;
      bool_ = other.bool_;
      number_ = other.number_;
      std::memcpy(static_cast<void*>(&text_), static_cast<const void*>(&other.text_),
                  sizeof text_);
      other.kind_ = Kind::kNull;
    }
    return *this;
  }
  ~Value() { destroy_payload(); }
  static Value null() { return Value(); }
  static Value boolean(bool b);
  static Value integer(std::int64_t n);
  // The shortest text that reads back as `d`; a non-finite `d` has no JSON
  // text and gives null.
  static Value number(double d);
  // A number with its written form; refused unless `text` is a JSON number
  // literal. Literals beyond binary64 keep their text and compare as +-inf or 0.
  static Result<Value, std::string> number_from_text(std::string_view text);
  static Value string(std::string_view text);
  // (Overloads rather than default arguments: Value and Member are still
  // incomplete here, and clang instantiates a default argument eagerly.)
  static Value array();
  static Value array(std::vector<Value> items);
  // Members in the given order; a repeated key replaces the earlier member's
  // value in the earlier member's place (as the JSON readers AWS uses do).
  static Value object();
  static Value object(std::vector<Member> members);

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }
  bool is_bool() const { return kind_ == Kind::kBool; }
  bool is_number() const { return kind_ == Kind::kNumber; }
  bool is_string() const { return kind_ == Kind::kString; }
  bool is_array() const { return kind_ == Kind::kArray; }
  bool is_object() const { return kind_ == Kind::kObject; }

  // Each accessor requires the matching kind.
  bool as_bool() const { return bool_; }
  std::string_view number_text() const;
  double number_value() const { return number_; }
  // Written as an integer: no fraction and no exponent.
  bool is_integral() const { return bool_; }
  std::string_view as_string() const;
  std::span<const Value> items() const;
  std::span<const Member> members() const;
  // Elements or members; 0 for anything else.
  std::size_t size() const;

  // The member named `key` of an object, or null when absent or not an object.
  const Value* find(std::string_view key) const;

  // Copy on write: the node becomes this Value's own before it is handed out.
  // Meant for an array (an object); a value of any other kind is first
  // replaced by an empty one, so a caller that skipped the check gets a
  // container to write to, never a dangling one.
  std::span<Value> mutable_items();
  std::span<Member> mutable_members();
  // Appends an element; meant for an array (any other value becomes an
  // empty array first). Earlier views of the elements become invalid.
  void push_item(Value item);
  // The value of the member named `key`, appended as null when absent; meant
  // for an object (any other value becomes an empty object first). Earlier
  // views of the members become invalid.
  Value& member_for_write(std::string_view key);
  // Replaces the member's value in place, or appends it.
  void set_member(std::string_view key, Value value) { member_for_write(key) = std::move(value); }

  friend bool operator==(const Value& a, const Value& b);

 private:
  friend struct detail::Node;
  friend class ValueBuilderAccess;
  static Value number_unchecked(std::string_view text, bool integral);
  static void release(detail::Node* node);
  // Makes this Value a container of `kind` holding a node it alone owns,
  // with room for at least `room` elements.
  void make_node_own(Kind kind, std::size_t room);

  bool has_text() const { return kind_ == Kind::kString || kind_ == Kind::kNumber; }
  bool has_node() const { return kind_ == Kind::kArray || kind_ == Kind::kObject; }
  void copy_payload(const Value& other);
  void destroy_payload() {
    if (has_text()) {
      text_.~SharedText();
    } else if (has_node()) {
      release(node_);
    }
  }

  Kind kind_ = Kind::kNull;
  bool bool_ = false;  // the boolean, or whether a number is integral
  double number_ = 0;
  // A string's or number's text, or a container's node (one counted
  // reference); which one is told by kind_. Sharing the space keeps a Value
  // at 40 bytes, and so every member and element of a document.
  union {
    SharedText text_;
    detail::Node* node_;
  };
};

struct Member {
  std::string key;
  Value value;
  friend bool operator==(const Member& a, const Member& b) = default;
};

namespace detail {
// One array's elements or one object's members in a single block: this
// header, then `capacity` slots of which the first `size` hold a Value (an
// array) or a Member (an object). The Values that share the node count
// themselves in `references`. Tearing a node down never recurses below a
// bounded depth: a node that solely owns nested nodes hands them to a work
// list first, so dropping a value nested a million deep cannot exhaust the
// stack.
struct alignas(8) Node {
  std::atomic<std::uint32_t> references{1};
  std::uint32_t size = 0;
  std::uint32_t capacity = 0;
  bool is_object = false;

  Value* items() { return reinterpret_cast<Value*>(this + 1); }
  Member* members() { return reinterpret_cast<Member*>(this + 1); }
  // Room for `capacity` elements, none there yet.
  static Node* allocate(bool is_object, std::size_t capacity);
  // Destroys the elements and frees the block.
  static void destroy(Node* node);
  void destroy_elements();
};
}  // namespace detail

// For the reader: a number whose text the caller has already checked.
class ValueBuilderAccess {
 public:
  static Value number(std::string_view checked_literal);
  // An array of `items`, or an object of `members` as Value::object reads
  // them; both are moved out of the caller's span.
  static Value array(std::span<Value> items);
  static Value object(std::span<Member> members);
};

}  // namespace vorn::aws
