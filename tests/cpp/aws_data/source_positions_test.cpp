#include "aws_data/source_positions.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorn::aws {
namespace {

SourcePath path(std::initializer_list<SourceStep> steps) { return SourcePath(steps); }
SourceStep m(std::string_view key) { return SourceStep::member(key); }
SourceStep e(std::size_t index) { return SourceStep::element(index); }

struct Case {
  SourcePath where;
  std::size_t line, column;
};

TEST(SourcePositions, EveryPathInOnePass) {
  const std::string text =
      "{\"a\": [1, {\"b\" : \"x\"}, [ ]],\n"
      "  \"é\": {\"c\": null, \"c\": true},\n"
      "  \"k\\u0041\": -2.5e1 }";
  const std::vector<Case> cases = {
      {path({}), 1, 1},
      {path({m("a")}), 1, 7},
      {path({m("a"), e(0)}), 1, 8},
      {path({m("a"), e(1), m("b")}), 1, 18},
      {path({m("a"), e(2)}), 1, 24},
      // Columns count characters: "é" is two bytes, one column.
      {path({m("é")}), 2, 8},
      // A repeated name: the last one counts, as for the reader.
      {path({m("é"), m("c")}), 2, 25},
      // Escaped names are compared decoded.
      {path({m("kA")}), 3, 14},
      // Missing ends resolve to the deepest value that exists.
      {path({m("a"), e(1), m("missing"), m("deeper")}), 1, 11},
      {path({m("a"), e(7)}), 1, 7},
      {path({m("nothing")}), 1, 1},
  };
  std::vector<SourcePath> paths;
  for (const Case& c : cases) paths.push_back(c.where);
  const std::vector<SourcePosition> found = find_source_positions(text, paths);
  ASSERT_EQ(found.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(found[i].line, cases[i].line) << "case " << i;
    EXPECT_EQ(found[i].column, cases[i].column) << "case " << i;
  }
}

TEST(SourcePositions, UnreadableTextsFindWhatCameBeforeTheFault) {
  const std::vector<SourcePath> paths = {path({}), path({m("a")}), path({m("b")})};
  const auto found = find_source_positions("  {\"a\": 1, \"b\": ]", paths);
  EXPECT_EQ(found[0], (SourcePosition{1, 3, 2}));
  EXPECT_EQ(found[1], (SourcePosition{1, 9, 8}));
  EXPECT_EQ(found[2], (SourcePosition{1, 3, 2}));  // its value never started
  EXPECT_EQ(find_source_positions("", paths)[0], SourcePosition{});
  EXPECT_EQ(find_source_positions("   ", paths)[1], SourcePosition{});
}

TEST(SourcePositions, ScalarRootAndManyPathsUnderOneObject) {
  EXPECT_EQ(find_source_positions("\n  7", std::vector<SourcePath>{path({})})[0],
            (SourcePosition{2, 3, 3}));
  std::string text = "{";
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) {
    names.push_back("s" + std::to_string(i));
    text += (i ? ",\"" : "\"") + names.back() + "\":" + std::to_string(i);
  }
  text += "}";
  std::vector<SourcePath> paths;
  for (const std::string& name : names) paths.push_back(path({m(name)}));
  const auto found = find_source_positions(text, paths);
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(text.substr(found[i].offset, std::to_string(i).size()), std::to_string(i));
  }
}

}  // namespace
}  // namespace vorn::aws
