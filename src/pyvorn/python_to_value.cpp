// Python values in: to a JSON value tree, or straight to encoded bytes.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>

#include "base/key_order.hpp"
#include "data_bridge.hpp"
#include "inline_vector.hpp"
#include "json/tree_builder.hpp"
#include "vorn/encode.hpp"
#include "vorn/value_writer.hpp"

namespace pyvorn {

namespace {

using vorn::json::Value;

// Leaves and enters one level of list or dict nesting, raising RecursionError
// at the interpreter's limit or at the format's depth cap, whichever is first.
class NestingGuard {
 public:
  explicit NestingGuard(std::size_t& depth) : depth_(depth) {}
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
  ~NestingGuard() {
    if (entered_) {
      Py_LeaveRecursiveCall();
      --depth_;
    }
  }

  bool enter() {
    if (depth_ >= vorn::kMaxNestingDepth) {
      PyErr_Format(PyExc_RecursionError,
                   "maximum nesting depth of %zu exceeded while converting a value",
                   vorn::kMaxNestingDepth);
      return false;
    }
    if (Py_EnterRecursiveCall(" while converting a value") != 0) return false;
    entered_ = true;
    ++depth_;
    return true;
  }

 private:
  std::size_t& depth_;
  bool entered_ = false;
};

std::optional<std::string_view> utf8_of(PyObject* text) {
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(text, &size);
  if (data == nullptr) return std::nullopt;
  return std::string_view(data, static_cast<std::size_t>(size));
}

// A dict key as UTF-8, refusing keys that are not str.
[[gnu::noinline]] std::optional<std::string_view> any_key_utf8(PyObject* key) {
  if (!PyUnicode_Check(key)) {
    std::string message = "'";  // built by appending: GCC 12 warns falsely on "'" + string
    message += py::type_name(key);
    message += "' object cannot be converted to 'PyString'";
    py::raise(PyExc_TypeError, message);
    return std::nullopt;
  }
  return utf8_of(key);
}

// The same; ASCII text in a plain str, what keys nearly always are, is its
// own UTF-8 and is read inline.
inline std::optional<std::string_view> dict_key_utf8(PyObject* key) {
  if (Py_IS_TYPE(key, &PyUnicode_Type) && PyUnicode_IS_COMPACT_ASCII(key)) {
    return std::string_view(static_cast<const char*>(PyUnicode_DATA(key)),
                            static_cast<std::size_t>(PyUnicode_GET_LENGTH(key)));
  }
  return any_key_utf8(key);
}

// Walks a Python value, deciding its kind by the fixed order of type tests and
// converting scalars; containers go back to the visitor, which walks their
// items through this same function. Every conversion error is raised here or
// in the visitor, so both targets (tree, bytes) report identical errors.
//
// A walk calls no method of a subclass, so Python code runs only when an
// error is raised: allocating the exception may start a garbage collection,
// whose finalizers can change or free anything, the value being walked
// included. So a walk that fails stops at once and touches no borrowed
// reference again; whatever must be walked after an error is held by strong
// references (BytesVisitor's entries).
template <class Visitor>
bool walk(PyObject* object, Visitor& visitor);

// Exact built-in types first: they cannot match an earlier test of the
// ordered chain, so deciding them directly changes no outcome and skips the
// subtype checks that dominate for common values.
template <class Visitor>
bool walk_exact(PyObject* object, Visitor& visitor, bool& decided) {
  decided = true;
  PyTypeObject* type = Py_TYPE(object);
  if (type == &PyUnicode_Type) {
    const auto text = utf8_of(object);
    return text && visitor.string(*text);
  }
  if (type == &PyDict_Type) return visitor.dict(object);
  if (type == &PyList_Type) return visitor.list(object);
  decided = false;
  return false;
}

template <class Visitor>
bool walk(PyObject* object, Visitor& visitor) {
  bool decided = false;
  const bool ok = walk_exact(object, visitor, decided);
  if (decided) return ok;
  if (object == Py_None) return visitor.null();
  if (Py_IS_TYPE(object, &PyBool_Type)) return visitor.boolean(object == Py_True);
  if (PyLong_Check(object)) {
    static_assert(sizeof(long) == 8, "the host's 64-bit integer conversion is PyLong_AsLong");
    const long number = PyLong_AsLong(object);
    if (number == -1 && PyErr_Occurred()) return false;
    return visitor.integer(number);
  }
  if (PyFloat_Check(object)) {
    const double number = PyFloat_AS_DOUBLE(object);
    if (!std::isfinite(number)) {
      PyErr_SetString(PyExc_ValueError, "float is NaN or Inf");
      return false;
    }
    return visitor.floating(number);
  }
  if (PyUnicode_Check(object)) {
    const auto text = utf8_of(object);
    return text && visitor.string(*text);
  }
  if (PyList_Check(object)) return visitor.list(object);
  if (PyDict_Check(object)) return visitor.dict(object);
  py::raise(PyExc_TypeError, "cannot convert " + py::type_name(object) + " to JSON value");
  return false;
}

// Builds a JSON value tree.
class TreeVisitor {
 public:
  // `depth`: the nesting levels around the value, which count against the cap.
  explicit TreeVisitor(std::size_t depth = 0) : depth_(depth) {}

