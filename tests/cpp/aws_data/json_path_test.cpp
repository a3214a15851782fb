#include "aws_data/json_path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "aws_data/placement.hpp"
#include "aws_data/read.hpp"
#include "aws_data/write.hpp"

namespace vorn::aws {
namespace {

// What a parse gives, in one line: the bracket form and whether the path is
// definite and a context path, or the error.
std::string parsed(std::string_view expression) {
  auto path = JsonPath::parse(expression);
  if (!path.ok()) return "error: " + to_string(path.error());
  return path->bracket_form() + (path->is_definite() ? " definite" : " indefinite") +
         (path->is_context() ? " context" : "");
}

struct Case {
  std::string expression;
  std::string expected;
};

TEST(AwsJsonPath, Parses) {
  const std::vector<Case> cases = {
      {"$", "$ definite"},
      {"$$", "$ definite context"},
      {"$.a.b", "$['a']['b'] definite"},
      {"$.delivery-partner", "$['delivery-partner'] definite"},
      {"$$.Execution.Input.input-value", "$['Execution']['Input']['input-value'] definite context"},
      {"$.é.ü", "$['é']['ü'] definite"},
      {"$['a b'][\"c.d\"]", "$['a b']['c.d'] definite"},
      {"$['Test\\\"\"Name\"']", "$['Test\\\"\"Name\"'] definite"},
      {"$[\"it's\"]", "$['it's'] definite"},
      {"$.items[10]", "$['items'][10] definite"},
      {"$.items[-1]", "$['items'][-1] definite"},
      {"$[ 3 ]", "$[3] definite"},
      {"$.a[0:2]", "$['a'][0:2] indefinite"},
      {"$.a[1:]", "$['a'][1:] indefinite"},
      {"$.a[:1]", "$['a'][:1] indefinite"},
      {"$.a[-3:]", "$['a'][-3:] indefinite"},
      {"$[*]", "$[*] indefinite"},
      {"$.*", "$[*] indefinite"},
      {"$..name", "$..['name'] indefinite"},
      {"$..*", "$..[*] indefinite"},
      {"$..[0]", "$..[0] indefinite"},
      {"$['a','b']", "$['a','b'] indefinite"},
      {"$['a', \"b\"]", "$['a','b'] indefinite"},
      {"$[0,1]", "$[0,1] indefinite"},
      {"$.users[?(@.status == 0)]", "$['users'][?] indefinite"},
      {"$[?(@.k)]", "$[?] indefinite"},
      {"$[?(@['k'][0] >= 'x' && @.j != null)]", "$[?] indefinite"},
      // refused
      {"", "error: empty path at position 0"},
      {"a", "error: a path starts with '$' at position 0"},
      {"$a", "error: unexpected character 'a' at position 1"},
      {"$$$", "error: unexpected character '$' at position 2"},
      {"$.", "error: expected a member name at position 2"},
      {"$..", "error: expected a member name at position 3"},
      {"$...a", "error: unexpected character '.' at position 3"},
      {"$.a.", "error: expected a member name at position 4"},
      {"$[", "error: unexpected end of path at position 2"},
      {"$[1", "error: expected ']' at position 3"},
      {"$[a]", "error: unexpected character 'a' at position 2"},
      {"$['a", "error: unterminated quoted name at position 2"},
      {"$['a'", "error: expected ']' at position 5"},
      {"$['a',]", "error: unexpected character ']' at position 6"},
      {"$[1,]", "error: unexpected character ']' at position 4"},
      {"$[99999999999999999999]", "error: index out of range at position 2"},
      {"$[1:2:3]", "error: slice steps are not supported at position 5"},
      {"$.length()", "error: function calls are not supported at position 8"},
      {"$[?(@.a ~ 1)]", "error: expected a comparison operator at position 8"},
      {"$[?(@.a == )]", "error: expected a number, a string, true, false or null at position 11"},
      {"$[?(@.a == 'x)]", "error: unterminated string at position 11"},
      {"$[?(@..a)]", "error: a filter may only name members and indices after '@' at position 8"},
      {"$[?(a)]", "error: unexpected character 'a' at position 4"},
      {"$[?(@.a)", "error: expected ']' at position 8"},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.expression), c.expected) << c.expression;
}

TEST(AwsJsonPath, StepCountIsBounded) {
  std::string ok = "$";
  for (std::size_t i = 0; i < kMaxPathSteps; ++i) ok += ".a";
  EXPECT_TRUE(JsonPath::parse(ok).ok());
  EXPECT_EQ(parsed(ok + "[0]"),
            "error: path has more than 256 steps at position " + std::to_string(ok.size()));
}

const char* const kDocument = R"({
  "items": [{"item_key": 0, "v": "a"}, {"item_key": 1}, {"item_key": 2, "v": "c"}],
  "users": [{"year": 1997, "status": 0}, {"year": 1998, "status": 1}, 5, "s",
            {"status": "0"}, {"status": 0.0, "year": 2001}],
  "delivery-partner": "dp",
  "é": {"name": "inner"},
  "Test\\\"\"Name\"": "q",
  "a": {"b": {"c": [1, 2, 3]}, "name": "top"},
  "n": null,
  "str": "text",
  "": {"": "empty"}
})";

