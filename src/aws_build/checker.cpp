#include "aws_build/checker.hpp"

#include <algorithm>
#include <cmath>

#include "aws_build/messages.hpp"
#include "aws_data/json_path.hpp"

namespace vorn::aws {

namespace {

// "/And[1]/Not" below a rule's location, back to steps. Only fixed field
// names of rules appear there, never a state name, so '/' splits safely.
// A rule's diagnostics are built relative to the rule, so the reader's
// many small location strings stay short and the rule's own location is
// rendered only for a diagnostic.
void append_steps(std::string_view suffix, SourcePath& path, std::deque<std::string>& keys) {
  while (!suffix.empty()) {
    if (suffix.front() == '/') {
      suffix.remove_prefix(1);
      const std::size_t end = suffix.find_first_of("/[");
      keys.emplace_back(suffix.substr(0, end));
      path.push_back(SourceStep::member(keys.back()));
      suffix = end == std::string_view::npos ? std::string_view() : suffix.substr(end);
    } else if (suffix.front() == '[') {
      const std::size_t close = suffix.find(']');
      if (close == std::string_view::npos) return;
      std::size_t index = 0;
      for (char c : suffix.substr(1, close - 1)) {
        if (c < '0' || c > '9') return;
        index = index * 10 + static_cast<std::size_t>(c - '0');
      }
      path.push_back(SourceStep::element(index));
      suffix.remove_prefix(close + 1);
    } else {
      return;
    }
  }
}

}  // namespace

void Checker::add(Severity severity, std::string_view code, std::string message,
                  std::string location, SourcePath path) {
  if (severity == Severity::kError) ++errors_;
  diagnostics_.push_back(
      Diagnostic{severity, std::string(code), std::move(message), std::move(location), 0, 0});
  paths_.push_back(std::move(path));
}

void Checker::error(std::string_view code, std::string message, const Location& at) {
  add(Severity::kError, code, std::move(message), at.render(), at.steps());
}

void Checker::warning(std::string_view code, std::string message, const Location& at) {
  add(Severity::kWarning, code, std::move(message), at.render(), at.steps());
}

void Checker::unsupported(std::string_view feature, const Location& at) {
  warning(code::kUnsupportedFeature, message::unsupported_feature(feature), at);
}

void Checker::unlocated_error(std::string_view code, std::string message, const Location& near) {
  add(Severity::kError, code, std::move(message), std::string(), near.steps());
}

void Checker::adopt(Diagnostic diagnostic, const Location& base) {
  SourcePath path = base.steps();
  append_steps(diagnostic.location, path, adopted_keys_);
  std::string location = base.render();
  if (location == "/" && !diagnostic.location.empty()) location.clear();
  location += diagnostic.location;
  add(diagnostic.severity, diagnostic.code, std::move(diagnostic.message), std::move(location),
      std::move(path));
}

// --- Names and transitions -----------------------------------------------------

void Checker::add_state_name(std::string_view name, std::uint32_t scope, std::uint32_t index,
                             const Location& at) {
  const auto [it, fresh] = names_.try_emplace(name, NameEntry{scope, index});
  if (fresh) return;
  error(code::kDuplicateStateName, message::duplicate_state_name(name), at);
  if (it->second.scope != scope) repeated_names_.try_emplace({scope, name}, index);
}

std::optional<std::uint32_t> Checker::find_state(std::string_view name,
                                                 std::uint32_t scope) const {
  const auto it = names_.find(name);
  if (it == names_.end()) return std::nullopt;
  if (it->second.scope == scope) return it->second.index;
  if (repeated_names_.empty()) return std::nullopt;
  const auto repeated = repeated_names_.find({scope, name});
  if (repeated == repeated_names_.end()) return std::nullopt;
  return repeated->second;
}

void Checker::link(ScopeCheck& scope, std::string_view target, const Location& at) {
  const auto index = find_state(target, scope.id);
  if (!index) {
    error(code::kMissingTarget, message::missing_target(target), at);
    return;
  }
  scope.edges.emplace_back(scope.current_state, *index);
}

// --- Typed fields ----------------------------------------------------------------

std::optional<std::string> Checker::string_field(const Value& object, std::string_view field,
                                                 const Location& object_at) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  if (!value->is_string()) {
    schema_error(message::wrong_type(field, "a string"), object_at.member(field));
    return std::nullopt;
  }
  return std::string(value->as_string());
}

std::optional<bool> Checker::bool_field(const Value& object, std::string_view field,
                                        const Location& object_at) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  if (!value->is_bool()) {
    schema_error(message::wrong_type(field, "a boolean"), object_at.member(field));
    return std::nullopt;
  }
  return value->as_bool();
}

// An integer field written "1.0" holds an integral value and is taken; only
// values with a fraction are refused.
std::optional<std::int64_t> Checker::integer_field(const Value& object, std::string_view field,
                                                   const Location& object_at,
                                                   std::int64_t minimum, std::int64_t maximum) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  if (!value->is_number()) {
    schema_error(message::wrong_type(field, "an integer"), object_at.member(field));
    return std::nullopt;
  }
  const double number = value->number_value();
  if (std::floor(number) != number) {
    schema_error(message::wrong_type(field, "an integer"), object_at.member(field));
    return std::nullopt;
  }
  if (number < static_cast<double>(minimum) || number > static_cast<double>(maximum) ||
      std::fabs(number) >= 9.2e18) {
    schema_error(maximum == kUnbounded ? message::integer_at_least(field, minimum)
                                       : message::integer_between(field, minimum, maximum),
                 object_at.member(field));
    return std::nullopt;
  }
  return static_cast<std::int64_t>(number);
}

