// The checker's diagnostics, family by family: each row is a definition and
// every diagnostic it must get, code, whole message and location.
#include "aws_build/check.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check_test_support.hpp"

namespace vorn::aws {
namespace {

using testing::briefs;
using testing::machine_with;

struct Row {
  std::string definition;
  std::vector<std::string> expected;  // testing::brief of each diagnostic, in order
};

void expect_rows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(briefs(row.definition), row.expected) << row.definition;
  }
}

const std::string kSvf = "SCHEMA_VALIDATION_FAILED|";
const std::string kMtt = "MISSING_TRANSITION_TARGET|";

TEST(CheckDefinition, JsonFaultsAndTopLevel) {
  expect_rows({
      {"not a definition",
       {"INVALID_JSON_DESCRIPTION|unexpected character|[Source: (String)\"not a definition\"; "
        "line: 1, column: 2]"}},
      {" ", {kSvf + "Definition must be a valid JSON object|"}},
      {"", {kSvf + "Definition must be a valid JSON object|"}},
      {"[1]", {kSvf + "Definition must be a valid JSON object|"}},
      {"{}", {kSvf + "These fields are required: [States, StartAt]|/"}},
      {R"({"States": {"StartState": {"Type": "Pass", "End": true}}})",
       {kSvf + "These fields are required: [StartAt]|/"}},
      {R"({"Comment": "BASE_INVALID_DER", "StartAt": "State_1"})",
       {kSvf + "These fields are required: [States]|/"}},
      {R"({"StartAt":"A","States":{"A":{"Type":"Succeed"}},"Extra":1,"Version":"1.0"})",
       {kSvf + "Field 'Extra' is not supported|/"}},
      {R"({"StartAt":"A","States":{"A":{"Type":"Succeed"}},"TimeoutSeconds":0})",
       {kSvf + "The field 'TimeoutSeconds' must be an integer between 1 and 99999999|"
               "/TimeoutSeconds"}},
      {R"({"StartAt":7,"States":[]})",
       {kSvf + "The field 'StartAt' must be a string|/StartAt",
        kSvf + "The field 'States' must be an object|/States"}},
      {R"({"StartAt":"A","States":{"A":{"Type":"Succeed"}},"QueryLanguage":"XPath"})",
       {kSvf + "The field 'QueryLanguage' should have one of these values: [JSONPath, JSONata]|"
               "/QueryLanguage"}},
  });
}

TEST(CheckDefinition, TooDeepAndLongTextsKeepJacksonsPlace) {
  const std::string deep = std::string(1001, '[') + std::string(1001, ']');
  const CheckOutcome outcome = check_definition(deep);
  ASSERT_EQ(outcome.diagnostics.size(), 1u);
  EXPECT_EQ(outcome.diagnostics[0].code, "TOO_DEEPLY_NESTED");
  EXPECT_EQ(outcome.diagnostics[0].message, "The definition nests deeper than 1000 levels");
  EXPECT_TRUE(outcome.document.is_null());

  const std::string long_text = "{\"Comment\": \"" + std::string(600, 'x') + "\" oops}";
  const Diagnostic fault = check_definition(long_text).diagnostics.at(0);
  EXPECT_EQ(fault.location, "[Source: (String)\"{\"Comment\": \"" + std::string(487, 'x') +
                                "\"[truncated 120 chars]; line: 1, column: " +
                                std::to_string(fault.column) + "]");
  EXPECT_EQ(fault.column, 616u);
}

