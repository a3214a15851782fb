// PyHandlerRegistry: the Python callables behind a machine's Task states.
//
// Handlers are registered by resource name and found through the IR's
// handler_names table (entry i is the resource of HandlerId i). A call passes
// one new dict {"state_id": int, "replay": False, "input": value} and turns
// what comes back into an outcome for the dispatcher:
//   - a value that converts to the value format: Succeeded, its encoding;
//   - an Exception raised by the handler, or by preparing its input or
//     converting its result: Failed, kind External, with the exception's text
//     ("ValueError: bad", "input decode: InvalidType",
//     "handler return: TypeError: cannot convert set to JSON value");
//   - any other BaseException (KeyboardInterrupt, SystemExit, GeneratorExit):
//     Interrupted, with the exception left pending for the caller to raise
//     unchanged.
//
// The registry owns a strong reference to each callable and reports them to
// the garbage collector through its owner (traverse/clear), so a handler that
// refers back to its machine does not keep the pair alive. It borrows the
// names table: its owner keeps the IR alive for as long as the registry.
// Every call must be made with the interpreter lock held.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "py.hpp"
#include "vorn/handler.hpp"

namespace pyvorn {

class PyHandlerRegistry final : public vorn::HandlerRegistry {
 public:
  explicit PyHandlerRegistry(std::span<const std::string_view> names);

  // Registers `callable` (any object; a non-callable one fails at call time)
  // under `resource`. Registering a name again replaces the callable in place.
  void register_handler(std::string_view resource, py::Ref callable);

  vorn::HandlerOutcome execute(vorn::ir::HandlerId handler,
                               const vorn::HandlerContext& context) const override;

  // Garbage-collector support for the owning Python object.
  int traverse(visitproc visit, void* arg) const;
  // Drops every registration (and so every reference to a callable).
  void clear();

 private:
  struct Entry {
    std::string resource;
    py::Ref callable;
  };

  // The registered entry that serves `handler`, or null.
  const Entry* entry_for(vorn::ir::HandlerId handler) const;

  std::vector<Entry> handlers_;  // registration order, unique names
  std::span<const std::string_view> names_;
  // For each HandlerId, the position in handlers_ of the entry whose name is
  // the id's resource, or kUnregistered. Positions never move, so only a new
  // registration changes this table.
  static constexpr std::uint32_t kUnregistered = 0xFFFFFFFF;
  std::vector<std::uint32_t> entry_of_handler_;
};

// "{qualified type name}: {str(exception)}", or with "<exception str() failed>"
// in place of the text when str() raises an Exception. Null when str() raised
// a BaseException that is not an Exception, which is then pending.
std::optional<std::string> exception_text(PyObject* exception);

}  // namespace pyvorn
