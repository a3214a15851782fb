#include "handler_bridge.hpp"

#include <utility>

#include "data_bridge.hpp"
#include "vorn/context_error.hpp"
#include "vorn/decoder.hpp"

namespace pyvorn {

namespace {

using vorn::HandlerOutcome;

py::StaticString key_state_id("state_id");
py::StaticString key_replay("replay");
py::StaticString key_input("input");

// Most results are small; starting here skips the first few regrowths.
constexpr std::size_t kInitialResultCapacity = 128;

bool is_exception(PyObject* exception) {
  return PyObject_TypeCheck(exception, reinterpret_cast<PyTypeObject*>(PyExc_Exception));
}

HandlerOutcome failed(std::string message) {
  return {HandlerOutcome::Failed{
      vorn::StateError{vorn::StateErrorKind::External, std::move(message), {}}}};
}

// Turns the pending exception into the outcome of the call: an External
// failure whose message is `prefix` and the exception's text, or Interrupted
// with a BaseException that is not an Exception left pending.
HandlerOutcome failure_from_pending(std::string_view prefix) {
  py::Ref exception = py::fetch_exception();
  if (!exception) {
    // A failure without an exception is a bug in whatever we called; it still
    // must not pass for a success.
    return failed(std::string(prefix) + "SystemError: error return without exception set");
  }
  if (!is_exception(exception.get())) {
    py::restore_exception(std::move(exception));
    return {HandlerOutcome::Interrupted{}};
  }
  std::optional<std::string> text = exception_text(exception.get());
  if (!text) return {HandlerOutcome::Interrupted{}};
  return failed(std::string(prefix) + *text);
}

// {"state_id": None, "replay": False, "input": None}, made once and never
// handed out or changed. A handler's argument is a copy of it with its values
// set: the copy takes over the keys table in one piece, which costs less than
// inserting three keys into a new dict. Null with MemoryError set if it cannot
// be made (tried again next time).
PyObject* context_template() {
  static PyObject* templ = nullptr;  // never freed: lives as long as the interned keys
  if (templ != nullptr) return templ;
  PyObject* state_key = key_state_id.get();
  PyObject* replay_key = key_replay.get();
  PyObject* input_key = key_input.get();
  if (state_key == nullptr || replay_key == nullptr || input_key == nullptr) return nullptr;
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict || PyDict_SetItem(dict.get(), state_key, Py_None) != 0 ||
      PyDict_SetItem(dict.get(), replay_key, Py_False) != 0 ||
      PyDict_SetItem(dict.get(), input_key, Py_None) != 0) {
    return nullptr;
  }
  templ = dict.release();
  return templ;
}

// The dict handed to a handler, keys in this order.
py::Ref call_context(vorn::ir::StateId state, bool replay, PyObject* input) {
  PyObject* templ = context_template();
  if (templ == nullptr) return {};
  py::Ref state_id = py::Ref::steal(PyLong_FromLong(state.value));
  py::Ref dict = py::Ref::steal(PyDict_Copy(templ));
  if (!state_id || !dict || PyDict_SetItem(dict.get(), key_state_id.get(), state_id.get()) != 0 ||
      (replay && PyDict_SetItem(dict.get(), key_replay.get(), Py_True) != 0) ||
      PyDict_SetItem(dict.get(), key_input.get(), input) != 0) {
    return {};
  }
  return dict;
}

}  // namespace

std::optional<std::string> exception_text(PyObject* exception) {
  std::string out = py::type_name(exception);
  out += ": ";
  py::Ref text = py::Ref::steal(PyObject_Str(exception));
  if (text) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
      out.append(utf8, static_cast<std::size_t>(size));
      return out;
    }
    // Lone surrogates have no UTF-8 form; keep them visible as escapes
    // rather than lose the message.
    PyErr_Clear();
    py::Ref escaped =
        py::Ref::steal(PyUnicode_AsEncodedString(text.get(), "utf-8", "backslashreplace"));
    if (escaped) {
      out.append(PyBytes_AS_STRING(escaped.get()),
                 static_cast<std::size_t>(PyBytes_GET_SIZE(escaped.get())));
      return out;
    }
  }
  py::Ref error = py::fetch_exception();
  if (error && !is_exception(error.get())) {
    // An interrupt while rendering the message wins over the message.
    py::restore_exception(std::move(error));
    return std::nullopt;
  }
  out += "<exception str() failed>";
  return out;
}

