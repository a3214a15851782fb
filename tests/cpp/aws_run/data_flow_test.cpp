#include "aws_run/data_flow.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/payload_size.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"
#include "aws_run/context_object.hpp"
#include "aws_run/fail_fields.hpp"

namespace vorn::aws {
namespace {

Value json(std::string_view text) {
  return read_json(text).value();
}

// A state's data-flow fields as a definition writes them: "-" for a path
// field that is absent, "null" for null; "" for a template that is absent.
class Fields {
 public:
  Fields& input_path(std::string text) { return set(input_path_, std::move(text)); }
  Fields& parameters(std::string text) { return set(parameters_, std::move(text)); }
  Fields& result(std::string text) { return set(result_, std::move(text)); }
  Fields& result_selector(std::string text) { return set(result_selector_, std::move(text)); }
  Fields& result_path(std::string text) { return set(result_path_, std::move(text)); }
  Fields& output_path(std::string text) { return set(output_path_, std::move(text)); }

  std::string input_path_ = "-";
  std::string parameters_;
  std::string result_;
  std::string result_selector_;
  std::string result_path_ = "-";
  std::string output_path_ = "-";

 private:
  Fields& set(std::string& field, std::string text) {
    field = std::move(text);
    return *this;
  }
};

PathSetting setting(const std::string& text) {
  if (text == "-") return PathSetting::absent();
  if (text == "null") return PathSetting::null();
  return PathSetting::of(JsonPath::parse(text).value());
}

std::optional<PayloadTemplate> compiled(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return compile_template(json(text)).value();
}

StateDataFlow flow_of(const Fields& f, std::string subject = "State_1") {
  StateDataFlow flow;
  flow.input_path = setting(f.input_path_);
  flow.parameters = compiled(f.parameters_);
  if (!f.result_.empty()) flow.result = measured(json(f.result_));
  flow.result_selector = compiled(f.result_selector_);
  flow.result_path = setting(f.result_path_);
  flow.output_path = setting(f.output_path_);
  flow.limit_subject = std::move(subject);
  return flow;
}

ExecutionContext execution_context() {
  ExecutionContextFields fields;
  fields.execution_id = "arn:aws:states:us-east-1:123456789012:execution:Machine:run-1";
  fields.input = json(R"({"input-value":0})");
  fields.start_time = parse_timestamp("2024-05-06T07:08:09.1239Z").value();
  fields.execution_name = "run-1";
  fields.role_arn = "arn:aws:iam::123456789012:role/StepFunctionsLocal";
  fields.state_machine_id = "arn:aws:states:us-east-1:123456789012:stateMachine:Machine";
  fields.state_machine_name = "Machine";
  return make_execution_context(fields);
}

Value context_for(std::string state_name) {
  StateContextFields state;
  state.state_name = std::move(state_name);
  state.entered_time = parse_timestamp("2024-05-06T07:08:10Z").value();
  ExecutionContext execution = execution_context();
  return make_context_object(execution, state);
}

enum class Shape { kPass, kTask, kSucceed };

// Runs the steps the interpreter runs for a state of that shape; a task
// handler returns `task_result`, or echoes its input when that is empty.
// Failures read "<error name>|<cause as reported for state 'pass', entry #2>".
std::string run(Shape shape, const StateDataFlow& flow, std::string_view input,
                std::string_view task_result = "") {
  const SizedValue raw = measured(json(input));
  const Value context = context_for("TestState");
  RandomSource random;
  auto output = [&]() -> Result<SizedValue, DataFlowFailure> {
    switch (shape) {
      case Shape::kPass: {
        VORN_TRY_ASSIGN(SizedValue result, pass_result(flow, raw, context, random));
        return state_output(flow, raw, std::move(result), context, random);
      }
      case Shape::kTask: {
        VORN_TRY_ASSIGN(SizedValue effective, effective_input(flow, raw, context));
        VORN_TRY_ASSIGN(SizedValue handler_input, task_input(flow, effective, context, random));
        VORN_TRY_ASSIGN(
            SizedValue result,
            check_task_result(flow, task_result.empty() ? handler_input.value : json(task_result)));
        return state_output(flow, raw, std::move(result), context, random);
      }
      case Shape::kSucceed: {
        VORN_TRY_ASSIGN(SizedValue effective, effective_input(flow, raw, context));
        return pass_through_output(flow, effective, context);
      }
    }
    return SizedValue();
  }();
  if (!output.ok()) {
    return std::string(output.error().error_name()) + "|" + full_cause(output.error(), "pass", 2);
  }
  // Whatever bound a step carried, it is never below the size.
  EXPECT_GE(output->size_bound, compact_size(output->value));
  return write_json(output->value);
}

struct Case {
  std::string what;
  Shape shape;
  Fields fields;
  std::string input, expected, task_result = "";
};

const std::string kPrefix =
    "An error occurred while executing the state 'pass' "
    "(entered at the event id #2). ";

const char* const kIoInput =
    R"({"initialData":{"fieldFromInput":"value from input","otherField":"other"},)"
    R"("unrelatedData":{"someOtherField":1234}})";

TEST(DataFlow, StepsRunInAwsOrder) {
  const std::vector<Case> cases = {
      {"Parameters over the input", Shape::kPass,
       Fields().parameters(R"({"Arg1":"argument1","FromInput.$":"$"})"), R"({"InputValue":0})",
       R"({"Arg1":"argument1","FromInput":{"InputValue":0}})"},
      {"InputPath null gives Parameters {}", Shape::kPass,
       Fields().input_path("null").parameters(R"({"Arg2":"argument2","FromInput.$":"$"})"),
       R"({"Arg1":"argument1","FromInput":{"InputValue":0}})",
       R"({"Arg2":"argument2","FromInput":{}})"},
      {"OutputPath null gives {}", Shape::kPass, Fields().output_path("null"),
       R"({"Arg2":"argument2"})", "{}"},
      {"an array element", Shape::kPass, Fields().parameters(R"({"item.$":"$.items[1]"})"),
       R"({"items":[{"item_key":0},{"item_key":1}]})", R"({"item":{"item_key":1}})"},
      {"Result is used as written", Shape::kPass,
       Fields().result(R"({"unsupported1.$":"$.jsonpath","unsupported2.$":"$$"})"), "{}",
       R"({"unsupported1.$":"$.jsonpath","unsupported2.$":"$$"})"},
      {"ResultPath writes into the raw input, not E", Shape::kPass,
       Fields()
           .input_path("$.initialData")
           .parameters(R"({"staticValue":"some value","inputValue.$":"$.fieldFromInput"})")
           .result_path("$.modifiedData"),
       kIoInput,
       std::string(kIoInput).substr(0, std::string(kIoInput).size() - 1) +
           R"(,"modifiedData":{"staticValue":"some value","inputValue":"value from input"}})"},
      {"Result wins; InputPath and Parameters are not evaluated", Shape::kPass,
       Fields()
           .input_path("$.NoSuchInputPath")
           .parameters(R"({"x.$":"$.nothing"})")
           .result(R"({"resultKey":"result value"})")
           .result_path("$.modifiedData"),
       kIoInput,
       std::string(kIoInput).substr(0, std::string(kIoInput).size() - 1) +
           R"(,"modifiedData":{"resultKey":"result value"}})"},
      {"ResultPath creates missing objects", Shape::kPass,
       Fields().result(R"({"riddle":"r"})").result_path("$.enigma.mystery"),
       R"({"functionName":"f"})", R"({"functionName":"f","enigma":{"mystery":{"riddle":"r"}}})"},
      {"a replaced key keeps its place", Shape::kPass,
       Fields().result("[9]").result_path("$.Values"), R"({"Values":[1],"Iterations":2})",
       R"({"Values":[9],"Iterations":2})"},
      {"no Result and no Parameters: E is the result", Shape::kPass,
       Fields().result_path("$.task_failed_error"), R"({"Error":"E","Cause":"C"})",
       R"({"Error":"E","Cause":"C","task_failed_error":{"Error":"E","Cause":"C"}})"},
      {"ResultPath null drops the result", Shape::kTask, Fields().result_path("null"), R"({"a":1})",
       R"({"a":1})", R"({"b":2})"},
      {"OutputPath after ResultPath", Shape::kTask,
       Fields().result_path("$.putItemOutput").output_path("$.putItemOutput"), R"({"a":1})",
       R"({"SdkHttpMetadata":{"HttpStatusCode":200}})",
       R"({"SdkHttpMetadata":{"HttpStatusCode":200}})"},
      {"ResultSelector reads the result", Shape::kTask,
       Fields().result_selector(R"({"p.$":"$.Payload.a","fixed":0.0})").result_path("$.r"),
       R"({"a":1})", R"({"a":1,"r":{"fixed":0.0,"p":"x"}})",
       R"({"Payload":{"a":"x"},"StatusCode":200})"},
      {"Parameters give the handler its input", Shape::kTask,
       Fields().parameters(R"({"k.$":"$.a"})"), R"({"a":[1]})", R"({"k":[1]})"},
      {"indefinite InputPath gathers an array", Shape::kSucceed, Fields().input_path("$.a[*].b"),
       R"({"a":[{"b":1},{"c":2},{"b":3}]})", "[1,3]"},
      {"Succeed: OutputPath over E", Shape::kSucceed, Fields().input_path("$.a").output_path("$.b"),
       R"({"a":{"b":3}})", "3"},
      {"InputPath $$ reads the context object", Shape::kSucceed, Fields().input_path("$$"),
       R"({"input-value":0})",
       R"({"Execution":{"Id":"arn:aws:states:us-east-1:123456789012:execution:Machine:run-1",)"
       R"("Input":{"input-value":0},"StartTime":"2024-05-06T07:08:09.123Z","Name":"run-1",)"
       R"("RoleArn":"arn:aws:iam::123456789012:role/StepFunctionsLocal","RedriveCount":0},)"
       R"("StateMachine":{"Id":"arn:aws:states:us-east-1:123456789012:stateMachine:Machine",)"
       R"("Name":"Machine"},"State":{"Name":"TestState","EnteredTime":"2024-05-06T07:08:10.000Z"}})"},
      {"OutputPath on the context object", Shape::kPass, Fields().output_path("$$.Execution.Input"),
       R"({"other":1})", R"({"input-value":0})"},
      {"ResultSelector reading the context", Shape::kTask,
       Fields().result_selector(
           R"({"LambdaOutput.$":"$","ContextObjectValue.$":"$$.Execution.Input"})"),
       R"({"FunctionName":"f","Payload":{"input-value":0}})",
       R"({"ContextObjectValue":{"input-value":0},"LambdaOutput":{"StatusCode":200}})",
       R"({"StatusCode":200})"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.shape, flow_of(c.fields), c.input, c.task_result), c.expected) << c.what;
  }
}

TEST(DataFlow, PathAndPlacementFailuresAreRuntimeErrorsWithAwsCauses) {
  const std::vector<Case> cases = {
      {"InputPath leaf missing", Shape::kPass, Fields().input_path("$.NoSuchInputPath"),
       R"({"int-literal":0})",
       "States.Runtime|" + kPrefix +
           "Invalid path '$.NoSuchInputPath' : No results for path: $['NoSuchInputPath']"},
      {"OutputPath intermediate missing", Shape::kTask,
       Fields().output_path("$.no.such.result.path"), "{}",
       "States.Runtime|" + kPrefix +
           "Invalid path '$.no.such.result.path' : Missing property in path $['no']"},
      {"OutputPath leaf missing", Shape::kSucceed, Fields().output_path("$.x"), R"({"y":1})",
       "States.Runtime|" + kPrefix + "Invalid path '$.x' : No results for path: $['x']"},
      {"template path missing", Shape::kPass,
       Fields().parameters(R"({"value.$":"$.no_such_jsonpath"})"), R"({"int-literal":0})",
       "States.Runtime|" + kPrefix +
           "The JSONPath '$.no_such_jsonpath' specified for the field 'value.$' could not be "
           R"(found in the input '{"int-literal":0}')"},
      {"template context path missing", Shape::kPass,
       Fields().parameters(R"({"value.$":"$$.Execution.Input.no_such_jsonpath"})"),
       R"({"int-literal":0})",
       "States.Runtime|" + kPrefix +
           "The JSONPath '$$.Execution.Input.no_such_jsonpath' specified for the field "
           R"('value.$' could not be found in the input '{"int-literal":0}')"},
      {"Parameters quote E, not the raw input", Shape::kTask,
       Fields().input_path("$.a").parameters(R"({"v.$":"$.b"})"), R"({"a":{"c":1},"z":2})",
       "States.Runtime|" + kPrefix +
           R"(The JSONPath '$.b' specified for the field 'v.$' could not be found in the input '{"c":1}')"},
      {"ResultSelector quotes the result", Shape::kTask,
       Fields().result_selector(R"({"v.$":"$.b"})"), R"({"a":1})",
       "States.Runtime|" + kPrefix +
           R"(The JSONPath '$.b' specified for the field 'v.$' could not be found in the input '[1,2]')",
       "[1,2]"},
      {"ResultPath into a string", Shape::kPass, Fields().result("1").result_path("$.x"), R"("s")",
       "States.Runtime|" + kPrefix +
           "Invalid path '$.x' : Expected to find an object with property ['x'] in path $ but "
           "found a string"},
      {"ResultPath index past the end", Shape::kPass, Fields().result("1").result_path("$.a[3]"),
       R"({"a":[0]})",
       "States.Runtime|" + kPrefix +
           "Invalid path '$.a[3]' : Index out of bounds when evaluating path $['a'][3]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(run(c.shape, flow_of(c.fields), c.input, c.task_result), c.expected) << c.what;
  }
}

TEST(DataFlow, PathFieldsReadOnTheirOwn) {
  struct Row {
    std::string path, input, expected;
  };
  const std::vector<Row> rows = {
      {"$.timeout", R"({"timeout":5})", "5"},
      {"$$.Execution.Name", "{}", R"("run-1")"},
      {"$.timeout", R"({"t":5})",
       "States.Runtime|Invalid path '$.timeout' : No results for path: $['timeout']"},
      {"$.a.b", "{}", "States.Runtime|Invalid path '$.a.b' : Missing property in path $['a']"},
  };
  for (const Row& row : rows) {
    auto value = read_path_field(JsonPath::parse(row.path).value(), json(row.input),
                                 context_for("TestState"));
    EXPECT_EQ(value.ok() ? write_json(*value)
                         : std::string(value.error().error_name()) + "|" + value.error().cause,
              row.expected)
        << row.path;
  }
}

std::string text_of_size(std::size_t bytes) {
  return std::string(bytes - 2, 'a');
}

TEST(DataFlow, PayloadLimitCountsCompactUtf8Bytes) {
  const std::string limit_cause =
      "States.DataLimitExceeded|The state/task 'State_1' returned a result with a size exceeding "
      "the maximum number of bytes service limit.";
  struct Row {
    std::string what;
    Value payload;
    bool fits;
  };
  std::string two_byte_letters;
  for (int i = 0; i < 131'072; ++i) two_byte_letters += "\xC3\xA9";  // é
  const std::vector<Row> rows = {
      {"exactly the limit", Value::string(text_of_size(kMaxPayloadBytes)), true},
      {"one byte over", Value::string(text_of_size(kMaxPayloadBytes + 1)), false},
      // 131 072 letters, but 262 146 bytes of UTF-8 with the quotes.
      {"letters counted in UTF-8 bytes", Value::string(two_byte_letters), false},
      // Each newline is written as two characters.
      {"escapes counted as written", Value::string(std::string(131'072, '\n')), false},
      {"numbers counted as written",
       Value::array(std::vector<Value>(65'536, Value::number_from_text("1.00").value())), false},
  };
  for (const Row& row : rows) {
    StateDataFlow flow = flow_of(Fields());
    flow.result = measured(row.payload);
    EXPECT_EQ(run(Shape::kPass, flow, "{}"), row.fits ? write_json(row.payload) : limit_cause)
        << row.what;
  }
}

TEST(DataFlow, PayloadLimitAppliesToWhatLeavesTheState) {
  const std::string big = R"({"Arg1":")" + std::string(263'168, 'a') + R"("})";
  // A dropped result is never measured; the output is the raw input.
  EXPECT_EQ(run(Shape::kPass, flow_of(Fields().result(big).result_path("null")), R"({"a":1})"),
            R"({"a":1})");
  // OutputPath can cut an oversize placement down to size.
  EXPECT_EQ(run(Shape::kPass, flow_of(Fields().result(big).result_path("$.r").output_path("$.a")),
                R"({"a":1})"),
            "1");
  // Bounds add up past the limit: then the payload is counted, and only a
  // real excess fails (the second placement replaces what it would double).
  const std::string half = R"({"s":")" + std::string(140'000, 'a') + R"("})";
  const StateDataFlow place_half = flow_of(Fields().result(half).result_path("$.r"));
  EXPECT_EQ(run(Shape::kPass, place_half, half),
            "States.DataLimitExceeded|The state/task 'State_1' returned a result with a size "
            "exceeding the maximum number of bytes service limit.");
  EXPECT_EQ(run(Shape::kPass, place_half, R"({"r":)" + half + "}"), R"({"r":)" + half + "}");
  // A deep scan repeats its matches: within the limit in, over it out.
  const std::string nested = R"({"a":{"b":{"c":")" + std::string(100'000, 'x') + R"("}}})";
  EXPECT_EQ(run(Shape::kSucceed, flow_of(Fields().output_path("$..*")), nested),
            "States.DataLimitExceeded|The state/task 'State_1' returned a result with a size "
            "exceeding the maximum number of bytes service limit.");
  // A task's result is checked before ResultSelector, naming the task's subject.
  const StateDataFlow task = flow_of(Fields().result_selector(R"({"small":1})"),
                                     "arn:aws:lambda:us-east-1:111111111111:function:f");
  EXPECT_EQ(run(Shape::kTask, task, "{}", big),
            "States.DataLimitExceeded|The state/task "
            "'arn:aws:lambda:us-east-1:111111111111:function:f' returned a result with a size "
            "exceeding the maximum number of bytes service limit.");
  auto failure = check_payload_size(json(big), "lambda");
  ASSERT_FALSE(failure.ok());
  EXPECT_TRUE(failure.error().catchable());
}

TEST(PayloadSize, CountsTheCompactTextAndStopsPastTheBound) {
  const std::vector<std::string> texts = {
      "null",
      "true",
      "false",
      "-0.0e+00",
      R"("")",
      R"("\"\\\/\b\f\n\r\t\u0001\u001f")",
      R"("é😀")",
      "[]",
      "{}",
      R"([[],{},[null]])",
      R"({"":{"k\n":[1,"x"]},"b":false})",
      // Long strings are scanned by words: escapes at either end of a word.
      R"("abcdefg\"hijklmn\u0001opqrstu\\vwxyzABCDEFGH\t")",
      R"("ééééééééé\u007f€€€€€€€")",
  };
  for (const std::string& text : texts) {
    const Value value = json(text);
    EXPECT_EQ(compact_size_up_to(value, 1000), compact_size(value)) << text;
    EXPECT_GT(compact_size_up_to(value, 0), 0u) << text;
  }
  // A value that shares one large string a hundred thousand times stands for
  // 30 GB of text; the count must give up after the first copies.
  const Value big = Value::string(std::string(300'000, 'x'));
  const Value repeated = Value::array(std::vector<Value>(100'000, big));
  EXPECT_GT(compact_size_up_to(repeated, kMaxPayloadBytes), kMaxPayloadBytes);
}

TEST(DataFlow, CatcherResultPathPlacesTheErrorOutput) {
  const SizedValue raw = measured(json(R"({"a":1})"));
  const SizedValue error = measured(json(R"({"Error":"E","Cause":"C"})"));
  struct Row {
    PathSetting path;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {PathSetting::absent(), R"({"Error":"E","Cause":"C"})"},
      {PathSetting::null(), R"({"a":1})"},
      {PathSetting::of(JsonPath::parse("$.err").value()),
       R"({"a":1,"err":{"Error":"E","Cause":"C"}})"},
      // Created keys that need escapes still fit the bound the placement gives.
      {PathSetting::of(JsonPath::parse("$['\x01\x02\x03'].b").value()),
       R"({"a":1,"\u0001\u0002\u0003":{"b":{"Error":"E","Cause":"C"}}})"},
  };
  for (const Row& row : rows) {
    auto out = apply_result_path(row.path, raw, error);
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(write_json(out->value), row.expected);
    EXPECT_GE(out->size_bound, compact_size(out->value));
  }
}

TEST(FailFields, ErrorPathAndCausePathReadTheRawInputTheContextOrACall) {
  struct Row {
    std::string path, field, input, expected;
  };
  const std::vector<Row> rows = {
      {"$.Error", "ErrorPath", R"({"Error":"error string","Cause":"cause string"})",
       "error string"},
      {"$$.State.Name", "ErrorPath", "{}", "TestState"},
      {"$$.StateMachine.Name", "CausePath", "{}", "Machine"},
      {"$.ErrorX", "ErrorPath", R"({"Error":"error-value"})",
       "States.Runtime|The JSONPath '$.ErrorX' specified for the field 'ErrorPath' could not be "
       R"(found in the input '{"Error":"error-value"}')"},
      {"$$.Task.Token", "CausePath", "[1]",
       "States.Runtime|The JSONPath '$$.Task.Token' specified for the field 'CausePath' could not "
       "be found in the input '[1]'"},
      {"$.n", "CausePath", R"({"n":1.0})",
       "States.Runtime|The JSONPath '$.n' specified for the field 'CausePath' must resolve to a "
       "string, but it resolved to number"},
      {"States.Format('{}: {}', $.Error, $$.State.Name)", "CausePath", R"({"Error":"E"})",
       "E: TestState"},
      {"States.ArrayLength($.a)", "ErrorPath", R"({"a":[1]})",
       "States.Runtime|The function States.ArrayLength specified for the field 'ErrorPath' must "
       "resolve to a string, but it resolved to number"},
      {"States.ArrayGetItem($.a, 2)", "ErrorPath", R"({"a":[1]})",
       "States.IntrinsicFailure|The function States.ArrayGetItem failed: the index 2 is out of "
       "range for an array of 1 item in the field 'ErrorPath'"},
      {"States.JsonToString($.b)", "CausePath", R"({"a":[1]})",
       "States.Runtime|The JSONPath '$.b' specified for the field 'CausePath' could not be found "
       R"(in the input '{"a":[1]}')"},
  };
  for (const Row& row : rows) {
    const FailFieldSource source = row.path.starts_with('$')
                                       ? FailFieldSource(JsonPath::parse(row.path).value())
                                       : FailFieldSource(parse_intrinsic_call(row.path).value());
    RandomSource random;
    auto text =
        fail_field_text(source, row.field, json(row.input), context_for("TestState"), random);
    EXPECT_EQ(text.ok() ? *text : std::string(text.error().error_name()) + "|" + text.error().cause,
              row.expected)
        << row.path;
  }
}

TEST(ContextObject, MembersInAwsOrderWithOptionalParts) {
  StateContextFields state;
  state.state_name = "Task1";
  state.entered_time = parse_timestamp("2024-05-06T07:08:10.5+01:00").value();
  state.retry_count = 2;
  state.task_token = "tok";
  state.map_item = MapItemContext{3, json(R"({"k":0.0})")};
  ExecutionContextFields fields;
  fields.execution_id = "E";
  fields.input = json("[]");
  fields.start_time = parse_timestamp("1999-12-31T23:59:59.9999Z").value();
  fields.execution_name = "N";
  fields.role_arn = "R";
  fields.redrive_count = std::nullopt;
  fields.state_machine_id = "S";
  fields.state_machine_name = "M";
  ExecutionContext execution = make_execution_context(fields);
  // A later state entered at another instant gets its own time, not the one kept.
  StateContextFields next;
  next.state_name = "Task2";
  next.entered_time = parse_timestamp("2024-05-06T07:08:11Z").value();
  EXPECT_EQ(write_json(*make_context_object(execution, next).find("State")),
            R"({"Name":"Task2","EnteredTime":"2024-05-06T07:08:11.000Z"})");
  EXPECT_EQ(write_json(*make_context_object(execution, state).find("State")),
            R"({"Name":"Task1","EnteredTime":"2024-05-06T06:08:10.500Z","RetryCount":2})");
  EXPECT_EQ(write_json(make_context_object(execution, state)),
            R"({"Execution":{"Id":"E","Input":[],"StartTime":"1999-12-31T23:59:59.999Z",)"
            R"("Name":"N","RoleArn":"R"},"StateMachine":{"Id":"S","Name":"M"},)"
            R"("State":{"Name":"Task1","EnteredTime":"2024-05-06T06:08:10.500Z","RetryCount":2},)"
            R"("Task":{"Token":"tok"},"Map":{"Item":{"Index":3,"Value":{"k":0.0}}}})");
}

TEST(DataFlowFailure, CausePrefixIsAddedOnlyWhereAwsAddsIt) {
  const DataFlowFailure runtime{DataFlowFailure::Kind::kRuntime, "Invalid path"};
  const DataFlowFailure limit{DataFlowFailure::Kind::kDataLimit, "The state/task 'x' ..."};
  EXPECT_EQ(full_cause(runtime, "fail", 4),
            "An error occurred while executing the state 'fail' (entered at the event id #4). "
            "Invalid path");
  EXPECT_EQ(full_cause(limit, "fail", 4), "The state/task 'x' ...");
  EXPECT_FALSE(runtime.catchable());
}

}  // namespace
}  // namespace vorn::aws
