// Payload templates: checked by compiling them as they will be run, so a
// template the checker passes is one the runner can compile.
#include "aws_build/checker.hpp"
#include "aws_build/messages.hpp"
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

}  // namespace

void Checker::check_template(const Value& template_value, const Location& at) {
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
  for (const std::string& key : keys_that_look_dynamic(template_value)) {
    warning(code::kNoDollar, message::no_dollar(key), at);
  }
}

}  // namespace vorn::aws
