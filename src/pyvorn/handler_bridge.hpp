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
#include <unordered_map>
#include <vector>

#include "py_binding/py.hpp"
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

  // Hashes std::string and std::string_view alike, so a resource is looked
  // up without copying it into a string first.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
      return std::hash<std::string_view>{}(text);
    }
  };

  // The registered entry that serves `handler`, or null.
  const Entry* entry_for(vorn::ir::HandlerId handler) const;
  // Fills the ids_of_name tables, on the first registration: a machine that
  // never registers anything does not pay for them.
  void index_names();

  std::vector<Entry> handlers_;  // registration order, unique names
  // The position in handlers_ of each registered resource.
  std::unordered_map<std::string, std::uint32_t, TextHash, std::equal_to<>> entry_of_resource_;
  std::span<const std::string_view> names_;
  // For each HandlerId, the position in handlers_ of the entry whose name is
  // the id's resource, or kUnregistered. Positions never move, so only a new
  // registration changes this table.
  static constexpr std::uint32_t kUnregistered = 0xFFFFFFFF;
  std::vector<std::uint32_t> entry_of_handler_;
  // The ids whose resource is a name: the first in first_id_of_name_, each
  // next one in next_id_of_same_name_ (kUnregistered ends the chain). An IR
  // names each resource once, but nothing here relies on it.
  std::unordered_map<std::string_view, std::uint32_t> first_id_of_name_;
  std::vector<std::uint32_t> next_id_of_same_name_;
};

// "{qualified type name}: {str(exception)}", or with "<exception str() failed>"
// in place of the text when str() raises an Exception. Null when str() raised
// a BaseException that is not an Exception, which is then pending.
std::optional<std::string> exception_text(PyObject* exception);

}  // namespace pyvorn
