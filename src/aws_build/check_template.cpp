// Payload templates: judged by the template compiler's own rules, so a
// template the checker passes is one the runner can compile. Compiling
// builds a whole tree, though, and most templates are sound: one walk that
// allocates nothing tells the sound ones, and only a template it doubts is
// compiled, for the compiler's exact faults.
#include <algorithm>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"
#include "aws_data/intrinsic_call.hpp"
#include "aws_data/json_path.hpp"
#include "aws_data/payload_template.hpp"

namespace vorn::aws {

namespace {

bool is_variable_reference(std::string_view text) {
  return text.size() > 1 && text[0] == '$' && text[1] != '.' && text[1] != '[' && text[1] != '$';
}

// Whether some member named `key` in the template holds a variable
// reference: such a value is refused by the compiler but is a feature this
// toolkit lacks, not a fault of the definition. Walked only on a fault.
bool refers_to_variable(const Value& template_value, std::string_view key) {
  std::vector<const Value*> pending{&template_value};
  while (!pending.empty()) {
    const Value* value = pending.back();
    pending.pop_back();
    if (value->is_array()) {
      for (const Value& item : value->items()) pending.push_back(&item);
    } else if (value->is_object()) {
      for (const Member& member : value->members()) {
        if (member.key == key && member.value.is_string() &&
            is_variable_reference(member.value.as_string())) {
          return true;
        }
        pending.push_back(&member.value);
      }
    }
  }
  return false;
}

// What the compiler accepts as a ".$" value.
bool compiles(const Value& value) {
  if (!value.is_string()) return false;
  const std::string_view text = value.as_string();
  if (text.starts_with('$')) {
    return is_plain_path(text) || JsonPath::parse(text).ok();
  }
  return parse_intrinsic_call(text).ok();
}

// What the compiler's keys_that_look_dynamic reports.
bool looks_dynamic(const Value& value) {
  if (!value.is_string()) return false;
  const std::string_view text = value.as_string();
  return text.starts_with("$.") || text.starts_with("$[") || text.starts_with("$$") ||
         looks_like_intrinsic_call(text);
}

struct Survey {
  bool doubtful = false;      // some ".$" value or key pair the compiler would refuse
  bool looks_dynamic = false;  // some plain key whose value reads like a path or call
};

Survey survey(const Value& template_value) {
  Survey found;
  std::vector<const Value*> pending{&template_value};
  std::vector<std::string_view> stripped, plain;
  while (!pending.empty()) {
    const Value* value = pending.back();
    pending.pop_back();
    if (value->is_array()) {
      for (const Value& item : value->items()) {
        if (item.is_array() || item.is_object()) pending.push_back(&item);
      }
      continue;
    }
    if (!value->is_object()) continue;
    stripped.clear();
    plain.clear();
    for (const Member& member : value->members()) {
      const std::string_view key = member.key;
      if (key.ends_with(".$")) {
        stripped.push_back(key.substr(0, key.size() - 2));
        if (!compiles(member.value)) found.doubtful = true;
        continue;
      }
      plain.push_back(key);
      if (looks_dynamic(member.value)) found.looks_dynamic = true;
      if (member.value.is_array() || member.value.is_object()) pending.push_back(&member.value);
    }
    if (stripped.empty() || plain.empty()) continue;
    // "a" beside "a.$" would give "a" twice.
    std::sort(stripped.begin(), stripped.end());
    for (std::string_view key : plain) {
      if (std::binary_search(stripped.begin(), stripped.end(), key)) found.doubtful = true;
    }
  }
  return found;
}

}  // namespace

void Checker::check_template(const Value& template_value, const Location& at) {
  const Survey found = survey(template_value);
  if (found.looks_dynamic) {
    for (const std::string& key : keys_that_look_dynamic(template_value)) {
      warning(code::kNoDollar, message::no_dollar(key), at);
    }
  }
  if (!found.doubtful) return;
  auto compiled = compile_template(template_value);
  if (!compiled.ok()) {
    bool variables_reported = false;
    for (const TemplateFault& fault : compiled.error()) {
      if (fault.kind == TemplateFault::Kind::kInvalidDynamic &&
          refers_to_variable(template_value, fault.key)) {
        if (!variables_reported) unsupported("Variable references", at);
        variables_reported = true;
        continue;
      }
      schema_error(to_string(fault), at);
    }
  }
}

}  // namespace vorn::aws