  bool null() { return push(vorn::json::Null{}); }
  bool boolean(bool b) { return push(b); }
  bool integer(std::int64_t i) { return push(i); }
  bool floating(double d) { return push(d); }
  bool string(std::string_view s) { return push(std::string(s)); }

  bool list(PyObject* list) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    const Py_ssize_t size = PyList_GET_SIZE(list);
    for (Py_ssize_t i = 0; i < size; ++i) {
      if (!walk(PyList_GET_ITEM(list, i), *this)) return false;
    }
    tree_.end_array(static_cast<std::size_t>(size));
    return true;
  }

  bool dict(PyObject* dict) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    std::size_t count = 0;
    while (PyDict_Next(dict, &position, &key, &item)) {
      const auto key_text = dict_key_utf8(key);
      if (!key_text) return false;
      tree_.key(std::string(*key_text));
      if (!walk(item, *this)) return false;
      ++count;
    }
    tree_.end_object(count);
    return true;
  }

  Value take_root() { return tree_.take_root(); }

 private:
  template <class T>
  bool push(T&& content) {
    tree_.value(std::forward<T>(content));
    return true;
  }

  vorn::json::TreeBuilder tree_;
  std::size_t depth_;
};

// Checks a whole value as TreeVisitor would build it, but converts only the
// part that a list of steps leads to. The walk order, and so the first error
// met, is TreeVisitor's. Values of the exact built-in types are checked
// inline; anything else takes the general walk, which decides and raises
// exactly as it does for the tree.
//
// A dict may hold two keys with the same bytes (str subclasses with their
// own hashing); the tree keeps the later one, so a later match replaces
// whatever an earlier one led to.
//
// The walk keeps borrowed pointers and cached sizes of the containers it is
// in, so nothing during it may allocate a Python object: that can start a
// garbage collection whose finalizers change or free those containers. The
// target is therefore kept as a tree (or, when it is handed back as itself,
// as a reference of ours) and becomes a Python object only in take_target(),
// after the walk.
class LocateVisitor {
 public:
  explicit LocateVisitor(std::span<const ValueStep> steps) : steps_(steps) {}

  // The general walk's callbacks, for values that are not of an exact type.
  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool integer(std::int64_t) { return true; }
  bool floating(double) { return true; }
  bool string(std::string_view) { return true; }
  bool list(PyObject* list) { return list_at(list, general_matched_); }
  bool dict(PyObject* dict) { return dict_at(dict, general_matched_); }

