// Times check_definition (read and check) and read_json alone on definition
// files, for comparison with json.loads of the same text, and measures the
// peak heap one check needs: every allocation of this program goes through
// the counting operator new below, so the figure includes the native memory
// a Python-side measurement cannot see.
// Usage: check_definition FILE...
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "aws_build/check.hpp"
#include "aws_data/read.hpp"

namespace {

std::size_t live_bytes = 0;
std::size_t peak_bytes = 0;

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

void* operator new(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  live_bytes += malloc_usable_size(p);
  if (live_bytes > peak_bytes) peak_bytes = live_bytes;
  return p;
}

void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  live_bytes -= malloc_usable_size(p);
  std::free(p);
}

void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::size_t diagnostics = 0;
    const std::size_t before = live_bytes;
    peak_bytes = live_bytes;
    diagnostics = vorn::aws::check_definition(text).diagnostics.size();
    const std::size_t peak = peak_bytes - before;
    const double check = best_ms([&] {
      diagnostics = vorn::aws::check_definition(text).diagnostics.size();
    });
    const double read = best_ms([&] { (void)vorn::aws::read_json(text); });
    std::printf(
        "%s: %zu bytes, check_definition %.2f ms, read_json %.2f ms, %zu diagnostics, "
        "peak heap of one check %.1f MB = %.1fx the text\n",
        argv[i], text.size(), check, read, diagnostics, peak / 1e6,
        static_cast<double>(peak) / static_cast<double>(text.size()));
  }
}
