#include "pyvorn/handler_bridge.hpp"

#include <gtest/gtest.h>

#include "embedded_python.hpp"
#include "pyvorn/data_bridge.hpp"

namespace pyvorn {
namespace {

using testing::eval;
using testing::take_error;
using vorn::HandlerOutcome;

// The IR's handler table: HandlerId 0 is "a", 1 is "svc".
const std::string_view kNames[] = {"a", "svc"};
const vorn::ir::StateMachineIr kIr{};

std::vector<std::uint8_t> encoded(const char* expression) {
  py::Ref value = eval(expression);
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(value && encode_py_value(value.get(), bytes)) << expression;
  return bytes;
}

HandlerOutcome call(const PyHandlerRegistry& registry, std::uint16_t handler,
                    std::span<const std::uint8_t> input, std::uint16_t state = 3) {
  const vorn::HandlerContext context{input, vorn::ir::SchemaId{0}, kIr, vorn::ir::StateId{state},
                                     false};
  return registry.execute(vorn::ir::HandlerId{handler}, context);
}

// The message of a Failed outcome, or what else it was.
std::string failure(const HandlerOutcome& outcome) {
  if (const auto* failed = std::get_if<HandlerOutcome::Failed>(&outcome.value)) {
    EXPECT_EQ(failed->error.kind, vorn::StateErrorKind::External);
    EXPECT_TRUE(failed->error.side_effects.empty());
    return failed->error.message;
  }
  return "<not failed, outcome " + std::to_string(outcome.value.index()) + ">";
}

// The handler's result decoded and repr()'d, or what else the outcome was.
std::string success(const HandlerOutcome& outcome) {
  const auto* succeeded = std::get_if<HandlerOutcome::Succeeded>(&outcome.value);
  if (succeeded == nullptr) return "<not succeeded: " + failure(outcome) + ">";
  EXPECT_TRUE(succeeded->output.side_effects.empty());
  py::Ref value = decode_to_py(succeeded->output.data);
  py::Ref text = py::Ref::steal(PyObject_Repr(value.get()));
  return PyUnicode_AsUTF8(text.get());
}

PyHandlerRegistry with_handler(const char* resource, const char* expression) {
  PyHandlerRegistry registry(kNames);
  py::Ref handler = eval(expression);
  EXPECT_TRUE(handler) << expression;
  registry.register_handler(resource, handler);
  return registry;
}

// Raising from a lambda: (_ for _ in ()).throw(exception).
std::string raising(const std::string& exception) {
  return "lambda ctx: (_ for _ in ()).throw(" + exception + ")";
}

TEST(PyHandlerRegistry, PassesTheContextDictAndEncodesTheResult) {
  const auto registry =
      with_handler("svc", "lambda ctx: [list(ctx), ctx['state_id'], ctx['replay'], ctx['input']]");
  EXPECT_EQ(success(call(registry, 1, encoded("{'b': [1, 2.5], 'a': None}"), 7)),
            "[['state_id', 'replay', 'input'], 7, False, {'a': None, 'b': [1, 2.5]}]");
}

// Each call gets a dict of its own: one that a handler emptied, refilled or
// kept does not show in the next call.
TEST(PyHandlerRegistry, EveryCallGetsAFreshContextDict) {
  const auto registry = with_handler(
      "svc",
      "lambda ctx, seen=[]: (seen.append((ctx, repr(ctx))), ctx.clear(),"
      " ctx.update(replay=True, input=0, junk=1),"
      " [text for _, text in seen] + [len({id(kept) for kept, _ in seen})])[-1]");
  const auto input = encoded("{'k': [1]}");
  EXPECT_EQ(success(call(registry, 1, input, 300)), "[\"{'state_id': 300, 'replay': False, "
                                                     "'input': {'k': [1]}}\", 1]");
  EXPECT_EQ(success(call(registry, 1, input, 7)),
            "[\"{'state_id': 300, 'replay': False, 'input': {'k': [1]}}\", "
            "\"{'state_id': 7, 'replay': False, 'input': {'k': [1]}}\", 2]");
}

TEST(PyHandlerRegistry, FailuresBecomeExternalErrorsWithTheExceptionText) {
  struct Case {
    std::string handler;
    std::string message;
  } cases[] = {
      {raising("ValueError('bad')"), "ValueError: bad"},
      {raising("KeyError('x')"), "KeyError: 'x'"},
      {raising("ValueError()"), "ValueError: "},
      // The qualified name, without the module.
      {raising("type('Outer', (), {'E': type('E', (Exception,), {'__qualname__': 'Outer.E'})})"
               ".E('deep')"),
       "Outer.E: deep"},
      {raising("type('Mute', (Exception,), {'__str__': lambda self: 1 / 0})()"),
       "Mute: <exception str() failed>"},
      {raising("type('Odd', (Exception,), {'__str__': lambda self: 5})()"),
       "Odd: <exception str() failed>"},
      {raising("MemoryError('no room')"), "MemoryError: no room"},
      {raising("ValueError('\\ud800')"), "ValueError: \\ud800"},
      {"lambda ctx: {1, 2}", "handler return: TypeError: cannot convert set to JSON value"},
      {"lambda ctx: (1,)", "handler return: TypeError: cannot convert tuple to JSON value"},
      {"lambda ctx: {1: 2}", "handler return: TypeError: 'int' object cannot be converted to "
                             "'PyString'"},
      {"lambda ctx: float('inf')", "handler return: ValueError: float is NaN or Inf"},
      {"lambda ctx: 'x' * 70000",
       "handler return: ValueError: string of 70000 bytes exceeds the limit of 65535 bytes"},
      {"lambda ctx: [0] * 70000",
       "handler return: ValueError: array of 70000 elements exceeds the limit of 65535 elements"},
      {"42", "TypeError: 'int' object is not callable"},
      {"lambda: 1", "TypeError: <lambda>() takes 0 positional arguments but 1 was given"},
  };
  for (const Case& c : cases) {
    const auto registry = with_handler("svc", c.handler.c_str());
    EXPECT_EQ(failure(call(registry, 1, encoded("{}"))), c.message) << c.handler;
    EXPECT_EQ(take_error(), "") << c.handler;
  }
}

TEST(PyHandlerRegistry, DeepOrCyclicResultsFailWithRecursionError) {
  const char* handlers[] = {
      "lambda ctx: (lambda l: (l.append(l), l)[1])([])",
      "lambda ctx: (lambda d: (d.update(me=d), d)[1])({})",
      "lambda ctx: __import__('functools').reduce(lambda acc, _: [acc], range(100000), [])",
  };
  for (const char* handler : handlers) {
    const auto registry = with_handler("svc", handler);
    const std::string message = failure(call(registry, 1, encoded("{}")));
    EXPECT_EQ(message.rfind("handler return: RecursionError: ", 0), 0u) << message;
    EXPECT_EQ(take_error(), "");
  }
}

TEST(PyHandlerRegistry, InputThatDoesNotDecodeFailsBeforeTheCall) {
  const auto registry = with_handler("svc", "lambda ctx: 1 / 0");
  const std::vector<std::uint8_t> inputs[] = {{}, {0x04, 0x00}, {0x09}, {0x03, 0x02, 0x00, 'a'}};
  for (const auto& input : inputs) {
    EXPECT_EQ(failure(call(registry, 1, input)), "input decode: InvalidType");
  }
}

TEST(PyHandlerRegistry, InterruptsStayPendingForTheCaller) {
  const char* exceptions[] = {"KeyboardInterrupt('stop')", "SystemExit(3)",
                              "GeneratorExit('g')"};
  const char* expected[] = {"KeyboardInterrupt: stop", "SystemExit: 3", "GeneratorExit: g"};
  for (std::size_t i = 0; i < std::size(exceptions); ++i) {
    const auto registry = with_handler("svc", raising(exceptions[i]).c_str());
    const HandlerOutcome outcome = call(registry, 1, encoded("{}"));
    EXPECT_TRUE(std::holds_alternative<HandlerOutcome::Interrupted>(outcome.value));
    EXPECT_EQ(take_error(), expected[i]);
  }
  // An interrupt while rendering an ordinary exception's text wins too.
  const auto registry = with_handler(
      "svc", raising("type('Slow', (Exception,), {'__str__': lambda self: (_ for _ in ())"
                     ".throw(KeyboardInterrupt('while str'))})()")
                 .c_str());
  const HandlerOutcome outcome = call(registry, 1, encoded("{}"));
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::Interrupted>(outcome.value));
  EXPECT_EQ(take_error(), "KeyboardInterrupt: while str");
}

TEST(PyHandlerRegistry, HandlersAreFoundByTheExactResourceName) {
  PyHandlerRegistry registry(kNames);
  registry.register_handler("Svc", eval("lambda ctx: 'upper'"));
  registry.register_handler("unused", eval("lambda ctx: 'unused'"));
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::NotFound>(call(registry, 1, {}).value));