std::optional<double> Checker::number_field(const Value& object, std::string_view field,
                                            const Location& object_at, double minimum,
                                            std::optional<double> maximum) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  if (!value->is_number()) {
    schema_error(message::wrong_type(field, "a number"), object_at.member(field));
    return std::nullopt;
  }
  const double number = value->number_value();
  if (!(number >= minimum) || (maximum && !(number <= *maximum)) || !std::isfinite(number)) {
    schema_error(maximum ? message::number_between(field, minimum, *maximum)
                         : message::number_at_least(field, minimum),
                 object_at.member(field));
    return std::nullopt;
  }
  return number;
}

const Value* Checker::object_field(const Value& object, std::string_view field,
                                   const Location& object_at) {
  const Value* value = object.find(field);
  if (value == nullptr) return nullptr;
  if (!value->is_object()) {
    schema_error(message::wrong_type(field, "an object"), object_at.member(field));
    return nullptr;
  }
  return value;
}

const Value* Checker::array_field(const Value& object, std::string_view field,
                                  const Location& object_at) {
  const Value* value = object.find(field);
  if (value == nullptr) return nullptr;
  if (!value->is_array()) {
    schema_error(message::wrong_type(field, "an array"), object_at.member(field));
    return nullptr;
  }
  return value;
}

std::optional<std::string> Checker::enum_field(const Value& object, std::string_view field,
                                               const Location& object_at,
                                               std::initializer_list<std::string_view> values) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  if (value->is_string() &&
      std::find(values.begin(), values.end(), value->as_string()) != values.end()) {
    return std::string(value->as_string());
  }
  schema_error(message::field_values(field, values), object_at.member(field));
  return std::nullopt;
}

void Checker::allowed_fields(const Value& object, std::initializer_list<std::string_view> allowed,
                             const Location& object_at, bool assign_allowed) {
  for (const Member& member : object.members()) {
    const std::string_view key = member.key;
    const auto same = [key](std::string_view name) {
      return name.size() == key.size() && name[0] == key[0] && name == key;
    };
    if (!key.empty() && std::any_of(allowed.begin(), allowed.end(), same)) continue;
    if (assign_allowed && member.key == "Assign") {
      unsupported("Variables (Assign)", object_at.member(member.key));
      continue;
    }
    schema_error(message::field_not_supported(member.key), object_at);
  }
}

// --- Paths -------------------------------------------------------------------

bool Checker::path_passes(std::string_view text, PathRule rule, const Location& at) {
  if (is_plain_path(text)) return true;
  // "$name..." reads a variable, which this toolkit does not keep.
  if (text.size() > 1 && text[0] == '$' && text[1] != '.' && text[1] != '[' && text[1] != '$') {
    unsupported("Variable references", at);
    return true;
  }
  const auto path = JsonPath::parse(text);
  if (!path.ok()) return false;
  switch (rule) {
    case PathRule::kAny: return true;
    case PathRule::kReference: return path->is_definite() && !path->is_context();
    case PathRule::kDefinite: return path->is_definite();
  }
  return false;
}

namespace {

std::string path_message(std::string_view field, Checker::PathRule rule) {
  return rule == Checker::PathRule::kAny ? message::invalid_path(field)
                                         : message::invalid_reference_path(field);
}

}  // namespace

PathField Checker::nullable_path_field(const Value& object, std::string_view field,
                                       const Location& object_at, PathRule rule) {
  const Value* value = object.find(field);
  if (value == nullptr) return PathField();
  if (value->is_null()) return PathField::null();
  const Location at = object_at.member(field);
  if (!value->is_string()) {
    schema_error(message::wrong_type(field, "a string or null"), at);
    return PathField();
  }
  if (!path_passes(value->as_string(), rule, at)) {
    schema_error(path_message(field, rule), at);
    return PathField();
  }
  return PathField::path(std::string(value->as_string()));
}

std::optional<std::string> Checker::path_field(const Value& object, std::string_view field,
                                               const Location& object_at, PathRule rule) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  const Location at = object_at.member(field);
  if (!value->is_string()) {
    schema_error(message::wrong_type(field, "a string"), at);
    return std::nullopt;
  }
  if (!path_passes(value->as_string(), rule, at)) {
    schema_error(path_message(field, rule), at);
    return std::nullopt;
  }
  return std::string(value->as_string());
}

std::optional<Value> Checker::template_field(const Value& object, std::string_view field,
                                             const Location& object_at) {
  const Value* value = object.find(field);
  if (value == nullptr) return std::nullopt;
  const Location at = object_at.member(field);
  if (!value->is_object()) {
    schema_error(message::wrong_type(field, "an object"), at);
    return std::nullopt;
  }
  check_template(*value, at);
  return *value;
}

}  // namespace vorn::aws