TEST(CheckDefinition, NamesTransitionsAndReachability) {
  expect_rows({
      {R"({"StartAt":"Nowhere","States":{"A":{"Type":"Succeed"}}})",
       {kMtt + "Missing 'Next' target: Nowhere|/StartAt"}},
      {R"({"StartAt":"pass1","States":{"pass1":{"Type":"Pass","Next":"pass3"},
           "pass2":{"Type":"Pass","End":true}}})",
       {kMtt + "Missing 'Next' target: pass3|/States/pass1/Next",
        kMtt + "State \"pass2\" is not reachable.|/States/pass2"}},
      {R"({"StartAt":"A","States":{"A":{"Type":"Pass","Next":"B"},"B":{"Type":"Pass","Next":"A"}}})",
       {"MISSING_END_STATE|Workflow has no terminal state|"}},
      {R"({"StartAt":"C","States":{"C":{"Type":"Choice","Choices":[
           {"Variable":"$.x","IsNull":true,"Next":"D"},{"Variable":"$.x","IsNull":false,"Next":"Z"}],
           "Default":"Y"},"D":{"Type":"Succeed"}}})",
       {kMtt + "Missing 'Next' target: Z|/States/C/Choices[1]/Next",
        kMtt + "Missing 'Next' target: Y|/States/C/Default"}},
      {R"({"StartAt":"T","States":{"T":{"Type":"Task","Resource":"r","End":true,
           "Catch":[{"ErrorEquals":["X"],"Next":"H"},{"ErrorEquals":["States.ALL"],"Next":"Q"}]},
           "H":{"Type":"Succeed"}}})",
       {kMtt + "Missing 'Next' target: Q|/States/T/Catch[1]/Next"}},
      // Branch states are their own scope: the outer state is out of reach.
      {R"({"StartAt":"P","States":{"P":{"Type":"Parallel","End":true,"Branches":[
           {"StartAt":"B","States":{"B":{"Type":"Pass","Next":"P"}}}]}}})",
       {kMtt + "Missing 'Next' target: P|/States/P/Branches[0]/States/B/Next",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {R"({"StartAt":"M","States":{"M":{"Type":"Map","End":true,"ItemProcessor":
           {"StartAt":"M","States":{"M":{"Type":"Succeed"},"N":{"Type":"Succeed"}}}}}})",
       {"DUPLICATE_STATE_NAME|Duplicate State name: M|/States/M/ItemProcessor/States/M",
        kMtt + "State \"N\" is not reachable.|/States/M/ItemProcessor/States/N"}},
      // A name repeated in another scope is reported once and still found there.
      {R"({"StartAt":"P","States":{"P":{"Type":"Parallel","End":true,"Branches":[
           {"StartAt":"B","States":{"B":{"Type":"Pass","Next":"C"},"C":{"Type":"Succeed"}}},
           {"StartAt":"B","States":{"B":{"Type":"Pass","Next":"C"},"C":{"Type":"Succeed"}}}]}}})",
       {"DUPLICATE_STATE_NAME|Duplicate State name: B|/States/P/Branches[1]/States/B",
        "DUPLICATE_STATE_NAME|Duplicate State name: C|/States/P/Branches[1]/States/C"}},
      {R"({"StartAt":"M","States":{"M":{"Type":"Map","End":true,"Iterator":
           {"StartAt":"I","States":{"I":{"Type":"Pass","Next":"J"}}}}}})",
       {kMtt + "Missing 'Next' target: J|/States/M/Iterator/States/I/Next",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {machine_with(R"({"Type":"Succeed"},")" + std::string(81, 'n') + R"(":{"Type":"Succeed"})"),
       {"INVALID_STATE_NAME|State names must be between 1 and 80 characters long|/States/" +
            std::string(81, 'n'),
        kMtt + "State \"" + std::string(81, 'n') + "\" is not reachable.|/States/" +
            std::string(81, 'n')}},
      {R"({"StartAt":"","States":{"":{"Type":"Succeed"}}})",
       {"INVALID_STATE_NAME|State names must be between 1 and 80 characters long|/States/"}},
  });
}

TEST(CheckDefinition, ChoiceRuleProblemsKeepTheirPlace) {
  const std::string text =
      R"({"StartAt":"C","States":{"C":{"Type":"Choice","Choices":[{"Variable":"$.x","Next":"D"},)"
      R"({"And":[{"Variable":"$.x","NumericEquals":"1"}],"Next":"D"},)"
      R"({"Not":{"Variable":"$.x","IsNull":true,"Next":"D"},"Next":"E"}]},"D":{"Type":"Succeed"}}})";
  expect_rows({{text,
                {kSvf + "A comparison operator is required with the field 'Variable'|"
                        "/States/C/Choices[0]",
                 kSvf + "The field 'NumericEquals' must be a number|"
                        "/States/C/Choices[1]/And[0]/NumericEquals",
                 kSvf + "Field 'Next' is not supported|/States/C/Choices[2]/Not",
                 kMtt + "Missing 'Next' target: E|/States/C/Choices[2]/Next"}}});
  const CheckOutcome outcome = check_definition(text);
  EXPECT_EQ(outcome.diagnostics[1].column, text.find(R"("1")") + 1);
  EXPECT_EQ(outcome.diagnostics[1].line, 1u);
}

