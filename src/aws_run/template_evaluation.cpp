#include "template_evaluation.hpp"

#include <optional>
#include <string>

#include "aws_data/intrinsic_evaluation.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {

namespace {

// Walks the compiled tree once. Depth is bounded by kMaxTemplateDepth when
// the template is compiled, so plain recursion is safe here. The first
// failure stops the walk; it is kept here rather than threaded through a
// Result per node, which would cost a variant per member on the hot path.
class Evaluator {
 public:
  Evaluator(const Value& input, const Value& context, RandomSource& random)
      : input_(input), context_(context), random_(random) {}

  std::optional<DataFlowFailure> failure;

  bool fill(const TemplateNode& node, const TemplateMember* holder, Value& out) {
    switch (node.kind) {
      case TemplateNode::Kind::kLiteral:
        out = node.literal;
        return true;
      case TemplateNode::Kind::kObject:
        return object(node, out);
      case TemplateNode::Kind::kArray:
        return array(node, holder, out);
      case TemplateNode::Kind::kPath:
        return path(node, *holder, out);
      case TemplateNode::Kind::kCall:
        return call(*node.call, holder->written_key, out);
    }
    return false;
  }

  // A call's value, or false with `failure` set: a path argument that misses
  // fails as a member's path does; a function that fails names itself.
  bool call(const IntrinsicCall& call, std::string_view field, Value& out) {
    auto result = evaluate_intrinsic_call(call, input_, context_, random_);
    if (result.ok()) {
      out = std::move(result).value();
      return true;
    }
    const IntrinsicFailure& problem = result.error();
    if (problem.kind == IntrinsicFailure::Kind::kPathNotFound) {
      path_missed(problem.path, problem.miss, field);
    } else {
      failure = DataFlowFailure{
          DataFlowFailure::Kind::kIntrinsicFailure,
          describe_function_failure(problem) + " in the field '" + std::string(field) + "'"};
    }
    return false;
  }

 private:
  bool object(const TemplateNode& node, Value& out) {
    std::vector<Member> members;
    members.reserve(node.members.size());
    for (const TemplateMember& member : node.members) {
      members.push_back(Member{member.key, Value()});
      if (!fill(member.value, &member, members.back().value)) return false;
    }
    if (!node.output_order.empty()) {
      std::vector<Member> ordered;
      ordered.reserve(members.size());
      for (const std::uint32_t position : node.output_order) {
        ordered.push_back(std::move(members[position]));
      }
      members = std::move(ordered);
    }
    out = Value::object(std::move(members));
    return true;
  }

  // Items of an array have no key of their own: a failure inside names the
  // member that holds the array, or the nearest member inside the item.
  bool array(const TemplateNode& node, const TemplateMember* holder, Value& out) {
    std::vector<Value> items;
    items.reserve(node.items.size());
    for (const TemplateNode& item : node.items) {
      items.emplace_back();
      if (!fill(item, holder, items.back())) return false;
    }
    out = Value::array(std::move(items));
    return true;
  }

  bool path(const TemplateNode& node, const TemplateMember& member, Value& out) {
    auto found = node.path.evaluate(node.path.is_context() ? context_ : input_);
    if (found.ok()) {
      out = std::move(found).value();
      return true;
    }
    path_missed(node.path.text(), found.error(), member.written_key);
    return false;
  }

  void path_missed(std::string_view path, const PathMiss& miss, std::string_view field) {
    std::string cause;
    if (miss.kind == PathMiss::Kind::kTooMuchWork) {
      cause = "Invalid path '" + std::string(path) + "' : " + to_string(miss);
    } else {
      cause = "The JSONPath '" + std::string(path) + "' specified for the field '" +
              std::string(field) + "' could not be found in the input '" + write_json(input_) + "'";
    }
    failure = DataFlowFailure{DataFlowFailure::Kind::kRuntime, std::move(cause)};
  }

  const Value& input_;
  const Value& context_;
  RandomSource& random_;
};

template <class Predicate>
bool any_dynamic(const TemplateNode& node, const Predicate& wanted) {
  if (node.kind == TemplateNode::Kind::kPath || node.kind == TemplateNode::Kind::kCall) {
    return wanted(node);
  }
  for (const TemplateMember& member : node.members) {
    if (any_dynamic(member.value, wanted)) return true;
  }
  for (const TemplateNode& item : node.items) {
    if (any_dynamic(item, wanted)) return true;
  }
  return false;
}

}  // namespace

Result<Value, DataFlowFailure> evaluate_template(const PayloadTemplate& payload_template,
                                                 const Value& input, const Value& context,
                                                 RandomSource& random) {
  Evaluator evaluator(input, context, random);
  Value out;
  if (!evaluator.fill(payload_template.root, nullptr, out)) {
    return fail(std::move(*evaluator.failure));
  }
  return out;
}

Result<Value, DataFlowFailure> evaluate_call_field(const IntrinsicCall& call,
                                                   std::string_view field_name, const Value& input,
                                                   const Value& context, RandomSource& random) {
  Evaluator evaluator(input, context, random);
  Value out;
  if (!evaluator.call(call, field_name, out)) return fail(std::move(*evaluator.failure));
  return out;
}

bool template_reads_context(const PayloadTemplate& payload_template) {
  return any_dynamic(payload_template.root, [](const TemplateNode& node) {
    return node.kind == TemplateNode::Kind::kPath ? node.path.is_context()
                                                  : call_reads_context(*node.call);
  });
}

}  // namespace vorn::aws
