#include "write.hpp"

#include <vector>

namespace vorn::aws {

namespace {

// What `c` becomes inside a string: itself (empty result) or its escape.
std::string_view escape_of(unsigned char c, char (&buffer)[7]) {
  switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: break;
  }
  if (c >= 0x20) return {};
  static constexpr char kHex[] = "0123456789ABCDEF";
  buffer[0] = '\\';
  buffer[1] = 'u';
  buffer[2] = '0';
  buffer[3] = '0';
  buffer[4] = kHex[c >> 4];
  buffer[5] = kHex[c & 0xF];
  return {buffer, 6};
}

// Visits the value's text as a sequence of pieces, in order, without
// recursion; `Sink` gets raw text pieces and string bodies to escape.
template <class Sink>
void walk(const Value& root, Sink& sink) {
  struct Frame {
    const Value* container;
    std::size_t next;
  };
  std::vector<Frame> stack;
  const Value* current = &root;
  for (;;) {
    if (current != nullptr) {
      switch (current->kind()) {
        case Kind::kNull: sink.raw("null"); break;
        case Kind::kBool: sink.raw(current->as_bool() ? "true" : "false"); break;
        case Kind::kNumber: sink.raw(current->number_text()); break;
        case Kind::kString: sink.string(current->as_string()); break;
        case Kind::kArray:
          sink.raw("[");
          stack.push_back({current, 0});
          break;
        case Kind::kObject:
          sink.raw("{");
          stack.push_back({current, 0});
          break;
      }
      current = nullptr;
    }
    if (stack.empty()) return;
    Frame& top = stack.back();
    const bool is_object = top.container->is_object();
    const std::size_t count = top.container->size();
    if (top.next == count) {
      sink.raw(is_object ? "}" : "]");
      stack.pop_back();
      continue;
    }
    if (top.next > 0) sink.raw(",");
    if (is_object) {
      const Member& m = top.container->members()[top.next];
      sink.string(m.key);
      sink.raw(":");
      current = &m.value;
    } else {
      current = &top.container->items()[top.next];
    }
    ++top.next;
  }
}

struct TextSink {
  std::string& out;
  void raw(std::string_view s) { out.append(s); }
  void string(std::string_view s) {
    out.push_back('"');
    char buffer[7];
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
      const std::string_view e = escape_of(static_cast<unsigned char>(s[i]), buffer);
      if (e.empty()) continue;
      out.append(s.substr(plain_from, i - plain_from));
      out.append(e);
      plain_from = i + 1;
    }
    out.append(s.substr(plain_from));
    out.push_back('"');
  }
};

struct SizeSink {
  std::size_t size = 0;
  void raw(std::string_view s) { size += s.size(); }
  void string(std::string_view s) {
    size += 2;
    char buffer[7];
    for (const char c : s) {
      const std::string_view e = escape_of(static_cast<unsigned char>(c), buffer);
      size += e.empty() ? 1 : e.size();
    }
  }
};

}  // namespace

void write_json(const Value& value, std::string& out) {
  TextSink sink{out};
  walk(value, sink);
}

std::string write_json(const Value& value) {
  std::string out;
  write_json(value, out);
  return out;
}

std::size_t compact_size(const Value& value) {
  SizeSink sink;
  walk(value, sink);
  return sink.size;
}

}  // namespace vorn::aws
