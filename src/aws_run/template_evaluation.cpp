#include "template_evaluation.hpp"

#include <optional>
#include <string>

#include "aws_data/intrinsic_call.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {

namespace {

// Walks the compiled tree once. Depth is bounded by kMaxTemplateDepth when
// the template is compiled, so plain recursion is safe here. The first
// failure stops the walk; it is kept here rather than threaded through a
// Result per node, which would cost a variant per member on the hot path.
class Evaluator {
 public:
  Evaluator(const Value& input, const Value& context) : input_(input), context_(context) {}

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
        return call(node, *holder);
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
    const PathMiss& miss = found.error();
    std::string cause;
    if (miss.kind == PathMiss::Kind::kTooMuchWork) {
      cause = "Invalid path '" + std::string(node.path.text()) + "' : " + to_string(miss);
    } else {
      cause = "The JSONPath '" + std::string(node.path.text()) + "' specified for the field '" +
              member.written_key + "' could not be found in the input '" + write_json(input_) + "'";
    }
    failure = DataFlowFailure{DataFlowFailure::Kind::kRuntime, std::move(cause)};
    return false;
  }

  bool call(const TemplateNode& node, const TemplateMember& member) {
    failure = DataFlowFailure{
        DataFlowFailure::Kind::kIntrinsicCall,
        "The intrinsic function " + std::string(intrinsic_function_name(node.call->function)) +
            " in the field '" + member.written_key + "' cannot be evaluated: intrinsic " +
            "functions are not supported yet"};
    return false;
  }

  const Value& input_;
  const Value& context_;
};

bool call_reads_context(const IntrinsicCall& call) {
  for (const IntrinsicArgument& argument : call.arguments) {
    if (argument.kind == IntrinsicArgument::Kind::kPath && argument.path.is_context()) return true;
    if (argument.kind == IntrinsicArgument::Kind::kCall && call_reads_context(*argument.call)) {
      return true;
    }
  }
  return false;
}

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
                                                 const Value& input, const Value& context) {
  Evaluator evaluator(input, context);
  Value out;
  if (!evaluator.fill(payload_template.root, nullptr, out)) {
    return fail(std::move(*evaluator.failure));
  }
  return out;
}

bool template_reads_context(const PayloadTemplate& payload_template) {
  return any_dynamic(payload_template.root, [](const TemplateNode& node) {
    return node.kind == TemplateNode::Kind::kPath ? node.path.is_context()
                                                  : call_reads_context(*node.call);
  });
}

bool template_has_intrinsic_call(const PayloadTemplate& payload_template) {
  return any_dynamic(payload_template.root, [](const TemplateNode& node) {
    return node.kind == TemplateNode::Kind::kCall;
  });
}

}  // namespace vorn::aws
