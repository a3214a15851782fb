#include "aws_run/template_evaluation.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

const char* const kContext =
    R"({"Execution":{"Id":"arn:x","Input":{"input-value":0},"Name":"run"},)"
    R"("State":{"Name":"TestState","EnteredTime":"2024-01-02T03:04:05.678Z"}})";

PayloadTemplate compiled(std::string_view text) {
  return compile_template(read_json(text).value()).value();
}

// The output as compact JSON, or "<error name>|<cause>" when it failed.
std::string evaluated(std::string_view template_text, std::string_view input) {
  RandomSource random(1);
  auto out = evaluate_template(compiled(template_text), read_json(input).value(),
                               read_json(kContext).value(), random);
  if (!out.ok()) return std::string(out.error().error_name()) + "|" + out.error().cause;
  return write_json(*out);
}

struct Case {
  std::string template_text, input, expected;
};

TEST(TemplateEvaluation, EvaluatesDynamicMembersAtAnyDepth) {
  const std::vector<Case> cases = {
      {R"({"Arg1":"argument1","FromInput.$":"$"})", R"({"InputValue":0})",
       R"({"Arg1":"argument1","FromInput":{"InputValue":0}})"},
      {R"({"item.$":"$.items[2]"})", R"({"items":[{"item_key":0},{"item_key":1},{"item_key":2}]})",
       R"({"item":{"item_key":2}})"},
      // Indefinite paths gather an array, empty when nothing matches.
      {R"({"item.$":"$.item.items[1:5].itemValue"})", "{}", R"({"item":[]})"},
      {R"({"FromInput.$":"$.users[?(@.status == 0)]"})",
       R"({"users":[{"year":1997,"status":0},{"year":1998,"status":1}]})",
       R"({"FromInput":[{"year":1997,"status":0}]})"},
      // Members copied as written (and "Comment" is one) come first, in
      // template order; computed ones follow in AWS's hash order.
      {R"({"b.$":"$.x","Comment":"c","a":"$.x","n":{"k":[1,"$"]}})", R"({"x":1})",
       R"({"Comment":"c","a":"$.x","n":{"k":[1,"$"]},"b":1})"},
      {R"({"Iterations.$":"$.i","Values.$":"$.v","x":0})", R"({"i":1,"v":2})",
       R"({"x":0,"Values":2,"Iterations":1})"},
      {R"({"outer":{"inner":[1,{"deep.$":"$.v"},[{"x.$":"$$.State.Name"}]]}})", R"({"v":0.0})",
       R"({"outer":{"inner":[1,{"deep":0.0},[{"x":"TestState"}]]}})"},
      {R"({"input.$":"$$.Execution.Input","whole.$":"$$.State"})", "[]",
       R"({"input":{"input-value":0},"whole":{"Name":"TestState",)"
       R"("EnteredTime":"2024-01-02T03:04:05.678Z"}})"},
      // Numbers keep their written form; any JSON may be the input.
      {R"({"n.$":"$[1]","m":1e2})", "[0.0,-0,1E+2]", R"({"m":1e2,"n":-0})"},
      {R"({"s.$":"$"})", R"("text")", R"({"s":"text"})"},
      {"{}", "null", "{}"},
      // The whole input that a missing path quotes is its compact text.
      {R"({"value.$":"$.no_such_jsonpath"})", R"({ "int-literal" : 0 })",
       "States.Runtime|The JSONPath '$.no_such_jsonpath' specified for the field 'value.$' could "
       R"(not be found in the input '{"int-literal":0}')"},
      {R"({"value.$":"$$.Execution.Input.no_such_jsonpath"})", R"({"int-literal":0})",
       "States.Runtime|The JSONPath '$$.Execution.Input.no_such_jsonpath' specified for the "
       R"(field 'value.$' could not be found in the input '{"int-literal":0}')"},
      {R"({"Entries":[{"Source":"s","Detail.$":"$.a.b"}]})", R"({"a":"s"})",
       "States.Runtime|The JSONPath '$.a.b' specified for the field 'Detail.$' could not be "
       R"(found in the input '{"a":"s"}')"},
      {R"({"i.$":"$.a[5]"})", R"({"a":[1]})",
       "States.Runtime|The JSONPath '$.a[5]' specified for the field 'i.$' could not be found "
       R"(in the input '{"a":[1]}')"},
      // Intrinsic calls: a path argument misses as a member's path does; a
      // function that fails names itself and the member.
      {R"j({"ok.$":"$","r.$":"States.MathAdd($.a, 1)"})j", R"({"a":1})", R"({"r":2,"ok":{"a":1}})"},
      {R"j({"r":[{"s.$":"States.Format('{}-{}', $$.State.Name, $.a)"}]})j",
       R"({"a":[1,{"b":null}]})", R"({"r":[{"s":"TestState-[1, {b=null}]"}]})"},
      {R"j({"r.$":"States.ArrayLength(States.Array($.a, $.missing))"})j", R"({"a":1})",
       "States.Runtime|The JSONPath '$.missing' specified for the field 'r.$' could not be found "
       R"(in the input '{"a":1}')"},
      {R"j({"x":{"r.$":"States.ArrayGetItem($.a, 3)"}})j", R"({"a":[1]})",
       "States.IntrinsicFailure|The function States.ArrayGetItem failed: the index 3 is out of "
       "range for an array of 1 item in the field 'r.$'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(evaluated(c.template_text, c.input), c.expected) << c.template_text;
  }
}

TEST(TemplateEvaluation, RandomIntrinsicsDrawFromTheGivenSource) {
  const PayloadTemplate t =
      compiled(R"j({"u.$":"States.UUID()","n.$":"States.MathRandom(0, 1000)"})j");
  RandomSource first(42), again(42), other(43);
  const Value context = read_json(kContext).value();
  const std::string a = write_json(evaluate_template(t, Value(), context, first).value());
  EXPECT_EQ(a, write_json(evaluate_template(t, Value(), context, again).value()));
  EXPECT_NE(a, write_json(evaluate_template(t, Value(), context, other).value()));
  EXPECT_NE(first, RandomSource(42)) << "the draws must advance the execution's source";
}

TEST(TemplateEvaluation, LiteralSubtreesAreSharedNotCopied) {
  const Value written = read_json(R"({"big":{"k":[1,2,3]},"v.$":"$"})").value();
  RandomSource random;
  auto out =
      evaluate_template(compile_template(written).value(), Value::integer(7), Value(), random);
  ASSERT_TRUE(out.ok());
  // Same node: a view into the template's literal stays the one handed out.
  EXPECT_EQ(out->find("big")->find("k")->items().data(),
            written.find("big")->find("k")->items().data());
}

TEST(TemplateEvaluation, DeepTemplatesEvaluateWithinTheCompileBound) {
  std::string text;
  for (int i = 0; i < 900; ++i) text += R"({"k":)";
  text += R"({"x.$":"$"})";
  for (int i = 0; i < 900; ++i) text += "}";
  RandomSource random;
  auto out = evaluate_template(compiled(text), Value::integer(1), Value(), random);
  ASSERT_TRUE(out.ok());
  const Value* v = &*out;
  for (int i = 0; i < 900; ++i) v = v->find("k");
  EXPECT_EQ(write_json(*v), R"({"x":1})");
}

TEST(TemplateEvaluation, ToldWhetherATemplateReadsTheContext) {
  struct Row {
    std::string text;
    bool reads_context;
  };
  const std::vector<Row> rows = {
      {R"({"a":"$$","b.$":"$.x"})", false},
      {R"({"a":[{"b.$":"$$.Task.Token"}]})", true},
      {R"j({"a.$":"States.Format('{}', $.x)"})j", false},
      {R"j({"a.$":"States.Array(States.Format('{}', $$.State.Name))"})j", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(template_reads_context(compiled(row.text)), row.reads_context) << row.text;
  }
}

}  // namespace
}  // namespace vorn::aws