  registry.register_handler("svc", eval("lambda ctx: 'first'"));
  registry.register_handler("a", eval("lambda ctx: 'a'"));
  EXPECT_EQ(success(call(registry, 1, encoded("{}"))), "'first'");
  EXPECT_EQ(success(call(registry, 0, encoded("{}"))), "'a'");

  // Registering again replaces the callable and releases the old one.
  py::Ref first = eval("lambda ctx: 'replaced'");
  registry.register_handler("svc", first);
  const Py_ssize_t held = Py_REFCNT(first.get());
  registry.register_handler("svc", eval("lambda ctx: 'second'"));
  EXPECT_EQ(Py_REFCNT(first.get()), held - 1);
  EXPECT_EQ(success(call(registry, 1, encoded("{}"))), "'second'");

  // Ids beyond the IR's table are not found, whatever is registered.
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::NotFound>(call(registry, 2, {}).value));
}

TEST(PyHandlerRegistry, ANameTheTableHoldsTwiceServesBothIds) {
  const std::string_view names[] = {"a", "svc", "a", "b"};
  PyHandlerRegistry registry(names);
  registry.register_handler("a", eval("lambda ctx: 'first'"));
  EXPECT_EQ(success(call(registry, 0, encoded("{}"))), "'first'");
  EXPECT_EQ(success(call(registry, 2, encoded("{}"))), "'first'");
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::NotFound>(call(registry, 1, {}).value));
  registry.register_handler("b", eval("lambda ctx: 'b'"));
  registry.register_handler("a", eval("lambda ctx: 'second'"));
  EXPECT_EQ(success(call(registry, 0, encoded("{}"))), "'second'");
  EXPECT_EQ(success(call(registry, 2, encoded("{}"))), "'second'");
  EXPECT_EQ(success(call(registry, 3, encoded("{}"))), "'b'");
}

TEST(PyHandlerRegistry, ClearReleasesEveryCallable) {
  PyHandlerRegistry registry(kNames);
  py::Ref handler = eval("lambda ctx: 1");
  const Py_ssize_t before = Py_REFCNT(handler.get());
  registry.register_handler("svc", handler);
  registry.register_handler("a", handler);
  EXPECT_EQ(Py_REFCNT(handler.get()), before + 2);
  registry.clear();
  EXPECT_EQ(Py_REFCNT(handler.get()), before);
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::NotFound>(call(registry, 1, {}).value));

  // Registering after a clear starts afresh rather than replacing a dropped entry.
  registry.register_handler("svc", eval("lambda ctx: 'again'"));
  EXPECT_EQ(success(call(registry, 1, encoded("{}"))), "'again'");
  EXPECT_TRUE(std::holds_alternative<HandlerOutcome::NotFound>(call(registry, 0, {}).value));
}

}  // namespace
}  // namespace pyvorn
