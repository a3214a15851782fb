#include "document.hpp"

#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>

namespace vorn::json {

namespace {

using Element = simdjson::dom::element;
static_assert(std::is_trivially_copyable_v<Element> && sizeof(Element) <= 16,
              "a Node holds a simdjson element as plain bytes");

// simdjson's parser, its document and a padded copy of the text: what one
// read needs. One per thread is kept between reads, so that reading a
// definition does not allocate and fault in fresh buffers each time; a read
// that starts while the kept one is in use (a Document still alive) gets a
// new one. Buffers grown for a text larger than kKeptTextSize are let go
// after use instead of being kept for the thread's lifetime.
class Workspace {
 public:
  static std::unique_ptr<Workspace> acquire() {
    if (idle_) return std::move(idle_);
    return std::make_unique<Workspace>();
  }
  static void release(std::unique_ptr<Workspace> workspace) {
    if (workspace->padded_size_ <= kKeptTextSize + simdjson::SIMDJSON_PADDING && !idle_) {
      idle_ = std::move(workspace);
    }
  }

  // The root of `text`, or nullopt when simdjson refuses it.
  std::optional<Element> parse(std::string_view text) {
    if (!reserve(text.size())) return std::nullopt;
    Element root;
    if (parser_.parse(padded_copy(text), text.size(), false).get(root) != simdjson::SUCCESS) {
      return std::nullopt;
    }
    return root;
  }

 private:
  static constexpr std::size_t kKeptTextSize = std::size_t{1} << 20;
  static constexpr std::size_t kMinimalCapacity = 4096;
  static thread_local std::unique_ptr<Workspace> idle_;

  // simdjson reads up to SIMDJSON_PADDING bytes past the text.
  const char* padded_copy(std::string_view text) {
    const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    if (padded_size_ < needed) {
      padded_.reset(new char[needed]);
      padded_size_ = needed;
    }
    std::memcpy(padded_.get(), text.data(), text.size());
    std::memset(padded_.get() + text.size(), ' ', simdjson::SIMDJSON_PADDING);
    return padded_.get();
  }

  // Room for `size` bytes of text, with simdjson's depth limit set to ours.
  // It counts one level more than the exact reader does for objects, so the
  // same limit is never looser than the exact reader's.
  bool reserve(std::size_t size) {
    if (parser_.capacity() >= size && parser_.max_depth() == kMaxReadDepth) return true;
    const std::size_t capacity = std::max(size, kMinimalCapacity);
    return parser_.allocate(capacity, kMaxReadDepth) == simdjson::SUCCESS;
  }

