#include "vorn/template_eval.hpp"

#include <algorithm>
#include <new>
#include <variant>

#include "base/key_order.hpp"
#include "vorn/data_view.hpp"

namespace vorn {

namespace {

bool entry_less(const ObjectEntry& a, const ObjectEntry& b) {
  return key_less(a.key, b.key);
}

// Stable, and without the scratch buffer std::stable_sort allocates.
void insertion_sort(std::span<ObjectEntry> entries) {
  for (std::size_t i = 1; i < entries.size(); ++i) {
    const ObjectEntry entry = entries[i];
    std::size_t j = i;
    for (; j > 0 && entry_less(entry, entries[j - 1]); --j) entries[j] = entries[j - 1];
    entries[j] = entry;
  }
}

}  // namespace

std::optional<TemplateObject> TemplateObject::resolve(const ir::TemplateIr& templ, Bytes input) {
  // Every exit returns `object`, so it is built in the caller's place
  // rather than copied out.
  std::optional<TemplateObject> object(std::in_place, Key());
  const auto root = DataView::from(input);
  if (!root) {
    object.reset();
    return object;
  }

  ObjectEntry* entries = object->inline_.entries;
  if (templ.entries.size() > kInlineEntries) {
    object->heap_.resize(templ.entries.size());
    entries = object->heap_.data();
  }
  for (std::size_t i = 0; i < templ.entries.size(); ++i) {
    const ir::TemplateEntry& entry = templ.entries[i];
    ObjectEntry member;
    if (const auto* literal = std::get_if<ir::Literal>(&entry)) {
      member = {literal->key, literal->value};
    } else {
      const auto& reference = std::get<ir::Reference>(entry);
      const auto at = walk_path(*root, reference.path);
      // Absent, or the value there is cut short.
      const Bytes value = at ? at->value_bytes() : Bytes{};
      if (value.empty()) {
        object.reset();
        return object;
      }
      member = {reference.key, value};
    }
    new (&entries[i]) ObjectEntry(member);
    object->count_ = i + 1;
  }

  const std::span<ObjectEntry> members(entries, object->count_);
  if (!std::is_sorted(members.begin(), members.end(), entry_less)) {
    if (members.size() <= kInlineEntries) {
      insertion_sort(members);
    } else {
      std::stable_sort(members.begin(), members.end(), entry_less);
    }
  }
  const auto size = encoded_object_size(members);
  if (!size) {
    object.reset();
    return object;
  }
  object->size_ = *size;
  if (!object->nests_within(kMaxNestingDepth)) object.reset();
  return object;
}

std::uint8_t* TemplateObject::write(std::uint8_t* out) const {
  return write_object(entries(), size_, out);
}

bool TemplateObject::nests_within(std::size_t levels) const {
  // Judged by size first, as any value is; only a long object asks its
  // members.
  if (size_ / kContainerPrefixSize <= levels) return true;
  if (levels == 0) return false;
  const auto members = entries();
  return std::all_of(members.begin(), members.end(), [&](const ObjectEntry& member) {
    return vorn::nests_within(member.value, levels - 1);
  });
}

std::vector<std::uint8_t> TemplateObject::encode() const {
  std::vector<std::uint8_t> out(size_);
  write(out.data());
  return out;
}

std::optional<std::vector<std::uint8_t>> evaluate_template(const ir::TemplateIr& templ,
                                                           Bytes input) {
  const auto object = TemplateObject::resolve(templ, input);
  if (!object) return std::nullopt;
  return object->encode();
}

}  // namespace vorn