TEST(CheckDefinition, StateTypesAndTransitions) {
  const std::string type_values =
      "The field 'Type' should have one of these values: [Task, Wait, Pass, Succeed, Fail, "
      "Choice, Parallel, Map]";
  expect_rows({
      {machine_with(R"({"Type":"<invalid>"})"), {kSvf + type_values + "|/States/A/Type"}},
      {machine_with(R"({"End":true})"), {kSvf + type_values + "|/States/A/Type"}},
      {machine_with(R"({"Type":"Pass","End":true,"Next":"A"})"),
       {kSvf + "The fields 'Next' and 'End' cannot both be set|/States/A"}},
      {machine_with(R"({"Type":"Pass"})"),
       {kSvf + "One of these fields is required: [Next, End]|/States/A",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {machine_with(R"({"Type":"Succeed","End":true})"),
       {kSvf + "Field 'End' is not supported|/States/A"}},
      {machine_with(R"({"Type":"Fail","Next":"A"})"),
       {kSvf + "Field 'Next' is not supported|/States/A"}},
      {machine_with(R"({"Type":"Choice","End":true,"Choices":[]})"),
       {kSvf + "Field 'End' is not supported|/States/A",
        kSvf + "Value cannot be empty|/States/A/Choices",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {machine_with(R"({"Type":"Pass","End":"yes"})"),
       {kSvf + "The field 'End' must be a boolean|/States/A/End",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {machine_with(R"({"Type":"Pass","ResultSelector":{},"End":true})"),
       {kSvf + "Field 'ResultSelector' is not supported|/States/A"}},
      {machine_with(R"({"Type":"Wait","Seconds":1,"Retry":[],"End":true})"),
       {kSvf + "Field 'Retry' is not supported|/States/A"}},
  });
}

TEST(CheckDefinition, StateFields) {
  expect_rows({
      {R"({"StartAt":"WaitUntil","States":{"WaitUntil":{"Type":"Wait",
           "Timestamp":"2016-12-05T21:29:29","End":true}}})",
       {kSvf + "String does not match RFC3339 timestamp|/States/WaitUntil/Timestamp"}},
      {machine_with(R"({"Type":"Wait","Seconds":1,"SecondsPath":"$.s","End":true})"),
       {kSvf + "Exactly one of these fields is required: [Seconds, Timestamp, SecondsPath, "
               "TimestampPath]|/States/A"}},
      {machine_with(R"({"Type":"Wait","End":true})"),
       {kSvf + "Exactly one of these fields is required: [Seconds, Timestamp, SecondsPath, "
               "TimestampPath]|/States/A"}},
      {machine_with(R"({"Type":"Wait","Seconds":1.5,"End":true})"),
       {kSvf + "The field 'Seconds' must be an integer|/States/A/Seconds"}},
      {R"({"StartAt":"StateName","States":{"StateName":{"Type":"Parallel","Branches":[],
           "End":true}}})",
       {kSvf + "Value cannot be empty|/States/StateName/Branches"}},
      {R"({"StartAt":"State0","States":{"State0":{"Type":"Task","Resource":"r",
           "Credentials":{},"End":true}}})",
       {kSvf + "The field 'RoleArn' is required but was missing|/States/State0/Credentials"}},
      {machine_with(R"({"Type":"Task","End":true})"),
       {kSvf + "These fields are required: [Resource]|/States/A"}},
      {machine_with(R"({"Type":"Task","Resource":"r","TimeoutSeconds":10,
           "TimeoutSecondsPath":"$.t","HeartbeatSeconds":10,"End":true})"),
       {kSvf + "The fields 'TimeoutSeconds' and 'TimeoutSecondsPath' cannot both be set|/States/A",
        kSvf + "The field 'HeartbeatSeconds' must be smaller than the field 'TimeoutSeconds'|"
               "/States/A/HeartbeatSeconds"}},
      {machine_with(R"({"Type":"Task","Resource":"r","TimeoutSeconds":0,
           "HeartbeatSeconds":100000000,"End":true})"),
       {kSvf + "The field 'TimeoutSeconds' must be an integer between 1 and 99999999|"
               "/States/A/TimeoutSeconds",
        kSvf + "The field 'HeartbeatSeconds' must be an integer between 1 and 99999999|"
               "/States/A/HeartbeatSeconds"}},
      {machine_with(R"({"Type":"Fail","Error":"E","ErrorPath":"$.e","Cause":"c",
           "CausePath":"$.x[*]"})"),
       {kSvf + "The fields 'Error' and 'ErrorPath' cannot both be set|/States/A",
        kSvf + "The fields 'Cause' and 'CausePath' cannot both be set|/States/A",
        kSvf + "The value for the field 'CausePath' must be a valid ReferencePath or a valid "
               "intrinsic function call|/States/A/CausePath"}},
      {machine_with(R"({"Type":"Map","End":true})"),
       {kSvf + "One of these fields is required: [ItemProcessor, Iterator]|/States/A"}},
      {machine_with(R"j({"Type":"Fail","ErrorPath":"States.Format('E{}', $.n)",
           "CausePath":"States.Format('unclosed'"})j"),
       {kSvf + "The value for the field 'CausePath' must be a valid ReferencePath or a valid "
               "intrinsic function call|/States/A/CausePath"}},
      {machine_with(R"({"Type":"Map","MaxConcurrency":-1,"MaxConcurrencyPath":"$.m",
           "ToleratedFailurePercentage":100.5,"End":true,
           "ItemProcessor":{"ProcessorConfig":{"Mode":"LOCAL"},"StartAt":"I",
           "States":{"I":{"Type":"Succeed"}}}})"),
       {kSvf + "The fields 'MaxConcurrency' and 'MaxConcurrencyPath' cannot both be set|/States/A",
        kSvf + "The field 'MaxConcurrency' must be an integer of at least 0|"
               "/States/A/MaxConcurrency",
        kSvf + "The field 'ToleratedFailurePercentage' must be a number between 0 and 100|"
               "/States/A/ToleratedFailurePercentage",
        kSvf + "The field 'Mode' should have one of these values: [INLINE, DISTRIBUTED]|"
               "/States/A/ItemProcessor/ProcessorConfig/Mode"}},
      {machine_with(R"({"Type":"Pass","InputPath":"x","OutputPath":null,
           "ResultPath":"$$.a","End":true})"),
       {kSvf + "The value for the field 'InputPath' must be a valid JSONPath|/States/A/InputPath",
        kSvf + "The value for the field 'ResultPath' must be a valid ReferencePath|"
               "/States/A/ResultPath"}},
      {machine_with(R"({"Type":"Pass","ResultPath":"$.a[*]","InputPath":7,"End":true})"),
       {kSvf + "The value for the field 'ResultPath' must be a valid ReferencePath|"
               "/States/A/ResultPath",
        kSvf + "The field 'InputPath' must be a string or null|/States/A/InputPath"}},
  });
}

