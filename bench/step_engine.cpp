// Time and heap allocations per DefaultDispatcher::step on three machines:
//   pass chain  four Pass states in a loop, each with InputPath, Parameters
//               and ResultPath placing into a ~200-byte object
//   task        a Task whose handler returns a fixed result, placed the same way
//   choice loop Choice -> Pass -> Choice ..., at growing step counts, to show
//               that a step costs the same however long the journal is
// Times are medians of repeated runs, in CPU time of the stepping thread (the
// machines this runs on are shared, so wall time also counts other people's
// work); wall time is shown beside it. Allocations are counted by replacing
// the global operator new in this binary; page faults come from getrusage.
//
//   step_engine [ROUNDS] [pass|task|choice]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "json/reader.hpp"
#include "vorn/dispatcher.hpp"
#include "vorn/encode.hpp"

namespace {

std::atomic<std::size_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace vorn;
using namespace vorn::ir;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> encoded(const std::string& json_text) {
  return encode_value(json::read(json_text).value()).value();
}

// A record-like object of about 200 bytes encoded.
const char kRecord[] =
    R"({"customer":{"email":"ada@example.org","id":90210},"id":184467,)"
    R"("meta":{"a":17,"b":"seventeen","c":true},"name":"order-7f3a","r":null,)"
    R"("status":"open","tags":["red","green","blue"],"total":129.5})";

constexpr PathSegment kMeta[] = {Field{"meta"}};
constexpr PathSegment kA[] = {Field{"a"}};
constexpr PathSegment kB[] = {Field{"b"}};
constexpr PathSegment kR[] = {Field{"r"}};
constexpr std::uint8_t kSeven[] = {0x04, 7, 0, 0, 0, 0, 0, 0, 0};
constexpr TemplateEntry kParameters[] = {
    Reference{"value", {kA}}, Reference{"label", {kB}}, Literal{"k", kSeven}};

constexpr StateIr pass(std::uint16_t id, std::uint16_t next) {
  return {StateId{id},
          PassStateIr{SchemaId{0}, SchemaId{0}, std::nullopt, Next{StateId{next}},
                      ValuePath{kMeta}, std::nullopt, Place{{kR}}, TemplateIr{kParameters}},
          {"pass", ""}};
}

constexpr StateIr task(std::uint16_t id, std::uint16_t next) {
  return {StateId{id},
          TaskStateIr{HandlerId{0}, SchemaId{0}, SchemaId{0}, Next{StateId{next}}, {}, {},
                      ValuePath{kMeta}, std::nullopt, Place{{kR}}, std::nullopt, std::nullopt},
          {"task", ""}};
}

constexpr StateIr kPassChain[] = {pass(0, 1), pass(1, 2), pass(2, 3), pass(3, 0)};
constexpr StateIr kTasks[] = {task(0, 1), task(1, 0)};

constexpr PathSegment kTurn[] = {Field{"status"}};
constexpr ConditionIr kConditions[] = {{ConditionId{0}, StringEqualsCond{{kTurn}, "closed"}},
                                       {ConditionId{1}, StringEqualsCond{{kTurn}, "open"}}};
constexpr ChoiceBranch kBranches[] = {{ConditionId{0}, StateId{2}}, {ConditionId{1}, StateId{1}}};
constexpr StateIr kChoiceLoop[] = {
    {StateId{0}, ChoiceStateIr{SchemaId{0}, kBranches, std::nullopt}, {"route", ""}},
    {StateId{1},
     PassStateIr{SchemaId{0}, SchemaId{0}, std::nullopt, Next{StateId{0}}, {}, {}, Replace{}, {}},
     {"again", ""}},
    {StateId{2}, SucceedStateIr{}, {"done", ""}},
};

// A handler that returns the same small result every time.
class FixedHandler final : public HandlerRegistry {
 public:
  HandlerOutcome execute(HandlerId, const HandlerContext&) const override {
    return {HandlerOutcome::Succeeded{{result_, {}}}};
  }

