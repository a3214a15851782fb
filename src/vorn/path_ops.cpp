#include "vorn/path_ops.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/key_order.hpp"
#include "base/utf8.hpp"
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

// Keys and scalars are a few bytes long: copying them with fixed-size moves
// (two that may overlap) costs less than a call to memcpy.
inline std::uint8_t* put_bytes(std::uint8_t* at, const std::uint8_t* from, std::size_t count) {
  const auto copy_pair = [&](auto word) {
    constexpr std::size_t kWord = sizeof word;
    decltype(word) head;
    decltype(word) tail;
    std::memcpy(&head, from, kWord);
    std::memcpy(&tail, from + count - kWord, kWord);
    std::memcpy(at, &head, kWord);
    std::memcpy(at + count - kWord, &tail, kWord);
  };
  if (count > 16) {
    std::memcpy(at, from, count);
  } else if (count >= 8) {
    copy_pair(std::uint64_t{});
  } else if (count >= 4) {
    copy_pair(std::uint32_t{});
  } else if (count != 0) {
    at[0] = from[0];
    at[count / 2] = from[count / 2];
    at[count - 1] = from[count - 1];
  }
  return at + count;
}

// Copies data[from, to).
std::uint8_t* put_run(std::uint8_t* at, Bytes data, std::size_t from, std::size_t to) {
  return put_bytes(at, data.data() + from, to - from);
}

// The size of the value at data[position] if it lies wholly inside `data`,
// else 0. The same rule as encoded_data_size(), kept here so the hot walks
// below inline it.
inline std::size_t value_size(Bytes data, std::size_t position) {
  if (position >= data.size()) return 0;
  const std::size_t available = data.size() - position;
  std::size_t size = 0;
  switch (static_cast<Tag>(data[position])) {
    case Tag::Object:
    case Tag::Array:
    case Tag::String:
      if (available < kContainerHeaderSize) return 0;
      size = kContainerHeaderSize + read_u16(data.data() + position + 1);
      break;
    case Tag::Integer:
    case Tag::Float:
      size = 9;
      break;
    case Tag::Boolean:
      size = 2;
      break;
    case Tag::Null:
      size = 1;
      break;
    default:
      return 0;
  }
  return size <= available ? size : 0;
}