TEST(CheckDefinition, MapLabels) {
  const auto label = [](const std::string& text) {
    return machine_with(R"({"Type":"Map","Label":)" + text +
                        R"(,"End":true,"ItemProcessor":{"StartAt":"I","States":{"I":{"Type":"Succeed"}}}})");
  };
  expect_rows({
      {label(R"("TestMap")"), {}},
      {label(R"("")"),
       {"INVALID_LABEL_NAME|The field 'Label' must be between 1 and 40 characters long|"
        "/States/A/Label"}},
      {label("\"" + std::string(41, 'l') + "\""),
       {"INVALID_LABEL_NAME|The field 'Label' must be between 1 and 40 characters long|"
        "/States/A/Label"}},
      {label(R"("my label")"),
       {"INVALID_LABEL_NAME|The field 'Label' must not contain the character ' '|"
        "/States/A/Label"}},
      {label(R"("a\u0085b")"),
       {"INVALID_LABEL_NAME|The field 'Label' must not contain control characters|"
        "/States/A/Label"}},
  });
}

TEST(CheckDefinition, RetryAndCatch) {
  const auto task = [](const std::string& fields) {
    return machine_with(R"({"Type":"Task","Resource":"r","End":true,)" + fields + "}");
  };
  expect_rows({
      {task(R"("Retry":[],"Catch":[])"), {}},
      {task(R"("Retry":[{"ErrorEquals":["NoSuchError"]},{"ErrorEquals":["State.ALL"]},
               {"ErrorEquals":["HandleItemFailError"],"Comment":"c"}])"),
       {}},
      {task(R"("Retry":[{"IntervalSeconds":0,"MaxAttempts":-1,"BackoffRate":0.5,
               "MaxDelaySeconds":31622401,"JitterStrategy":"HALF"}])"),
       {kSvf + "These fields are required: [ErrorEquals]|/States/A/Retry[0]",
        kSvf + "The field 'IntervalSeconds' must be an integer between 1 and 99999999|"
               "/States/A/Retry[0]/IntervalSeconds",
        kSvf + "The field 'MaxAttempts' must be an integer between 0 and 99999999|"
               "/States/A/Retry[0]/MaxAttempts",
        kSvf + "The field 'BackoffRate' must be a number of at least 1|"
               "/States/A/Retry[0]/BackoffRate",
        kSvf + "The field 'MaxDelaySeconds' must be an integer between 1 and 31622400|"
               "/States/A/Retry[0]/MaxDelaySeconds",
        kSvf + "The field 'JitterStrategy' should have one of these values: [FULL, NONE]|"
               "/States/A/Retry[0]/JitterStrategy"}},
      {task(R"("Retry":[{"ErrorEquals":[]},{"ErrorEquals":["States.ALL","X"]},
               {"ErrorEquals":["States.ALL"]},{"ErrorEquals":[3],"Backoff":2}])"),
       {kSvf + "Value cannot be empty|/States/A/Retry[0]/ErrorEquals",
        kSvf + "A rule with 'States.ALL' must be the last one in the field 'Retry'|"
               "/States/A/Retry[1]",
        kSvf + "'States.ALL' must be the only error name in the field 'ErrorEquals'|"
               "/States/A/Retry[1]/ErrorEquals",
        kSvf + "A rule with 'States.ALL' must be the last one in the field 'Retry'|"
               "/States/A/Retry[2]",
        kSvf + "Field 'Backoff' is not supported|/States/A/Retry[3]",
        kSvf + "The value must be a string|/States/A/Retry[3]/ErrorEquals[0]"}},
      {task(R"("Catch":[{"ErrorEquals":["States.ALL"],"ResultPath":"$$"},
               {"ErrorEquals":["X"],"Next":"A","ResultPath":null}])"),
       {kSvf + "A rule with 'States.ALL' must be the last one in the field 'Catch'|"
               "/States/A/Catch[0]",
        kSvf + "These fields are required: [Next]|/States/A/Catch[0]",
        kSvf + "The value for the field 'ResultPath' must be a valid ReferencePath|"
               "/States/A/Catch[0]/ResultPath"}},
      {task(R"("Retry":{})"), {kSvf + "The field 'Retry' must be an array|/States/A/Retry"}},
  });
}

