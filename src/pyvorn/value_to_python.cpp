// Values out to Python: from a JSON value tree, or straight from encoded bytes.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/key_order.hpp"
#include "data_bridge.hpp"
#include "inline_vector.hpp"
#include "vorn/decoder.hpp"

namespace pyvorn {

namespace {

using vorn::json::Value;

// A new reference to a str of valid UTF-8. ASCII, by far the common case,
// is copied straight into a compact string.
PyObject* make_str(std::string_view text) {
  unsigned char high = 0;
  for (const char c : text) high |= static_cast<unsigned char>(c);
  if (high >= 0x80) return py::new_str(text).release();
  PyObject* str = PyUnicode_New(static_cast<Py_ssize_t>(text.size()), 127);
  if (str != nullptr && !text.empty()) {
    std::memcpy(PyUnicode_1BYTE_DATA(str), text.data(), text.size());
  }
  return str;
}

// Decoded objects keep meeting the same keys: records in an array, and the
// same shapes call after call. Handing out one str per recent short ASCII key
// saves creating it again, and its hash is computed once for every dict it
// goes into. One process-wide cache of a few slots, used under the
// interpreter lock; filling a slot allocates no container, so no garbage
// collection (and no finalizer that might decode re-entrantly) can run in the
// middle of it. The cached strings live until the process ends.
class KeyCache {
 public:
  static KeyCache& instance() {
    static KeyCache* cache = new KeyCache();  // never freed: it holds interpreter objects
    return *cache;
  }

  // A new reference to a str holding `bytes`.
  PyObject* get(std::string_view bytes) {
    if (bytes.size() > kMaxCachedLength) return make_str(bytes);
    // One pass finds the slot and whether the key is ASCII.
    std::size_t hash = 14695981039346656037ULL;
    unsigned char high = 0;
    for (const char c : bytes) {
      high |= static_cast<unsigned char>(c);
      hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    if (high >= 0x80) return make_str(bytes);
    PyObject*& slot = slots_[hash % kSlots];
    if (slot != nullptr && holds(slot, bytes)) return Py_NewRef(slot);
    PyObject* key = make_str(bytes);
    if (key == nullptr) return nullptr;
    Py_XSETREF(slot, Py_NewRef(key));
    return key;
  }

 private:
  static constexpr std::size_t kSlots = 64;
  static constexpr std::size_t kMaxCachedLength = 32;

  // Whether the cached ASCII str `key` has exactly these bytes; short enough
  // to compare inline.
  static bool holds(PyObject* key, std::string_view bytes) {
    if (PyUnicode_GET_LENGTH(key) != static_cast<Py_ssize_t>(bytes.size())) return false;
    const Py_UCS1* text = PyUnicode_1BYTE_DATA(key);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (text[i] != static_cast<unsigned char>(bytes[i])) return false;
    }
    return true;
  }

  std::array<PyObject*, kSlots> slots_{};
};

// Builds Python objects from decoder events on one stack of owned references.
// The stacks start inside the sink, so small values decode without a heap
// allocation of our own.
class PySink {
 public:
  PySink() = default;
  PySink(const PySink&) = delete;
  PySink& operator=(const PySink&) = delete;
  ~PySink() {
    for (PyObject* object : stack_) Py_DECREF(object);
  }