 private:
  std::vector<std::uint8_t> result_ = encoded(R"({"ok":true,"code":200})");
};

struct Sample {
  double cpu_ns;
  double wall_ns;
  double allocations;
  double page_faults;
};

double thread_cpu_ns() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e9 + now.tv_nsec;
}

long minor_faults() {
  rusage usage;
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_minflt;
}

// Runs `steps` steps of a fresh machine; every step must continue.
Sample run(const StateMachineIr& machine, const std::vector<std::uint8_t>& input,
           const HandlerRegistry& registry, std::size_t steps) {
  ExecutionContext context{input, 0, machine.start_at};
  VecJournal journal;
  const DefaultDispatcher dispatcher;
  const std::size_t allocated_before = allocations.load(std::memory_order_relaxed);
  const long faults_before = minor_faults();
  const double cpu_start = thread_cpu_ns();
  const auto start = Clock::now();
  for (std::size_t i = 0; i < steps; ++i) {
    const StepResult result = dispatcher.step(context, machine, journal, registry);
    if (!result.ok() || !std::holds_alternative<StepOutcome::Continue>(result->value)) {
      std::fprintf(stderr, "step %zu did not continue\n", i);
      std::exit(1);
    }
  }
  const double wall = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
  const double cpu = thread_cpu_ns() - cpu_start;
  const long faults = minor_faults() - faults_before;
  const std::size_t allocated = allocations.load(std::memory_order_relaxed) - allocated_before;
  const double n = static_cast<double>(steps);
  return {cpu / n, wall / n, static_cast<double>(allocated) / n, static_cast<double>(faults) / n};
}

void report(const char* name, const StateMachineIr& machine,
            const std::vector<std::uint8_t>& input, const HandlerRegistry& registry,
            std::size_t steps, int rounds) {
  std::vector<Sample> samples;
  for (int round = 0; round < rounds; ++round) {
    samples.push_back(run(machine, input, registry, steps));
  }
  const auto median = [&](double Sample::*field) {
    std::vector<double> values;
    for (const Sample& sample : samples) values.push_back(sample.*field);
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("  %-12s %8zu %9.1f %9.1f %8.2f %8.3f\n", name, steps, median(&Sample::cpu_ns),
              median(&Sample::wall_ns), median(&Sample::allocations),
              median(&Sample::page_faults));
}

void table(const char* heading, int rounds, const char* only) {
  const std::vector<std::uint8_t> record = encoded(kRecord);
  const FixedHandler handler;
  const StateMachineIr pass_chain{StateId{0}, kPassChain, {}, {}, {}};
  const StateMachineIr tasks{StateId{0}, kTasks, {}, {}, {}};
  const StateMachineIr choice_loop{StateId{0}, kChoiceLoop, {}, kConditions, {}};
  const auto wanted = [&](const char* name) {
    return only == nullptr || std::strcmp(only, name) == 0;
  };

  std::printf("%s: %zu-byte state data, medians of %d rounds, per step:\n", heading,
              record.size(), rounds);
  std::printf("  %-12s %8s %9s %9s %8s %8s\n", "machine", "steps", "cpu ns", "wall ns", "allocs",
              "faults");
  if (wanted("pass")) report("pass chain", pass_chain, record, handler, 100000, rounds);
  if (wanted("task")) report("task", tasks, record, handler, 100000, rounds);
  if (!wanted("choice")) return;
  for (const std::size_t steps : {10000, 100000, 1000000}) {
    report("choice loop", choice_loop, record, handler, steps, rounds);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  const char* only = argc > 2 ? argv[2] : nullptr;
  // As the allocator comes by default: the journal's memory goes back to
  // the system after each run, so every run faults its pages in afresh.
  table("fresh heap", rounds, only);
  // Memory kept once mapped, as in a process that has run machines before:
  // what a step costs apart from the kernel's first touch of new pages.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  table("warm heap", rounds, only);
  return 0;
}