  // Visits `object`, which `matched` steps lead to (kOffPath: none do).
  bool visit(PyObject* object, std::size_t matched) {
    if (matched == kOffPath) return check(object);
    // A later match of a step replaces whatever an earlier one led to, even
    // when the later one leads nowhere. Dropping the earlier target's
    // reference frees nothing: no Python code has run since it was taken, so
    // the document still holds it.
    target_itself_ = py::Ref();
    target_tree_.reset();
    if (matched == steps_.size()) return record_target(object);
    general_matched_ = matched;
    return walk(object, *this);
  }

  // After a walk that succeeded: the target as a new object, or an empty Ref
  // when the steps led nowhere (then `ok` stays true). Sets `ok` to false,
  // with MemoryError set, when the object cannot be made.
  py::Ref take_target(bool& ok) {
    ok = true;
    if (target_itself_) return std::move(target_itself_);
    if (!target_tree_) return {};
    py::Ref target = json_value_to_py(*target_tree_);
    ok = static_cast<bool>(target);
    return target;
  }

 private:
  static constexpr std::size_t kOffPath = static_cast<std::size_t>(-1);

  // ASCII text in a plain str always converts, and is its own UTF-8.
  static bool is_compact_ascii(PyObject* text) {
    return Py_IS_TYPE(text, &PyUnicode_Type) && PyUnicode_IS_COMPACT_ASCII(text);
  }

  bool check(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    if (type == &PyUnicode_Type) return PyUnicode_IS_COMPACT_ASCII(object) || utf8_of(object);
    if (type == &PyDict_Type) return dict_at(object, kOffPath);
    if (type == &PyList_Type) return list_at(object, kOffPath);
    if (type == &PyLong_Type) return PyLong_AsLong(object) != -1 || !PyErr_Occurred();
    if (type == &PyFloat_Type && std::isfinite(PyFloat_AS_DOUBLE(object))) return true;
    if (object == Py_None || type == &PyBool_Type) return true;
    general_matched_ = kOffPath;
    return walk(object, *this);
  }

  // Checks the target and keeps what take_target() needs: its tree, or for a
  // plain str, int or float (which converts to an equal object of its own
  // type) a reference to the object itself. A reference of ours rather than
  // a borrowed one, so the object outlives a change to the document.
  bool record_target(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    const bool as_is = (type == &PyUnicode_Type && (PyUnicode_IS_COMPACT_ASCII(object) ||
                                                    utf8_of(object))) ||
                       (type == &PyLong_Type && check(object)) ||
                       (type == &PyFloat_Type && std::isfinite(PyFloat_AS_DOUBLE(object))) ||
                       object == Py_None || type == &PyBool_Type;
    if (as_is) {
      target_itself_ = py::Ref::borrow(object);
      return true;
    }
    if (PyErr_Occurred()) return false;
    TreeVisitor tree(depth_);
    if (!walk(object, tree)) return false;
    target_tree_ = tree.take_root();
    return true;
  }

  bool list_at(PyObject* list, std::size_t matched) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    const std::uint64_t* wanted = nullptr;
    if (matched < steps_.size()) wanted = std::get_if<std::uint64_t>(&steps_[matched]);
    const Py_ssize_t size = PyList_GET_SIZE(list);
    for (Py_ssize_t i = 0; i < size; ++i) {
      const bool on_path = wanted != nullptr && *wanted == static_cast<std::uint64_t>(i);
      if (!visit(PyList_GET_ITEM(list, i), on_path ? matched + 1 : kOffPath)) return false;
    }
    return true;
  }

  bool dict_at(PyObject* dict, std::size_t matched) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    const std::string_view* wanted = nullptr;
    if (matched < steps_.size()) wanted = std::get_if<std::string_view>(&steps_[matched]);
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(dict, &position, &key, &item)) {
      std::string_view key_text;
      if (is_compact_ascii(key)) {
        key_text = std::string_view(static_cast<const char*>(PyUnicode_DATA(key)),
                                    static_cast<std::size_t>(PyUnicode_GET_LENGTH(key)));
      } else {
        const auto converted = dict_key_utf8(key);
        if (!converted) return false;
        key_text = *converted;
      }
      const bool on_path = wanted != nullptr && key_text == *wanted;
      if (!visit(item, on_path ? matched + 1 : kOffPath)) return false;
    }
    return true;
  }

  std::span<const ValueStep> steps_;
  py::Ref target_itself_;
  std::optional<Value> target_tree_;
  std::size_t general_matched_ = kOffPath;  // for list() and dict() from the general walk
  std::size_t depth_ = 0;
};