  bool null() { return push(Py_NewRef(Py_None)); }
  bool boolean(bool b) { return push(Py_NewRef(b ? Py_True : Py_False)); }
  bool integer(std::int64_t i) { return push(PyLong_FromLongLong(i)); }
  bool floating(double d) { return push(PyFloat_FromDouble(d)); }
  bool string(std::string_view s) { return push(make_str(s)); }
  bool begin_array(std::size_t) { return true; }
  bool end_array(std::size_t count) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(count));
    if (list == nullptr) return false;
    const std::size_t first = stack_.size() - count;
    for (std::size_t i = 0; i < count; ++i) {
      PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), stack_[first + i]);  // steals
    }
    stack_.truncate(first);
    return push(list);
  }
  bool begin_object(std::size_t) { return true; }
  bool key(std::string_view k) {
    keys_.push_back(k);
    return push(KeyCache::instance().get(k));
  }
  // The stack ends with `count` (key, value) pairs in stored order.
  bool end_object(std::size_t count) {
    PyObject* dict = PyDict_New();
    if (dict == nullptr) return false;
    const std::size_t first_pair = stack_.size() - 2 * count;
    const std::size_t first_key = keys_.size() - count;
    const bool ok = insert_entries(dict, first_pair, first_key, count);
    for (std::size_t i = first_pair; i < stack_.size(); ++i) Py_DECREF(stack_[i]);
    stack_.truncate(first_pair);
    keys_.truncate(first_key);
    if (!ok) {
      Py_DECREF(dict);
      return false;
    }
    return push(dict);
  }

  py::Ref take_root() {
    PyObject* root = stack_.back();
    stack_.pop_back();
    return py::Ref::steal(root);
  }

 private:
  bool push(PyObject* object) {
    if (object == nullptr) return false;
    stack_.push_back(object);
    return true;
  }

  // Inserts the entries in ascending key bytes, and of a repeated key only
  // the last stored. The writer stores them that way, so the stored order is
  // checked first and used as it is.
  bool insert_entries(PyObject* dict, std::size_t first_pair, std::size_t first_key,
                      std::size_t count) {
    const auto key_at = [&](std::size_t entry) { return keys_[first_key + entry]; };
    const auto insert = [&](std::size_t entry) {
      const std::size_t pair = first_pair + 2 * entry;
      return PyDict_SetItem(dict, stack_[pair], stack_[pair + 1]) == 0;
    };
    bool strictly_sorted = true;
    for (std::size_t i = 1; i < count && strictly_sorted; ++i) {
      strictly_sorted = vorn::key_less(key_at(i - 1), key_at(i));
    }
    if (strictly_sorted) {
      for (std::size_t entry = 0; entry < count; ++entry) {
        if (!insert(entry)) return false;
      }
      return true;
    }
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return vorn::key_less(key_at(a), key_at(b));
    });
    for (std::size_t i = 0; i < count; ++i) {
      if (i + 1 < count && key_at(order[i + 1]) == key_at(order[i])) continue;
      if (!insert(order[i])) return false;
    }
    return true;
  }

  InlineVector<PyObject*, 32> stack_;
  InlineVector<std::string_view, 16> keys_;
};

}  // namespace

py::Ref json_value_to_py(const Value& value) {
  using Kind = Value::Kind;
  switch (value.kind()) {
    case Kind::Null:
      return py::Ref::borrow(Py_None);
    case Kind::Bool:
      return py::Ref::borrow(value.as_bool() ? Py_True : Py_False);
    case Kind::UInt:
      return py::Ref::steal(PyLong_FromUnsignedLongLong(value.as_uint()));
    case Kind::Int:
      return py::Ref::steal(PyLong_FromLongLong(value.as_int()));
    case Kind::Float:
      return py::Ref::steal(PyFloat_FromDouble(value.as_float()));
    case Kind::String:
      return py::Ref::steal(make_str(value.as_string()));
    case Kind::Array: {
      const auto& elements = value.as_array();
      py::Ref list = py::Ref::steal(PyList_New(static_cast<Py_ssize_t>(elements.size())));
      if (!list) return list;
      for (std::size_t i = 0; i < elements.size(); ++i) {
        py::Ref item = json_value_to_py(elements[i]);
        if (!item) return item;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
      }
      return list;
    }
    case Kind::Object: {
      py::Ref dict = py::Ref::steal(PyDict_New());
      if (!dict) return dict;
      for (const auto& member : value.as_object()) {
        py::Ref key = py::Ref::steal(make_str(member.key));
        py::Ref item = json_value_to_py(member.value);
        if (!key || !item || PyDict_SetItem(dict.get(), key.get(), item.get()) != 0) return {};
      }
      return dict;
    }
  }
  return {};
}

py::Ref decode_to_py(vorn::Bytes bytes, vorn::DecodeStatus& status) {
  PySink sink;
  vorn::BinaryDeserializer<PySink> deserializer(sink);
  status = deserializer.deserialize(bytes);
  if (status != vorn::DecodeStatus::Ok) return {};
  return sink.take_root();
}

py::Ref decode_to_py(vorn::Bytes bytes) {
  vorn::DecodeStatus status;
  py::Ref value = decode_to_py(bytes, status);
  if (status == vorn::DecodeStatus::InvalidData) {
    py::raise(PyExc_ValueError,
              "decode failed: " + std::string(vorn::name(vorn::ContextError::InvalidType)));
  }
  return value;
}

}  // namespace pyvorn