std::string evaluated(std::string_view expression, const Value& document) {
  auto path = JsonPath::parse(expression);
  if (!path.ok()) return "parse error: " + to_string(path.error());
  auto result = path->evaluate(document);
  return result.ok() ? write_json(*result) : "miss: " + to_string(result.error());
}

TEST(AwsJsonPath, Evaluates) {
  const Value document = read_json(kDocument).value();
  const std::vector<Case> cases = {
      // definite
      {"$.delivery-partner", "\"dp\""},
      {"$.items[1]", "{\"item_key\":1}"},
      {"$.items[-1].v", "\"c\""},
      {"$.a.b.c[2]", "3"},
      {"$['Test\\\"\"Name\"']", "\"q\""},
      {"$.é.name", "\"inner\""},
      {"$.n", "null"},
      {"$['']['']", "\"empty\""},
      {"$.nope", "miss: No results for path: $['nope']"},
      {"$.a.b.nope", "miss: No results for path: $['a']['b']['nope']"},
      {"$.no.such.result.path", "miss: Missing property in path $['no']"},
      {"$.a.nope.c", "miss: Missing property in path $['a']['nope']"},
      {"$.items[3]", "miss: No results for path: $['items'][3]"},
      {"$.items[-4]", "miss: No results for path: $['items'][-4]"},
      {"$.items[7].v", "miss: Index out of bounds when evaluating path $['items'][7]"},
      {"$.str.x",
       "miss: Expected to find an object with property ['x'] in path $['str'] but found a string"},
      {"$.items.x",
       "miss: Expected to find an object with property ['x'] in path $['items'] but found an array"},
      {"$.a[0]", "miss: Expected to find an array with index [0] in path $['a'] but found an object"},
      {"$.n.x", "miss: Expected to find an object with property ['x'] in path $['n'] but found a null"},
      // indefinite
      {"$.items[*].v", "[\"a\",\"c\"]"},
      {"$.items[*].item_key", "[0,1,2]"},
      {"$.a.*", "[{\"c\":[1,2,3]},\"top\"]"},
      {"$.a[*]", "[{\"c\":[1,2,3]},\"top\"]"},
      {"$.a.b.c[0:2]", "[1,2]"},
      {"$.a.b.c[1:]", "[2,3]"},
      {"$.a.b.c[:1]", "[1]"},
      {"$.a.b.c[-2:]", "[2,3]"},
      {"$.a.b.c[-9:9]", "[1,2,3]"},
      {"$.a.b.c[2:1]", "[]"},
      {"$.a.b.c[0,2,5,-1]", "[1,3,3]"},
      {"$['str','nope','n']", "[\"text\",null]"},
      {"$..name", "[\"inner\",\"top\"]"},
      {"$.a..*", "[{\"c\":[1,2,3]},\"top\",[1,2,3],1,2,3]"},
      {"$..c[0]", "[1]"},
      {"$.users[?(@.status == 0)]", "[{\"year\":1997,\"status\":0},{\"status\":0.0,\"year\":2001}]"},
      {"$.users[?(@.status == '0')]", "[{\"status\":\"0\"}]"},
      {"$.users[?(@.status != 0)]", "[{\"year\":1998,\"status\":1},{\"status\":\"0\"}]"},
      {"$.users[?(@.year > 1997)].year", "[1998,2001]"},
      {"$.users[?(@.year >= 1998 && @.status < 1)]", "[{\"status\":0.0,\"year\":2001}]"},
      {"$.users[?(@.year <= 1997)]", "[{\"year\":1997,\"status\":0}]"},
      {"$.users[?(@.year)]", "[{\"year\":1997,\"status\":0},{\"year\":1998,\"status\":1},"
                             "{\"status\":0.0,\"year\":2001}]"},
      {"$.users[?(@.status > 'a')]", "[]"},
      {"$.items[?(@.v == \"c\")].item_key", "[2]"},
      {"$.items[?(@.v < 'b')]", "[{\"item_key\":0,\"v\":\"a\"}]"},
      {"$[?(@.n != null)]", "[]"},
      {"$.a[?(@.name == 'top')].name", "[\"top\"]"},
      // forms real definitions use: a bracket after a dot, a path or a bare
      // word on the right of a comparison
      {"$.items.[1]", "{\"item_key\":1}"},
      {"$.[1]", "miss: Expected to find an array with index [1] in path $ but found an object"},
      {"$.items[?(@.v == $.items[2].v)].item_key", "[2]"},
      {"$.items[?(@.item_key < @.v)]", "[]"},
      {"$.items[?(@.v == $.nope)]", "[]"},
      {"$.a[?(@.name == top)].name", "[\"top\"]"},
      {"$.nope[*]", "[]"},
      {"$.str[*]", "[]"},
      {"$.nope.deeper[1:5].itemValue", "[]"},
      {"$.items[*].nope", "[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(evaluated(c.expression, document), c.expected) << c.expression;
}

// On an empty input every indefinite path gives [], never a failure.
TEST(AwsJsonPath, IndefinitePathsOnEmptyInputGiveEmptyArrays) {
  const Value empty = Value::object();
  for (std::string_view path :
       {"$[*]", "$.items[*]", "$.items[1:]", "$.items[:1]", "$.item.items[*]", "$.item.items[1:5]",
        "$.items[*].itemValue", "$.items[1:].itemValue", "$.item.items[1:5].itemValue", "$..x",
        "$[?(@.a)]", "$['a','b']", "$[0,1]"}) {
    EXPECT_EQ(evaluated(path, empty), "[]") << path;
  }
}

TEST(AwsJsonPath, DataFlowCases) {
  std::string items = "{\"items\":[";
  for (int i = 0; i <= 10; ++i) items += (i ? "," : "") + ("{\"item_key\":" + std::to_string(i) + "}");
  items += "]}";
  EXPECT_EQ(evaluated("$.items[10]", read_json(items).value()), "{\"item_key\":10}");
  EXPECT_EQ(evaluated("$.users[?(@.status == 0)]",
                      read_json(R"({"users":[{"year":1997,"status":0},{"year":1998,"status":1}]})")
                          .value()),
            "[{\"year\":1997,\"status\":0}]");
  EXPECT_EQ(evaluated("$.NoSuchInputPath", read_json(R"({"int-literal":0})").value()),
            "miss: No results for path: $['NoSuchInputPath']");
  const auto context = JsonPath::parse("$$.Execution.Input.no_such_jsonpath").value();
  EXPECT_TRUE(context.is_context());
  EXPECT_FALSE(context.evaluate(read_json(R"({"Execution":{"Input":{}}})").value()).ok());
}

TEST(AwsJsonPath, ReferencePaths) {
  for (std::string_view yes : {"$", "$.a", "$.a[0].b", "$['x y'][-1]"}) {
    EXPECT_TRUE(is_reference_path(yes)) << yes;
  }
  for (std::string_view no : {"$$", "$$.a", "$[*]", "$..a", "$.a[0:1]", "$['a','b']", "$[0,1]",
                              "$[?(@.a)]", "$.", "", "a"}) {
    EXPECT_FALSE(is_reference_path(no)) << no;
  }
}

// Over every path and document of two hand-written lists: an indefinite path
// gives an array; what a definite one finds, placing it back leaves the
// document equal, and a marker placed there is found there; the bracket form
// (of a path without filters) parses back to the same path.
TEST(AwsJsonPath, PropertiesOverPathsAndDocuments) {
  const std::vector<std::string_view> paths = {
      "$", "$.a", "$.a[0]", "$.a[-1]", "$.a[1].b", "$.a[1].b[1]", "$['x y'].q", "$.é", "$.k",
      "$.a[1]['']", "$.nope", "$.a[5]", "$.a.b", "$[0]", "$[-2][0]", "$[*]", "$..b", "$..*",
      "$.a[0:1]", "$.a[-1:]", "$['a','k']", "$.a[0,1]", "$.a[?(@.b)]", "$[?(@.q == null)]",
      "$..[0]", "$.*.*", "$$.a"};
  const std::vector<std::string_view> documents = {
      R"({"a":[1,{"b":[2,3],"":{}}],"x y":{"q":null},"é":0.0,"k":"v"})",
      R"([[1,2],{"a":[{"b":true}]},"s"])", R"("s")", "null", "{}", "[]",
      R"({"a":{"b":{"b":{"b":1e2}}},"k":[{"q":null},{"q":1}]})"};
  const Value marker = Value::string("marker");
  for (std::string_view text : documents) {
    const Value document = read_json(text).value();
    for (std::string_view expression : paths) {
      SCOPED_TRACE(std::string(expression) + " on " + std::string(text));
      const JsonPath path = JsonPath::parse(expression).value();
      // Filters render as Jayway's "[?]", and the form drops the context's '$'.
      if (expression.find('?') == std::string_view::npos && !path.is_context()) {
        EXPECT_EQ(parsed(path.bracket_form()), parsed(expression)) << "bracket form reparses";
      }
      const auto result = path.evaluate(document);
      if (!path.is_definite()) {
        ASSERT_TRUE(result.ok());
        EXPECT_TRUE(result->is_array());
        continue;
      }
      if (!result.ok() || path.is_context()) continue;
      EXPECT_EQ(place(document, path, *result).value(), document);
      EXPECT_EQ(path.evaluate(place(document, path, marker).value()).value(), marker);
    }
  }
}

// Deep scans over deep scans multiply; evaluation stops at its budget.
TEST(AwsJsonPath, WorkIsBounded) {
  Value chain;
  for (int i = 0; i < 1000; ++i) chain = Value::array({std::move(chain)});
  EXPECT_EQ(evaluated("$..*..*..*", chain),
            "miss: Evaluating path $..[*]..[*]..[*] visits more than 1000000 values");
  std::vector<Value> items(5000, Value::array({Value(), Value(), Value()}));
  const Value wide = Value::array(std::move(items));
  // One scan stays well inside: 5000 arrays and their 15000 elements.
  const auto all = JsonPath::parse("$..*").value().evaluate(wide);
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(all->size(), 20000u);
}

// Deep documents are scanned without recursion.
TEST(AwsJsonPath, DeepScanIsIterative) {
  Value v = Value::object({{"k", Value::integer(1)}});
  for (int i = 0; i < 100000; ++i) v = Value::array({Value::object({{"x", std::move(v)}})});
  EXPECT_EQ(evaluated("$..k", v), "[1]");
}

}  // namespace
}  // namespace vorn::aws