  simdjson::dom::parser parser_;
  std::unique_ptr<char[]> padded_;
  std::size_t padded_size_ = 0;
};

thread_local std::unique_ptr<Workspace> Workspace::idle_;

constexpr std::size_t kInsertionSortLimit = 32;

Value element_value(Element element, std::size_t depth = 0);

struct Field {
  std::string_view key;
  Element value;
};

// Sorts `fields` by key, keeping equal keys in text order, and then keeps
// only the last of each key: the members an object holds.
void sort_fields(std::vector<Field>& fields);

// The members are put in order and repeats dropped before any of them is
// built, so no Value is moved by the sort or built only to be replaced.
//
// The fields of each nesting level are gathered in a buffer of that level,
// kept per thread, instead of a new vector per object. The levels are made
// once, all of them, so no buffer moves while an outer level still uses its
// own; the parser has refused anything nested deeper.
Value object_value(simdjson::dom::object object, std::size_t depth) {
  thread_local std::vector<std::vector<Field>> fields_by_depth(kMaxReadDepth + 1);
  std::vector<Field> own;
  std::vector<Field>& fields = depth < fields_by_depth.size() ? fields_by_depth[depth] : own;
  fields.clear();
  for (const simdjson::dom::key_value_pair field : object) fields.push_back({field.key, field.value});
  sort_fields(fields);
  std::vector<Member> members;
  members.reserve(fields.size());
  for (const Field& field : fields) {
    members.push_back(Member{std::string(field.key), element_value(field.value, depth + 1)});
  }
  // A buffer grown by one huge object is not kept for the thread's lifetime.
  constexpr std::size_t kKeptFields = 4096;
  if (fields.capacity() > kKeptFields) std::vector<Field>().swap(fields);
  return Object::from_members(std::move(members));
}

Value array_value(simdjson::dom::array array, std::size_t depth) {
  Array elements;
  elements.reserve(array.size());
  for (const Element element : array) elements.push_back(element_value(element, depth + 1));
  return elements;
}

// Recurses once per level (`depth` counts them); the parser has refused
// anything deeper than kMaxReadDepth.
Value element_value(Element element, std::size_t depth) {
  using Type = simdjson::dom::element_type;
  switch (element.type()) {
    case Type::OBJECT:
      return object_value(element.get_object().value_unsafe(), depth);
    case Type::ARRAY:
      return array_value(element.get_array().value_unsafe(), depth);
    case Type::STRING:
      return Value(std::string(element.get_string().value_unsafe()));
    // simdjson reads "-0" as the integer zero, as the exact reader does,
    // and every literal with a fraction or exponent as a double.
    case Type::INT64:
      return Value(element.get_int64().value_unsafe());
    case Type::UINT64:
      return Value(element.get_uint64().value_unsafe());
    case Type::DOUBLE:
      return Value(element.get_double().value_unsafe());
    case Type::BOOL:
      return Value(element.get_bool().value_unsafe());
    case Type::NULL_VALUE:
      break;
  }
  return Value(Null{});
}

}  // namespace

// Node keeps simdjson out of its header; this is the one place that turns
// its bytes back into an element and back.
class FastNodeAccess {
 public:
  static Element element(const Node& node) {
    Element element;
    std::memcpy(static_cast<void*>(&element), node.element_, sizeof element);
    return element;
  }
  static Node node(Element element) {
    Node node;
    std::memcpy(node.element_, static_cast<const void*>(&element), sizeof element);
    node.kind_ = kind_of(element);
    return node;
  }
  static Node node(const Value& value) {
    Node node;
    node.tree_ = &value;
    node.kind_ = value.kind();
    return node;
  }

 private:
  // The kind of Value an element becomes: non-negative integers are UInt,
  // negative ones Int.
  static Value::Kind kind_of(Element element) {
    using Type = simdjson::dom::element_type;
    switch (element.type()) {
      case Type::OBJECT:
        return Value::Kind::Object;
      case Type::ARRAY:
        return Value::Kind::Array;
      case Type::STRING:
        return Value::Kind::String;
      case Type::INT64:
        return element.get_int64().value_unsafe() < 0 ? Value::Kind::Int : Value::Kind::UInt;
      case Type::UINT64:
        return Value::Kind::UInt;
      case Type::DOUBLE:
        return Value::Kind::Float;
      case Type::BOOL:
        return Value::Kind::Bool;
      case Type::NULL_VALUE:
        break;
    }
    return Value::Kind::Null;
  }
};

namespace {

Element element_of(const Node& node) {
  return FastNodeAccess::element(node);
}

}  // namespace

bool Node::as_bool() const {
  if (tree_ != nullptr) return tree_->as_bool();
  return element_of(*this).get_bool().value_unsafe();
}

std::uint64_t Node::as_uint() const {
  if (tree_ != nullptr) return tree_->as_uint();
  const Element element = element_of(*this);
  if (element.type() == simdjson::dom::element_type::INT64) {
    return static_cast<std::uint64_t>(element.get_int64().value_unsafe());
  }
  return element.get_uint64().value_unsafe();
}

std::int64_t Node::as_int() const {
  if (tree_ != nullptr) return tree_->as_int();
  return element_of(*this).get_int64().value_unsafe();
}

double Node::as_float() const {
  if (tree_ != nullptr) return tree_->as_float();
  return element_of(*this).get_double().value_unsafe();
}

std::string_view Node::as_string() const {
  if (tree_ != nullptr) return tree_->as_string();
  return element_of(*this).get_string().value_unsafe();
}

std::vector<Node> Node::elements() const {
  std::vector<Node> nodes;
  if (tree_ != nullptr) {
    nodes.reserve(tree_->as_array().size());
    for (const Value& element : tree_->as_array()) nodes.push_back(FastNodeAccess::node(element));
    return nodes;
  }
  const simdjson::dom::array array = element_of(*this).get_array().value_unsafe();
  nodes.reserve(array.size());
  for (const Element element : array) nodes.push_back(FastNodeAccess::node(element));
  return nodes;
}

void Node::visit_elements(ElementVisitor visitor, void* context) const {
  if (tree_ != nullptr) {
    for (const Value& element : tree_->as_array()) visitor(context, FastNodeAccess::node(element));
    return;
  }
  // Copied out first: the result that value_unsafe() refers into is a
  // temporary, which a range-for would not keep alive.
  const simdjson::dom::array array = element_of(*this).get_array().value_unsafe();
  for (const Element element : array) visitor(context, FastNodeAccess::node(element));
}

void Node::visit_members(MemberVisitor visitor, void* context) const {
  if (tree_ != nullptr) {
    for (const Member& member : tree_->as_object()) {
      visitor(context, member.key, FastNodeAccess::node(member.value));
    }
    return;
  }
  const simdjson::dom::object object = element_of(*this).get_object().value_unsafe();
  for (const simdjson::dom::key_value_pair field : object) {
    visitor(context, field.key, FastNodeAccess::node(field.value));
  }
}

namespace {

// A stable sort by key, then the last of each run of equal keys kept.
template <class Entry>
void sort_and_keep_last(std::vector<Entry>& entries) {
  auto by_key = [](const Entry& a, const Entry& b) { return key_less(a.key, b.key); };
  bool sorted = true;
  for (std::size_t i = 1; i < entries.size() && sorted; ++i) {
    sorted = key_less(entries[i - 1].key, entries[i].key);
  }
  if (sorted) return;
  if (entries.size() <= kInsertionSortLimit) {
    // Most objects are small; this sort needs no scratch buffer.
    for (std::size_t i = 1; i < entries.size(); ++i) {
      const Entry moving = entries[i];
      std::size_t j = i;
      for (; j > 0 && by_key(moving, entries[j - 1]); --j) entries[j] = entries[j - 1];
      entries[j] = moving;
    }
  } else {
    std::stable_sort(entries.begin(), entries.end(), by_key);
  }
  std::size_t out = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + 1 < entries.size() && entries[i + 1].key == entries[i].key) continue;
    entries[out++] = entries[i];
  }
  entries.resize(out);
}

