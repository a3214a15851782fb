// The contract between the two JSON readers, checked on one text: the fast
// reader (simdjson) accepts only texts the exact reader (RapidJSON) accepts,
// with the same tree; read() and read_document() accept exactly what the
// exact reader accepts, with its tree or its message; and a document's nodes
// show the same values, in the same order, as that tree. Shared by the
// differential test over a generated corpus and by the fuzz target.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "json/document.hpp"
#include "json/reader.hpp"

namespace vorn::json::agreement {

// Floats are compared by their bits, so 0.0 and -0.0 differ (== would not
// tell them apart).
inline bool same_float(double a, double b) {
  std::uint64_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

// Whether two trees are the same value, number forms and float bits included.
inline bool same(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Value::Kind::Null:
      return true;
    case Value::Kind::Bool:
      return a.as_bool() == b.as_bool();
    case Value::Kind::UInt:
      return a.as_uint() == b.as_uint();
    case Value::Kind::Int:
      return a.as_int() == b.as_int();
    case Value::Kind::Float:
      return same_float(a.as_float(), b.as_float());
    case Value::Kind::String:
      return a.as_string() == b.as_string();
    case Value::Kind::Array: {
      const Array& x = a.as_array();
      const Array& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (!same(x[i], y[i])) return false;
      }
      return true;
    }
    case Value::Kind::Object: {
      const auto& x = a.as_object().members();
      const auto& y = b.as_object().members();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) {
        if (x[i].key != y[i].key || !same(x[i].value, y[i].value)) return false;
      }
      return true;
    }
  }
  return false;
}

// Whether a document node shows the value `expected` through every accessor:
// kinds, scalars, elements, the sorted members, a one-pass member walk that
// keeps the last of each key, and to_value().
inline bool node_shows(const Node& node, const Value& expected) {
  if (node.kind() != expected.kind()) return false;
  switch (expected.kind()) {
    case Value::Kind::Null:
      break;
    case Value::Kind::Bool:
      if (node.as_bool() != expected.as_bool()) return false;
      break;
    case Value::Kind::UInt:
      if (node.as_uint() != expected.as_uint()) return false;
      break;
    case Value::Kind::Int:
      if (node.as_int() != expected.as_int()) return false;
      break;
    case Value::Kind::Float:
      if (!same_float(node.as_float(), expected.as_float())) return false;
      break;
    case Value::Kind::String:
      if (node.as_string() != expected.as_string()) return false;
      break;
    case Value::Kind::Array: {
      const Array& items = expected.as_array();
      const std::vector<Node> elements = node.elements();
      if (elements.size() != items.size()) return false;
      // Each child is walked through every accessor once (node_shows), and
      // reached the other ways only through to_value(), so the check stays
      // linear in the size times the depth of the text.
      std::size_t visited = 0;
      bool all = true;
      node.for_each_element([&](const Node& element) {
        all = all && visited < items.size() && same(element.to_value(), items[visited]);
        ++visited;
      });
      if (!all || visited != items.size()) return false;
      for (std::size_t i = 0; i < items.size(); ++i) {
        if (!node_shows(elements[i], items[i])) return false;
      }
      break;
    }
    case Value::Kind::Object: {
      const Object& object = expected.as_object();
      const Members members = node.members();
      if (members.size() != object.size()) return false;
      std::size_t i = 0;
      for (const Members::Member& member : members) {
        const Member& want = object.members()[i++];
        if (member.key != want.key || !node_shows(member.value, want.value)) return false;
        const Node* found = members.find(want.key);
        if (found == nullptr || !same(found->to_value(), want.value)) return false;
      }
      // Walked in text order, the last value written under a key is the one
      // the tree keeps.
      std::vector<std::pair<std::string, Value>> last;
      node.for_each_member([&](std::string_view key, const Node& value) {
        for (auto& [k, v] : last) {
          if (k == key) {
            v = value.to_value();
            return;
          }
        }
        last.emplace_back(std::string(key), value.to_value());
      });
      if (last.size() != object.size()) return false;
      for (const auto& [key, value] : last) {
        const Value* want = object.find(key);
        if (want == nullptr || !same(value, *want)) return false;
      }
      break;
    }
  }
  return same(node.to_value(), expected);
}

// The first broken promise for `text`, or nullopt when all hold.
inline std::optional<std::string> check(std::string_view text) {
  const auto exact = read_exact(text);
  const std::optional<Value> fast = read_fast(text);
  if (fast) {
    if (!exact.ok()) return "fast reader accepts what the exact one refuses: " + exact.error().message;
    if (!same(*fast, exact.value())) return std::string("the readers disagree on the value");
  }
  const auto combined = read(text);
  if (combined.ok() != exact.ok()) return std::string("read() and the exact reader disagree");
  if (!exact.ok()) {
    if (combined.error().message != exact.error().message) {
      return "read() says \"" + combined.error().message + "\", the exact reader \"" +
             exact.error().message + "\"";
    }
  } else if (!same(combined.value(), exact.value())) {
    return std::string("read() and the exact reader disagree on the value");
  }
  const auto document = read_document(text);
  if (document.ok() != exact.ok()) return std::string("read_document() and the exact reader disagree");
  if (!exact.ok()) {
    if (document.error().message != exact.error().message) {
      return std::string("read_document() and the exact reader disagree on the message");
    }
    return std::nullopt;
  }
  if (document.value().read_fast() != fast.has_value()) {
    return std::string("read_document() took the other reader");
  }
  if (!node_shows(document.value().root(), exact.value())) {
    return std::string("the document's nodes disagree with the exact reader's tree");
  }
  return std::nullopt;
}

}  // namespace vorn::json::agreement
