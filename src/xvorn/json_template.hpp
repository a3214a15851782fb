// JsonTemplate: an output object described once and evaluated against any
// number of inputs. Each top-level key of the template either carries a
// literal value or, when it ends in ".$", a JsonPath whose target is copied
// from the input under the key without its ".$".
//
// Only the top level is read this way: literal values, nested objects with
// ".$" keys included, are copied as they are. Entries are held in the byte
// order of the template's keys and applied in that order, so when "k" and
// "k.$" both exist the reference, which comes later, wins.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/result.hpp"
#include "json/value.hpp"
#include "json_path.hpp"

namespace xvorn {

struct Literal {
  std::string key;
  vorn::json::Value value;
  friend bool operator==(const Literal&, const Literal&) = default;
};

struct Reference {
  std::string key;  // without the ".$"
  JsonPath path;
  friend bool operator==(const Reference&, const Reference&) = default;
};

using JsonTemplateEntry = std::variant<Literal, Reference>;

struct NotObject {
  friend bool operator==(const NotObject&, const NotObject&) = default;
};

struct ReferenceNotString {
  std::string key;  // as written, with the ".$"
  friend bool operator==(const ReferenceNotString&, const ReferenceNotString&) = default;
};

struct InvalidReference {
  std::string key;  // as written, with the ".$"
  JsonPathError error;
  friend bool operator==(const InvalidReference&, const InvalidReference&) = default;
};

using JsonTemplateError = std::variant<NotObject, ReferenceNotString, InvalidReference>;

// "NotObject", "ReferenceNotString { key: \"a.$\" }",
// "InvalidReference { key: \"a.$\", error: JsonPathError { ... } }".
std::string to_string(const JsonTemplateError& error);

class JsonTemplate {
 public:
  explicit JsonTemplate(std::vector<JsonTemplateEntry> entries) : entries_(std::move(entries)) {}

  // Stops at the first offending key in key order.
  static vorn::Result<JsonTemplate, JsonTemplateError> parse(const vorn::json::Value& value);

  // A new object, or nullopt when any reference has no target in `input`
  // (never a partial object).
  std::optional<vorn::json::Value> evaluate(const vorn::json::Value& input) const;

  const std::vector<JsonTemplateEntry>& entries() const { return entries_; }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<JsonTemplateEntry> entries_;
};

}  // namespace xvorn
