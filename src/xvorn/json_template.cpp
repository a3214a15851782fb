#include "json_template.hpp"

#include "base/overloaded.hpp"
#include "base/template_key.hpp"
#include "quoting.hpp"

namespace xvorn {

using vorn::fail;
using vorn::json::Member;
using vorn::json::Object;
using vorn::json::Value;

vorn::Result<JsonTemplate, JsonTemplateError> JsonTemplate::parse(const Value& value) {
  if (!value.is_object()) return fail(JsonTemplateError(NotObject{}));
  std::vector<JsonTemplateEntry> entries;
  entries.reserve(value.as_object().size());
  for (const Member& member : value.as_object()) {
    if (!vorn::is_reference_key(member.key)) {
      entries.emplace_back(Literal{member.key, member.value});
      continue;
    }
    if (!member.value.is_string()) {
      return fail(JsonTemplateError(ReferenceNotString{member.key}));
    }
    auto path = JsonPath::parse(member.value.as_string());
    if (!path.ok()) {
      return fail(JsonTemplateError(InvalidReference{member.key, path.error()}));
    }
    entries.emplace_back(
        Reference{std::string(vorn::reference_base(member.key)), std::move(path).value()});
  }
  return JsonTemplate(std::move(entries));
}

std::optional<Value> JsonTemplate::evaluate(const Value& input) const {
  // Entries are in template key order; stripping ".$" can put an output key
  // out of that order or repeat one, and from_members sorts and keeps the
  // last of a repeated key, which is the entry applied later.
  std::vector<Member> members;
  members.reserve(entries_.size());
  for (const JsonTemplateEntry& entry : entries_) {
    if (const auto* literal = std::get_if<Literal>(&entry)) {
      members.push_back(Member{literal->key, literal->value});
      continue;
    }
    const auto& reference = std::get<Reference>(entry);
    const Value* target = reference.path.resolve(input);
    if (target == nullptr) return std::nullopt;
    members.push_back(Member{reference.key, *target});
  }
  return Value(Object::from_members(std::move(members)));
}

std::string to_string(const JsonTemplateError& error) {
  return std::visit(vorn::Overloaded{
                        [](const NotObject&) { return std::string("NotObject"); },
                        [](const ReferenceNotString& e) {
                          std::string out = "ReferenceNotString { key: ";
                          append_quoted(out, e.key);
                          out += " }";
                          return out;
                        },
                        [](const InvalidReference& e) {
                          std::string out = "InvalidReference { key: ";
                          append_quoted(out, e.key);
                          out += ", error: ";
                          out += to_string(e.error);
                          out += " }";
                          return out;
                        },
                    },
                    error);
}

}  // namespace xvorn