TEST(CheckDefinition, Templates) {
  expect_rows({
      {R"({"StartAt":"IntrinsicEscape","States":{"IntrinsicEscape":{"Type":"Pass",
           "Parameters":{"ok.$":"$.a","bad.$":"$.[","n.$":3},"End":true}}})",
       {kSvf + "The value for the field 'bad.$' must be a valid JSONPath or a valid intrinsic "
               "function call|/States/IntrinsicEscape/Parameters",
        kSvf + "The value for the field 'n.$' must be a valid JSONPath or a valid intrinsic "
               "function call|/States/IntrinsicEscape/Parameters"}},
      {machine_with(R"({"Type":"Task","Resource":"r","End":true,
           "ResultSelector":{"deep":[{"x":{"y.$":"$..[?(@"}}]}})"),
       {kSvf + "The value for the field 'y.$' must be a valid JSONPath or a valid intrinsic "
               "function call|/States/A/ResultSelector"}},
      {machine_with(R"({"Type":"Pass","Parameters":{"a":1,"a.$":"$.a"},"End":true})"),
       {kSvf + "The fields 'a' and 'a.$' both give the field 'a'|/States/A/Parameters"}},
      {R"j({"StartAt":"IntrinsicEscape","States":{"IntrinsicEscape":{"Type":"Pass","Parameters":
           {"parsed.$":"States.Format('He said, \\\"Hello, {}!\\\"', 'Test \\\"Name\\\" Here')",
            "fine.$":"States.Format('{}', $.a)"},"End":true}}})j",
       {kSvf + "The value for the field 'parsed.$' must be a valid JSONPath or a valid intrinsic "
               "function call|/States/IntrinsicEscape/Parameters"}},
      {machine_with(R"({"Type":"Pass","Parameters":{"v.$":"$myVariable"},"End":true})"),
       {"W:UNSUPPORTED_FEATURE|Variable references is not supported by pyvorn yet|"
        "/States/A/Parameters"}},
      {machine_with(R"({"Type":"Pass","Parameters":[],"End":true})"),
       {kSvf + "The field 'Parameters' must be an object|/States/A/Parameters"}},
      {machine_with(R"({"Type":"Task","Resource":"r","End":true,
           "Credentials":{"RoleArn.$":"$.role"}})"),
       {}},
      // A Result is data: keys ending in ".$" are kept, never evaluated.
      {machine_with(R"({"Type":"Pass","Result":{"x.$":"not a path"},"End":true})"),
       {"W:PASS_RESULT_IS_STATIC|The field 'x.$' in 'Result' is copied as written: 'Result' is "
        "never evaluated; use 'Parameters' to evaluate it|/States/A/Result"}},
  });
}

