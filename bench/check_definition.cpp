// Times check_definition (read and check) and read_json alone on definition
// files, for comparison with json.loads of the same text.
// Usage: check_definition FILE...
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "aws_build/check.hpp"
#include "aws_data/read.hpp"

namespace {

template <class Work>
double best_ms(Work&& work) {
  double best = 1e300;
  for (int round = 0; round < 20; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::size_t diagnostics = 0;
    const double check = best_ms([&] {
      diagnostics = vorn::aws::check_definition(text).diagnostics.size();
    });
    const double read = best_ms([&] { (void)vorn::aws::read_json(text); });
    std::printf("%s: %zu bytes, check_definition %.2f ms, read_json %.2f ms, %zu diagnostics\n",
                argv[i], text.size(), check, read, diagnostics);
  }
}