PyHandlerRegistry::PyHandlerRegistry(std::span<const std::string_view> names)
    : names_(names), entry_of_handler_(names.size(), kUnregistered) {}

void PyHandlerRegistry::index_names() {
  if (!next_id_of_same_name_.empty() || names_.empty()) return;
  // Built aside and moved in, so running out of memory half-way leaves the
  // tables empty, to be built again next time.
  std::unordered_map<std::string_view, std::uint32_t> first_id_of_name;
  std::vector<std::uint32_t> next_id_of_same_name(names_.size(), kUnregistered);
  first_id_of_name.reserve(names_.size());
  // Backwards, so each chain runs in ascending ids.
  for (std::size_t id = names_.size(); id-- > 0;) {
    const auto [first, added] = first_id_of_name.try_emplace(names_[id], kUnregistered);
    next_id_of_same_name[id] = first->second;
    first->second = static_cast<std::uint32_t>(id);
  }
  first_id_of_name_ = std::move(first_id_of_name);
  next_id_of_same_name_ = std::move(next_id_of_same_name);
}

void PyHandlerRegistry::register_handler(std::string_view resource, py::Ref callable) {
  // The replaced callable is released only once the registry is consistent
  // again: releasing it may run arbitrary Python code.
  py::Ref replaced;
  if (const auto found = entry_of_resource_.find(resource); found != entry_of_resource_.end()) {
    replaced = std::exchange(handlers_[found->second].callable, std::move(callable));
    return;
  }
  index_names();
  // A failed allocation (the only exception) leaves the registry unchanged.
  const auto position = static_cast<std::uint32_t>(handlers_.size());
  const auto added = entry_of_resource_.try_emplace(std::string(resource), position).first;
  try {
    handlers_.push_back(Entry{added->first, std::move(callable)});
  } catch (...) {
    entry_of_resource_.erase(added);
    throw;
  }
  const auto named = first_id_of_name_.find(resource);
  if (named == first_id_of_name_.end()) return;
  for (std::uint32_t id = named->second; id != kUnregistered; id = next_id_of_same_name_[id]) {
    entry_of_handler_[id] = position;
  }
}

const PyHandlerRegistry::Entry* PyHandlerRegistry::entry_for(vorn::ir::HandlerId handler) const {
  if (handler.value >= entry_of_handler_.size()) return nullptr;
  const std::uint32_t position = entry_of_handler_[handler.value];
  return position == kUnregistered ? nullptr : &handlers_[position];
}

HandlerOutcome PyHandlerRegistry::execute(vorn::ir::HandlerId handler,
                                          const vorn::HandlerContext& context) const {
  const Entry* entry = entry_for(handler);
  if (entry == nullptr) return {HandlerOutcome::NotFound{}};
  // Our own reference: the call may run code that changes the registry.
  py::Ref callable = entry->callable;

  vorn::DecodeStatus status = vorn::DecodeStatus::InvalidData;
  py::Ref input = decode_to_py(context.input, status);
  if (!input) {
    if (status == vorn::DecodeStatus::InvalidData) {
      return failed("input decode: " + std::string(vorn::name(vorn::ContextError::InvalidType)));
    }
    return failure_from_pending("input decode: ");
  }
  py::Ref argument = call_context(context.state_id, context.replay, input.get());
  if (!argument) return failure_from_pending("");
  input = {};

  py::Ref result = py::Ref::steal(PyObject_CallOneArg(callable.get(), argument.get()));
  argument = {};
  if (!result) return failure_from_pending("");

  std::vector<std::uint8_t> data;
  data.reserve(kInitialResultCapacity);
  if (!encode_py_value(result.get(), data)) return failure_from_pending("handler return: ");
  return {HandlerOutcome::Succeeded{vorn::StateOutput{std::move(data), {}}}};
}

int PyHandlerRegistry::traverse(visitproc visit, void* arg) const {
  for (const Entry& entry : handlers_) Py_VISIT(entry.callable.get());
  return 0;
}

void PyHandlerRegistry::clear() {
  std::vector<Entry> dropped = std::exchange(handlers_, {});
  entry_of_resource_.clear();
  entry_of_handler_.assign(names_.size(), kUnregistered);
  // `dropped` releases the callables here, with the registry already empty.
}

}  // namespace pyvorn
