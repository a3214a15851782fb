// Any bytes as an intrinsic call, and the same bytes read as JSON as a payload
// template: a call parses within its limits or says where it stops; a
// template compiles into a tree that keeps its promises, or reports faults.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/payload_template.hpp"
#include "aws_data/read.hpp"
#include "fuzz_input.hpp"

using vorn_fuzz::check;
namespace aws = vorn::aws;

namespace {

void check_call(const aws::IntrinsicCall& call) {
  const aws::IntrinsicArity arity = aws::intrinsic_arity(call.function);
  check(call.arguments.size() >= arity.min && call.arguments.size() <= arity.max);
  if (call.format) {
    check(call.function == aws::IntrinsicFunction::kFormat);
    check(!call.format->pieces.empty() && call.arguments[0].literal.is_string());
    check(call.arguments.size() - 1 == call.format->placeholders());
  }
  for (const aws::IntrinsicArgument& argument : call.arguments) {
    switch (argument.kind) {
      case aws::IntrinsicArgument::Kind::kLiteral:
        check(!argument.literal.is_array() && !argument.literal.is_object());
        break;
      case aws::IntrinsicArgument::Kind::kPath:
        check(argument.path.text().starts_with('$'));
        break;
      case aws::IntrinsicArgument::Kind::kCall:
        check(argument.call != nullptr);
        check_call(*argument.call);
        break;
    }
  }
}

void check_node(const aws::TemplateNode& node) {
  switch (node.kind) {
    case aws::TemplateNode::Kind::kLiteral:
    case aws::TemplateNode::Kind::kPath:
      return;
    case aws::TemplateNode::Kind::kCall:
      check(node.call != nullptr && aws::count_calls(*node.call) <= aws::kMaxIntrinsicCalls);
      check_call(*node.call);
      return;
    case aws::TemplateNode::Kind::kArray:
      for (const aws::TemplateNode& item : node.items) check_node(item);
      return;
    case aws::TemplateNode::Kind::kObject: {
      std::set<std::string_view> keys;
      for (const aws::TemplateMember& member : node.members) {
        check(keys.insert(member.key).second);  // no two members give one output key
        const bool dynamic = member.value.kind == aws::TemplateNode::Kind::kPath ||
                             member.value.kind == aws::TemplateNode::Kind::kCall;
        check(dynamic == member.written_key.ends_with(".$"));
        check(dynamic ? member.written_key == member.key + ".$" : member.written_key == member.key);
        check_node(member.value);
      }
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  auto call = aws::parse_intrinsic_call(text);
  if (call.ok()) {
    check(aws::looks_like_intrinsic_call(text));
    check(aws::count_calls(*call) <= aws::kMaxIntrinsicCalls);
    check_call(*call);
  } else {
    check(call.error().position <= text.size() && !call.error().message.empty());
  }

  auto value = aws::read_json(text);
  if (!value.ok()) return 0;
  for (const std::string& key : aws::keys_that_look_dynamic(*value)) check(!key.ends_with(".$"));
  auto compiled = aws::compile_template(*value);
  if (!compiled.ok()) {
    const auto& faults = compiled.error();
    check(!faults.empty());
    if (!value->is_object()) {
      check(faults.size() == 1 && faults[0].kind == aws::TemplateFault::Kind::kNotAnObject);
    }
    for (const aws::TemplateFault& fault : faults) {
      check(!aws::to_string(fault).empty());
      if (fault.kind == aws::TemplateFault::Kind::kInvalidDynamic) check(fault.key.ends_with(".$"));
    }
    return 0;
  }
  check(value->is_object());
  check(compiled->root.kind == aws::TemplateNode::Kind::kObject ||
        compiled->root.kind == aws::TemplateNode::Kind::kLiteral);
  check(compiled->root.kind != aws::TemplateNode::Kind::kLiteral || compiled->root.literal == *value);
  check_node(compiled->root);
  return 0;
}
