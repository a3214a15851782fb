#include "vorn/template_eval.hpp"

#include <algorithm>
#include <array>
#include <variant>

#include "base/key_order.hpp"
#include "vorn/data_view.hpp"
#include "vorn/path_ops.hpp"

namespace vorn {

namespace {

// Templates are small; their working list lives on the stack unless one is
// not, and then on the heap.
constexpr std::size_t kInlineEntries = 16;

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

std::optional<std::vector<std::uint8_t>> evaluate_template(const ir::TemplateIr& templ,
                                                           Bytes input) {
  const auto root = DataView::from(input);
  if (!root) return std::nullopt;

  std::array<ObjectEntry, kInlineEntries> inline_entries;
  std::vector<ObjectEntry> heap_entries;
  std::span<ObjectEntry> entries;
  if (templ.entries.size() <= kInlineEntries) {
    entries = std::span(inline_entries).first(templ.entries.size());
  } else {
    heap_entries.resize(templ.entries.size());
    entries = heap_entries;
  }

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
  return encode_object(entries);
}

}  // namespace vorn