inline bool same_key(std::string_view a, std::string_view b) {
  return a.size() == b.size() && (a.empty() || (a[0] == b[0] && a == b));
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
inline std::optional<Member> read_entry(Bytes data, std::size_t position) {
  if (position > data.size() || data.size() - position < 2) return std::nullopt;
  const std::size_t key_length = read_u16(data.data() + position);
  const std::size_t value_start = position + 2 + key_length;
  const std::size_t size = value_size(data, value_start);
  if (size == 0) return std::nullopt;
  const std::string_view key(reinterpret_cast<const char*>(data.data() + position + 2),
                             key_length);
  return Member{position, value_start, value_start + size, key};
}

inline std::optional<Member> read_element(Bytes data, std::size_t position) {
  const std::size_t size = value_size(data, position);
  if (size == 0) return std::nullopt;
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

// The new value as plain bytes.
class BytesValue final : public PlacedValue {
 public:
  explicit BytesValue(Bytes bytes) : bytes_(bytes) {}
  std::size_t size() const override { return bytes_.size(); }
  std::uint8_t* write(std::uint8_t* out) const override {
    return put_bytes(out, bytes_.data(), bytes_.size());
  }
  bool nests_within(std::size_t levels) const override {
    return vorn::nests_within(bytes_, levels);
  }

 private:
  Bytes bytes_;
};

// Placement runs in two passes so that the result is allocated once, at its
// exact size: placed_size() checks everything and measures, write_placed()
// then writes without checking again. Both recurse once per path segment;
// `depth` caps that at the format's nesting limit.
//
// The measuring pass already finds the member on the path, so it notes for
// each container where that member lies (a plan); writing then copies the
// bytes before and after it as two runs instead of walking the members
// again. Only the rare shapes fall back to a walk: a key stored more than
// once, an added key among keys stored out of order, and paths deeper than
// the plan holds.

struct PlannedLevel {
  enum class Kind : std::uint8_t {
    Replace,  // [at, value_end) is the one value on the path
    Insert,   // the new entry goes at `at`
    Walk,     // write_placed() walks the members itself
  };
  Kind kind = Kind::Walk;
  std::size_t at = 0;
  std::size_t value_end = 0;
  std::size_t end = 0;  // the end of the counted members
};

struct PlacementPlan {
  static constexpr std::size_t kLevels = 8;
  PlannedLevel levels[kLevels];

  PlannedLevel* level(std::size_t depth) { return depth < kLevels ? &levels[depth] : nullptr; }
};

// Where a key missing from the object `data` goes so that sorted entries
// stay sorted: before the first greater key, else after the last member
// (`end`). Absent when the stored keys are not in order.
std::optional<std::size_t> sorted_insertion_point(Bytes data, std::string_view name,
                                                  std::size_t end) {
  bool sorted = true;
  std::size_t insert_at = kNone;
  std::string_view previous;
  (void)for_each_member(data, [&](std::size_t i, const Member& entry) {
    if (i > 0 && key_less(entry.key, previous)) sorted = false;
    if (insert_at == kNone && key_less(name, entry.key)) insert_at = entry.start;
    previous = entry.key;
    return sorted;
  });
  if (!sorted) return std::nullopt;
  return insert_at == kNone ? end : insert_at;
}

std::optional<std::size_t> placed_size(Bytes data, Segments segments, std::size_t value_size,
                                       std::size_t depth, PlacementPlan& plan) {
  if (segments.empty()) return value_size;
  if (depth >= kMaxNestingDepth) return std::nullopt;
  const Segments rest = segments.subspan(1);
  std::size_t body = 2;  // the count
  PlannedLevel planned;

  if (const auto* field = std::get_if<ir::Field>(&segments.front())) {
    if (!is_container(data, Tag::Object)) return std::nullopt;
    std::size_t matches = 0;
    const auto end = for_each_member(data, [&](std::size_t, const Member& entry) {
      body += entry.value_start - entry.start;
      if (!same_key(entry.key, field->name)) {
        body += entry.end - entry.value_start;
        return true;
      }
      // Every entry under the name is replaced: with unique keys there is
      // one, and corrupt data with duplicates gets no special treatment.
      ++matches;
      planned.at = entry.value_start;
      planned.value_end = entry.end;
      const auto size = placed_size(entry.value(data), rest, value_size, depth + 1, plan);
      if (size) body += *size;
      return size.has_value();
    });
    if (!end) return std::nullopt;
    planned.end = *end;
    if (matches == 0) {
      // A missing key is added only at the last segment, and only if it is
      // text: a key that is not UTF-8 would make the whole result undecodable.
      const std::size_t count = read_u16(data.data() + 3);
      if (!rest.empty() || count >= kMaxFieldValue || field->name.size() > kMaxFieldValue ||
          !is_valid_utf8(field->name)) {
        return std::nullopt;
      }
      body += 2 + field->name.size() + value_size;
      if (plan.level(depth) != nullptr) {
        const auto insert_at = sorted_insertion_point(data, field->name, *end);
        if (insert_at) {
          planned.kind = PlannedLevel::Kind::Insert;
          planned.at = *insert_at;
        }
      }
    } else if (matches == 1) {
      planned.kind = PlannedLevel::Kind::Replace;
    }
  } else {
    const std::size_t index = std::get<ir::Index>(segments.front()).index;
    if (!is_container(data, Tag::Array) || index >= read_u16(data.data() + 3)) return std::nullopt;
    const auto end = for_each_member(data, [&](std::size_t i, const Member& element) {
      if (i != index) {
        body += element.end - element.start;
        return true;
      }
      planned.at = element.start;
      planned.value_end = element.end;
      const auto size = placed_size(element.value(data), rest, value_size, depth + 1, plan);
      if (size) body += *size;
      return size.has_value();
    });
    if (!end) return std::nullopt;
    planned.end = *end;
    planned.kind = PlannedLevel::Kind::Replace;
  }
  if (body > kMaxFieldValue) return std::nullopt;
  if (PlannedLevel* level = plan.level(depth)) *level = planned;
  return kContainerHeaderSize + body;
}

std::uint8_t* put_entry(std::uint8_t* out, std::string_view key, const PlacedValue& value) {
  out = put_u16(out, key.size());
  out = put_bytes(out, reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
  return value.write(out);
}

// Entries of an object whose stored keys are out of order, plus the new one,
// written the way a full stable sort by key orders them. Only corrupt data
// gets here, so this path may allocate.
std::uint8_t* write_sorted_with(Bytes data, std::string_view name, const PlacedValue& value,
                                std::uint8_t* out) {
  std::vector<ObjectEntry> entries;
  entries.reserve(read_u16(data.data() + 3));
  (void)for_each_member(data, [&](std::size_t, const Member& entry) {
    entries.push_back({entry.key, entry.value(data)});
    return true;
  });
  std::stable_sort(entries.begin(), entries.end(), [](const ObjectEntry& a, const ObjectEntry& b) {
    return key_less(a.key, b.key);
  });
  // No stored key equals the name, so the new entry goes before the first
  // greater one.
  bool written = false;
  for (const ObjectEntry& entry : entries) {
    if (!written && key_less(name, entry.key)) {
      out = put_entry(out, name, value);
      written = true;
    }
    out = put_entry(out, entry.key, BytesValue(entry.value));
  }
  return written ? out : put_entry(out, name, value);
}

// Writes what placed_size() measured (and so checked) at `out`; returns the
// end of what it wrote. Members off the path are copied as byte runs, found
// in one walk over the container.
// With a plan (null below a walked level, whose members the plan does not
// describe) the planned levels are written as runs around the placed member.
std::uint8_t* write_placed(Bytes data, Segments segments, const PlacedValue& value,
                           std::uint8_t* out, std::size_t depth, PlacementPlan* plan) {
  if (segments.empty()) return value.write(out);
  const Segments rest = segments.subspan(1);
  std::uint8_t* const header = out;
  out += kContainerPrefixSize;
  std::size_t count = read_u16(data.data() + 3);
  std::size_t run = kContainerPrefixSize;  // start of the bytes not yet copied

  const PlannedLevel* planned = plan != nullptr ? plan->level(depth) : nullptr;
  if (planned != nullptr && planned->kind != PlannedLevel::Kind::Walk) {
    out = put_run(out, data, run, planned->at);
    if (planned->kind == PlannedLevel::Kind::Replace) {
      out = write_placed(data.subspan(planned->at, planned->value_end - planned->at), rest, value,
                         out, depth + 1, plan);
      out = put_run(out, data, planned->value_end, planned->end);
    } else {
      out = put_entry(out, std::get<ir::Field>(segments.front()).name, value);
      out = put_run(out, data, planned->at, planned->end);
      ++count;
    }
    header[0] = data[0];
    put_u16(header + 1, static_cast<std::size_t>(out - header) - kContainerHeaderSize);
    put_u16(header + 3, count);
    return out;
  }

  if (const auto* field = std::get_if<ir::Field>(&segments.front())) {
    const std::string_view name = field->name;
    bool matched = false;
    bool sorted = true;
    std::size_t insert_at = kNone;
    std::string_view previous;
    const std::size_t end = *for_each_member(data, [&](std::size_t i, const Member& entry) {
      if (same_key(entry.key, name)) {
        out = put_run(out, data, run, entry.value_start);
        out = write_placed(entry.value(data), rest, value, out, depth + 1, nullptr);
        run = entry.end;
        matched = true;
        return true;
      }
      if (i > 0 && key_less(entry.key, previous)) sorted = false;
      if (insert_at == kNone && key_less(name, entry.key)) insert_at = entry.start;
      previous = entry.key;
      return true;
    });
    // Nothing has been copied unless a key matched.
    if (matched) {
      out = put_run(out, data, run, end);
    } else if (sorted) {
      if (insert_at == kNone) insert_at = end;
      out = put_run(out, data, run, insert_at);
      out = put_entry(out, name, value);
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
      out = write_placed(element.value(data), rest, value, out, depth + 1, nullptr);
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

std::optional<std::vector<std::uint8_t>> place(Bytes data, Segments segments,
                                               const PlacedValue& value) {
  // The new value's root lands at the depth of the path: its own levels
  // must fit below that, or the result would nest deeper than any reader
  // accepts. (With no path the value stays as deep as it is.)
  if (!segments.empty()) {
    const std::size_t room =
        segments.size() < kMaxNestingDepth ? kMaxNestingDepth - segments.size() : 0;
    if (!value.nests_within(room)) return std::nullopt;
  }
  PlacementPlan plan;
  const auto size = placed_size(data, segments, value.size(), 0, plan);
  if (!size) return std::nullopt;
  std::vector<std::uint8_t> out(*size);
  write_placed(data, segments, value, out.data(), 0, &plan);
  return out;
}

}  // namespace

bool nests_within_by_walking(Bytes value, std::size_t levels) {
  if (value.empty()) return true;
  const auto is_container_at = [&](std::size_t at) {
    return value[at] == static_cast<std::uint8_t>(Tag::Object) ||
           value[at] == static_cast<std::uint8_t>(Tag::Array);
  };
  // The containers entered and not yet left: where the next member starts,
  // where the container ends and how many members remain.
  struct Open {
    std::size_t next;
    std::size_t end;
    std::size_t remaining;
    bool object;
  };
  std::vector<Open> open;
  std::size_t at = 0;  // a container to enter
  std::size_t end = value.size();
  if (!is_container_at(0)) return true;
  for (;;) {
    const std::size_t size = encoded_data_size(value.subspan(at, end - at));
    if (size < kContainerPrefixSize || size > end - at) return true;
    if (open.size() == levels) return false;
    open.push_back({at + kContainerPrefixSize, at + size, read_u16(value.data() + at + 3),
                    value[at] == static_cast<std::uint8_t>(Tag::Object)});
    // On to the next member that is a container, leaving finished ones.
    bool found = false;
    while (!found) {
      if (open.empty()) return true;
      Open& top = open.back();
      if (top.remaining == 0) {
        open.pop_back();
        continue;
      }
      --top.remaining;
      std::size_t member = top.next;
      if (top.object) {
        if (top.end - member < 2) return true;
        member += 2 + read_u16(value.data() + member);
      }
      if (member >= top.end) return true;
      const std::size_t member_size = encoded_data_size(value.subspan(member, top.end - member));
      if (member_size == 0 || member_size > top.end - member) return true;
      top.next = member + member_size;
      if (is_container_at(member)) {
        at = member;
        end = top.end;
        found = true;
      }
    }
  }
}

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
  return place(data, path.segments, BytesValue(value));
}

std::optional<std::vector<std::uint8_t>> place_at_path(Bytes data, const ir::ValuePath& path,
                                                       const PlacedValue& value) {
  return place(data, path.segments, value);
}

std::optional<std::vector<std::uint8_t>> place_bytes(Bytes data, Segments segments, Bytes value) {
  return place(data, segments, BytesValue(value));
}

std::optional<std::size_t> encoded_object_size(std::span<const ObjectEntry> entries) {
  if (entries.size() > kMaxFieldValue) return std::nullopt;
  std::size_t body = 2;
  for (const ObjectEntry& entry : entries) {
    if (entry.key.size() > kMaxFieldValue) return std::nullopt;
    body += 2 + entry.key.size() + entry.value.size();
  }
  if (body > kMaxFieldValue) return std::nullopt;
  return kContainerHeaderSize + body;
}

std::uint8_t* write_object(std::span<const ObjectEntry> entries, std::size_t size,
                           std::uint8_t* out) {
  *out++ = static_cast<std::uint8_t>(Tag::Object);
  out = put_u16(out, size - kContainerHeaderSize);
  out = put_u16(out, entries.size());
  for (const ObjectEntry& entry : entries) {
    out = put_u16(out, entry.key.size());
    out = put_bytes(out, reinterpret_cast<const std::uint8_t*>(entry.key.data()), entry.key.size());
    out = put_bytes(out, entry.value.data(), entry.value.size());
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> encode_object(std::span<const ObjectEntry> entries) {
  const auto size = encoded_object_size(entries);
  if (!size) return std::nullopt;
  std::vector<std::uint8_t> out(*size);
  write_object(entries, *size, out.data());
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