TEST(CheckDefinition, WarningsLeaveTheDefinitionValid) {
  const std::string unsupported = "W:UNSUPPORTED_FEATURE|";
  expect_rows({
      {machine_with(R"j({"Type":"Pass","Parameters":{"a":"$.a","b":"States.Format('{}', $.b)",
           "c":"${Placeholder}"},"End":true})j"),
       {"W:NO_DOLLAR|The value for the field 'a' looks like a JSONPath or an intrinsic function "
        "call, but is taken as a literal: name the field 'a.$' to evaluate it|/States/A/Parameters",
        "W:NO_DOLLAR|The value for the field 'b' looks like a JSONPath or an intrinsic function "
        "call, but is taken as a literal: name the field 'b.$' to evaluate it|"
        "/States/A/Parameters"}},
      {R"({"QueryLanguage":"JSONata","StartAt":"A","States":{"A":{"Type":"Task",
           "Arguments":{"x":"{% $states.input %}"},"Output":"{% 1 %}","Next":"B"},
           "B":{"Type":"Succeed"}}})",
       {unsupported + "JSONata is not supported by pyvorn yet|/QueryLanguage"}},
      {R"({"QueryLanguage":"JSONata","StartAt":"A","States":{"A":{"Type":"Pass",
           "QueryLanguage":"JSONPath","Next":"Gone"}}})",
       {unsupported + "JSONata is not supported by pyvorn yet|/QueryLanguage",
        kSvf + "'QueryLanguage' can not be 'JSONPath' if set to 'JSONata' for whole state "
               "machine|/States/A",
        kMtt + "Missing 'Next' target: Gone|/States/A/Next",
        "MISSING_END_STATE|Workflow has no terminal state|"}},
      {machine_with(R"({"Type":"Pass","QueryLanguage":"JSONata","Output":{},"Assign":{"v":1},
           "End":true})"),
       {unsupported + "JSONata is not supported by pyvorn yet|/States/A/QueryLanguage",
        unsupported + "Variables (Assign) is not supported by pyvorn yet|/States/A/Assign"}},
      {machine_with(R"({"Type":"Pass","InputPath":"$myVar.x","Assign":{"v":1},"End":true})"),
       {unsupported + "Variable references is not supported by pyvorn yet|/States/A/InputPath",
        unsupported + "Variables (Assign) is not supported by pyvorn yet|/States/A/Assign"}},
      {machine_with(R"({"Type":"Map","End":true,"ItemReader":{"Resource":"r"},
           "ResultWriter":{"Resource":"w"},"ItemProcessor":{"ProcessorConfig":
           {"Mode":"DISTRIBUTED","ExecutionType":"STANDARD"},"StartAt":"I",
           "States":{"I":{"Type":"Succeed"}}}})"),
       {unsupported + "Map ItemReader is not supported by pyvorn yet|/States/A/ItemReader",
        unsupported + "Map ResultWriter is not supported by pyvorn yet|/States/A/ResultWriter"}},
  });
  const CheckOutcome outcome =
      check_definition(machine_with(R"({"Type":"Pass","Assign":{"v":1},"End":true})"));
  EXPECT_TRUE(outcome.definition.has_value());
}

