#include "vorn/path_ops.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/key_order.hpp"
#include "vorn/data_view.hpp"

namespace vorn {

namespace {

using Segments = std::span<const ir::PathSegment>;

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

std::uint8_t* put_u16(std::uint8_t* at, std::size_t value) {
  at[0] = static_cast<std::uint8_t>(value & 0xFF);
  at[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
  return at + 2;
}

std::uint8_t* put_bytes(std::uint8_t* at, const std::uint8_t* from, std::size_t count) {
  if (count != 0) std::memcpy(at, from, count);
  return at + count;
}

// Copies data[from, to).
std::uint8_t* put_run(std::uint8_t* at, Bytes data, std::size_t from, std::size_t to) {
  return put_bytes(at, data.data() + from, to - from);
}

// One member stored in a container, as positions in the container's bytes.
// For an array element `start` equals `value_start` and `key` is empty.
struct Member {
  std::size_t start;
  std::size_t value_start;
  std::size_t end;
  std::string_view key;

  Bytes value(Bytes data) const { return data.subspan(value_start, end - value_start); }
};

// The object entry stored at `position`, or absent when its key or value
// does not lie wholly inside `data` or its value has no valid tag.
std::optional<Member> read_entry(Bytes data, std::size_t position) {
  if (position > data.size() || data.size() - position < 2) return std::nullopt;
  const std::size_t key_length = read_u16(data.data() + position);
  const std::size_t value_start = position + 2 + key_length;
  if (value_start >= data.size()) return std::nullopt;
  const std::size_t size = encoded_data_size(data.subspan(value_start));
  if (size == 0 || size > data.size() - value_start) return std::nullopt;
  const std::string_view key(reinterpret_cast<const char*>(data.data() + position + 2),
                             key_length);
  return Member{position, value_start, value_start + size, key};
}

std::optional<Member> read_element(Bytes data, std::size_t position) {
  if (position >= data.size()) return std::nullopt;
  const std::size_t size = encoded_data_size(data.subspan(position));
  if (size == 0 || size > data.size() - position) return std::nullopt;
  return Member{position, position, position + size, {}};
}

// Calls visit(i, member) for each of the members the container `data`
// (tag and size already checked) says it holds, in stored order, until visit
// returns false. Returns the position after the last member, or absent when
// a member is corrupt or visit stopped the walk.
template <class Visit>
std::optional<std::size_t> for_each_member(Bytes data, Visit&& visit) {
  const bool object = data[0] == static_cast<std::uint8_t>(Tag::Object);
  const std::size_t count = read_u16(data.data() + 3);
  std::size_t position = kContainerPrefixSize;
  for (std::size_t i = 0; i < count; ++i) {
    const auto member = object ? read_entry(data, position) : read_element(data, position);
    if (!member || !visit(i, *member)) return std::nullopt;
    position = member->end;
  }
  return position;
}

bool is_container(Bytes data, Tag tag) {
  return data.size() >= kContainerPrefixSize && data[0] == static_cast<std::uint8_t>(tag);
}

// Placement runs in two passes so that the result is allocated once, at its
// exact size: placed_size() checks everything and measures, write_placed()
// then writes without checking again. Both recurse once per path segment;
// `depth` caps that at the format's nesting limit.

std::optional<std::size_t> placed_size(Bytes data, Segments segments, Bytes value,
                                       std::size_t depth) {
  if (segments.empty()) return value.size();
  if (depth >= kMaxNestingDepth) return std::nullopt;
  const Segments rest = segments.subspan(1);
  std::size_t body = 2;  // the count

  if (const auto* field = std::get_if<ir::Field>(&segments.front())) {
    if (!is_container(data, Tag::Object)) return std::nullopt;
    bool matched = false;
    const auto end = for_each_member(data, [&](std::size_t, const Member& entry) {
      body += entry.value_start - entry.start;
      if (entry.key != field->name) {
        body += entry.end - entry.value_start;
        return true;
      }
      // Every entry under the name is replaced: with unique keys there is
      // one, and corrupt data with duplicates gets no special treatment.
      matched = true;
      const auto size = placed_size(entry.value(data), rest, value, depth + 1);
      if (size) body += *size;
      return size.has_value();
    });
    if (!end) return std::nullopt;
    if (!matched) {
      // A missing key is added only at the last segment.
      const std::size_t count = read_u16(data.data() + 3);
      if (!rest.empty() || count >= kMaxFieldValue || field->name.size() > kMaxFieldValue) {
        return std::nullopt;
      }
      body += 2 + field->name.size() + value.size();
    }
  } else {
    const std::size_t index = std::get<ir::Index>(segments.front()).index;
    if (!is_container(data, Tag::Array) || index >= read_u16(data.data() + 3)) return std::nullopt;
    const auto end = for_each_member(data, [&](std::size_t i, const Member& element) {
      if (i != index) {
        body += element.end - element.start;
        return true;
      }
      const auto size = placed_size(element.value(data), rest, value, depth + 1);
      if (size) body += *size;
      return size.has_value();
    });
    if (!end) return std::nullopt;
  }
  if (body > kMaxFieldValue) return std::nullopt;
  return kContainerHeaderSize + body;
}

// Entries of an object whose stored keys are out of order, plus the new one,
// written the way a full stable sort by key orders them. Only corrupt data
// gets here, so this path may allocate.
std::uint8_t* write_sorted_with(Bytes data, std::string_view name, Bytes value,
                                std::uint8_t* out) {
  std::vector<ObjectEntry> entries;
  entries.reserve(read_u16(data.data() + 3) + 1u);
  (void)for_each_member(data, [&](std::size_t, const Member& entry) {
    entries.push_back({entry.key, entry.value(data)});
    return true;
  });
  entries.push_back({name, value});
  std::stable_sort(entries.begin(), entries.end(), [](const ObjectEntry& a, const ObjectEntry& b) {
    return key_less(a.key, b.key);
  });
  for (const ObjectEntry& entry : entries) {
    out = put_u16(out, entry.key.size());
    out = put_bytes(out, reinterpret_cast<const std::uint8_t*>(entry.key.data()), entry.key.size());
    out = put_bytes(out, entry.value.data(), entry.value.size());
  }
  return out;
}

// Writes what placed_size() measured (and so checked) at `out`; returns the
// end of what it wrote. Members off the path are copied as byte runs.
std::uint8_t* write_placed(Bytes data, Segments segments, Bytes value, std::uint8_t* out) {
  if (segments.empty()) return put_bytes(out, value.data(), value.size());
  const Segments rest = segments.subspan(1);
  std::uint8_t* const header = out;
  out += kContainerPrefixSize;
  std::size_t count = read_u16(data.data() + 3);
  std::size_t run = kContainerPrefixSize;  // start of the bytes not yet copied

  if (const auto* field = std::get_if<ir::Field>(&segments.front())) {
    const std::string_view name = field->name;
    bool matched = false;
    bool sorted = true;
    std::size_t insert_at = kNone;
    std::string_view previous;
    const std::size_t end = *for_each_member(data, [&](std::size_t i, const Member& entry) {
      matched = matched || entry.key == name;
      if (i > 0 && key_less(entry.key, previous)) sorted = false;
      if (insert_at == kNone && key_less(name, entry.key)) insert_at = entry.start;
      previous = entry.key;
      return true;
    });
    if (matched) {
      (void)for_each_member(data, [&](std::size_t, const Member& entry) {
        if (entry.key != name) return true;
        out = put_run(out, data, run, entry.value_start);
        out = write_placed(entry.value(data), rest, value, out);
        run = entry.end;
        return true;
      });
      out = put_run(out, data, run, end);
    } else if (sorted) {
      if (insert_at == kNone) insert_at = end;
      out = put_run(out, data, run, insert_at);
      out = put_u16(out, name.size());
      out = put_bytes(out, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
      out = put_bytes(out, value.data(), value.size());
      out = put_run(out, data, insert_at, end);
      ++count;
    } else {
      out = write_sorted_with(data, name, value, out);
      ++count;
    }
    header[0] = static_cast<std::uint8_t>(Tag::Object);
  } else {
    const std::size_t index = std::get<ir::Index>(segments.front()).index;
    const std::size_t end = *for_each_member(data, [&](std::size_t i, const Member& element) {
      if (i != index) return true;
      out = put_run(out, data, run, element.start);
      out = write_placed(element.value(data), rest, value, out);
      run = element.end;
      return true;
    });
    out = put_run(out, data, run, end);
    header[0] = static_cast<std::uint8_t>(Tag::Array);
  }
  put_u16(header + 1, static_cast<std::size_t>(out - header) - kContainerHeaderSize);
  put_u16(header + 3, count);
  return out;
}

}  // namespace

std::optional<Bytes> find_path(Bytes data, const ir::ValuePath& path) {
  const auto root = DataView::from(data);
  if (!root) return std::nullopt;
  const auto at = walk_path(*root, path);
  if (!at) return std::nullopt;
  const Bytes bytes = at->value_bytes();
  if (bytes.empty()) return std::nullopt;
  return bytes;
}

std::optional<std::vector<std::uint8_t>> extract_path(Bytes data, const ir::ValuePath& path) {
  const auto bytes = find_path(data, path);
  if (!bytes) return std::nullopt;
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::optional<std::vector<std::uint8_t>> place_at_path(Bytes data, const ir::ValuePath& path,
                                                       Bytes value) {
  return place_bytes(data, path.segments, value);
}

std::optional<std::vector<std::uint8_t>> place_bytes(Bytes data, Segments segments, Bytes value) {
  const auto size = placed_size(data, segments, value, 0);
  if (!size) return std::nullopt;
  std::vector<std::uint8_t> out(*size);
  write_placed(data, segments, value, out.data());
  return out;
}

std::optional<std::vector<std::uint8_t>> encode_object(std::span<const ObjectEntry> entries) {
  if (entries.size() > kMaxFieldValue) return std::nullopt;
  std::size_t body = 2;
  for (const ObjectEntry& entry : entries) {
    if (entry.key.size() > kMaxFieldValue) return std::nullopt;
    body += 2 + entry.key.size() + entry.value.size();
  }
  if (body > kMaxFieldValue) return std::nullopt;
  std::vector<std::uint8_t> out(kContainerHeaderSize + body);
  std::uint8_t* at = out.data();
  *at++ = static_cast<std::uint8_t>(Tag::Object);
  at = put_u16(at, body);
  at = put_u16(at, entries.size());
  for (const ObjectEntry& entry : entries) {
    at = put_u16(at, entry.key.size());
    at = put_bytes(at, reinterpret_cast<const std::uint8_t*>(entry.key.data()), entry.key.size());
    at = put_bytes(at, entry.value.data(), entry.value.size());
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> encode_array(std::span<const Bytes> elements) {
  if (elements.size() > kMaxFieldValue) return std::nullopt;
  std::size_t body = 2;
  for (const Bytes element : elements) body += element.size();
  if (body > kMaxFieldValue) return std::nullopt;
  std::vector<std::uint8_t> out(kContainerHeaderSize + body);
  std::uint8_t* at = out.data();
  *at++ = static_cast<std::uint8_t>(Tag::Array);
  at = put_u16(at, body);
  at = put_u16(at, elements.size());
  for (const Bytes element : elements) at = put_bytes(at, element.data(), element.size());
  return out;
}

}  // namespace vorn