void sort_fields(std::vector<Field>& fields) {
  sort_and_keep_last(fields);
}

}  // namespace

Members Node::members() const {
  Members view;
  auto& members = view.members_;
  if (tree_ != nullptr) {
    // A tree's objects are already sorted and free of repeats.
    members.reserve(tree_->as_object().size());
    for (const Member& member : tree_->as_object()) {
      members.push_back({member.key, FastNodeAccess::node(member.value)});
    }
    return view;
  }
  const simdjson::dom::object object = element_of(*this).get_object().value_unsafe();
  members.reserve(object.size());
  for (const simdjson::dom::key_value_pair field : object) {
    members.push_back({field.key, FastNodeAccess::node(field.value)});
  }
  sort_and_keep_last(members);
  return view;
}

Value Node::to_value() const {
  if (tree_ != nullptr) return *tree_;
  return element_value(element_of(*this));
}

const Node* Members::find(std::string_view key) const {
  const auto it = std::lower_bound(
      members_.begin(), members_.end(), key,
      [](const Member& member, std::string_view k) { return key_less(member.key, k); });
  return it != members_.end() && it->key == key ? &it->value : nullptr;
}

struct Document::Fast {
  std::unique_ptr<Workspace> workspace;
  Element root;

  ~Fast() {
    if (workspace) Workspace::release(std::move(workspace));
  }
};

Document::Document(Document&&) noexcept = default;
Document& Document::operator=(Document&&) noexcept = default;
Document::~Document() = default;

Node Document::root() const {
  if (fast_) return FastNodeAccess::node(fast_->root);
  return FastNodeAccess::node(*tree_);
}

std::optional<Document> read_fast_document(std::string_view text) {
  auto fast = std::make_unique<Document::Fast>();
  fast->workspace = Workspace::acquire();
  std::optional<Element> root = fast->workspace->parse(text);
  if (!root) return std::nullopt;  // the workspace goes back with `fast`
  fast->root = *root;
  Document document;
  document.fast_ = std::move(fast);
  return document;
}

Document::Document(Value tree) : tree_(std::make_unique<Value>(std::move(tree))) {}

std::optional<Value> read_fast(std::string_view text) {
  std::unique_ptr<Workspace> workspace = Workspace::acquire();
  std::optional<Value> value;
  if (const std::optional<Element> root = workspace->parse(text)) value = element_value(*root);
  Workspace::release(std::move(workspace));
  return value;
}

}  // namespace vorn::json
