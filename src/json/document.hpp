// A JSON text read for walking, without building a Value tree first.
//
// read_document() reads the text with the fast reader (simdjson's DOM
// parser) and keeps its document; a text the fast reader refuses goes to the
// exact reader (read_exact), which accepts it as a Value tree or says exactly
// why not, so the outcome and every message are those of read(). Either way
// a Node views one value of the document; a caller that needs a Value for
// part of it asks for that part only (Node::to_value).
//
// The fast reader refuses every text simdjson refuses, which includes every
// malformed text, integers of 2^64 and beyond (which the exact reader reads
// as floats), lone surrogate escapes, and nesting at kMaxReadDepth levels
// where simdjson counts one level more than the exact reader (objects). For
// every text it accepts, it yields the same values as the exact reader.
//
// A Document owns what its nodes point into: nodes, members and the string
// views they hand out are valid while the Document lives (and is not moved
// from). A Document is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/result.hpp"
#include "reader.hpp"
#include "value.hpp"

namespace vorn::json {

class Members;

class Node {
 public:
  // The kinds of the Value the node stands for: non-negative integers are
  // UInt, negative ones Int, every number with a fraction or exponent Float.
  Value::Kind kind() const { return kind_; }
  bool is_null() const { return kind() == Value::Kind::Null; }
  bool is_bool() const { return kind() == Value::Kind::Bool; }
  bool is_uint() const { return kind() == Value::Kind::UInt; }
  bool is_int() const { return kind() == Value::Kind::Int; }
  bool is_float() const { return kind() == Value::Kind::Float; }
  bool is_string() const { return kind() == Value::Kind::String; }
  bool is_array() const { return kind() == Value::Kind::Array; }
  bool is_object() const { return kind() == Value::Kind::Object; }

  // Accessors require the matching kind.
  bool as_bool() const;
  std::uint64_t as_uint() const;
  std::int64_t as_int() const;
  double as_float() const;
  std::string_view as_string() const;
  // An array's elements, in order.
  std::vector<Node> elements() const;
  // An object's members sorted by key bytes, the last of a repeated key kept.
  Members members() const;

  // Calls visit(element) for each element of an array, in order, and
  // visit(key, value) for each member of an object, in text order with
  // repeated keys included (a caller that takes each key into a slot keeps
  // the last of a repeat, as a sorted view would). Neither allocates.
  template <class Visit>
  void for_each_element(Visit&& visit) const {
    visit_elements(
        [](void* context, const Node& element) {
          (*static_cast<std::remove_reference_t<Visit>*>(context))(element);
        },
        &visit);
  }
  template <class Visit>
  void for_each_member(Visit&& visit) const {
    visit_members(
        [](void* context, std::string_view key, const Node& value) {
          (*static_cast<std::remove_reference_t<Visit>*>(context))(key, value);
        },
        &visit);
  }

  // The value as a tree of its own, owning everything.
  Value to_value() const;

 private:
  friend class Document;
  friend class FastNodeAccess;

  using ElementVisitor = void (*)(void* context, const Node& element);
  using MemberVisitor = void (*)(void* context, std::string_view key, const Node& value);
  void visit_elements(ElementVisitor visitor, void* context) const;
  void visit_members(MemberVisitor visitor, void* context) const;

  // A tree node, or else a node of the fast reader's document, held as the
  // bytes of a simdjson element (two words: its document and tape position).
  // The kind is read once, when the node is made: the parser asks for it
  // at nearly every step.
  const Value* tree_ = nullptr;
  alignas(std::uint64_t) unsigned char element_[16] = {};
  Value::Kind kind_ = Value::Kind::Null;
};

class Members {
 public:
  struct Member {
    std::string_view key;
    Node value;
  };

  const Node* find(std::string_view key) const;
  std::size_t size() const { return members_.size(); }
  std::vector<Member>::const_iterator begin() const { return members_.begin(); }
  std::vector<Member>::const_iterator end() const { return members_.end(); }

 private:
  friend class Node;
  std::vector<Member> members_;
};

class Document {
 public:
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  ~Document();

  Node root() const;
  // Whether the fast reader read the text (false: the exact reader did).
  bool read_fast() const { return fast_ != nullptr; }

 private:
  friend Result<Document, ReadError> read_document(std::string_view text);
  friend std::optional<Document> read_fast_document(std::string_view text);
  struct Fast;
  Document() = default;
  // A document the exact reader read.
  explicit Document(Value tree);

  std::unique_ptr<Fast> fast_;
  std::unique_ptr<Value> tree_;
};

Result<Document, ReadError> read_document(std::string_view text);

// The fast reader alone: the tree of `text`, or nullopt when it refuses the
// text (which the exact reader may still accept).
std::optional<Value> read_fast(std::string_view text);

// The same, keeping simdjson's document instead of building a tree.
std::optional<Document> read_fast_document(std::string_view text);

}  // namespace vorn::json