// Writes the binary value format directly. Two things it leaves to the tree
// path (needs_tree() tells): a value beyond a limit of the format, since a
// conversion error anywhere in the value must win over it, and an object
// whose keys repeat (distinct str-subclass keys with equal text), whose last
// entry wins while every entry must still be converted.
class BytesVisitor {
 public:
  explicit BytesVisitor(std::vector<std::uint8_t>& out) : writer_(out) {}

  // After a failed walk: whether it stopped for the tree path rather than
  // with an exception (none is then pending).
  bool needs_tree() const { return needs_tree_; }

  bool null() {
    writer_.write_null();
    return true;
  }
  bool boolean(bool b) {
    writer_.write_bool(b);
    return true;
  }
  bool integer(std::int64_t i) {
    writer_.write_integer(i);
    return true;
  }
  bool floating(double d) {
    writer_.write_float(d);
    return true;
  }
  bool string(std::string_view s) { return written(writer_.write_string(s)); }

  bool list(PyObject* list) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    const Py_ssize_t size = PyList_GET_SIZE(list);
    auto container = writer_.open_array(static_cast<std::size_t>(size));
    if (!container.ok()) return written(container);
    for (Py_ssize_t i = 0; i < size; ++i) {
      if (!walk(PyList_GET_ITEM(list, i), *this)) return false;
    }
    return written(writer_.close(*container));
  }

  // The format stores entries in key order, so values are written in key
  // order. A failure, though, must be the one a walk in the dict's own order
  // meets first: when an entry fails, the entries that precede it in dict
  // order but were not yet written are walked, in dict order, and the first
  // of them to fail wins. Each entry is walked at most twice per level, so
  // even failures deep inside nested dicts cost linear time.
  bool dict(PyObject* dict) {
    NestingGuard nesting(depth_);
    if (!nesting.enter()) return false;
    const EntriesOfOneDict entries(entries_);
    return write_entries_sorted(dict, entries.start);
  }

 private:
  // The key and the item each hold a reference of ours (after an error,
  // finalizers may drop the dict's own). Plain pointers rather than Refs keep
  // the entry trivially copyable, so sorting and growing stay cheap.
  struct Entry {
    PyObject* key_object;  // owns the bytes `key` views
    std::string_view key;
    PyObject* item;
    std::size_t dict_index;
  };

  // Most values hold a few small dicts; their entries fit inside the
  // visitor.
  using Entries = InlineVector<Entry, 16>;

  // The entries one dict pushes, released when its walk ends in any way.
  struct EntriesOfOneDict {
    explicit EntriesOfOneDict(Entries& entries)
        : entries(entries), start(entries.size()) {}
    EntriesOfOneDict(const EntriesOfOneDict&) = delete;
    EntriesOfOneDict& operator=(const EntriesOfOneDict&) = delete;
    ~EntriesOfOneDict() {
      // After a walk that succeeded the dict still holds every entry, so
      // nothing is freed here; after an error a release may free an object
      // and run its finalizer, which cannot reach this vector.
      const auto last = entries.end();
      for (auto entry = entries.begin() + static_cast<std::ptrdiff_t>(start); entry != last;
           ++entry) {
        Py_DECREF(entry->key_object);
        Py_DECREF(entry->item);
      }
      entries.truncate(start);
    }
    Entries& entries;
    const std::size_t start;
  };

  template <class R>
  bool written(const R& result) {
    if (result.ok()) return true;
    needs_tree_ = true;
    return false;
  }

  bool write_entries_sorted(PyObject* dict, std::size_t start) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    std::size_t dict_index = 0;
    while (PyDict_Next(dict, &position, &key, &item)) {
      const auto key_text = dict_key_utf8(key);
      if (!key_text) {
        // The values of the entries before this key come first.
        return fail_with_first_of(start, entries_.size(), dict_index);
      }
      entries_.push_back(Entry{key, *key_text, item, dict_index++});
      Py_INCREF(key);
      Py_INCREF(item);
    }
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(start);
    auto by_key = [](const Entry& a, const Entry& b) { return vorn::key_less(a.key, b.key); };
    auto not_ascending = [](const Entry& a, const Entry& b) {
      return !vorn::key_less(a.key, b.key);
    };
    if (std::adjacent_find(first, entries_.end(), not_ascending) != entries_.end()) {
      std::sort(first, entries_.end(), by_key);
      // Once sorted, a pair that does not ascend holds one key text twice.
      if (std::adjacent_find(first, entries_.end(), not_ascending) != entries_.end()) {
        needs_tree_ = true;
        return false;
      }
    }

    const std::size_t end = entries_.size();
    auto container = writer_.open_object(end - start);
    if (!container.ok()) return written(container);
    // Nested dicts push onto entries_ (which may move it) and pop back to
    // where they started, so entries [start, end) stay, read by index.
    for (std::size_t i = start; i < end; ++i) {
      if (!written(writer_.write_key(entries_[i].key))) return false;
      if (!walk(entries_[i].item, *this)) {
        if (needs_tree_) return false;
        return fail_with_first_of(i + 1, end, entries_[i].dict_index);
      }
    }
    return written(writer_.close(*container));
  }

  // Called with an exception pending. Walks the not yet written entries in
  // positions [from, to) that precede `dict_index` in dict order; the first
  // of them to fail replaces the pending exception. The entries stay held
  // until the dict's walk ends, so copies of them stay valid.
  bool fail_with_first_of(std::size_t from, std::size_t to, std::size_t dict_index) {
    std::vector<Entry> earlier;
    for (std::size_t i = from; i < to; ++i) {
      if (entries_[i].dict_index < dict_index) earlier.push_back(entries_[i]);
    }
    if (earlier.empty()) return false;
    std::sort(earlier.begin(), earlier.end(),
              [](const Entry& a, const Entry& b) { return a.dict_index < b.dict_index; });
    py::Ref pending = py::fetch_exception();
    for (const Entry& entry : earlier) {
      if (!walk(entry.item, *this)) return false;
    }
    py::restore_exception(std::move(pending));
    return false;
  }

  vorn::ValueWriter writer_;
  Entries entries_;
  std::size_t depth_ = 0;
  bool needs_tree_ = false;
};

}  // namespace

std::optional<Value> py_to_json_value(PyObject* object) {
  TreeVisitor visitor;
  if (!walk(object, visitor)) return std::nullopt;
  return visitor.take_root();
}

bool py_value_at(PyObject* object, std::span<const ValueStep> steps, py::Ref& target) {
  LocateVisitor visitor(steps);
  if (!visitor.visit(object, 0)) return false;
  bool ok = false;
  target = visitor.take_target(ok);
  return ok;
}

bool encode_py_value(PyObject* object, std::vector<std::uint8_t>& out) {
  {
    BytesVisitor visitor(out);
    if (walk(object, visitor)) return true;
    if (!visitor.needs_tree()) return false;
  }
  // Rare: convert everything first, then encode, which orders the errors.
  out.clear();
  const auto tree = py_to_json_value(object);
  if (!tree) return false;
  vorn::ValueWriter writer(out);
  const auto encoded = vorn::write_value(writer, *tree);
  if (!encoded.ok()) {
    py::raise(PyExc_ValueError, vorn::to_string(encoded.error()));
    return false;
  }
  return true;
}

}  // namespace pyvorn