TEST(CheckDefinition, LinesAndColumnsPointAtTheValue) {
  const std::string text =
      "{\"StartAt\": \"A\",\n"
      " \"States\": {\n"
      "  \"A\": {\"Type\": \"Pass\", \"Next\": \"Bé\"},\n"
      "  \"Bé\": {\"Type\": \"Pass\", \"Comment\": \"ü\", \"ResultPath\": \"$$\", \"End\": true}}}";
  const CheckOutcome outcome = check_definition(text);
  ASSERT_EQ(outcome.diagnostics.size(), 1u);
  const Diagnostic& d = outcome.diagnostics[0];
  EXPECT_EQ(d.location, "/States/Bé/ResultPath");
  EXPECT_EQ(d.line, 4u);
  EXPECT_EQ(d.column, 56u);  // counted in characters: 'é' and 'ü' are one each

  // A missing field points at the object that lacks it.
  const Diagnostic missing =
      check_definition("{\"StartAt\":\"A\",\"States\":{\n \"A\": {\"Type\":\"Task\",\"End\":true}}}")
          .diagnostics.at(0);
  EXPECT_EQ(missing.location, "/States/A");
  EXPECT_EQ(missing.line, 2u);
  EXPECT_EQ(missing.column, 7u);
  // An unreadable text is placed where the reader stopped.
  const Diagnostic fault = check_definition("{\n  \"StartAt\": x}").diagnostics.at(0);
  EXPECT_EQ(fault.line, 2u);
  EXPECT_EQ(fault.column, 14u);
}

TEST(CheckDefinition, DefinitionCarriesFieldsAndDefaults) {
  const CheckOutcome outcome = check_definition(R"({
    "Comment": "c", "TimeoutSeconds": 60, "StartAt": "T",
    "States": {
      "T": {"Type": "Task", "Resource": "arn:r", "InputPath": null, "ResultPath": "$.r",
            "TimeoutSeconds": 1.0, "Retry": [{"ErrorEquals": ["E"], "JitterStrategy": "FULL"}],
            "Catch": [{"ErrorEquals": ["States.ALL"], "Next": "M"}], "Next": "M"},
      "M": {"Type": "Map", "ItemsPath": "$$.Execution.Input", "Parameters": {"v.$": "$$.Map.Item.Value"},
            "Iterator": {"StartAt": "I", "States": {"I": {"Type": "Succeed"}}}, "End": true}
    }})");
  ASSERT_TRUE(outcome.definition.has_value()) << testing::brief(outcome.diagnostics.at(0));
  const Definition& definition = *outcome.definition;
  EXPECT_EQ(definition.comment, "c");
  EXPECT_EQ(definition.timeout_seconds, 60);
  ASSERT_EQ(definition.scope.states.size(), 2u);
  const auto& task = std::get<TaskState>(definition.scope.states[0].fields);
  EXPECT_TRUE(task.flow.input_path.is_null());
  EXPECT_TRUE(task.flow.output_path.is_absent());
  EXPECT_EQ(task.flow.result_path, PathField::path("$.r"));
  EXPECT_EQ(task.timeout_seconds, 1);
  ASSERT_EQ(task.retry.size(), 1u);
  EXPECT_EQ(task.retry[0].interval_seconds, 1);
  EXPECT_EQ(task.retry[0].max_attempts, 3);
  EXPECT_EQ(task.retry[0].backoff_rate, 2.0);
  EXPECT_EQ(task.retry[0].jitter, JitterStrategy::kFull);
  ASSERT_EQ(task.catch_.size(), 1u);
  EXPECT_EQ(task.catch_[0].next, "M");
  EXPECT_TRUE(task.catch_[0].result_path.is_absent());
  EXPECT_EQ(task.transition.next, "M");
  const auto& map = std::get<MapState>(definition.scope.states[1].fields);
  EXPECT_TRUE(map.legacy_iterator);
  EXPECT_EQ(map.items_path, "$$.Execution.Input");
  ASSERT_TRUE(map.item_selector.has_value());
  EXPECT_EQ(map.processor.start_at, "I");
  EXPECT_TRUE(map.transition.end);
}

}  // namespace
}  // namespace vorn::aws
