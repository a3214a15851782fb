// Payload templates: every "<key>.$" member must hold something that can be
// evaluated, and a value that looks evaluable under a plain key is pointed out.
#include <algorithm>

#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"

namespace vorn::aws {

namespace {

bool looks_like_path(std::string_view text) {
  return text == "$" || text.starts_with("$.") || text.starts_with("$[") ||
         text.starts_with("$$");
}

bool looks_like_call(std::string_view text) {
  return text.starts_with("States.") && text.find('(') != std::string_view::npos &&
         text.ends_with(")");
}

}  // namespace

void Checker::check_template(const Value& template_value, const Location& at) {
  // Iterative, so a template nested as deep as the reader allows costs no stack.
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
      if (!key.ends_with(".$")) {
        plain.push_back(key);
        if (member.value.is_string()) {
          const std::string_view text = member.value.as_string();
          if (looks_like_path(text) || looks_like_call(text)) {
            warning(code::kNoDollar, message::no_dollar(key), at);
          }
        } else if (member.value.is_array() || member.value.is_object()) {
          pending.push_back(&member.value);
        }
        continue;
      }
      stripped.push_back(key.substr(0, key.size() - 2));
      const bool passes = member.value.is_string() && member.value.as_string().starts_with('$') &&
                          path_passes(member.value.as_string(), PathRule::kAny, at);
      const bool call = member.value.is_string() && !member.value.as_string().starts_with('$');
      if (!passes && !call) schema_error(message::invalid_template_value(key), at);
    }
    if (stripped.empty()) continue;
    // "a" and "a.$" would both write "a".
    std::sort(stripped.begin(), stripped.end());
    std::sort(plain.begin(), plain.end());
    std::vector<std::string_view> both;
    std::set_intersection(stripped.begin(), stripped.end(), plain.begin(), plain.end(),
                          std::back_inserter(both));
    for (std::string_view key : both) schema_error(message::template_key_collision(key), at);
  }
}

}  // namespace vorn::aws
