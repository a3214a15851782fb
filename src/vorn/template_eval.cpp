#include "vorn/template_eval.hpp"

#include <algorithm>
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
  const auto root = DataView::from(input);
  if (!root) return std::nullopt;

  std::optional<TemplateObject> object(std::in_place, Key());
  std::span<ObjectEntry> entries;
  if (templ.entries.size() <= kInlineEntries) {
    entries = std::span(object->inline_).first(templ.entries.size());
  } else {
    object->heap_.resize(templ.entries.size());
    entries = object->heap_;
  }
  object->count_ = templ.entries.size();

  for (std::size_t i = 0; i < templ.entries.size(); ++i) {
    const ir::TemplateEntry& entry = templ.entries[i];
    if (const auto* literal = std::get_if<ir::Literal>(&entry)) {
      entries[i] = {literal->key, literal->value};
      continue;
    }
    const auto& reference = std::get<ir::Reference>(entry);
    const auto at = walk_path(*root, reference.path);
    if (!at) return std::nullopt;
    const Bytes value = at->value_bytes();
    if (value.empty()) return std::nullopt;  // cut short
    entries[i] = {reference.key, value};
  }

  if (!std::is_sorted(entries.begin(), entries.end(), entry_less)) {
    if (entries.size() <= kInlineEntries) {
      insertion_sort(entries);
    } else {
      std::stable_sort(entries.begin(), entries.end(), entry_less);
    }
  }
  const auto size = encoded_object_size(entries);
  if (!size) return std::nullopt;
  object->size_ = *size;
  return object;
}

std::uint8_t* TemplateObject::write(std::uint8_t* out) const {
  return write_object(entries(), size_, out);
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
