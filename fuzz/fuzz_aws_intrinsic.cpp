// Any bytes as an intrinsic call, and the same bytes read as JSON as a payload
// template: a call parses within its limits or says where it stops, and a
// parsed call evaluates over a fixed document the same way twice for one
// seed, giving a value of its function's kind that reads back as JSON, or
// saying why not; a template compiles into a tree that keeps its promises,
// or reports faults.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/payload_size.hpp"
#include "aws_data/payload_template.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
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

// What the seeds' paths name: arrays of mixed items, strings to split,
// format, decode and hash, numbers, objects to merge, one long string.
const aws::Value& document() {
  static const aws::Value value = [] {
    std::string text =
        R"({"a":[1,"1",[1],{"k":1},1.0,null,true,"x",1],"b":{"k":[2,3],"a":"b"},"x":"a,b;c",)"
        R"("f":"{} and \\{{}\\}","n":3,"s":"RGF0YSB0byBlbmNvZGU=","e":"",)"
        R"("FunctionInput":{"fst":[0,1,2,3],"snd":3},"big":")";
    text += std::string(100'000, 'z');
    text += R"("})";
    return aws::read_json(text).value();
  }();
  return value;
}

const aws::Value& context() {
  static const aws::Value value =
      aws::read_json(R"({"StateMachine":{"Name":"order-flow-v2"},"Execution":{"Input":{"k":{}}}})")
          .value();
  return value;
}

std::string outcome_text(const vorn::Result<aws::Value, aws::IntrinsicFailure>& outcome) {
  if (outcome.ok()) {
    return aws::compact_size_up_to(*outcome, 4 * aws::kMaxIntrinsicValueBytes) <=
                   4 * aws::kMaxIntrinsicValueBytes
               ? aws::write_json(*outcome)
               : std::string("(huge)");
  }
  return outcome.error().kind == aws::IntrinsicFailure::Kind::kPathNotFound
             ? "missing " + outcome.error().path
             : aws::describe_function_failure(outcome.error());
}

void check_evaluation(const aws::IntrinsicCall& call, std::string_view text) {
  aws::RandomSource random(7), same(7);
  const auto first = aws::evaluate_intrinsic_call(call, document(), context(), random);
  const auto again = aws::evaluate_intrinsic_call(call, document(), context(), same);
  check(outcome_text(first) == outcome_text(again));
  if (!first.ok()) {
    const aws::IntrinsicFailure& failure = first.error();
    if (failure.kind == aws::IntrinsicFailure::Kind::kPathNotFound) {
      check(failure.path.starts_with('$') && text.find(failure.path) != std::string_view::npos);
    } else {
      check(!failure.reason.empty());
    }
    return;
  }
  const aws::Value& value = *first;
  switch (call.function) {
    case aws::IntrinsicFunction::kFormat:
    case aws::IntrinsicFunction::kJsonToString:
      check(value.is_string() && value.as_string().size() <= aws::kMaxIntrinsicValueBytes);
      break;
    case aws::IntrinsicFunction::kArray:
      check(value.is_array() && value.size() == call.arguments.size());
      check(aws::compact_size_up_to(value, aws::kMaxIntrinsicValueBytes) <=
            aws::kMaxIntrinsicValueBytes);
      break;
    case aws::IntrinsicFunction::kArrayRange:
      check(value.is_array() && value.size() <= aws::kMaxArrayRangeLength);
      break;
    case aws::IntrinsicFunction::kArrayContains:
      check(value.is_bool());
      break;
    case aws::IntrinsicFunction::kArrayLength:
    case aws::IntrinsicFunction::kMathAdd:
    case aws::IntrinsicFunction::kMathRandom:
      check(value.is_number() && value.is_integral());
      break;
    case aws::IntrinsicFunction::kUUID:
      check(value.is_string() && value.as_string().size() == 36);
      break;
    default:
      break;
  }
  const std::string written = outcome_text(first);
  if (written != "(huge)") {
    auto read_back = aws::read_json(written);
    check(!read_back.ok() || *read_back == value);  // only nesting deeper than the reader takes
  }
}

// Empty, or every member once with those copied as written first, in
// template order.
void check_output_order(const aws::TemplateNode& node) {
  const auto& order = node.output_order;
  if (order.empty()) return;
  check(order.size() == node.members.size());
  std::set<std::uint32_t> seen(order.begin(), order.end());
  check(seen.size() == order.size() && *seen.rbegin() < order.size());
  std::size_t copied = 0;
  for (const aws::TemplateMember& member : node.members) copied += !member.written_key.ends_with(".$");
  for (std::size_t i = 0; i < order.size(); ++i) {
    check((i < copied) == !node.members[order[i]].written_key.ends_with(".$"));
    if (i > 0 && i < copied) check(order[i - 1] < order[i]);
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
      check_output_order(node);
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
    check_evaluation(*call, text);
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
