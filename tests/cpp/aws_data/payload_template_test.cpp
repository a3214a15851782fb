#include "aws_data/payload_template.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

Value json(std::string_view text) {
  auto value = read_json(text);
  EXPECT_TRUE(value.ok()) << text;
  return value.ok() ? *value : Value();
}

// A compiled node in one line: literals as JSON; a dynamic member as
// output key = written key, then "path <text>" or "call <function>".
std::string rendered(const TemplateNode& node) {
  switch (node.kind) {
    case TemplateNode::Kind::kLiteral: return write_json(node.literal);
    case TemplateNode::Kind::kPath: return "path " + std::string(node.path.text());
    case TemplateNode::Kind::kCall:
      return "call " + std::string(intrinsic_function_name(node.call->function));
    case TemplateNode::Kind::kArray: {
      std::string out = "[";
      for (const TemplateNode& item : node.items) {
        out += (out.size() > 1 ? ", " : "") + rendered(item);
      }
      return out + "]";
    }
    case TemplateNode::Kind::kObject: {
      std::string out = "{";
      for (const TemplateMember& member : node.members) {
        if (out.size() > 1) out += ", ";
        out += write_json(Value::string(member.key));
        if (member.written_key != member.key) out += "=" + write_json(Value::string(member.written_key));
        out += ": " + rendered(member.value);
      }
      return out + "}";
    }
  }
  return "?";
}

std::string compiled(std::string_view text) {
  auto compiled = compile_template(json(text));
  if (!compiled.ok()) {
    std::string out = "faults:";
    for (const TemplateFault& fault : compiled.error()) out += " [" + fault.key + "] " + to_string(fault) + ";";
    return out;
  }
  return rendered(compiled->root);
}

struct Case {
  std::string text;
  std::string expected;
};

TEST(PayloadTemplate, CompilesDynamicMembersAtAnyDepth) {
  const std::vector<Case> cases = {
      {"{}", "{}"},
      {R"({"a": 1, "b": {"c": [1, "$.x"]}, "Comment": "c"})",
       R"({"a":1,"b":{"c":[1,"$.x"]},"Comment":"c"})"},
      {R"({"Arg1": "argument1", "FromInput.$": "$"})",
       R"({"Arg1": "argument1", "FromInput"="FromInput.$": path $})"},
      {R"j({"value.$": "$$.Execution.Input.no_such_jsonpath", "r.$": "States.MathAdd($.a, 1)"})j",
       R"({"value"="value.$": path $$.Execution.Input.no_such_jsonpath, "r"="r.$": call States.MathAdd})"},
      // nested objects, and objects inside arrays, are evaluated too
      {R"({"Entries": [{"Detail.$": "$.d", "Source": "s"}, 3, [{"x.$": "$[0]"}]], "k": {"x": {"y.$": "$$"}}})",
       R"({"Entries": [{"Detail"="Detail.$": path $.d, "Source": "s"}, 3, [{"x"="x.$": path $[0]}]], )"
       R"("k": {"x": {"y"="y.$": path $$}}})"},
      {R"({".$": "$", "a.$.$": "$.a"})", R"({""=".$": path $, "a.$"="a.$.$": path $.a})"},
  };
  for (const Case& c : cases) EXPECT_EQ(compiled(c.text), c.expected) << c.text;
}

TEST(PayloadTemplate, ReportsEveryFault) {
  const std::string invalid = " must be a valid JSONPath or a valid intrinsic function call;";
  const std::vector<Case> cases = {
      {"[1]", "faults: [] A payload template must be an object, not an array;"},
      {R"("$.a")", "faults: [] A payload template must be an object, not a string;"},
      // every fault, in document order
      {R"({"a.$": 1, "b.$": "nope", "c": {"d.$": "$.", "e.$": null}, "f": [{"g.$": ""}], "a": 2})",
       "faults: [a.$] The value for the field 'a.$'" + invalid +
           " [b.$] The value for the field 'b.$'" + invalid +
           " [d.$] The value for the field 'd.$'" + invalid +
           " [e.$] The value for the field 'e.$'" + invalid +
           " [g.$] The value for the field 'g.$'" + invalid +
           " [a] The fields 'a.$' and 'a' both give the field 'a';"},
      {R"({"a": 1, "a.$": "$"})", "faults: [a.$] The fields 'a' and 'a.$' both give the field 'a';"},
      {R"({"": 1, ".$": "$"})", "faults: [.$] The fields '' and '.$' both give the field '';"},
      // as recorded: \" is no escape inside a call's string literal
      {R"j({"parsed.$": "States.Format('He said, \\\"Hello, {}!\\\"', 'Test \\\"Name\\\" Here')"})j",
       "faults: [parsed.$] The value for the field 'parsed.$'" + invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(compiled(c.text), c.expected) << c.text;
}

TEST(PayloadTemplate, FaultDetailsSayWhatWasWrong) {
  auto result = compile_template(json(
      R"j({"a.$": [], "b.$": "$.a[", "c.$": "States.Hash($.a, 'MD4')", "d.$": "States.Nope()"})j"));
  ASSERT_FALSE(result.ok());
  std::vector<std::string> details;
  for (const TemplateFault& fault : result.error()) {
    EXPECT_EQ(fault.kind, TemplateFault::Kind::kInvalidDynamic);
    details.push_back(fault.detail);
  }
  EXPECT_EQ(details, (std::vector<std::string>{
                         "the value is an array, not a string",
                         "invalid path: unexpected end of path at position 4",
                         "invalid intrinsic call: unknown hash algorithm 'MD4'; States.Hash takes "
                         "MD5, SHA-1, SHA-256, SHA-384 or SHA-512 at position 17",
                         "invalid intrinsic call: unknown intrinsic function 'States.Nope' at "
                         "position 0",
                     }));
}

// Objects nested `levels` deep, the innermost holding one dynamic member.
Value nested(std::size_t levels) {
  Value value = Value::object({{"x.$", Value::string("$.x")}});
  for (std::size_t i = 1; i < levels; ++i) value = Value::object({{"k", value}});
  return value;
}

TEST(PayloadTemplate, BoundsDepth) {
  EXPECT_TRUE(compile_template(nested(kMaxTemplateDepth)).ok());
  auto too_deep = compile_template(nested(kMaxTemplateDepth + 1));
  ASSERT_FALSE(too_deep.ok());
  ASSERT_EQ(too_deep.error().size(), 1u);
  EXPECT_EQ(too_deep.error()[0].kind, TemplateFault::Kind::kTooDeep);
  EXPECT_EQ(to_string(too_deep.error()[0]), "The template is nested more than 1000 levels deep");
}

TEST(PayloadTemplate, FindsKeysThatLookDynamic) {
  const Value object = json(R"j({
      "a": "$.x", "b": "$", "c": "$[0]", "d": "$$.Execution", "e": "States.UUID()", "f": "text",
      "g.$": "$.x", "h": {"i": "States.Nope(", "j": ["$.y", {"k": "$$"}]}, "l": 5, "m": "$x"})j");
  EXPECT_EQ(keys_that_look_dynamic(object),
            (std::vector<std::string>{"a", "c", "d", "e", "i", "k"}));
}

}  // namespace
}  // namespace vorn::aws
