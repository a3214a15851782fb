// Time of each compile stage (parse, validate, lower, generate) on one
// definition file, medians of repeated runs, and each stage's share.
//
//   compile_stages DEFINITION.json [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "vorn_build/codegen.hpp"
#include "vorn_build/lower.hpp"
#include "vorn_build/parser.hpp"
#include "vorn_build/validator.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

double since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DEFINITION.json [ROUNDS]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;

  std::vector<double> parse_ms, validate_ms, lower_ms, generate_ms;
  std::size_t states = 0;
  std::size_t source_bytes = 0;
  for (int round = 0; round < rounds; ++round) {
    auto start = Clock::now();
    auto ast = vorn::build::parse(text);
    parse_ms.push_back(since(start));
    if (!ast.ok()) {
      std::fprintf(stderr, "%s\n", vorn::build::to_string(ast.error()).c_str());
      return 1;
    }
    start = Clock::now();
    vorn::build::EncodedStaticData encoded;
    auto valid = vorn::build::validate(*ast, encoded);
    validate_ms.push_back(since(start));
    if (!valid.ok()) {
      std::fprintf(stderr, "%s\n", vorn::build::to_string(valid.error()).c_str());
      return 1;
    }
    start = Clock::now();
    const auto machine = vorn::build::lower(*ast, std::move(encoded));
    lower_ms.push_back(since(start));
    // As the extension does it: measured, then written into a buffer of
    // that size that nothing has touched yet.
    start = Clock::now();
    const vorn::build::SourceExtent extent = vorn::build::measure_source(machine);
    const std::unique_ptr<char[]> source(new char[extent.utf8_bytes]);
    if (!vorn::build::write_source(machine, std::span(source.get(), extent.utf8_bytes))) {
      std::fprintf(stderr, "generated source does not match its measured size\n");
      return 1;
    }
    generate_ms.push_back(since(start));
    states = machine.states.size();
    source_bytes = extent.utf8_bytes;
  }

  const double stages[] = {median(parse_ms), median(validate_ms), median(lower_ms),
                           median(generate_ms)};
  const char* names[] = {"parse", "validate", "lower", "generate"};
  double total = 0;
  for (double ms : stages) total += ms;
  std::printf("compile stages: %zu states, %.2f MB of text in, %.2f MB of source out\n", states,
              text.size() / 1e6, source_bytes / 1e6);
  for (int i = 0; i < 4; ++i) {
    std::printf("  %-9s %9.3f ms  %5.1f%%\n", names[i], stages[i], 100 * stages[i] / total);
  }
  std::printf("  %-9s %9.3f ms  (%.2f us per state)\n", "total", total, 1000 * total / states);
  return 0;
}
